// The package table: 32 slots, one per loaded bank, each described by references into the
// bank's file image.
#pragma once

#include "ksnd32.h"

#include <cstdint>

namespace banks {

constexpr int kPackageSlots = 32;

struct PackageEntry {
  uint32_t inUse;        // 1 once an import into this slot succeeded
  void *image;           // the whole bank file (KSFX_FileRead block), owned by the entry
  uint32_t soundCount;   // n, from "INFO"
  uint32_t sampleCount;  // m, from "INFO"
  SoundRecord *sounds;   // the bank's records (in the image where pointers are 32-bit)
  SampleRecord *samples; // the bank's sample records
  char *sampleNames;     // the "NAME" body inside the image
  char *soundIds;        // the "SFID" body inside the image, or 0
  void *native;          // the block of native records, samples and lists; 0 where used in place
};

// Host thread; the handle API reads it under the audio lock.
extern PackageEntry g_packages[kPackageSlots];

// Sets every word of the table to 0, releasing nothing. Slots being loaded stay marked.
void ClearPackageTable();

// The loading state of a slot: set while one import fills it, so that an import started from
// inside that import (through the virtual-path callback) is not handed the same slot and the
// discards leave it alone.
bool slot_loading(int32_t slot);
void set_slot_loading(int32_t slot, bool loading);

// The loaded bank in slot `bank`, or null when the number is outside 0-31 or the slot is free.
PackageEntry *loaded_package(int32_t bank);

} // namespace banks
