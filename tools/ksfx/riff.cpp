// The bounded RIFF chunk walk: identifiers compared case-insensitively, odd bodies padded.
#include "riff.h"

namespace ksfx {
namespace {

uint8_t ascii_upper(uint8_t c) { return (c >= 'a' && c <= 'z') ? static_cast<uint8_t>(c - 32) : c; }

} // namespace

bool chunk_id_is(Bytes data, size_t at, std::string_view id) {
  if (at + 4 > data.size() || id.size() != 4) return false;
  for (size_t i = 0; i < 4; ++i) {
    uint8_t c = data[at + i];
    if (c == 0 || ascii_upper(c) != ascii_upper(static_cast<uint8_t>(id[i]))) return false;
  }
  return true;
}

std::optional<Chunk> find_chunk(Bytes data, std::string_view id, size_t limit) {
  size_t at = 12;
  while (at < limit && at + 8 <= data.size()) {
    uint32_t size = get_le32(data, at + 4);
    if (chunk_id_is(data, at, id)) {
      return Chunk{at, size, size <= data.size() - (at + 8)};
    }
    uint64_t next = static_cast<uint64_t>(at) + 8 + size + (size & 1);
    if (next > data.size()) break;
    at = static_cast<size_t>(next);
  }
  return std::nullopt;
}

} // namespace ksfx
