// The pacing thread: one block of kBlockFrames every block period, scheduled from a frame
// count on the steady clock so it does not drift. Owns the thread and its mix buffer.
#include "audio/pacer.h"

#include "audio/mixer.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace wail {
namespace {

using Clock = std::chrono::steady_clock;

// After a stall longer than this the schedule restarts from now rather than catching up.
constexpr auto kMaxLag = std::chrono::milliseconds(100);

struct PacerState {
  std::thread thread;          // started and joined by the host's thread
  std::atomic<bool> stopping;  // set by stop_pacer
  uint32_t rate;               // frames per second; written before the thread starts
  BlockSink sink;              // written before the thread starts
  float mix[2 * kBlockFrames]; // pacing thread only
};
PacerState g_pacer;

void pace() {
  Clock::time_point start = Clock::now();
  uint64_t framesDone = 0;
  while (!g_pacer.stopping.load(std::memory_order_acquire)) {
    render(g_pacer.mix, kBlockFrames);
    if (g_pacer.sink != nullptr) g_pacer.sink(g_pacer.mix, kBlockFrames);
    framesDone += kBlockFrames;
    const auto due = start + std::chrono::nanoseconds(framesDone * 1000000000ull / g_pacer.rate);
    const Clock::time_point now = Clock::now();
    if (now - due > kMaxLag) {
      start = now;
      framesDone = 0;
    }
    std::this_thread::sleep_until(due);
  }
}

} // namespace

void start_pacer(uint32_t rate, BlockSink sink) {
  g_pacer.rate = rate;
  g_pacer.sink = sink;
  g_pacer.stopping.store(false, std::memory_order_release);
  g_pacer.thread = std::thread(pace);
}

void stop_pacer() {
  if (!g_pacer.thread.joinable()) return;
  g_pacer.stopping.store(true, std::memory_order_release);
  g_pacer.thread.join();
}

} // namespace wail
