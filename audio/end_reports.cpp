// A lock-free single-producer, single-consumer ring of end-of-sample reports. The render never
// waits on it: a full ring refuses the report and the voice keeps it for the next block.
#include "audio/end_reports.h"

#include <atomic>

namespace wail {
namespace {

constexpr uint32_t kCapacity = 1024; // a power of two; far above the reports one block can make

struct EndRing {
  EndReport slots[kCapacity]; // written by the producer before it publishes `head`
  std::atomic<uint32_t> head; // next slot to write; producer stores, consumer loads
  std::atomic<uint32_t> tail; // next slot to read; consumer stores, producer loads
};
EndRing g_ring;

} // namespace

bool push_end_report(EndReport report) noexcept {
  const uint32_t head = g_ring.head.load(std::memory_order_relaxed);
  if (head - g_ring.tail.load(std::memory_order_acquire) == kCapacity) return false;
  g_ring.slots[head % kCapacity] = report;
  g_ring.head.store(head + 1, std::memory_order_release);
  return true;
}

bool pop_end_report(EndReport &report) noexcept {
  const uint32_t tail = g_ring.tail.load(std::memory_order_relaxed);
  if (tail == g_ring.head.load(std::memory_order_acquire)) return false;
  report = g_ring.slots[tail % kCapacity];
  g_ring.tail.store(tail + 1, std::memory_order_release);
  return true;
}

void clear_end_reports() noexcept {
  g_ring.tail.store(g_ring.head.load(std::memory_order_acquire), std::memory_order_release);
}

} // namespace wail
