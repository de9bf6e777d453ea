// The sound-bank file format (RIFF form "KSFX"): its layout, the chunk lookup within a bank's
// bounds, and the record encodings that both the compiler and the importer use.
#pragma once

#include "engine/riff.h"
#include "ksnd32.h"

#include <cstddef>
#include <cstdint>

namespace banks {

// Bank file layout, in the order the writer uses (n sounds, m samples):
//   OFFSET              SIZE     CONTENT
//      0                   4     "RIFF"
//      4                   4     total file length, these 8 bytes included
//      8                   4     "KSFX"
//     12                   4     "INFO", size 4: m (16 bits), then n (16 bits)
//     24                   8     "SFX ", size 60n, then n SoundRecords
//   P = 32 + 60n           8     "SMP ", size 28m, then m SampleRecords
//   Q = P + 8 + 28m        8     "LIST", size L: lists of 1-based sound numbers, each ended by 0
//   R = Q + 8 + L          8     "NAME", size N: m sample file names, each ended by 0
//   R + 8 + N          N & 1     pad byte when N is odd
//   T                      8     "SFID", size S: n sound names (only when names are given)
//   to the end    4 - (N & 1)    zero bytes
// Every chunk starts at the previous one's start + 8 + size + (size & 1).
constexpr uint32_t kInfoBodySize = 4;
constexpr uint32_t kSoundBytes = 60;
constexpr uint32_t kSampleBytes = 28;

// Where each chunk of a bank being written starts, and the exact total length.
struct BankLayout {
  uint32_t sfx, smp, list, name, sfid; // chunk header offsets (sfid only when hasNames)
  uint32_t listSize, nameSize, sfidSize;
  bool hasNames;
  uint32_t total;
};

// Plans a bank of n sounds and m samples with the given body sizes. False when the file would
// not fit in 32 bits.
bool plan_layout(uint16_t n, uint16_t m, uint64_t listSize, uint64_t nameSize, bool hasNames,
                 uint64_t sfidSize, BankLayout *out);

// Writes the RIFF header and every chunk header into a zero-filled block of layout.total bytes.
void write_headers(uint8_t *block, const BankLayout &layout, uint16_t n, uint16_t m);

// "RIFF" at 0 and "KSFX" at 8 (letters in either case) within `size` bytes.
bool is_bank(const uint8_t *image, uint64_t size);

// Looks `id` up from the first chunk, reading headers while they start below 12 + the length
// at offset 4 and lie whole within the `size` bytes that exist. For an image is_bank accepted;
// whether the body fits in the file is for the caller.
bool find_bank_chunk(const uint8_t *image, uint64_t size, const char *id, riff::Chunk *out);

// The 32-bit file words of a record. Reference fields hold the given words; every other word is
// the record's own (a wide reference keeps its low 32 bits).
void encode_sound(uint8_t *out, const SoundRecord &record, uint32_t sampleWord, uint32_t listWord);
void encode_sample(uint8_t *out, const SampleRecord &sample);

// A record read from its file words. `sample` and `list` are left null (the reader sets them);
// `channel` and `listPos` take the stored words as they stand.
SoundRecord decode_sound(const uint8_t *in);
// A SampleRecord read from its file words, with `data` and `image` null.
SampleRecord decode_sample(const uint8_t *in);

// File word offsets of the fields that are read on their own.
constexpr std::size_t kSoundStatusOffset = 8;
constexpr std::size_t kSoundFlagsOffset = 16;
constexpr std::size_t kSoundListOffset = 44;
constexpr std::size_t kSoundListCountOffset = 52;
constexpr std::size_t kSoundSampleIndexOffset = 56;

} // namespace banks
