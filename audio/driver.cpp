// The digital driver: AIL_waveOutOpen opens one of the listed outputs, starts the service
// thread for real-time outputs and hands out voices. One driver is open at a time; it runs at
// the output's own rate whatever PCM format is asked for, since every voice is resampled.
#include "audio/driver.h"

#include "audio/devices.h"
#include "audio/end_reports.h"
#include "audio/library.h"
#include "audio/mixer.h"
#include "audio/outputs.h"
#include "audio/service.h"
#include "audio/voices.h"

#include <cstdio>

struct wail_digital_driver {
  bool open;             // between a successful AIL_waveOutOpen and close_driver
  wail::OutputKind kind; // the output it renders to
  uint32_t rate;         // the output's rate
};

namespace wail {
namespace {

struct DriverState {
  wail_digital_driver driver; // the one driver; under the library lock
};
DriverState g_driver;

bool format_is_valid(const PCMWAVEFORMAT &f) {
  return f.wFormatTag == 1 && (f.nChannels == 1 || f.nChannels == 2) &&
         (f.wBitsPerSample == 8 || f.wBitsPerSample == 16) && f.nSamplesPerSec > 0;
}

bool open_output(const OutputDevice &device, uint32_t &rate) {
  switch (device.kind) {
  case OutputKind::Null:
    return null_open(rate, device.noSoundDevice);
  case OutputKind::Sdl:
    return sdl2_open(rate);
  case OutputKind::WavFile:
    return wavfile_open(device.path, rate);
  case OutputKind::Offline:
    return offline_open(rate);
  }
  return false;
}

void close_output(OutputKind kind) {
  switch (kind) {
  case OutputKind::Null:
    null_close();
    break;
  case OutputKind::Sdl:
    sdl2_close();
    break;
  case OutputKind::WavFile:
    wavfile_close();
    break;
  case OutputKind::Offline:
    offline_close();
    break;
  }
}

int32_t refuse(const char *text) {
  set_last_error(text);
  return -1;
}

} // namespace

void close_driver() {
  if (g_driver.driver.open) close_output(g_driver.driver.kind);
  stop_service();
  g_driver.driver.open = false;
  g_driver.driver.rate = 0;
  set_render_rate(0);
  reset_voices();
  clear_end_reports();
}

} // namespace wail

extern "C" {

WAIL_API int32_t AIL_waveOutOpen(HDIGDRIVER *driver, void *waveOut, int32_t device,
                                 const PCMWAVEFORMAT *format) {
  using namespace wail;
  LibraryGuard lock(library_mutex());
  if (driver == nullptr || format == nullptr) return refuse("AIL_waveOutOpen: missing argument");
  *driver = nullptr;
  if (waveOut != nullptr) return refuse("AIL_waveOutOpen: the wave-out handle must be 0");
  if (!format_is_valid(*format)) return refuse("AIL_waveOutOpen: unsupported PCM format");
  if (g_driver.driver.open) return refuse("AIL_waveOutOpen: a digital driver is already open");
  const std::vector<OutputDevice> devices = list_devices();
  if (device < 0 || static_cast<size_t>(device) >= devices.size())
    return refuse("AIL_waveOutOpen: no such wave device");
  const OutputDevice &chosen = devices[static_cast<size_t>(device)];
  uint32_t rate = 0;
  if (!open_output(chosen, rate)) return -1;
  set_voice_output_rate(rate);
  if (chosen.kind != OutputKind::Offline) start_service();
  g_driver.driver = {true, chosen.kind, rate};
  *driver = &g_driver.driver;
  return 0;
}

WAIL_API HSAMPLE AIL_allocate_sample_handle(HDIGDRIVER driver) {
  using namespace wail;
  LibraryGuard lock(library_mutex());
  if (driver != &g_driver.driver || !g_driver.driver.open) {
    set_last_error("AIL_allocate_sample_handle: not an open digital driver");
    return nullptr;
  }
  wail_sample *voice = allocate_voice();
  if (voice == nullptr) set_last_error("AIL_allocate_sample_handle: every voice is in use");
  return voice;
}

// Closes the one open driver as AIL_shutdown does to the digital side: output, service thread
// and every sample handle; no callback runs after it returns.
WAIL_API void AIL_waveOutClose(HDIGDRIVER driver) {
  wail::LibraryGuard lock(wail::library_mutex());
  if (driver == &wail::g_driver.driver && wail::g_driver.driver.open) wail::close_driver();
}

WAIL_API uint32_t AIL_output_rate(void) {
  wail::LibraryGuard lock(wail::library_mutex());
  return wail::g_driver.driver.open ? wail::g_driver.driver.rate : 0;
}

} // extern "C"
