// Library-wide internals shared by the AIL_ entry points: the one lock and the failure text.
#pragma once

#include "wail32.h"

#include <mutex>

namespace wail {

// The mutex behind AIL_lock/AIL_unlock. Timed, so the mixer thread can give up waiting for it
// when its driver closes.
std::recursive_timed_mutex &library_mutex();

// Holds the library lock for a scope; every AIL_ call that touches library state takes it.
using LibraryGuard = std::lock_guard<std::recursive_timed_mutex>;

// Replaces the text AIL_last_error returns. Caller holds the library lock.
void set_last_error(const char *text);

} // namespace wail
