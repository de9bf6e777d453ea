// The global allocator on Windows: GlobalAlloc(0x40) blocks, released with kernel32's GlobalFree.
// A registry of the blocks handed out and not released through global_free answers block sizes.
// A test seam can hold one released block back and hand its address out again.
//
// Choice: a host releases its blocks with GlobalFree, which the library cannot see, and asking
// the heap about an address that may have been released is not safe. So a block the host
// released stays known until global_alloc hands out its address again; other memory the heap
// places there meanwhile is taken for that block, with that block's size.
#include "platform/memory.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <windows.h>

namespace platform {
namespace {

constexpr UINT kFixedZeroed = 0x40; // GMEM_FIXED | GMEM_ZEROINIT

std::atomic<int> g_failCountdown{0};

// Blocks handed out, by address, with the size asked for (GlobalSize gives a 0-byte request one
// byte). Any thread, under `lock`. Never destroyed, so a release during static teardown still
// finds it.
struct BlockRegistry {
  std::mutex lock;
  std::unordered_map<const void *, std::size_t> blocks;
};
BlockRegistry &registry() {
  static auto *blocks = new BlockRegistry;
  return *blocks;
}

// A block the registry could not record (out of memory) stays valid, only unknown.
void remember(const void *block, std::size_t bytes) noexcept {
  BlockRegistry &r = registry();
  std::lock_guard guard(r.lock);
  try {
    r.blocks[block] = bytes;
  } catch (...) {
    r.blocks.erase(block); // an entry of an earlier block at this address would be stale
  }
}

// The reuse seam: a released block held back, unreleased, for the next allocation of its size.
// Any thread, under the registry's lock.
struct HeldBlock {
  bool armed;        // the next release is held back
  void *block;       // the held block, or null
  std::size_t bytes; // its size
};
HeldBlock g_held = {false, nullptr, 0};

// The held block when it has `bytes`, zero-filled again and recorded; else null.
void *take_held(std::size_t bytes) {
  void *block = nullptr;
  {
    std::lock_guard guard(registry().lock);
    if (!g_held.block || g_held.bytes != bytes) return nullptr;
    std::swap(block, g_held.block);
  }
  std::memset(block, 0, bytes);
  remember(block, bytes);
  return block;
}

} // namespace

void *global_alloc(std::size_t bytes) {
  int countdown = g_failCountdown.load();
  if (countdown > 0) {
    g_failCountdown.store(countdown - 1);
    if (countdown == 1) return nullptr;
  }
  if (void *held = take_held(bytes)) return held;
  void *block = GlobalAlloc(kFixedZeroed, bytes);
  if (block) remember(block, bytes);
  return block;
}

// The release and the registry change happen under the lock, so an allocation that gets the
// address back at once records it after this forgets it.
void *global_free(void *block) {
  if (!block) return nullptr;
  BlockRegistry &r = registry();
  std::lock_guard guard(r.lock);
  auto found = r.blocks.find(block);
  if (g_held.armed && found != r.blocks.end()) {
    g_held = {false, block, found->second};
    r.blocks.erase(found);
    return nullptr;
  }
  void *failed = GlobalFree(block);
  if (!failed) r.blocks.erase(block);
  return failed;
}

std::size_t block_size(const void *block) {
  if (!block) return 0;
  BlockRegistry &r = registry();
  std::lock_guard guard(r.lock);
  auto found = r.blocks.find(block);
  return found != r.blocks.end() ? found->second : GlobalSize(const_cast<void *>(block));
}

bool known_block_size(const void *address, std::size_t *size) {
  if (!address) return false;
  BlockRegistry &r = registry();
  std::lock_guard guard(r.lock);
  auto found = r.blocks.find(address);
  if (found == r.blocks.end()) return false;
  *size = found->second;
  return true;
}

void fail_nth_allocation(int n) { g_failCountdown.store(n); }

void reuse_next_released_block() {
  BlockRegistry &r = registry();
  std::lock_guard guard(r.lock);
  g_held.armed = true;
}

long live_blocks() {
  BlockRegistry &r = registry();
  std::lock_guard guard(r.lock);
  return (long)r.blocks.size();
}

} // namespace platform
