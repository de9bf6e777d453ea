// Little-endian field access and the bounded RIFF chunk walk shared by the bank reader and the
// WAV checks. Nothing here reads outside the span it is given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace ksfx {

using Bytes = std::span<const uint8_t>;

inline uint16_t get_le16(Bytes b, size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
inline uint32_t get_le32(Bytes b, size_t at) {
  return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
         (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

// One chunk found by the walk. `bodyFits` is false when the stated body runs past the data.
struct Chunk {
  size_t offset = 0; // of the 8-byte header
  uint32_t size = 0; // body size as stored
  bool bodyFits = false;
  size_t body() const { return offset + 8; }
};

// True when the four bytes at `at` name `id`, ASCII letters compared without case; a 0 byte
// never matches.
bool chunk_id_is(Bytes data, size_t at, std::string_view id);

// Finds the first chunk named `id`, starting at offset 12 and stepping over bodies and pad
// bytes while the next header starts below `limit` and fits inside `data`.
std::optional<Chunk> find_chunk(Bytes data, std::string_view id, size_t limit);

} // namespace ksfx
