// The global allocator stand-in over calloc, with a failure seam and a live-block count. Each
// block carries its size in a 16-byte header in front of it, so block_size can answer.
#include "platform/memory.h"

#include "ksnd32.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace platform {
namespace {
std::atomic<int> g_failCountdown{0};
std::atomic<long> g_live{0};
constexpr std::size_t kHeader = 16; // keeps the block 16-byte aligned

unsigned char *header_of(const void *block) {
  return static_cast<unsigned char *>(const_cast<void *>(block)) - kHeader;
}
} // namespace

void *global_alloc(std::size_t bytes) {
  int countdown = g_failCountdown.load();
  if (countdown > 0) {
    g_failCountdown.store(countdown - 1);
    if (countdown == 1) return nullptr;
  }
  if (bytes > SIZE_MAX - kHeader) return nullptr;
  auto *raw = static_cast<unsigned char *>(std::calloc(kHeader + bytes, 1));
  if (!raw) return nullptr;
  std::memcpy(raw, &bytes, sizeof bytes);
  ++g_live;
  return raw + kHeader;
}

std::size_t block_size(const void *block) {
  std::size_t bytes = 0;
  if (block) std::memcpy(&bytes, header_of(block), sizeof bytes);
  return bytes;
}

void fail_nth_allocation(int n) { g_failCountdown.store(n); }
long live_blocks() { return g_live.load(); }

} // namespace platform

extern "C" void *GlobalFree(void *block) {
  if (block) {
    std::free(platform::header_of(block));
    --platform::g_live;
  }
  return nullptr;
}
