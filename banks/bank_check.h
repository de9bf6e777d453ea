// The bank checker: from a bank file's bytes alone, whether the importer takes the bank, the
// first reason it would not, and where everything lies. The importer and `ksfx info` both use
// it, so they never disagree. Pure: reads only the bytes it is given, allocates nothing.
#pragma once

#include "banks/bank_format.h"

#include <cstddef>
#include <cstdint>

namespace banks {

// Why a bank is refused. What the records use must lie inside the file; nothing else is
// tested, so a stored status, flags, listCount, an unused or cut "LIST" chunk, and extra chunks
// of any size anywhere are taken as they stand.
enum class Refusal : uint8_t {
  kNone,         // importable
  kNotABank,     // under 12 bytes, or no "RIFF" ... "KSFX" header
  kChunkMissing, // "INFO", "SFX ", "SMP " or "NAME" is absent
  kChunkShort,   // "INFO" under 4 bytes, or fewer whole records than the counts (inside the file)
  kNamesShort,   // "NAME" holds fewer than m terminated names, or "SFID" fewer than n
  kSampleIndex,  // a sound's sampleIndex is not below m
  kNoList,       // a sound has a list word but the bank has no "LIST" chunk
  kListCut,      // a sound's list runs past the "LIST" body or the file before its 0
  kListEntry,    // a sound's list names a sound outside 1..n
};

// A chunk as the lookup found it. `usable` counts the body bytes that lie inside the file.
struct ChunkPlace {
  bool found;
  riff::Chunk at;
  uint64_t usable;
};

// What the checker found: on a refusal, what and where; the counts and places hold whatever
// was read before it.
struct BankCheck {
  Refusal refusal;
  const char *chunk;   // the chunk a refusal concerns, or null
  uint32_t sound;      // the sound a refusal concerns (sample index and list refusals)
  uint32_t listNumber; // that sound's list, numbered from 1 in the order lists are claimed
  uint64_t have, want; // found against needed (bytes, records, names), or the bad value in want
  uint64_t fileSize;
  uint16_t sampleCount, soundCount; // m and n from "INFO"
  ChunkPlace info, sfx, smp, list, name, sfid;
  uint64_t listWords; // "LIST" words the sounds' lists use, terminators included
};

BankCheck check_bank(const uint8_t *bytes, uint64_t size);

// One line saying why the bank is refused, cut to fit `out`; empty for an importable bank.
void describe_refusal(const BankCheck &check, char *out, std::size_t outSize);

// Reading a bank the checker accepted: the stored words of sound k and sample i (decode them
// with decode_sound and decode_sample), and word `index` of the "LIST" body, where the sounds'
// lists lie one after another in record order.
inline const uint8_t *sound_bytes(const uint8_t *bytes, const BankCheck &check, uint32_t k) {
  return bytes + check.sfx.at.body + (uint64_t)kSoundBytes * k;
}
inline const uint8_t *sample_bytes(const uint8_t *bytes, const BankCheck &check, uint32_t i) {
  return bytes + check.smp.at.body + (uint64_t)kSampleBytes * i;
}
inline uint32_t list_word(const uint8_t *bytes, const BankCheck &check, uint64_t index) {
  return riff::get_le32(bytes + check.list.at.body + 4 * index);
}
inline bool sound_has_list(const uint8_t *bytes, const BankCheck &check, uint32_t k) {
  return riff::get_le32(sound_bytes(bytes, check, k) + kSoundListOffset) != 0;
}

} // namespace banks
