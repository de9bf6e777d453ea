// Nothing holds modules on POSIX systems (see module_hold.h).
#include "audio/module_hold.h"

namespace wail {

ModuleHold hold_modules(const void *) { return {nullptr, nullptr}; }
void release_modules(const ModuleHold &) {}

} // namespace wail
