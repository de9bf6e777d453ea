// Duplicate pool storage, allocation and release.
#include "banks/duplicates.h"
#include "platform/memory.h"

namespace banks {

DuplicatePool g_duplicates = {nullptr, nullptr, 0};

namespace {
uint16_t duplicate_slot_count(uint32_t requested) {
  uint16_t low = (uint16_t)requested;
  if (low <= 16) return 16;
  if (low >= 256) return 256;
  return low;
}
} // namespace

bool allocate_duplicate_pool(uint32_t requested) {
  uint16_t count = duplicate_slot_count(requested);
  auto *slots = static_cast<SoundRecord *>(platform::global_alloc(count * sizeof(SoundRecord)));
  auto *sources = static_cast<int32_t *>(platform::global_alloc(count * sizeof(int32_t)));
  if (!slots || !sources) {
    platform::global_free(slots);
    platform::global_free(sources);
    return false;
  }
  g_duplicates = DuplicatePool{slots, sources, count};
  for (uint16_t k = 0; k < count; ++k) slots[k].id = -1;
  return true;
}

void release_duplicate_pool() {
  if (g_duplicates.slots) platform::global_free(g_duplicates.slots);
  if (g_duplicates.sources) platform::global_free(g_duplicates.sources);
  g_duplicates = DuplicatePool{nullptr, nullptr, 0};
}

} // namespace banks
