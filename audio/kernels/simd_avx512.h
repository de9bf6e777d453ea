// What the AVX-512 kernels (linear and band-limited) share: sample conversions, loads, the
// positions of an iteration's output frames and the ramped gains of its two stores. Included
// only by files built with -mavx512f.
#pragma once

#include "audio/kernels/kernel_runs.h"

#include <immintrin.h>

namespace wail::kernels {
namespace {

// Samples moved to the top bits of a 32-bit lane: full-scale values times 2^31.
constexpr float kTopScale = 0x1p-31f;
inline __m512 top(__m512i v, unsigned bits) {
  return _mm512_cvtepi32_ps(_mm512_slli_epi32(v, bits));
}
inline __m512 masked(__m512i v, int mask) {
  return _mm512_cvtepi32_ps(_mm512_and_si512(v, _mm512_set1_epi32(mask)));
}
const int kHigh8 = static_cast<int>(0xFF000000u), kHigh16 = static_cast<int>(0xFFFF0000u);

inline __m128i load128(const uint8_t *p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}
inline __m256i load256(const uint8_t *p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
}

// The low (0x88) or high (0xDD) halves of the 64-bit lanes of a and b, as 32-bit lanes
// a0 a1 b0 b1 | a2 a3 b2 b3 | a4 a5 b4 b5 | a6 a7 b6 b7.
template <int Halves> __m512i pick32(__m512i a, __m512i b) {
  return _mm512_castps_si512(
      _mm512_shuffle_ps(_mm512_castsi512_ps(a), _mm512_castsi512_ps(b), Halves));
}

// The positions of an iteration's sixteen output frames relative to its first frame's integer
// part, as in the AVX2 header: 32-bit fractions biased by 2^31, indices from the whole part of
// k*step plus the carry out of lane 0's fraction. Lanes hold frames
// 0 1 8 9 | 2 3 10 11 | 4 5 12 13 | 6 7 14 15: unpacking two vectors in that order interleaves
// frames 0-7 and 8-15 in place.
class Lanes {
public:
  explicit Lanes(const Run &run) {
    // k*step for frames 0-7 and 8-15 in 64-bit lanes; the shuffles pick out the lane order.
    const __m512i low = _mm512_set1_epi64(static_cast<uint32_t>(run.step));
    const __m512i high = _mm512_set1_epi64(static_cast<long long>(run.step >> 32));
    auto times_step = [&](__m512i k) {
      return _mm512_add_epi64(_mm512_mul_epu32(k, low),
                              _mm512_slli_epi64(_mm512_mul_epu32(k, high), 32));
    };
    const __m512i a = times_step(_mm512_setr_epi64(0, 1, 2, 3, 4, 5, 6, 7));
    const __m512i b = times_step(_mm512_setr_epi64(8, 9, 10, 11, 12, 13, 14, 15));
    const __m512i position = _mm512_set1_epi64(static_cast<long long>(run.position));
    const __m512i fraction =
        pick32<0x88>(_mm512_add_epi64(a, position), _mm512_add_epi64(b, position));
    fraction_ = _mm512_xor_si512(fraction, _mm512_set1_epi32(static_cast<int>(0x80000000u)));
    whole_ = pick32<0xDD>(a, b);
    first_ = _mm512_broadcastd_epi32(_mm512_castsi512_si128(fraction_));
    step16_ = _mm512_set1_epi32(static_cast<int32_t>(static_cast<uint32_t>(16 * run.step)));
  }

  // The whole part of each lane's k*step, to which next() adds the carry.
  __m512i whole() const { return whole_; }

  __m512i next(__m512 &f) {
    const __mmask16 carry = _mm512_cmpgt_epi32_mask(first_, fraction_);
    const __m512i index = _mm512_mask_add_epi32(whole_, carry, whole_, _mm512_set1_epi32(1));
    const __m512i top24 = _mm512_and_si512(fraction_, _mm512_set1_epi32(~0xFF));
    f = _mm512_fmadd_ps(_mm512_cvtepi32_ps(top24), _mm512_set1_ps(0x1p-32f), _mm512_set1_ps(0.5f));
    fraction_ = _mm512_add_epi32(fraction_, step16_);
    first_ = _mm512_add_epi32(first_, step16_);
    return index;
  }

private:
  __m512i fraction_, first_, whole_, step16_;
};

// The gains of an iteration's two stores (frames 0-7 and 8-15), alternating left and right with
// the fetch's scale folded in. With a ramp each lane is gain + n * step for its frame's call
// index n.
template <bool Ramp> class Gains {
public:
  Gains(const Run &run, float scale) {
    const float l = run.gainLeft * scale, r = run.gainRight * scale;
    const float dl = run.gainStepLeft * scale, dr = run.gainStepRight * scale;
    base_ = _mm512_setr_ps(l, r, l, r, l, r, l, r, l, r, l, r, l, r, l, r);
    slope_ = _mm512_setr_ps(dl, dr, dl, dr, dl, dr, dl, dr, dl, dr, dl, dr, dl, dr, dl, dr);
    index_ = _mm512_add_epi32(_mm512_set1_epi32(static_cast<int>(run.first)),
                              _mm512_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7));
  }
  void next(__m512 &low, __m512 &high) {
    if constexpr (Ramp) {
      low = at(index_);
      high = at(_mm512_add_epi32(index_, _mm512_set1_epi32(8)));
      index_ = _mm512_add_epi32(index_, _mm512_set1_epi32(16));
    } else {
      low = high = base_;
    }
  }

private:
  __m512 at(__m512i n) const { return _mm512_fmadd_ps(_mm512_cvtepi32_ps(n), slope_, base_); }
  __m512 base_, slope_;
  __m512i index_;
};

} // namespace
} // namespace wail::kernels
