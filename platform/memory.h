// The global allocator: fixed, zero-filled blocks. On Windows they are GlobalAlloc blocks that
// kernel32's GlobalFree releases; elsewhere a stand-in whose GlobalFree is exported (see
// ksnd32.h) so hosts can release blocks that KSFX_FileRead handed them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// A zero-filled block of `bytes` (a 0-byte request gives a valid, distinct block); null when
// the allocation fails.
void *global_alloc(std::size_t bytes);

// Releases a block that global_alloc handed out, as Windows' GlobalFree does: null on success,
// the block itself on failure. The library releases its own blocks only through this, so that
// it knows which of them are live; hosts release theirs with GlobalFree.
void *global_free(void *block);

// The size a block was allocated with, as Windows' GlobalSize gives it (0 for null). Only for
// blocks that global_alloc handed out.
std::size_t block_size(const void *block);

// The size of a live block that global_alloc handed out, when `address` is its first byte; false
// for any other address (host memory, a released block, an address inside a block). Lets parsers
// bound their reads by what really exists when the data is one of our blocks.
bool known_block_size(const void *address, std::size_t *size);

// Test seams: the n-th allocation from now fails (1 = the next one; 0 = none fail), and the
// number of blocks allocated and not yet released (on Windows: not released through
// global_free).
void fail_nth_allocation(int n);
long live_blocks();
// Test seam: the next block released is held back, and the next allocation of the same size
// gets that very address again (zero-filled), as an allocator that reuses addresses would.
void reuse_next_released_block();

} // namespace platform
