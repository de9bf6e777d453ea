// The module references of a running mixer thread on Windows (see module_hold.h).
#include "audio/module_hold.h"

#include <windows.h>

namespace wail {
namespace {

// The module holding `address`, its reference count raised by one; null when none does.
void *hold_module_at(const void *address) {
  HMODULE module = nullptr;
  if (address == nullptr || !GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                                static_cast<LPCSTR>(address), &module))
    return nullptr;
  return module;
}

} // namespace

ModuleHold hold_modules(const void *opener) {
  return {hold_module_at(reinterpret_cast<const void *>(&hold_module_at)), hold_module_at(opener)};
}

void release_modules(const ModuleHold &hold) {
  if (hold.opener != nullptr) FreeLibrary(static_cast<HMODULE>(hold.opener));
  if (hold.self != nullptr) FreeLibrary(static_cast<HMODULE>(hold.self));
}

} // namespace wail
