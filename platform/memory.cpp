// The global allocator stand-in over malloc/calloc, with a failure seam and a live-block count.
#include "platform/memory.h"

#include "ksnd32.h"

#include <atomic>
#include <cstdlib>

namespace platform {
namespace {
std::atomic<int> g_failCountdown{0};
std::atomic<long> g_live{0};
} // namespace

void *global_alloc(std::size_t bytes) {
  int countdown = g_failCountdown.load();
  if (countdown > 0) {
    g_failCountdown.store(countdown - 1);
    if (countdown == 1) return nullptr;
  }
  void *block = std::calloc(bytes ? bytes : 1, 1);
  if (block) ++g_live;
  return block;
}

void fail_nth_allocation(int n) { g_failCountdown.store(n); }
long live_blocks() { return g_live.load(); }

} // namespace platform

extern "C" void *GlobalFree(void *block) {
  if (block) {
    std::free(block);
    --platform::g_live;
  }
  return nullptr;
}
