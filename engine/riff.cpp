// The RIFF chunk walk.
#include "engine/riff.h"

namespace riff {

namespace {
uint8_t fold(uint8_t c) { return (c >= 'a' && c <= 'z') ? (uint8_t)(c - 'a' + 'A') : c; }
} // namespace

bool id_matches(const uint8_t *p, const char *id) {
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0 || fold(p[i]) != fold((uint8_t)id[i])) return false;
  }
  return true;
}

bool find_chunk(const uint8_t *image, uint64_t size, uint64_t stop, const char *id, Chunk *out) {
  uint64_t at = 12;
  // The first header is read whenever it fits; later ones only below `stop`.
  while ((at == 12 || at < stop) && at + 8 <= size) {
    uint32_t chunkSize = get_le32(image + at + 4);
    if (id_matches(image + at, id)) {
      *out = Chunk{at, at + 8, chunkSize};
      return true;
    }
    at += 8 + (uint64_t)chunkSize + (chunkSize & 1);
  }
  return false;
}

} // namespace riff
