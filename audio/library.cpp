// Library start-up and shutdown, periodic service and the last failure text.
#include "audio/library.h"

#include "audio/driver.h"
#include "audio/midi/music_hook.h"

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

// Nothing to prepare: the outputs, voices and service thread start when a driver opens.
WAIL_API void AIL_startup(void) {}

// Stops the output and the service thread under the lock (the service thread gives up waiting
// for the lock when told to stop), then lets the MIDI side release its driver and sequences.
WAIL_API void AIL_shutdown(void) {
  {
    wail::LibraryGuard lock(wail::library_mutex());
    wail::close_driver();
  }
  wail::music::shutdown();
}

// Nothing to do: the service thread delivers end-of-sample callbacks by itself.
WAIL_API void AIL_serve(void) {}

WAIL_API const char *AIL_last_error(void) {
  wail::LibraryGuard lock(wail::library_mutex());
  return wail::g_library.lastError;
}

} // extern "C"
