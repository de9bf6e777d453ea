// The pacing thread: one period every kPacerPeriod / rate seconds, scheduled from a frame count
// on the steady clock so it does not drift. Owns its thread and its period buffer.
#include "audio/pacer.h"

#include "audio/library.h"

#include <atomic>
#include <chrono>
#include <new>
#include <thread>

namespace wail {

namespace {

using Clock = std::chrono::steady_clock;

// After a stall longer than this the schedule restarts from now rather than catching up.
constexpr auto kMaxLag = std::chrono::milliseconds(100);

} // namespace

struct Pacer {
  Pacer(FrameRing &r, uint32_t hz, BlockSink s) : ring(r), rate(hz), sink(s) {}

  FrameRing &ring;
  const uint32_t rate;
  const BlockSink sink;
  std::atomic<bool> stopping{false}; // set by stop_pacer
  std::thread thread;
  float period[2 * kPacerPeriod]; // pacing thread only
};

namespace {

void pace(Pacer &p) {
  Clock::time_point start = Clock::now();
  uint64_t framesDone = 0;
  while (!p.stopping.load(std::memory_order_acquire)) {
    const uint32_t got = p.ring.read(p.period, kPacerPeriod);
    if (got < kPacerPeriod) count_underrun();
    if (p.sink != nullptr && got > 0) p.sink(p.period, got);
    framesDone += kPacerPeriod;
    const auto due = start + std::chrono::nanoseconds(framesDone * 1000000000ull / p.rate);
    const Clock::time_point now = Clock::now();
    if (now - due > kMaxLag) {
      start = now;
      framesDone = 0;
    }
    std::this_thread::sleep_until(due);
  }
}

} // namespace

Pacer *start_pacer(FrameRing &ring, uint32_t rate, BlockSink sink) {
  auto *p = new (std::nothrow) Pacer(ring, rate, sink);
  if (p == nullptr) {
    set_last_error("AIL_waveOutOpen: out of memory");
    return nullptr;
  }
  try {
    p->thread = std::thread(pace, std::ref(*p));
  } catch (...) {
    delete p;
    set_last_error("AIL_waveOutOpen: the output thread cannot start");
    return nullptr;
  }
  return p;
}

void stop_pacer(Pacer *p) {
  if (p == nullptr) return;
  p->stopping.store(true, std::memory_order_release);
  p->thread.join();
  delete p;
}

} // namespace wail
