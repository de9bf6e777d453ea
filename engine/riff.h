// Little-endian byte helpers and the one RIFF chunk walk shared by WAV images and banks.
#pragma once

#include <cstddef>
#include <cstdint>

namespace riff {

inline uint16_t get_le16(const uint8_t *p) { return (uint16_t)(p[0] | (p[1] << 8)); }
inline uint32_t get_le32(const uint8_t *p) {
  return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}
inline void put_le16(uint8_t *p, uint16_t v) {
  p[0] = (uint8_t)v;
  p[1] = (uint8_t)(v >> 8);
}
inline void put_le32(uint8_t *p, uint32_t v) {
  p[0] = (uint8_t)v;
  p[1] = (uint8_t)(v >> 8);
  p[2] = (uint8_t)(v >> 16);
  p[3] = (uint8_t)(v >> 24);
}

// Compares a 4-character identifier, ASCII letters case-insensitively; a 0 byte never matches.
bool id_matches(const uint8_t *p, const char *id);

struct Chunk {
  uint64_t header; // offset of the chunk's identifier
  uint64_t body;   // offset of its body (header + 8)
  uint32_t size;   // its size field
};

// Walks chunks from offset 12, the next at header + 8 + size + (size & 1), reading a header
// (after the first) only while its offset is below `stop` and all 8 bytes lie within `size` bytes
// of `image`. The first chunk named `id` is stored in *out. Whether its body fits is for the
// caller.
bool find_chunk(const uint8_t *image, uint64_t size, uint64_t stop, const char *id, Chunk *out);

} // namespace riff
