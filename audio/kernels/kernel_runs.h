// Splits a voice's block into runs of output frames that no loop point or end can interrupt, so
// a SIMD loop can mix them blindly; the frames between runs go through the reference step.
// Internal linkage for the same reason as voice_step.h: each SIMD file has its own copy.
#pragma once

#include "audio/kernels/voice_step.h"

#include <algorithm>
#include <cstdint>

namespace wail::kernels {
namespace {

// A run's lanes index frames relative to its first; this keeps their byte offsets in 31 bits.
constexpr uint64_t kMaxRunIndex = (uint64_t{1} << 28) - 1;

// Output frames from the voice's position, up to max, whose index i keeps i - back and
// i + reach inside the sample: a SIMD loop reading from `back` frames before i to `reach` frames
// past it (at least 1, for frame i+1) never meets either end, so no wrap, hold or end can
// occur among them.
inline uint32_t run_frames(const VoiceMix &v, uint32_t max, uint32_t back, uint32_t reach) {
  if (v.frames <= reach) return 0;
  const uint64_t first = v.position >> 32;
  if (first < back) return 0;
  const uint64_t last = std::min<uint64_t>(v.frames - 1 - reach, first + kMaxRunIndex);
  const uint64_t bound = (last + 1) << 32;
  if (v.position >= bound) return 0;
  if (v.step == 0) return max;
  const uint64_t n = (bound - 1 - v.position) / v.step + 1;
  return static_cast<uint32_t>(std::min<uint64_t>(n, max));
}

// What a SIMD loop gets: the source from the run's first frame, the position's fraction,
// and `frames` (a multiple of the loop's width) output frames to add into `mix`. The run's
// frame k is frame first + k of the kernel call, whose gain is ramped(gain, gainStep, first + k).
struct Run {
  const uint8_t *src;
  uint64_t position; // 32.32, relative to src
  uint64_t step;
  float gainLeft, gainRight;
  float gainStepLeft, gainStepRight;
  uint32_t first;
  float *mix;
  uint32_t frames;

  bool ramps() const { return gainStepLeft != 0.0f || gainStepRight != 0.0f; }
};

// The kernel built from a SIMD loop `Body(run)` of `Width` frames reading from `back` frames
// before each to `reach` past it: runs go to the loop, the frames near either end to the
// reference step `Frame`. Same contract as MixKernel.
template <SourceFormat F, uint32_t Width, FrameStep Frame, void (*Body)(const Run &) noexcept>
uint32_t mix_in_runs(VoiceMix &voice, float *mix, uint32_t count, uint32_t back,
                     uint32_t reach) noexcept {
  if (mix == nullptr || !playable(voice)) return 0;
  VoiceMix v = voice;
  const auto *src = static_cast<const uint8_t *>(v.data);
  uint32_t done = 0;
  auto loop_from_here = [&](float *out, uint32_t frames) {
    Body(Run{src + (v.position >> 32) * bytes_per_frame(F), v.position & 0xFFFFFFFFu, v.step,
             v.gainLeft, v.gainRight, v.gainStepLeft, v.gainStepRight, done, out, frames});
  };
  // Moves past k frames mixed from the current position; the last step may wrap or end.
  auto move_on = [&](uint32_t k) {
    done += k;
    v.position += (k - 1) * v.step;
    return advance(v);
  };
  bool going = true;
  while (going && done < count) {
    const uint32_t rest = count - done;
    const uint32_t safe = run_frames(v, std::max(rest, Width), back, reach);
    const uint32_t n = std::min(safe, rest);
    if (n >= Width) {
      loop_from_here(mix + size_t{2} * done, n / Width * Width);
      going = move_on(n / Width * Width);
    } else if (safe >= Width) {
      // The block ends short of a full iteration: run one into scratch and keep `rest` frames.
      alignas(64) float scratch[2 * Width] = {};
      loop_from_here(scratch, Width);
      for (uint32_t i = 0; i < 2 * rest; ++i) mix[size_t{2} * done + i] += scratch[i];
      going = move_on(rest);
    } else {
      for (uint32_t k = std::max(n, 1u); going && k > 0; --k) {
        Frame(v, mix + size_t{2} * done, done);
        going = move_on(1);
      }
    }
  }
  voice.position = v.position;
  voice.playsLeft = v.playsLeft;
  voice.playsDone = v.playsDone;
  return done;
}

// The linear kernels: runs read frames i .. i + Reach.
template <SourceFormat F, uint32_t Width, uint32_t Reach, void (*Body)(const Run &) noexcept>
uint32_t mix_linear_in_runs(VoiceMix &voice, float *mix, uint32_t count) noexcept {
  return mix_in_runs<F, Width, mix_frame<F>, Body>(voice, mix, count, 0, Reach);
}

} // namespace
} // namespace wail::kernels
