// The library's one lock: a process-wide recursive mutex. The engine holds it around every
// effect operation; the library holds it in every AIL_ call and while it renders and delivers
// callbacks.
#include "audio/library.h"
#include "exports/boundary.h"

namespace wail {

std::recursive_mutex &library_mutex() {
  // Constructed on first use, never destroyed, so a host may lock it during static teardown.
  static auto *mutex = new std::recursive_mutex;
  return *mutex;
}

} // namespace wail

extern "C" {

WAIL_API void AIL_lock(void) {
  exports::guarded([] { wail::library_mutex().lock(); });
}
WAIL_API void AIL_unlock(void) { wail::library_mutex().unlock(); }

} // extern "C"
