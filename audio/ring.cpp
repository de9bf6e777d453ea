// The frame ring, and the underrun count that AIL_output_underruns reports.
#include "audio/ring.h"

#include "wail32.h"

#include <algorithm>
#include <new>

namespace wail {
namespace {

std::atomic<uint32_t> g_underruns{0}; // device threads add; any thread reads

} // namespace

FrameRing::FrameRing(uint32_t capacity, uint32_t limit)
    : mask_(capacity - 1), limit_(std::min(limit, capacity)) {}

std::unique_ptr<FrameRing> FrameRing::create(uint32_t capacity, uint32_t limit, uint32_t silence) {
  std::unique_ptr<FrameRing> ring(new (std::nothrow) FrameRing(capacity, limit));
  if (!ring) return nullptr;
  ring->samples_.reset(new (std::nothrow) float[2 * size_t{capacity}]());
  if (!ring->samples_) return nullptr;
  ring->written_.store(std::min(silence, ring->limit_), std::memory_order_relaxed);
  return ring;
}

uint32_t FrameRing::room() const noexcept {
  const uint32_t used =
      written_.load(std::memory_order_relaxed) - read_.load(std::memory_order_acquire);
  return used < limit_ ? limit_ - used : 0;
}

void FrameRing::write(const float *frames, uint32_t count) noexcept {
  const uint32_t at = written_.load(std::memory_order_relaxed);
  for (uint32_t i = 0; i < count; ++i) {
    float *slot = samples_.get() + 2 * size_t{(at + i) & mask_};
    slot[0] = frames[2 * i];
    slot[1] = frames[2 * i + 1];
  }
  written_.store(at + count, std::memory_order_release);
}

uint32_t FrameRing::wakeups() const noexcept { return wakeups_.load(std::memory_order_acquire); }

void FrameRing::wait_for_room(uint32_t seen) const noexcept {
  wakeups_.wait(seen, std::memory_order_acquire);
}

void FrameRing::wake() noexcept {
  wakeups_.fetch_add(1, std::memory_order_release);
  wakeups_.notify_one();
}

uint32_t FrameRing::read(float *out, uint32_t count) noexcept {
  const uint32_t at = read_.load(std::memory_order_relaxed);
  const uint32_t ready = written_.load(std::memory_order_acquire) - at;
  const uint32_t n = std::min(count, ready);
  for (uint32_t i = 0; i < n; ++i) {
    const float *slot = samples_.get() + 2 * size_t{(at + i) & mask_};
    out[2 * i] = slot[0];
    out[2 * i + 1] = slot[1];
  }
  read_.store(at + n, std::memory_order_release);
  wake();
  return n;
}

std::unique_ptr<FrameRing> ring_for_period(uint32_t period) {
  period = std::min(period, 1u << 18);
  const uint32_t limit = period + std::clamp(period, kMixerMinBlock, 256u);
  uint32_t capacity = 256;
  while (capacity < limit) capacity *= 2;
  return FrameRing::create(capacity, limit, limit - kMixerMinBlock);
}

void count_underrun() noexcept { g_underruns.fetch_add(1, std::memory_order_relaxed); }
void reset_underruns() noexcept { g_underruns.store(0, std::memory_order_relaxed); }

} // namespace wail

extern "C" {

WAIL_API uint32_t AIL_output_underruns(void) {
  return wail::g_underruns.load(std::memory_order_relaxed);
}

} // extern "C"
