// The mixer: sums the voices on the active list, through their resampling kernels and gain
// ramps, into a float mix, and notes the voices that run out. The library lock is held.
#pragma once

#include "audio/voices.h"

#include <cstdint>

namespace wail {

// A voice that ran out in a block: which voice, which of its starts, and on which frame.
struct VoiceEnd {
  uint32_t voice;
  uint32_t generation;
  uint32_t frame;
};

// The ends of one block, ordered by frame (start order among equals), so callbacks come in
// the order the sounds ended.
struct BlockEnds {
  VoiceEnd ends[kMaxVoices];
  uint32_t count;
};

// Adds `frames` frames of every playing voice into `mix` (2 floats per frame). A voice that
// runs out stops playing, leaves the active list and is noted in `ends`.
void mix_voices(float *mix, uint32_t frames, BlockEnds &ends) noexcept;

// Output frames until the first playing voice runs out (0 when one already has), at most
// `limit`. The render cuts its blocks there, so each end-of-sample callback, and the sound it
// starts, falls on the exact frame.
uint32_t frames_until_first_end(uint32_t limit) noexcept;

} // namespace wail
