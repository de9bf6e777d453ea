// What the SSE2 kernels (linear and band-limited) share: sample conversions and the ramped
// gains of an iteration's two stores.
#pragma once

#include "audio/kernels/kernel_runs.h"

#include <emmintrin.h>

namespace wail::kernels {
namespace {

// A sample moved to the top bits of a 32-bit lane converts exactly: 8-bit samples come out times
// 2^24, 16-bit ones times 2^16, so either is a full-scale value times 2^31.
constexpr float kTopScale = 0x1p-31f;
inline __m128 top(__m128i v, int bits) { return _mm_cvtepi32_ps(_mm_slli_epi32(v, bits)); }
inline __m128 masked(__m128i v, int mask) {
  return _mm_cvtepi32_ps(_mm_and_si128(v, _mm_set1_epi32(mask)));
}
const int kHigh8 = static_cast<int>(0xFF000000u), kHigh16 = static_cast<int>(0xFFFF0000u);

// The gains of an iteration's two stores (frames 0-1 and 2-3), alternating left and right with
// the fetch's scale folded in. With a ramp each lane is gain + n * step for its frame's call
// index n.
template <bool Ramp> class Gains {
public:
  Gains(const Run &run, float scale) {
    const float l = run.gainLeft * scale, r = run.gainRight * scale;
    const float dl = run.gainStepLeft * scale, dr = run.gainStepRight * scale;
    const auto n = static_cast<int>(run.first);
    base_ = _mm_setr_ps(l, r, l, r);
    slope_ = _mm_setr_ps(dl, dr, dl, dr);
    index_ = _mm_setr_epi32(n, n, n + 1, n + 1);
  }
  void next(__m128 &low, __m128 &high) {
    if constexpr (Ramp) {
      low = at(index_);
      high = at(_mm_add_epi32(index_, _mm_set1_epi32(2)));
      index_ = _mm_add_epi32(index_, _mm_set1_epi32(4));
    } else {
      low = high = base_;
    }
  }

private:
  __m128 at(__m128i n) const { return _mm_add_ps(base_, _mm_mul_ps(_mm_cvtepi32_ps(n), slope_)); }
  __m128 base_, slope_;
  __m128i index_;
};

} // namespace
} // namespace wail::kernels
