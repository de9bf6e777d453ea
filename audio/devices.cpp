// Device enumeration: waveOutGetNumDevs and waveOutGetDevCapsA over the outputs this library
// can open. KSND_AUDIO=sdl|null|wav:FILE|offline (waveout instead of sdl on Windows) lists only
// that output; unset, the list is the null output then the system's default output, so a
// search from the top prefers a real device.
// An unknown KSND_AUDIO value is reported once on standard error and the default list is used.
#include "audio/devices.h"

#include "exports/boundary.h"
#include "wail32.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string_view>

namespace wail {
namespace {

constexpr uint32_t kMmsyserrBadDeviceId = 2;
constexpr uint32_t kMmsyserrNoMem = 7;
constexpr uint32_t kMmsyserrInvalParam = 11;
constexpr uint32_t kAllFormats = 0x00000FFFu;   // every 11/22/44 kHz format: all are resampled
constexpr uint32_t kVolumeAndBalance = 0x000Cu; // WAVECAPS_VOLUME | WAVECAPS_LRVOLUME

struct DeviceChoice {
  std::once_flag badValueWarned; // one line per process for an unknown KSND_AUDIO
};
DeviceChoice g_choice;

std::vector<OutputDevice> default_devices() {
  const bool system = system_output_available();
  std::vector<OutputDevice> list{{OutputKind::Null, {}, !system}};
  if (system) list.push_back({OutputKind::System, {}, false});
  return list;
}

const char *device_name(OutputKind kind) {
  switch (kind) {
  case OutputKind::Null:
    return "KSND null output";
  case OutputKind::System:
    return system_output_name();
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
  if (choice == kSystemOutputChoice) {
    if (system_output_available()) return {{OutputKind::System, {}, false}};
    return {};
  }
  if (choice.starts_with("wav:") && choice.size() > 4)
    return {{OutputKind::WavFile, std::string(choice.substr(4)), false}};
  std::call_once(g_choice.badValueWarned, [&] {
    std::fprintf(stderr,
                 "ksnd32: KSND_AUDIO=%s not understood (%s, null, wav:FILE, offline); "
                 "using the default outputs\n",
                 env, kSystemOutputChoice);
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
