// The global allocator on Windows: GlobalAlloc(0x40) blocks, released by kernel32's GlobalFree,
// which the library cannot see. A registry of the blocks handed out answers block sizes; since a
// release does not reach it, every answer first checks that the address is still a live block
// of the process heap with the size it was given, and forgets it otherwise.
#include "platform/memory.h"

#include <atomic>
#include <cstdint>
#include <iterator>
#include <mutex>
#include <unordered_map>
#include <windows.h>

namespace platform {
namespace {

constexpr UINT kFixedZeroed = 0x40; // GMEM_FIXED | GMEM_ZEROINIT

std::atomic<int> g_failCountdown{0};

// What global_alloc recorded of a block: the size asked for, and the heap's own size for it
// (GlobalAlloc gives a 0-byte request one byte).
struct BlockSizes {
  std::size_t asked;
  SIZE_T heap;
};

// Blocks handed out, by address; any thread, under `lock`. Never destroyed, so a lookup during
// static teardown still finds it. Pruned of released blocks whenever it doubles.
struct BlockRegistry {
  std::mutex lock;
  std::unordered_map<const void *, BlockSizes> blocks;
  std::size_t pruneAt = 64;
};
BlockRegistry &registry() {
  static auto *blocks = new BlockRegistry;
  return *blocks;
}

// True when [from, from + bytes) lies in committed, readable pages.
bool readable(const void *from, std::size_t bytes) {
  auto at = reinterpret_cast<uintptr_t>(from);
  const uintptr_t end = at + bytes;
  while (at < end) {
    MEMORY_BASIC_INFORMATION pages;
    if (VirtualQuery(reinterpret_cast<const void *>(at), &pages, sizeof pages) == 0) return false;
    if (pages.State != MEM_COMMIT || (pages.Protect & (PAGE_NOACCESS | PAGE_GUARD))) return false;
    at = reinterpret_cast<uintptr_t>(pages.BaseAddress) + pages.RegionSize;
  }
  return true;
}

// A block released with GlobalFree may have gone back to the system, or been taken again by an
// allocation of another size: only a live heap block of the recorded size still counts. The
// heap's header just before the block must be readable before the heap is asked about it.
bool still_live(const void *block, const BlockSizes &sizes) {
  const auto *header = static_cast<const char *>(block) - 2 * sizeof(void *);
  return readable(header, 2 * sizeof(void *) + 1) && HeapValidate(GetProcessHeap(), 0, block) &&
         GlobalSize(const_cast<void *>(block)) == sizes.heap;
}

// Drops the blocks that are no longer live; the caller holds the lock.
void prune(BlockRegistry &r) {
  for (auto it = r.blocks.begin(); it != r.blocks.end();)
    it = still_live(it->first, it->second) ? std::next(it) : r.blocks.erase(it);
  r.pruneAt = 2 * r.blocks.size() + 64;
}

// A block the registry could not record (out of memory) stays valid, only unknown.
void remember(const void *block, BlockSizes sizes) noexcept {
  BlockRegistry &r = registry();
  std::lock_guard guard(r.lock);
  try {
    r.blocks[block] = sizes;
  } catch (...) {
    return;
  }
  if (r.blocks.size() >= r.pruneAt) prune(r);
}

} // namespace

void *global_alloc(std::size_t bytes) {
  int countdown = g_failCountdown.load();
  if (countdown > 0) {
    g_failCountdown.store(countdown - 1);
    if (countdown == 1) return nullptr;
  }
  void *block = GlobalAlloc(kFixedZeroed, bytes);
  if (block) remember(block, BlockSizes{bytes, GlobalSize(block)});
  return block;
}

std::size_t block_size(const void *block) {
  if (!block) return 0;
  BlockRegistry &r = registry();
  std::lock_guard guard(r.lock);
  auto found = r.blocks.find(block);
  return found != r.blocks.end() ? found->second.asked : GlobalSize(const_cast<void *>(block));
}

bool known_block_size(const void *address, std::size_t *size) {
  if (!address) return false;
  BlockRegistry &r = registry();
  std::lock_guard guard(r.lock);
  auto found = r.blocks.find(address);
  if (found == r.blocks.end()) return false;
  if (!still_live(address, found->second)) {
    r.blocks.erase(found);
    return false;
  }
  *size = found->second.asked;
  return true;
}

void fail_nth_allocation(int n) { g_failCountdown.store(n); }

long live_blocks() {
  BlockRegistry &r = registry();
  std::lock_guard guard(r.lock);
  prune(r);
  return (long)r.blocks.size();
}

} // namespace platform
