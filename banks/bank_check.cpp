// The bank checker: the bounded chunk lookups, then every count, index and list the records use
// checked against the bytes that really exist, in the order the importer uses them.
#include "banks/bank_check.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace banks {
namespace {

using riff::get_le16;
using riff::get_le32;

bool refuse(BankCheck &check, Refusal why, const char *chunk, uint64_t have, uint64_t want) {
  check.refusal = why;
  check.chunk = chunk;
  check.have = have;
  check.want = want;
  return false;
}

ChunkPlace locate(const uint8_t *bytes, uint64_t size, const char *id) {
  ChunkPlace place{};
  if (!find_bank_chunk(bytes, size, id, &place.at)) return place;
  place.found = true;
  uint64_t inFile = place.at.body <= size ? size - place.at.body : 0;
  place.usable = place.at.size < inFile ? place.at.size : inFile;
  return place;
}

// Terminated strings at the start of the chunk's usable body, counted up to `wanted`.
uint64_t names_inside(const uint8_t *bytes, const ChunkPlace &place, uint64_t wanted) {
  const uint8_t *at = bytes + place.at.body;
  const uint8_t *end = at + place.usable;
  uint64_t found = 0;
  while (found < wanted && at < end) {
    const void *zero = std::memchr(at, 0, (std::size_t)(end - at));
    if (!zero) break;
    at = static_cast<const uint8_t *>(zero) + 1;
    ++found;
  }
  return found;
}

// A required chunk holding `records` records of `recordBytes` inside the file.
bool require(BankCheck &check, const uint8_t *bytes, const char *id, uint64_t records,
             uint64_t recordBytes, ChunkPlace *place) {
  *place = locate(bytes, check.fileSize, id);
  if (!place->found) return refuse(check, Refusal::kChunkMissing, id, 0, 0);
  if (place->usable / recordBytes < records)
    return refuse(check, Refusal::kChunkShort, id, place->usable / recordBytes, records);
  return true;
}

bool require_names(BankCheck &check, const uint8_t *bytes, const char *id, const ChunkPlace &place,
                   uint64_t count) {
  uint64_t found = names_inside(bytes, place, count);
  return found == count || refuse(check, Refusal::kNamesShort, id, found, count);
}

// Walks the list that starts at LIST word *cursor and leaves *cursor past its 0.
bool check_list(BankCheck &check, const uint8_t *bytes, uint64_t *cursor) {
  const uint64_t words = check.list.usable / 4;
  for (;;) {
    if (*cursor >= words) return refuse(check, Refusal::kListCut, "LIST", words, 0);
    uint32_t number = list_word(bytes, check, (*cursor)++);
    if (number == 0) return true;
    if (number > check.soundCount)
      return refuse(check, Refusal::kListEntry, "LIST", check.soundCount, number);
  }
}

bool check_sounds(BankCheck &check, const uint8_t *bytes) {
  uint64_t cursor = 0;
  for (uint32_t k = 0; k < check.soundCount; ++k) {
    check.sound = k;
    uint32_t sampleIndex = get_le32(sound_bytes(bytes, check, k) + kSoundSampleIndexOffset);
    if (sampleIndex >= check.sampleCount)
      return refuse(check, Refusal::kSampleIndex, "SFX ", check.sampleCount, sampleIndex);
    if (!sound_has_list(bytes, check, k)) continue;
    ++check.listNumber;
    if (!check.list.found) return refuse(check, Refusal::kNoList, "LIST", 0, 0);
    if (!check_list(check, bytes, &cursor)) return false;
  }
  check.listWords = cursor;
  return true;
}

// "INFO" under 4 bytes, or "SFX " or "SMP " holding fewer records than INFO counts.
void describe_short_chunk(const BankCheck &c, char *out, std::size_t outSize) {
  const bool info = std::strcmp(c.chunk, "INFO") == 0, sounds = std::strcmp(c.chunk, "SFX ") == 0;
  const ChunkPlace &place = info ? c.info : sounds ? c.sfx : c.smp;
  const char *cut = place.usable < place.at.size ? " (it runs past the end of the file)" : "";
  if (info) {
    std::snprintf(out, outSize, "the \"INFO\" chunk is shorter than 4 bytes%s", cut);
    return;
  }
  std::snprintf(out, outSize,
                "the \"%s\" chunk holds %" PRIu64 " of the %" PRIu64 " %s that INFO counts%s",
                c.chunk, c.have, c.want, sounds ? "sounds" : "samples", cut);
}

} // namespace

BankCheck check_bank(const uint8_t *bytes, uint64_t size) {
  BankCheck check{};
  check.fileSize = size;
  if (!is_bank(bytes, size)) {
    refuse(check, Refusal::kNotABank, nullptr, size, 12);
    return check;
  }
  if (!require(check, bytes, "INFO", 1, kInfoBodySize, &check.info)) return check;
  check.sampleCount = get_le16(bytes + check.info.at.body);
  check.soundCount = get_le16(bytes + check.info.at.body + 2);
  if (!require(check, bytes, "SMP ", check.sampleCount, kSampleBytes, &check.smp) ||
      !require(check, bytes, "NAME", 0, 1, &check.name) ||
      !require_names(check, bytes, "NAME", check.name, check.sampleCount) ||
      !require(check, bytes, "SFX ", check.soundCount, kSoundBytes, &check.sfx))
    return check;
  check.list = locate(bytes, size, "LIST");
  if (!check_sounds(check, bytes)) return check;
  check.sfid = locate(bytes, size, "SFID");
  if (check.sfid.found) require_names(check, bytes, "SFID", check.sfid, check.soundCount);
  return check;
}

void describe_refusal(const BankCheck &c, char *out, std::size_t outSize) {
  if (outSize == 0) return;
  out[0] = '\0';
  const char *id = c.chunk;
  switch (c.refusal) {
  case Refusal::kNone:
    return;
  case Refusal::kNotABank:
    std::snprintf(out, outSize, "%s",
                  c.fileSize < 12 ? "too short to be a sound bank"
                                  : "not a sound bank (no RIFF form \"KSFX\" header)");
    return;
  case Refusal::kChunkMissing:
    std::snprintf(out, outSize, "no \"%s\" chunk", id);
    return;
  case Refusal::kChunkShort:
    describe_short_chunk(c, out, outSize);
    return;
  case Refusal::kNamesShort:
    std::snprintf(out, outSize, "the \"%s\" chunk holds %" PRIu64 " of the %" PRIu64 " %s names",
                  id, c.have, c.want, std::strcmp(id, "NAME") == 0 ? "sample" : "sound");
    return;
  case Refusal::kSampleIndex:
    std::snprintf(out, outSize, "sound %" PRIu32 " plays sample %" PRIu64 ", the bank has %" PRIu64,
                  c.sound, c.want, c.have);
    return;
  case Refusal::kNoList:
    std::snprintf(out, outSize, "sound %" PRIu32 " has a list but the bank has no \"LIST\" chunk",
                  c.sound);
    return;
  case Refusal::kListCut:
    std::snprintf(
        out, outSize, "the list of sound %" PRIu32 " (list %" PRIu32 ") runs past the end of %s",
        c.sound, c.listNumber, c.list.usable < c.list.at.size ? "the file" : "the \"LIST\" chunk");
    return;
  case Refusal::kListEntry:
    std::snprintf(out, outSize,
                  "sound %" PRIu32 " lists sound %" PRIu64 " (entries count from 1 to %" PRIu64 ")",
                  c.sound, c.want, c.have);
    return;
  }
}

} // namespace banks
