// The global allocator stand-in over calloc, with failure and address-reuse seams and a
// live-block count. Each block carries its size in a 16-byte header in front of it, so block_size
// can answer; a registry of live blocks answers known_block_size for addresses that may not be
// ours.
#include "exports/boundary.h"
#include "ksnd32.h"
#include "platform/memory.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_set>

namespace platform {
namespace {
std::atomic<int> g_failCountdown{0};
std::atomic<long> g_live{0};
constexpr std::size_t kHeader = 16; // keeps the block 16-byte aligned

// Live blocks by address; any thread. Never destroyed, so blocks released during static
// teardown still find it.
struct BlockRegistry {
  std::mutex lock;
  std::unordered_set<const void *> blocks;
};
BlockRegistry &registry() {
  static auto *blocks = new BlockRegistry;
  return *blocks;
}

// A block the registry could not record (out of memory) stays valid, only unknown.
void remember(const void *block) noexcept {
  try {
    std::lock_guard guard(registry().lock);
    registry().blocks.insert(block);
  } catch (...) {
  }
}

void forget(const void *block) noexcept {
  std::lock_guard guard(registry().lock);
  registry().blocks.erase(block);
}

unsigned char *header_of(const void *block) {
  return static_cast<unsigned char *>(const_cast<void *>(block)) - kHeader;
}

// The reuse seam: a released block held back for the next allocation of its size.
struct HeldBlock {
  std::mutex lock;
  bool armed = false;           // the next release is held back
  unsigned char *raw = nullptr; // the held block's header, or null
};
HeldBlock g_held;

bool hold_back(unsigned char *raw) {
  std::lock_guard guard(g_held.lock);
  if (!g_held.armed) return false;
  g_held.armed = false;
  g_held.raw = raw;
  return true;
}

unsigned char *take_held(std::size_t bytes) {
  std::lock_guard guard(g_held.lock);
  unsigned char *raw = g_held.raw;
  std::size_t heldBytes = 0;
  if (raw) std::memcpy(&heldBytes, raw, sizeof heldBytes);
  if (!raw || heldBytes != bytes) return nullptr;
  g_held.raw = nullptr;
  std::memset(raw + kHeader, 0, bytes);
  return raw;
}
} // namespace

void *global_alloc(std::size_t bytes) {
  int countdown = g_failCountdown.load();
  if (countdown > 0) {
    g_failCountdown.store(countdown - 1);
    if (countdown == 1) return nullptr;
  }
  if (bytes > SIZE_MAX - kHeader) return nullptr;
  unsigned char *raw = take_held(bytes);
  if (!raw) raw = static_cast<unsigned char *>(std::calloc(kHeader + bytes, 1));
  if (!raw) return nullptr;
  std::memcpy(raw, &bytes, sizeof bytes);
  ++g_live;
  remember(raw + kHeader);
  return raw + kHeader;
}

std::size_t block_size(const void *block) {
  std::size_t bytes = 0;
  if (block) std::memcpy(&bytes, header_of(block), sizeof bytes);
  return bytes;
}

bool known_block_size(const void *address, std::size_t *size) {
  if (!address) return false;
  {
    std::lock_guard guard(registry().lock);
    if (registry().blocks.count(address) == 0) return false;
  }
  *size = block_size(address);
  return true;
}

void *global_free(void *block) { return GlobalFree(block); }

void fail_nth_allocation(int n) { g_failCountdown.store(n); }
long live_blocks() { return g_live.load(); }

void reuse_next_released_block() {
  std::lock_guard guard(g_held.lock);
  g_held.armed = true;
}

} // namespace platform

extern "C" void *GlobalFree(void *block) {
  if (!block) return nullptr;
  return exports::guarded(block, [&]() -> void * {
    platform::forget(block);
    if (!platform::hold_back(platform::header_of(block))) std::free(platform::header_of(block));
    --platform::g_live;
    return nullptr;
  });
}
