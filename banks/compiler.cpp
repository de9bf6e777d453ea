// CompileSFXpackage: assembles a bank file from the host's records in one zero-filled block,
// sized exactly in advance, and writes it with one KSFX_FileWrite. Owns nothing between calls.
// Choices: a null sample name, or a null records, samples or sample-names array with a non-zero
// count, refuses the call with 0 before any file is touched; a record without a sample stores
// sample position 0 (readers ignore the word).
#include "banks/bank_format.h"
#include "exports/boundary.h"
#include "ksnd32.h"
#include "platform/memory.h"

#include <cstring>

namespace {

using banks::BankLayout;

uint64_t list_entries(SoundRecord *const *list) {
  uint64_t count = 0;
  while (list[count]) ++count;
  return count;
}

// Bytes of `count` strings each with its terminator; a null entry is a lone 0.
uint64_t strings_size(const char *const *strings, uint32_t count) {
  uint64_t size = 0;
  for (uint32_t i = 0; i < count; ++i) size += (strings[i] ? std::strlen(strings[i]) : 0) + 1;
  return size;
}

uint64_t lists_size(const SoundRecord *records, uint16_t n) {
  uint64_t size = 0;
  for (uint16_t i = 0; i < n; ++i)
    if (records[i].list) size += 4 * (list_entries(records[i].list) + 1);
  return size;
}

bool inputs_usable(const SoundRecord *records, uint16_t n, const SampleRecord *samples,
                   const char *const *sampleNames, uint16_t m) {
  if ((n && !records) || (m && (!samples || !sampleNames))) return false;
  for (uint16_t i = 0; i < m; ++i)
    if (!sampleNames[i]) return false;
  return true;
}

// Position of `item` in the array at `base`, counted in native records; the file keeps the low
// 32 bits of the (signed, truncated) result.
uint32_t position(const void *item, const void *base, std::size_t recordSize) {
  intptr_t bytes = (intptr_t)((uintptr_t)item - (uintptr_t)base);
  return (uint32_t)(bytes / (intptr_t)recordSize);
}

uint32_t write_strings(uint8_t *at, const char *const *strings, uint32_t count) {
  uint32_t written = 0;
  for (uint32_t i = 0; i < count; ++i) {
    std::size_t length = strings[i] ? std::strlen(strings[i]) : 0;
    if (length) std::memcpy(at + written, strings[i], length);
    written += (uint32_t)length + 1; // the terminator is already 0
  }
  return written;
}

// "SFX " and "LIST" bodies together: lists numbered 1, 2, 3, ... in record order.
void write_sounds_and_lists(uint8_t *block, const BankLayout &layout, const SoundRecord *records,
                            uint16_t n, const SampleRecord *samples) {
  uint32_t listAt = layout.list + 8;
  uint32_t listNumber = 1;
  for (uint16_t i = 0; i < n; ++i) {
    const SoundRecord &record = records[i];
    uint32_t listWord = 0;
    if (record.list) {
      for (SoundRecord *const *entry = record.list; *entry; ++entry, listAt += 4)
        riff::put_le32(block + listAt, position(*entry, records, sizeof(SoundRecord)) + 1);
      listAt += 4; // the list's terminating 0
      listWord = listNumber++;
    }
    uint32_t sampleWord =
        record.sample ? position(record.sample, samples, sizeof(SampleRecord)) : 0;
    banks::encode_sound(block + layout.sfx + 8 + banks::kSoundBytes * i, record, sampleWord,
                        listWord);
  }
}

void write_samples(uint8_t *block, const BankLayout &layout, const SampleRecord *samples,
                   uint16_t m) {
  for (uint16_t i = 0; i < m; ++i)
    banks::encode_sample(block + layout.smp + 8 + banks::kSampleBytes * i, samples[i]);
}

int32_t compile_bank(const char *fileName, const SoundRecord *records,
                     const char *const *soundNames, uint16_t n, const SampleRecord *samples,
                     const char *const *sampleNames, uint16_t m) {
  if (!inputs_usable(records, n, samples, sampleNames, m)) return 0;
  BankLayout layout;
  bool hasNames = soundNames != nullptr;
  if (!banks::plan_layout(n, m, lists_size(records, n), strings_size(sampleNames, m), hasNames,
                          hasNames ? strings_size(soundNames, n) : 0, &layout))
    return 0;
  auto *block = static_cast<uint8_t *>(platform::global_alloc(layout.total));
  if (!block) return 0;

  banks::write_headers(block, layout, n, m);
  write_strings(block + layout.name + 8, sampleNames, m);
  if (hasNames) write_strings(block + layout.sfid + 8, soundNames, n);
  write_sounds_and_lists(block, layout, records, n, samples);
  write_samples(block, layout, samples, m);

  int32_t written = KSFX_FileWrite(fileName, block, layout.total);
  platform::global_free(block);
  return written ? 1 : 0;
}

} // namespace

extern "C" int32_t CompileSFXpackage(const char *fileName, const SoundRecord *records,
                                     const char *const *soundNames, uint16_t n,
                                     const SampleRecord *samples, const char *const *sampleNames,
                                     uint16_t m) {
  return exports::guarded(
      0, [&] { return compile_bank(fileName, records, soundNames, n, samples, sampleNames, m); });
}
