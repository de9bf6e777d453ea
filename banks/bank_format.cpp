// The sound-bank file format: layout planning, header writing, bounded chunk lookup and the
// word-by-word record encodings shared by the compiler and the importer.
#include "banks/bank_format.h"

namespace banks {

using riff::get_le16;
using riff::get_le32;
using riff::put_le16;
using riff::put_le32;

namespace {

constexpr uint32_t kChunkHeader = 8;

uint64_t next_chunk(uint64_t start, uint64_t size) {
  return start + kChunkHeader + size + (size & 1);
}

void put_id(uint8_t *at, const char *id) {
  for (int i = 0; i < 4; ++i) at[i] = (uint8_t)id[i];
}

void put_chunk_header(uint8_t *block, uint32_t at, const char *id, uint32_t size) {
  put_id(block + at, id);
  put_le32(block + at + 4, size);
}

uint32_t pointer_word(const void *p) { return (uint32_t)(uintptr_t)p; }

template <typename T> T *word_pointer(uint32_t word) {
  return reinterpret_cast<T *>((uintptr_t)word);
}

} // namespace

bool plan_layout(uint16_t n, uint16_t m, uint64_t listSize, uint64_t nameSize, bool hasNames,
                 uint64_t sfidSize, BankLayout *out) {
  uint64_t sfx = 24;
  uint64_t smp = next_chunk(sfx, (uint64_t)kSoundBytes * n);
  uint64_t list = next_chunk(smp, (uint64_t)kSampleBytes * m);
  uint64_t name = next_chunk(list, listSize);
  uint64_t sfid = next_chunk(name, nameSize);
  uint64_t total =
      60 + (uint64_t)kSoundBytes * n + (uint64_t)kSampleBytes * m + listSize + nameSize;
  if (hasNames) total += kChunkHeader + sfidSize;
  if (total > UINT32_MAX) return false;
  *out = BankLayout{(uint32_t)sfx,  (uint32_t)smp,      (uint32_t)list,     (uint32_t)name,
                    (uint32_t)sfid, (uint32_t)listSize, (uint32_t)nameSize, (uint32_t)sfidSize,
                    hasNames,       (uint32_t)total};
  return true;
}

void write_headers(uint8_t *block, const BankLayout &layout, uint16_t n, uint16_t m) {
  put_id(block, "RIFF");
  put_le32(block + 4, layout.total);
  put_id(block + 8, "KSFX");
  put_chunk_header(block, 12, "INFO", kInfoBodySize);
  put_le16(block + 20, m);
  put_le16(block + 22, n);
  put_chunk_header(block, layout.sfx, "SFX ", kSoundBytes * n);
  put_chunk_header(block, layout.smp, "SMP ", kSampleBytes * m);
  put_chunk_header(block, layout.list, "LIST", layout.listSize);
  put_chunk_header(block, layout.name, "NAME", layout.nameSize);
  if (layout.hasNames) put_chunk_header(block, layout.sfid, "SFID", layout.sfidSize);
}

bool is_bank(const uint8_t *image, uint64_t size) {
  return size >= 12 && riff::id_matches(image, "RIFF") && riff::id_matches(image + 8, "KSFX");
}

bool find_bank_chunk(const uint8_t *image, uint64_t size, const char *id, riff::Chunk *out) {
  return riff::find_chunk(image, size, 12 + (uint64_t)get_le32(image + 4), id, out);
}

void encode_sound(uint8_t *out, const SoundRecord &r, uint32_t sampleWord, uint32_t listWord) {
  put_le32(out + 0, (uint32_t)r.id);
  put_le32(out + 4, r.priority);
  put_le32(out + 8, r.status);
  put_le32(out + 12, sampleWord);
  put_le16(out + 16, r.flags);
  put_le16(out + 18, r.reserved);
  put_le32(out + 20, pointer_word(r.channel));
  put_le32(out + 24, (uint32_t)r.rate);
  put_le32(out + 28, (uint32_t)r.volume);
  put_le32(out + 32, (uint32_t)r.pan);
  put_le16(out + 36, (uint16_t)r.x);
  put_le16(out + 38, (uint16_t)r.y);
  put_le32(out + 40, r.baseVolume);
  put_le32(out + 44, listWord);
  put_le32(out + 48, pointer_word(r.listPos));
  put_le32(out + 52, r.listCount);
  put_le32(out + 56, r.sampleIndex);
}

void encode_sample(uint8_t *out, const SampleRecord &s) {
  put_le32(out + 0, pointer_word(s.data));
  put_le32(out + 4, pointer_word(s.image));
  put_le32(out + 8, s.length);
  put_le32(out + 12, s.rate);
  put_le32(out + 16, (uint32_t)s.volume);
  put_le32(out + 20, (uint32_t)s.pan);
  put_le16(out + 24, s.flags);
  put_le16(out + 26, s.format);
}

SoundRecord decode_sound(const uint8_t *in) {
  SoundRecord r{};
  r.id = (int32_t)get_le32(in + 0);
  r.priority = get_le32(in + 4);
  r.status = get_le32(in + kSoundStatusOffset);
  r.flags = get_le16(in + kSoundFlagsOffset);
  r.reserved = get_le16(in + 18);
  r.channel = word_pointer<Channel>(get_le32(in + 20));
  r.rate = (int32_t)get_le32(in + 24);
  r.volume = (int32_t)get_le32(in + 28);
  r.pan = (int32_t)get_le32(in + 32);
  r.x = (int16_t)get_le16(in + 36);
  r.y = (int16_t)get_le16(in + 38);
  r.baseVolume = get_le32(in + 40);
  r.listPos = word_pointer<SoundRecord *>(get_le32(in + 48));
  r.listCount = get_le32(in + kSoundListCountOffset);
  r.sampleIndex = get_le32(in + kSoundSampleIndexOffset);
  return r;
}

SampleRecord decode_sample(const uint8_t *in) {
  SampleRecord s{};
  s.length = get_le32(in + 8);
  s.rate = get_le32(in + 12);
  s.volume = (int32_t)get_le32(in + 16);
  s.pan = (int32_t)get_le32(in + 20);
  s.flags = get_le16(in + 24);
  s.format = get_le16(in + 26);
  return s;
}

} // namespace banks
