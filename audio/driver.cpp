// The digital driver: AIL_waveOutOpen opens one of the listed outputs and, for a real-time
// one, the mixer thread that renders ahead into its ring; AIL_waveOutClose and AIL_shutdown
// stop and join that thread. One driver is open at a time; it runs at the output's own rate
// whatever PCM format is asked for, since every voice is resampled.
// Threads belong to the open driver, never to a static object: a host that exits or unloads
// the library without closing gets them stopped by a handler registered at the first open,
// which runs before the library's static objects are destroyed.
// Latency: the ring keeps one device buffer and a margin queued (outputs.h and ring.h), and the
// master stage looks 2 ms ahead; the device and its sound server add their own buffering.
#include "audio/driver.h"

#include "audio/devices.h"
#include "audio/library.h"
#include "audio/master.h"
#include "audio/mixer_thread.h"
#include "audio/outputs.h"
#include "audio/render.h"
#include "audio/voices.h"
#include "exports/boundary.h"

#include <chrono>
#include <cstdlib>
#include <mutex>

struct wail_digital_driver {
  bool open;             // between a successful AIL_waveOutOpen and close_driver
  wail::OutputKind kind; // the output it renders to
  uint32_t rate;         // the output's rate
};

namespace wail {
namespace {

struct DriverState {
  wail_digital_driver driver;      // the one driver
  std::unique_ptr<FrameRing> ring; // real-time outputs: what the mixer thread fills
  MixerThread *mixer;              // real-time outputs: the thread that fills it
  std::once_flag exitHandler;      // the exit handler is registered once
};
DriverState g_driver;

bool format_is_valid(const PCMWAVEFORMAT &f) {
  return f.wFormatTag == 1 && (f.nChannels == 1 || f.nChannels == 2) &&
         (f.wBitsPerSample == 8 || f.wBitsPerSample == 16) && f.nSamplesPerSec > 0;
}

bool open_output(const OutputDevice &device, uint32_t &rate) {
  switch (device.kind) {
  case OutputKind::Null:
    return null_open(g_driver.ring, rate, device.noSoundDevice);
  case OutputKind::System:
    return system_open(g_driver.ring, rate);
  case OutputKind::WavFile:
    return wavfile_open(device.path, g_driver.ring, rate);
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
  case OutputKind::System:
    system_close();
    break;
  case OutputKind::WavFile:
    wavfile_close();
    break;
  case OutputKind::Offline:
    offline_close();
    break;
  }
}

// Stops the threads of the open driver: the mixer first, so nothing renders, then the output,
// so nothing reads the ring any more.
void stop_threads() {
  stop_mixer_thread(g_driver.mixer);
  g_driver.mixer = nullptr;
  if (g_driver.driver.open) close_output(g_driver.driver.kind);
  g_driver.driver.open = false;
  g_driver.ring.reset();
}

// At exit, or when the library is unloaded, with a driver still open. A host thread that holds
// the library lock and never lets go must not hang the exit: without the lock only the threads
// are stopped.
void close_at_exit() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
  if (lock_unless([&] { return std::chrono::steady_clock::now() > deadline; })) {
    close_driver();
    reap_mixer_thread();
    library_mutex().unlock();
  } else {
    stop_threads();
  }
}

int32_t refuse(const char *text) {
  set_last_error(text);
  return -1;
}

int32_t open_driver(HDIGDRIVER *driver, int32_t device, const void *opener) {
  const std::vector<OutputDevice> devices = list_devices();
  if (device < 0 || static_cast<size_t>(device) >= devices.size())
    return refuse("AIL_waveOutOpen: no such wave device");
  const OutputDevice &chosen = devices[static_cast<size_t>(device)];
  std::call_once(g_driver.exitHandler, [] { std::atexit(close_at_exit); });
  uint32_t rate = 0;
  reset_underruns();
  if (!open_output(chosen, rate)) {
    g_driver.ring.reset();
    return -1;
  }
  g_driver.driver = {true, chosen.kind, rate};
  set_voice_output_rate(rate);
  if (!open_render(rate)) {
    close_driver();
    return -1;
  }
  if (g_driver.ring) {
    g_driver.mixer = start_mixer_thread(*g_driver.ring, opener);
    if (g_driver.mixer == nullptr) {
      close_driver();
      return -1;
    }
  }
  *driver = &g_driver.driver;
  return 0;
}

} // namespace

void close_driver() {
  stop_threads();
  g_driver.driver.rate = 0;
  close_render();
  reset_voices();
}

} // namespace wail

extern "C" {

WAIL_API int32_t AIL_waveOutOpen(HDIGDRIVER *driver, void *waveOut, int32_t device,
                                 const PCMWAVEFORMAT *format) {
  using namespace wail;
  const void *opener = __builtin_return_address(0); // in the code that opens the driver
  return exports::guarded(-1, [&] {
    LibraryGuard lock(library_mutex());
    if (driver == nullptr || format == nullptr) return refuse("AIL_waveOutOpen: missing argument");
    *driver = nullptr;
    if (waveOut != nullptr) return refuse("AIL_waveOutOpen: the wave-out handle must be 0");
    if (!format_is_valid(*format)) return refuse("AIL_waveOutOpen: unsupported PCM format");
    if (g_driver.driver.open) return refuse("AIL_waveOutOpen: a digital driver is already open");
    return open_driver(driver, device, opener);
  });
}

WAIL_API void AIL_waveOutClose(HDIGDRIVER driver) {
  exports::guarded([&] {
    wail::LibraryGuard lock(wail::library_mutex());
    if (driver == &wail::g_driver.driver && wail::g_driver.driver.open) wail::close_driver();
  });
}

WAIL_API HSAMPLE AIL_allocate_sample_handle(HDIGDRIVER driver) {
  using namespace wail;
  return exports::guarded(HSAMPLE{nullptr}, [&] {
    LibraryGuard lock(library_mutex());
    if (driver != &g_driver.driver || !g_driver.driver.open) {
      set_last_error("AIL_allocate_sample_handle: not an open digital driver");
      return HSAMPLE{nullptr};
    }
    wail_sample *voice = allocate_voice();
    if (voice == nullptr) set_last_error("AIL_allocate_sample_handle: every voice is in use");
    return static_cast<HSAMPLE>(voice);
  });
}

WAIL_API uint32_t AIL_output_rate(void) {
  return exports::guarded(0u, [] {
    wail::LibraryGuard lock(wail::library_mutex());
    return wail::g_driver.driver.open ? wail::g_driver.driver.rate : 0u;
  });
}

WAIL_API uint32_t AIL_output_delay(void) {
  return exports::guarded(0u, [] {
    wail::LibraryGuard lock(wail::library_mutex());
    return wail::g_driver.driver.open ? wail::kMasterDelay : 0u;
  });
}

} // extern "C"
