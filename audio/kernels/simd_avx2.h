// What the AVX2 kernels (linear and band-limited) share: sample conversions, loads, the
// positions of an iteration's output frames and the ramped gains of its two stores. Included
// only by files built with -mavx2 -mfma.
#pragma once

#include "audio/kernels/kernel_runs.h"

#include <immintrin.h>

namespace wail::kernels {
namespace {

// A sample in the top bits of a 32-bit lane converts exactly: 8-bit samples come out times
// 2^24, 16-bit ones times 2^16, so either is a full-scale value times 2^31.
constexpr float kTopScale = 0x1p-31f;
inline __m256 top(__m256i v, int bits) { return _mm256_cvtepi32_ps(_mm256_slli_epi32(v, bits)); }
inline __m256 masked(__m256i v, int mask) {
  return _mm256_cvtepi32_ps(_mm256_and_si256(v, _mm256_set1_epi32(mask)));
}
const int kHigh8 = static_cast<int>(0xFF000000u), kHigh16 = static_cast<int>(0xFFFF0000u);

inline __m128i load64(const uint8_t *p) {
  return _mm_loadl_epi64(reinterpret_cast<const __m128i *>(p));
}
inline __m128i load128(const uint8_t *p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}
inline __m256i load256(const uint8_t *p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
}

// The low (0x88) or high (0xDD) halves of the 64-bit lanes of a and b, as 32-bit lanes
// a0 a1 b0 b1 | a2 a3 b2 b3.
template <int Halves> __m256i pick32(__m256i a, __m256i b) {
  return _mm256_castps_si256(
      _mm256_shuffle_ps(_mm256_castsi256_ps(a), _mm256_castsi256_ps(b), Halves));
}

// The positions of an iteration's eight output frames relative to its first frame's integer
// part. Lane k is first + k*step: its fraction is kept in 32 bits (biased by 2^31 so a signed
// compare orders them), and its index is the whole part of k*step plus the carry out of
// first's fraction, read off by comparing with lane 0's fraction.
// Lanes hold frames 0 1 4 5 | 2 3 6 7: unpacking two vectors in that order interleaves frames
// 0-3 and 4-7 in place, with no cross-lane shuffle.
class Lanes {
public:
  explicit Lanes(const Run &run) {
    // k*step for frames 0-3 and 4-7 in 64-bit lanes; the shuffles pick out the lane order.
    const __m256i low = _mm256_set1_epi64x(static_cast<uint32_t>(run.step));
    const __m256i high = _mm256_set1_epi64x(static_cast<long long>(run.step >> 32));
    auto times_step = [&](__m256i k) {
      return _mm256_add_epi64(_mm256_mul_epu32(k, low),
                              _mm256_slli_epi64(_mm256_mul_epu32(k, high), 32));
    };
    const __m256i a = times_step(_mm256_setr_epi64x(0, 1, 2, 3));
    const __m256i b = times_step(_mm256_setr_epi64x(4, 5, 6, 7));
    const __m256i position = _mm256_set1_epi64x(static_cast<long long>(run.position));
    const __m256i fraction =
        pick32<0x88>(_mm256_add_epi64(a, position), _mm256_add_epi64(b, position));
    fraction_ = _mm256_xor_si256(fraction, _mm256_set1_epi32(static_cast<int>(0x80000000u)));
    whole_ = pick32<0xDD>(a, b);
    first_ = _mm256_broadcastd_epi32(_mm256_castsi256_si128(fraction_));
    step8_ = _mm256_set1_epi32(static_cast<int32_t>(static_cast<uint32_t>(8 * run.step)));
  }

  // Frame indices relative to the first; the fractions as floats in [0, 1) like the reference.
  __m256i next(__m256 &f) {
    const __m256i index = _mm256_sub_epi32(whole_, _mm256_cmpgt_epi32(first_, fraction_));
    // The top 24 bits convert exactly; the bias comes back out as the 0.5.
    const __m256i top24 = _mm256_and_si256(fraction_, _mm256_set1_epi32(~0xFF));
    f = _mm256_fmadd_ps(_mm256_cvtepi32_ps(top24), _mm256_set1_ps(0x1p-32f), _mm256_set1_ps(0.5f));
    fraction_ = _mm256_add_epi32(fraction_, step8_);
    first_ = _mm256_add_epi32(first_, step8_);
    return index;
  }

private:
  __m256i fraction_, first_, whole_, step8_; // first_: lane 0's fraction in every lane
};

// The gains of an iteration's two stores (frames 0-3 and 4-7), alternating left and right with
// the fetch's scale folded in. With a ramp each lane is gain + n * step for its frame's call
// index n.
template <bool Ramp> class Gains {
public:
  Gains(const Run &run, float scale) {
    const float l = run.gainLeft * scale, r = run.gainRight * scale;
    const float dl = run.gainStepLeft * scale, dr = run.gainStepRight * scale;
    base_ = _mm256_setr_ps(l, r, l, r, l, r, l, r);
    slope_ = _mm256_setr_ps(dl, dr, dl, dr, dl, dr, dl, dr);
    index_ = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(run.first)),
                              _mm256_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3));
  }
  void next(__m256 &low, __m256 &high) {
    if constexpr (Ramp) {
      low = at(index_);
      high = at(_mm256_add_epi32(index_, _mm256_set1_epi32(4)));
      index_ = _mm256_add_epi32(index_, _mm256_set1_epi32(8));
    } else {
      low = high = base_;
    }
  }

private:
  __m256 at(__m256i n) const { return _mm256_fmadd_ps(_mm256_cvtepi32_ps(n), slope_, base_); }
  __m256 base_, slope_;
  __m256i index_;
};

} // namespace
} // namespace wail::kernels
