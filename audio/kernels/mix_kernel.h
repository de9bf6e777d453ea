// The mixer's inner loops: resample one voice over a 32.32 fixed-point position, band-limited
// or by linear interpolation, and add it, scaled by two ramped gains, into an interleaved stereo
// float mix. Pure functions: no allocation, no locks; callable from a test with a ramp in.
#pragma once

#include <cstdint>

namespace wail {

enum class SourceFormat : uint8_t { Mono8 = 0, Mono16 = 1, Stereo8 = 2, Stereo16 = 3 };

// How a voice is resampled to the output rate (values as AIL_RESAMPLE_LINEAR and _SINC).
//   Sinc    a 16-tap Kaiser-windowed sinc (beta 9) with its cutoff at half the source rate:
//           -0.1 dB at 0.37 and -3 dB at 0.47 of the source rate, below -80 dB from 0.68 and
//           -85 dB from 0.75. Above the output rate (step > 1) the window stretches so that the
//           cutoff follows the ratio, up to a step of 4 (beyond it the cutoff stays, and aliases).
//   Linear  two-point linear interpolation: the cheapest, with images at -40 dBc from 11025 Hz.
enum class Resampler : uint8_t { Linear = 0, Sinc = 1 };

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
  uint32_t playsDone = 0; // plays finished since the start (saturating); in/out. A start sets 0.
};

// Adds up to `count` output frames of `voice` into `mix` (2 floats per frame) and returns how
// many it produced; fewer than `count` means the voice ended (its last play ran out).
// Frames past the last one read the next play's first frames when another play follows. After
// the last frame of the last play, linear interpolation holds that frame and the band-limited
// filter reads silence; before frame 0 the filter reads the previous play's last frames when
// there was one (playsDone), else silence.
using MixKernel = uint32_t (*)(VoiceMix &voice, float *mix, uint32_t count) noexcept;

// The portable reference implementation.
MixKernel scalar_kernel(SourceFormat format, Resampler mode) noexcept;
// The fastest implementation this processor supports (AVX-512, AVX2, SSE2 or scalar), chosen once.
MixKernel select_kernel(SourceFormat format, Resampler mode) noexcept;

} // namespace wail
