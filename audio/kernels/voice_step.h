// What every kernel shares: reading source frames, mixing one output frame the reference way,
// and advancing the 32.32 position across loop points and the end.
// Everything here has internal linkage: the SIMD files are compiled for wider instruction sets,
// and a shared inline copy chosen by the linker must never carry their code into other paths.
#pragma once

#include "audio/kernels/mix_kernel.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace wail::kernels {
namespace {

constexpr uint64_t kOne = uint64_t{1} << 32; // one source frame in 32.32 fixed point
constexpr float kFracScale = 0x1p-24f;       // the top 24 fraction bits, converted exactly
constexpr float kScale8 = 0x1p-7f;           // (b - 128) / 128
constexpr float kScale16 = 0x1p-15f;         // s / 32768

constexpr bool is_stereo(SourceFormat f) {
  return f == SourceFormat::Stereo8 || f == SourceFormat::Stereo16;
}
constexpr bool is_16bit(SourceFormat f) {
  return f == SourceFormat::Mono16 || f == SourceFormat::Stereo16;
}
constexpr uint32_t bytes_per_frame(SourceFormat f) {
  return (is_stereo(f) ? 2u : 1u) * (is_16bit(f) ? 2u : 1u);
}

// One channel's sample at byte p, as a float in [-1, 1).
template <SourceFormat F> float read_sample(const uint8_t *p) {
  if constexpr (is_16bit(F)) {
    auto bits = static_cast<uint16_t>(p[0] | (p[1] << 8));
    return static_cast<float>(static_cast<int16_t>(bits)) * kScale16;
  } else {
    return static_cast<float>(p[0] - 128) * kScale8;
  }
}

// Another play follows the current one, so the interpolation may read across the loop point.
inline bool another_play(const VoiceMix &v) { return v.forever || v.playsLeft > 1; }

inline bool playable(const VoiceMix &v) {
  return v.data != nullptr && v.frames > 0 && (v.position >> 32) < v.frames;
}

inline float fraction(uint64_t position) {
  return static_cast<float>(static_cast<uint32_t>(position) >> 8) * kFracScale;
}

// A gain at frame n of a kernel call: the ramp is gain + n * step, computed afresh for each
// frame so that every path rounds it the same way whatever its block split.
inline float ramped(float gain, float step, uint32_t n) {
  return gain + static_cast<float>(n) * step;
}

// Adds the output frame at the voice's position into out[0], out[1], as frame n of the call.
// Frame i+1 of the last frame is frame 0 when another play follows, else the last frame again.
template <SourceFormat F> void mix_frame(const VoiceMix &v, float *out, uint32_t n) {
  constexpr uint32_t bpf = bytes_per_frame(F);
  constexpr uint32_t half = is_stereo(F) ? bpf / 2 : 0;
  const auto *src = static_cast<const uint8_t *>(v.data);
  const auto i = static_cast<uint32_t>(v.position >> 32);
  const uint32_t j = i + 1 < v.frames ? i + 1 : (another_play(v) ? 0 : i);
  const float f = fraction(v.position);
  const uint8_t *a = src + size_t{i} * bpf;
  const uint8_t *b = src + size_t{j} * bpf;
  const float l0 = read_sample<F>(a), l1 = read_sample<F>(b);
  const float r0 = read_sample<F>(a + half), r1 = read_sample<F>(b + half);
  out[0] += (l0 + f * (l1 - l0)) * ramped(v.gainLeft, v.gainStepLeft, n);
  out[1] += (r0 + f * (r1 - r0)) * ramped(v.gainRight, v.gainStepRight, n);
}

// Moves the position on by one step, wrapping into further plays. Returns false when the last
// play has run out; the position is then left at the end, so a later call produces nothing.
// Exact for any step: no overflow, and a step longer than the sample wraps several plays at once.
inline bool advance(VoiceMix &v) {
  const uint64_t span = uint64_t{v.frames} << 32;
  const uint64_t room = span - v.position; // > 0 while playable
  if (v.step < room) {
    v.position += v.step;
    return true;
  }
  const uint64_t past = v.step - room;
  const uint64_t wraps = 1 + past / span;
  v.playsDone =
      static_cast<uint32_t>(std::min<uint64_t>(uint64_t{v.playsDone} + wraps, UINT32_MAX));
  if (!v.forever) {
    if (wraps >= v.playsLeft) {
      v.position = span;
      v.playsLeft = 1;
      return false;
    }
    v.playsLeft -= static_cast<uint32_t>(wraps);
  }
  v.position = past % span;
  return true;
}

// Adds output frame n of a call at the voice's position into out[0], out[1].
using FrameStep = void (*)(const VoiceMix &v, float *out, uint32_t n);

// The reference loop over `count` frames on a local copy of the voice (so stores into the mix
// cannot alias its gains); writes the position and plays back. Returns the frames produced.
template <FrameStep Frame> uint32_t mix_reference(VoiceMix &voice, float *mix, uint32_t count) {
  if (mix == nullptr || !playable(voice)) return 0;
  VoiceMix v = voice;
  uint32_t n = 0;
  bool going = true;
  while (going && n < count) {
    Frame(v, mix + size_t{2} * n, n);
    ++n;
    going = advance(v);
  }
  voice.position = v.position;
  voice.playsLeft = v.playsLeft;
  voice.playsDone = v.playsDone;
  return n;
}

} // namespace
} // namespace wail::kernels
