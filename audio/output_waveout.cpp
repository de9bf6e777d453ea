// The waveOut output on Windows: winmm's wave mapper, 16-bit stereo at 48000 Hz, double-buffered
// at the device period (device_period_asked()). A feeder thread of the output waits until winmm
// hands a buffer back (CALLBACK_EVENT), refills it from the ring and queues it again; it only
// copies and converts, never takes the library lock. A short ring plays silence and counts an
// underrun. The first two buffers go out silent, before the mixer thread has rendered anything.
#include <windows.h>
// after <windows.h>
#include "audio/library.h"
#include "audio/outputs.h"
#include "audio/winmm.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <mmsystem.h>
#include <new>
#include <thread>

namespace wail {
namespace {

constexpr uint32_t kRate = 48000;
constexpr int kBuffers = 2;
constexpr uint32_t kChunkFrames = 256; // the feeder converts in pieces of at most this

struct WaveOut {
  const Winmm *mm = nullptr;
  HWAVEOUT device = nullptr;      // open device
  HANDLE returned = nullptr;      // set by winmm when a buffer comes back, and by the close
  FrameRing *ring = nullptr;      // the driver's ring, which outlives the output
  uint32_t period = 0;            // frames per buffer
  std::unique_ptr<int16_t[]> pcm; // kBuffers buffers of `period` stereo frames
  WAVEHDR headers[kBuffers] = {};
  int prepared = 0;                  // headers prepared with winmm
  std::atomic<bool> stopping{false}; // set by the close
  std::thread feeder;
  float mix[2 * kChunkFrames]; // feeder thread only
};
WaveOut *g_wave = nullptr; // between system_open and system_close; host thread

// Fills one buffer from the ring, silence where the ring runs short.
void refill(WaveOut &w, WAVEHDR &header) {
  auto *pcm = reinterpret_cast<int16_t *>(header.lpData);
  bool shortOfFrames = false;
  for (uint32_t frames = w.period; frames > 0;) {
    const uint32_t chunk = std::min(frames, kChunkFrames);
    const uint32_t got = w.ring->read(w.mix, chunk);
    std::fill(w.mix + 2 * got, w.mix + 2 * chunk, 0.0f);
    shortOfFrames |= got < chunk;
    to_pcm16(w.mix, pcm, chunk * 2);
    pcm += chunk * 2;
    frames -= chunk;
  }
  if (shortOfFrames) count_underrun();
}

void feed(WaveOut &w) {
  for (;;) {
    WaitForSingleObject(w.returned, INFINITE);
    if (w.stopping.load(std::memory_order_acquire)) return;
    for (WAVEHDR &header : w.headers) {
      if ((header.dwFlags & WHDR_DONE) == 0) continue;
      refill(w, header);
      w.mm->waveOutWrite(w.device, &header, sizeof header);
    }
  }
}

// Releases whatever the open got as far as making; the feeder is stopped first.
void release(WaveOut *w) {
  if (w->feeder.joinable()) {
    w->stopping.store(true, std::memory_order_release);
    SetEvent(w->returned);
    w->feeder.join();
  }
  if (w->device != nullptr) {
    w->mm->waveOutReset(w->device); // hands every queued buffer back
    for (int i = 0; i < w->prepared; ++i)
      w->mm->waveOutUnprepareHeader(w->device, &w->headers[i], sizeof(WAVEHDR));
    w->mm->waveOutClose(w->device);
  }
  if (w->returned != nullptr) CloseHandle(w->returned);
  delete w;
}

bool refuse(WaveOut *w, const char *text) {
  release(w);
  set_last_error(text);
  return false;
}

bool open_device(WaveOut &w) {
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 2;
  format.nSamplesPerSec = kRate;
  format.wBitsPerSample = 16;
  format.nBlockAlign = 4;
  format.nAvgBytesPerSec = kRate * 4;
  return w.mm->waveOutOpen(&w.device, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(w.returned),
                           0, CALLBACK_EVENT) == MMSYSERR_NOERROR;
}

// Prepares both buffers and queues them silent.
bool queue_silence(WaveOut &w) {
  for (; w.prepared < kBuffers; ++w.prepared) {
    WAVEHDR &header = w.headers[w.prepared];
    header.lpData = reinterpret_cast<LPSTR>(w.pcm.get() + size_t{2} * w.period * w.prepared);
    header.dwBufferLength = w.period * 4;
    if (w.mm->waveOutPrepareHeader(w.device, &header, sizeof header) != MMSYSERR_NOERROR)
      return false;
  }
  for (WAVEHDR &header : w.headers)
    if (w.mm->waveOutWrite(w.device, &header, sizeof header) != MMSYSERR_NOERROR) return false;
  return true;
}

} // namespace

bool system_open(std::unique_ptr<FrameRing> &ring, uint32_t &rate) {
  auto *w = new (std::nothrow) WaveOut;
  if (w == nullptr) {
    set_last_error("AIL_waveOutOpen: out of memory");
    return false;
  }
  w->mm = winmm();
  if (w->mm == nullptr) return refuse(w, "AIL_waveOutOpen: winmm.dll cannot be loaded");
  w->period = device_period_asked();
  w->pcm.reset(new (std::nothrow) int16_t[size_t{2} * kBuffers * w->period]());
  ring = ring_for_period(w->period);
  w->returned = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (!w->pcm || !ring || w->returned == nullptr)
    return refuse(w, "AIL_waveOutOpen: out of memory");
  w->ring = ring.get();
  if (!open_device(*w)) {
    w->device = nullptr;
    return refuse(w, "AIL_waveOutOpen: the wave device refused 16-bit stereo at 48000 Hz");
  }
  if (!queue_silence(*w)) return refuse(w, "AIL_waveOutOpen: the wave device took no buffer");
  try {
    w->feeder = std::thread(feed, std::ref(*w));
  } catch (...) {
    return refuse(w, "AIL_waveOutOpen: the output thread cannot start");
  }
  g_wave = w;
  rate = kRate;
  return true;
}

void system_close() {
  if (g_wave == nullptr) return;
  release(g_wave);
  g_wave = nullptr;
}

} // namespace wail
