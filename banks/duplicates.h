// The duplicate pool: copies of playing sounds, named by sound numbers -2 and below.
#pragma once

#include "ksnd32.h"

#include <cstdint>

namespace banks {

struct DuplicatePool {
  SoundRecord *slots; // dupCount records; id -1 marks a free slot; under the audio lock
  int32_t *sources;   // per slot: the sound number it was copied from
  uint16_t dupCount;  // 16 to 256 while initialised, 0 otherwise
};
extern DuplicatePool g_duplicates;

// Allocates the pool and the source table for `requested` slots (the low 16 bits, clamped to
// 16..256), every slot free. On an
// allocation failure releases what it got and returns false.
bool allocate_duplicate_pool(uint32_t requested);

// Releases the pool and the source table (each only if it exists); dupCount becomes 0.
void release_duplicate_pool();

} // namespace banks
