// The system's default output on Linux is SDL2's: probed once per process by opening it, with
// the sound system's own chatter kept off standard error, and named as SDL2 names it.
#include "audio/devices.h"

#include <SDL2/SDL.h>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace wail {

const char *const kSystemOutputChoice = "sdl";

namespace {

struct DeviceProbe {
  std::once_flag sdlProbed; // the SDL2 probe runs once per process
  bool sdlAvailable;        // written once under sdlProbed
  char sdlName[32];         // the default output's name as SDL2 gives it; under sdlProbed
};
DeviceProbe g_probe;

// Keeps standard error quiet for a scope: the sound system's own libraries print several lines
// when they find no card, and the library promises a single line of its own instead.
class QuietStderr {
public:
  QuietStderr() {
    std::fflush(stderr);
    saved_ = dup(STDERR_FILENO);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved_ >= 0 && null >= 0) dup2(null, STDERR_FILENO);
    if (null >= 0) close(null);
  }
  ~QuietStderr() {
    std::fflush(stderr);
    if (saved_ < 0) return;
    dup2(saved_, STDERR_FILENO);
    close(saved_);
  }
  QuietStderr(const QuietStderr &) = delete;
  QuietStderr &operator=(const QuietStderr &) = delete;

private:
  int saved_;
};

// The device list names the output SDL2 opens by default: the sound server's or the card's
// name for it, else the driver's.
void remember_sdl_name(const char *driver) {
  char *name = nullptr;
  SDL_AudioSpec spec{};
  if (SDL_GetDefaultAudioInfo(&name, &spec, 0) == 0 && name != nullptr) {
    std::snprintf(g_probe.sdlName, sizeof g_probe.sdlName, "%s (SDL2)", name);
    SDL_free(name);
  } else {
    std::snprintf(g_probe.sdlName, sizeof g_probe.sdlName, "default output (SDL2 %s)", driver);
  }
}

// True when SDL2 starts a real audio driver (not "dummy" or "disk") and opens its default output.
bool probe_sdl() {
  QuietStderr quiet;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
  const char *driver = SDL_GetCurrentAudioDriver();
  bool usable =
      driver != nullptr && std::strcmp(driver, "dummy") != 0 && std::strcmp(driver, "disk") != 0;
  if (usable) {
    SDL_AudioSpec want{};
    want.freq = 48000;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 256;
    SDL_AudioSpec have{};
    const SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    usable = id != 0;
    if (usable) SDL_CloseAudioDevice(id);
    remember_sdl_name(driver);
  }
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  return usable;
}

} // namespace

bool system_output_available() {
  std::call_once(g_probe.sdlProbed, [] { g_probe.sdlAvailable = probe_sdl(); });
  return g_probe.sdlAvailable;
}

const char *system_output_name() { return g_probe.sdlName; }

} // namespace wail
