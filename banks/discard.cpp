// DiscardSFXpackage and DiscardPackageSampleBits: release a bank's image and its samples' WAV
// blocks. Neither stops playback; the host stops the bank's sounds first.
// Choices: package numbers outside 0..31 are refused with 0, and so is a slot that an import is
// still loading (a discard called from inside that import's virtual-path callback).
#include "banks/package_table.h"
#include "exports/boundary.h"
#include "ksnd32.h"
#include "platform/memory.h"

namespace {

banks::PackageEntry *entry_holding_image(int32_t bank) {
  if (bank < 0 || bank >= banks::kPackageSlots || banks::slot_loading(bank)) return nullptr;
  banks::PackageEntry *entry = &banks::g_packages[bank];
  return entry->image ? entry : nullptr;
}

int32_t discard_package(int32_t bank) {
  banks::PackageEntry *entry = entry_holding_image(bank);
  if (!entry || platform::global_free(entry->image)) return 0;
  platform::global_free(entry->native);
  *entry = banks::PackageEntry{};
  return 1;
}

int32_t discard_sample_bits(int32_t bank) {
  banks::PackageEntry *entry = entry_holding_image(bank);
  if (!entry) return 0;
  for (uint32_t i = 0; i < entry->sampleCount; ++i) {
    SampleRecord &sample = entry->samples[i];
    if (!sample.data) continue;
    if (!platform::global_free(sample.image)) sample.image = nullptr;
    sample.data = nullptr;
  }
  return 1;
}

} // namespace

extern "C" {

int32_t DiscardSFXpackage(int32_t bank) {
  return exports::guarded(0, [&] { return discard_package(bank); });
}

int32_t DiscardPackageSampleBits(int32_t bank) {
  return exports::guarded(0, [&] { return discard_sample_bits(bank); });
}

} // extern "C"
