// The mixer's inner loops: resample one voice with linear interpolation over a 32.32
// fixed-point position and add it, scaled by two gains, into an interleaved stereo float mix.
// Pure functions: no allocation, no locks; callable from a test with a ramp in.
#pragma once

#include <cstdint>

namespace wail {

enum class SourceFormat : uint8_t { Mono8 = 0, Mono16 = 1, Stereo8 = 2, Stereo16 = 3 };

struct VoiceMix {
  const void *data;    // PCM frames: 8-bit unsigned or 16-bit signed little-endian, mono or stereo
  uint32_t frames;     // frames in data, at least 1
  uint64_t position;   // 32.32 fixed-point frame position; in/out
  uint64_t step;       // 32.32 source frames per output frame
  float gainLeft;      // applied to the left (or mono) source channel into the left output
  float gainRight;     // applied to the right (or mono) source channel into the right output
  float gainStepLeft;  // gain ramp: frame k of one kernel call is scaled by gainLeft + k * step;
  float gainStepRight; // the kernel leaves both gains as they were (the mixer sets the next)
  uint32_t playsLeft;  // plays still to come, the current one included (>= 1); in/out
  bool forever;        // loop count 0: wraps without end, playsLeft ignored
};

// Adds up to `count` output frames of `voice` into `mix` (2 floats per frame) and returns how
// many it produced; fewer than `count` means the voice ended (its last play ran out).
// Between the last frame and the first of the next play the interpolation reads across the
// loop point; after the last frame of the last play it holds the last frame.
using MixKernel = uint32_t (*)(VoiceMix &voice, float *mix, uint32_t count) noexcept;

// The portable reference implementation.
MixKernel scalar_kernel(SourceFormat format) noexcept;
// The fastest implementation this processor supports (AVX-512, AVX2, SSE2 or scalar), chosen once.
MixKernel select_kernel(SourceFormat format) noexcept;

} // namespace wail
