// Device enumeration: waveOutGetNumDevs and waveOutGetDevCapsA over the outputs this library
// can open. KSND_AUDIO=sdl|null|wav:FILE|offline lists only that output; unset, the list is
// the null output then SDL2's default output, so a search from the top prefers a real device.
// An unknown KSND_AUDIO value is reported once on standard error and the default list is used.
#include "audio/devices.h"

#include "exports/boundary.h"
#include "wail32.h"

#include <SDL2/SDL.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <string_view>
#include <unistd.h>

namespace wail {
namespace {

constexpr uint32_t kMmsyserrBadDeviceId = 2;
constexpr uint32_t kMmsyserrNoMem = 7;
constexpr uint32_t kMmsyserrInvalParam = 11;
constexpr uint32_t kAllFormats = 0x00000FFFu;   // every 11/22/44 kHz format: all are resampled
constexpr uint32_t kVolumeAndBalance = 0x000Cu; // WAVECAPS_VOLUME | WAVECAPS_LRVOLUME

struct DeviceProbe {
  std::once_flag sdlProbed;      // the SDL2 probe runs once per process
  bool sdlAvailable;             // written once under sdlProbed
  char sdlName[32];              // the default output's name as SDL2 gives it; under sdlProbed
  std::once_flag badValueWarned; // one line per process for an unknown KSND_AUDIO
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

bool sdl_available() {
  std::call_once(g_probe.sdlProbed, [] { g_probe.sdlAvailable = probe_sdl(); });
  return g_probe.sdlAvailable;
}

std::vector<OutputDevice> default_devices() {
  const bool sdl = sdl_available();
  std::vector<OutputDevice> list{{OutputKind::Null, {}, !sdl}};
  if (sdl) list.push_back({OutputKind::Sdl, {}, false});
  return list;
}

const char *device_name(OutputKind kind) {
  switch (kind) {
  case OutputKind::Null:
    return "KSND null output";
  case OutputKind::Sdl:
    return g_probe.sdlName;
  case OutputKind::WavFile:
    return "KSND WAV file writer";
  case OutputKind::Offline:
    return "KSND offline render";
  }
  return "";
}

} // namespace

std::vector<OutputDevice> list_devices() {
  const char *env = std::getenv("KSND_AUDIO");
  const std::string_view choice = env != nullptr ? env : "";
  if (choice.empty()) return default_devices();
  if (choice == "null") return {{OutputKind::Null, {}, false}};
  if (choice == "offline") return {{OutputKind::Offline, {}, false}};
  if (choice == "sdl") {
    if (sdl_available()) return {{OutputKind::Sdl, {}, false}};
    return {};
  }
  if (choice.starts_with("wav:") && choice.size() > 4)
    return {{OutputKind::WavFile, std::string(choice.substr(4)), false}};
  std::call_once(g_probe.badValueWarned, [&] {
    std::fprintf(stderr,
                 "ksnd32: KSND_AUDIO=%s not understood (sdl, null, wav:FILE, offline); "
                 "using the default outputs\n",
                 env);
  });
  return default_devices();
}

} // namespace wail

extern "C" {

WAIL_API uint32_t waveOutGetNumDevs(void) {
  return exports::guarded(0u, [] { return static_cast<uint32_t>(wail::list_devices().size()); });
}

WAIL_API uint32_t waveOutGetDevCapsA(uintptr_t device, WAVEOUTCAPSA *caps, uint32_t size) {
  return exports::guarded(wail::kMmsyserrNoMem, [&] {
    if (caps == nullptr) return wail::kMmsyserrInvalParam;
    const std::vector<wail::OutputDevice> devices = wail::list_devices();
    if (device >= devices.size()) return wail::kMmsyserrBadDeviceId;
    WAVEOUTCAPSA filled{};
    filled.vDriverVersion = 0x0100;
    std::snprintf(filled.szPname, sizeof filled.szPname, "%s",
                  wail::device_name(devices[device].kind));
    filled.dwFormats = wail::kAllFormats;
    filled.wChannels = 2;
    filled.dwSupport = wail::kVolumeAndBalance;
    std::memcpy(caps, &filled, std::min<size_t>(size, sizeof filled));
    return uint32_t{0};
  });
}

} // extern "C"
