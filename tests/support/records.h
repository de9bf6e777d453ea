// Records filled as a host fills them, for the tests: a sound that takes its sample's own rate,
// volume and pan (-1), and a 16-bit mono sample over PCM the caller keeps alive.
#pragma once

#include "ksnd32.h"

#include <cstdint>
#include <vector>

namespace support {

inline SoundRecord sound_of(SampleRecord *sample, uint32_t priority, uint16_t flags = 0) {
  SoundRecord r{};
  r.priority = priority, r.sample = sample, r.flags = flags;
  r.rate = r.volume = r.pan = -1;
  return r;
}

// A group sound over the null-terminated `list` of `count` elements.
inline SoundRecord group_of(SoundRecord **list, uint32_t count, uint32_t priority,
                            uint16_t flags = 0) {
  SoundRecord g = sound_of(nullptr, priority, uint16_t(KSFX_GROUP | flags));
  g.list = list, g.listCount = count;
  return g;
}

// Full volume, centre pan.
inline SampleRecord mono16(const std::vector<int16_t> &pcm, uint32_t rate) {
  SampleRecord s{};
  s.data = reinterpret_cast<uint8_t *>(const_cast<int16_t *>(pcm.data()));
  s.length = uint32_t(pcm.size() * 2), s.rate = rate, s.volume = 127, s.pan = 64;
  s.flags = KSFX_SAMPLE_16BIT, s.format = DIG_F_MONO_16;
  return s;
}

} // namespace support
