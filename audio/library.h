// Library-wide internals shared by the AIL_ entry points: the one lock and the failure text.
#pragma once

#include "wail32.h"

#include <chrono>
#include <mutex>
#include <thread>

namespace wail {

// The mutex behind AIL_lock/AIL_unlock.
std::recursive_mutex &library_mutex();

// Holds the library lock for a scope; every AIL_ call that touches library state takes it.
using LibraryGuard = std::lock_guard<std::recursive_mutex>;

// Takes the library lock, unless `give_up()` turns true while waiting. The library's own threads
// wait this way, so a driver that closes under the lock can join them without a deadlock.
template <typename GiveUp> bool lock_unless(GiveUp give_up) {
  for (unsigned tries = 0; !library_mutex().try_lock(); ++tries) {
    if (give_up()) return false;
    if (tries < 16)
      std::this_thread::yield();
    else
      std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  return true;
}

// Replaces the text AIL_last_error returns. Caller holds the library lock.
void set_last_error(const char *text);

} // namespace wail
