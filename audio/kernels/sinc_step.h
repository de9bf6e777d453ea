// What every band-limited kernel shares: the taps a step reads, their coefficients, the source
// frames around a position across loop points, and one output frame the reference way.
// Internal linkage, as in voice_step.h.
#pragma once

#include "audio/kernels/sinc_table.h"
#include "audio/kernels/voice_step.h"

#include <algorithm>
#include <cstdint>

namespace wail::kernels {
namespace {

// Coefficient positions on the window's curve in 16.16 fixed point, so that every path computes
// the same indices and weights exactly.
constexpr int kCurveFractionBits = 16;
constexpr int32_t kCurveEnd = (kCurvePoints - 1) << kCurveFractionBits;

// The taps of one output frame at frame i + fraction: frames i - back .. i + ahead. At or below
// the output rate these are the 16 taps of the fitted polynomials; above it the window is
// stretched by the step (capped at kSincMaxScale), `stride` apart on the curve per tap, and the
// sum is scaled by `gain` = 1 / stretch. `taps` is rounded up to a multiple of the reading
// width; the taps past the window weigh 0.
struct SincSpan {
  uint32_t back, ahead, taps;
  bool stretched;
  int32_t stride; // curve points (16.16) from one tap to the next
  float gain;
};

inline SincSpan sinc_span(uint64_t step, uint32_t width) {
  if (step <= kOne) return {kSincHalf - 1, kSincHalf, kSincTaps, false, 0, 1.0f};
  const uint64_t stretch = std::min<uint64_t>(step, uint64_t{kSincMaxScale} << 32);
  const auto half = static_cast<uint32_t>((kSincHalf * stretch + kOne - 1) >> 32) + 1;
  const uint32_t taps = (2 * half + width - 1) / width * width;
  // kCurvePerFrame / stretch curve points per source frame, in 16.16.
  const auto stride = static_cast<int32_t>(
      ((uint64_t{kCurvePerFrame} << (32 + kCurveFractionBits)) + stretch / 2) / stretch);
  return {half - 1, taps - half, taps,
          true,     stride,      1.0f / (static_cast<float>(stretch) * 0x1p-32f)};
}

// x = 2f - 1 for the fraction's top 24 bits, exactly.
inline float centred(uint32_t fraction) {
  return static_cast<float>(fraction >> 8) * 0x1p-23f - 1.0f;
}

// Taps m and 15 - m of the fitted polynomials at x (x2 = x * x), for pair m < 8.
inline void pair_taps(int m, float x, float x2, float &low, float &high) {
  const auto &e = kSincTables.even, &o = kSincTables.odd;
  static_assert(kSincTerms == 3);
  const float even = (e[2][m] * x2 + e[1][m]) * x2 + e[0][m];
  const float odd = ((o[2][m] * x2 + o[1][m]) * x2 + o[0][m]) * x;
  low = even + odd;
  high = even - odd;
}

// The curve position (16.16) of the first tap, frame i - back, for the fraction; tap m sits
// m * stride before it.
inline int32_t first_curve_point(const SincSpan &s, uint32_t fraction) {
  const int64_t along = (int64_t{s.back} << 32 | fraction) * s.stride >> 32;
  return static_cast<int32_t>(along) + (kSincHalf * kCurvePerFrame << kCurveFractionBits);
}

// The stretched window's weight at a curve position; outside the window 0.
inline float curve_weight(int32_t at) {
  at = std::clamp(at, 0, kCurveEnd);
  const int32_t j = at >> kCurveFractionBits;
  const float w = static_cast<float>(at & 0xFFFF) * 0x1p-16f;
  return kSincTables.curve[j] + w * kSincTables.slope[j];
}

// The weights of the taps of one output frame at the voice's fraction. A whole frame's
// position weighs that frame alone, exactly.
inline void sinc_taps(const SincSpan &s, uint32_t fraction, float *c) {
  if (s.stretched) {
    const int32_t start = first_curve_point(s, fraction);
    for (uint32_t m = 0; m < s.taps; ++m)
      c[m] = curve_weight(start - static_cast<int32_t>(m) * s.stride);
  } else if (fraction == 0) {
    for (int m = 0; m < kSincTaps; ++m) c[m] = m == kSincHalf - 1 ? 1.0f : 0.0f;
  } else {
    const float x = centred(fraction);
    for (int m = 0; m < kSincPairs; ++m) pair_taps(m, x, x * x, c[m], c[kSincTaps - 1 - m]);
  }
}

// Source frame k of the current play's numbering, per channel, in full-scale units: frames
// past the end come from the plays still to come, frames before 0 from the plays already done;
// without such a play, silence.
template <SourceFormat F> void frame_at(const VoiceMix &v, int64_t k, float &left, float &right) {
  const int64_t frames = v.frames;
  if (k >= frames) {
    if (!v.forever && v.playsLeft <= k / frames) {
      left = right = 0.0f;
      return;
    }
    k %= frames;
  } else if (k < 0) {
    const int64_t back = (frames - 1 - k) / frames;
    if (v.playsDone < back) {
      left = right = 0.0f;
      return;
    }
    k += back * frames;
  }
  constexpr uint32_t bpf = bytes_per_frame(F);
  const uint8_t *p = static_cast<const uint8_t *>(v.data) + static_cast<size_t>(k) * bpf;
  left = read_sample<F>(p);
  right = is_stereo(F) ? read_sample<F>(p + bpf / 2) : left;
}

// Adds the output frame at the voice's position into out[0], out[1], as frame n of the call.
template <SourceFormat F> void sinc_frame(const VoiceMix &v, float *out, uint32_t n) {
  constexpr uint32_t kMaxTaps = 2 * (kSincHalf * kSincMaxScale + 1);
  const SincSpan s = sinc_span(v.step, 1);
  float c[kMaxTaps];
  sinc_taps(s, static_cast<uint32_t>(v.position), c);
  const int64_t first = static_cast<int64_t>(v.position >> 32) - s.back;
  float left = 0.0f, right = 0.0f;
  for (uint32_t m = 0; m < s.taps; ++m) {
    float l, r;
    frame_at<F>(v, first + m, l, r);
    left += c[m] * l;
    right += c[m] * r;
  }
  out[0] += left * s.gain * ramped(v.gainLeft, v.gainStepLeft, n);
  out[1] += right * s.gain * ramped(v.gainRight, v.gainStepRight, n);
}

} // namespace
} // namespace wail::kernels
