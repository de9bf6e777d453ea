// Library start-up and shutdown, periodic service and the last failure text.
#include "audio/library.h"

#include "audio/driver.h"
#include "audio/midi/music_hook.h"
#include "exports/boundary.h"

#include <cstdio>

namespace wail {
namespace {

struct LibraryState {
  char lastError[512]; // the text AIL_last_error returns; under the library lock
};
LibraryState g_library;

} // namespace

void set_last_error(const char *text) {
  std::snprintf(g_library.lastError, sizeof g_library.lastError, "%s", text);
}

} // namespace wail

extern "C" {

// Nothing to prepare: the outputs, voices and threads start when a driver opens.
WAIL_API void AIL_startup(void) {}

// Closes the digital driver under the lock (its mixer thread gives up waiting for the lock when
// told to stop), then lets the MIDI side release its driver and sequences.
WAIL_API void AIL_shutdown(void) {
  exports::guarded([] {
    {
      wail::LibraryGuard lock(wail::library_mutex());
      wail::close_driver();
    }
    wail::music::shutdown();
  });
}

// Nothing to do: the mixer thread renders and delivers end-of-sample callbacks by itself.
WAIL_API void AIL_serve(void) {}

WAIL_API const char *AIL_last_error(void) {
  return exports::guarded(static_cast<const char *>(""), [] {
    wail::LibraryGuard lock(wail::library_mutex());
    return static_cast<const char *>(wail::g_library.lastError);
  });
}

} // extern "C"
