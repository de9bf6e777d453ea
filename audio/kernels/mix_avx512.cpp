// The AVX-512 kernels: the AVX2 method sixteen output frames at a time, the window holding
// seventeen source frames. Only this file is built with -mavx512f.
#include "audio/kernels/kernel_runs.h"
#include "audio/kernels/kernel_variants.h"

#if defined(WAIL_KERNELS_X86)
#include <immintrin.h>

namespace wail::kernels {
namespace {

// The low (0x88) or high (0xDD) halves of the 64-bit lanes of a and b, as 32-bit lanes
// a0 a1 b0 b1 | a2 a3 b2 b3 | a4 a5 b4 b5 | a6 a7 b6 b7.
template <int Halves> __m512i pick32(__m512i a, __m512i b) {
  return _mm512_castps_si512(
      _mm512_shuffle_ps(_mm512_castsi512_ps(a), _mm512_castsi512_ps(b), Halves));
}

// Frames a window reaches past the first output frame's index: sixteen outputs at most one
// frame apart, plus frame i+1 of the last.
constexpr uint32_t kWindowReach = 16;

// Positions relative to the iteration's first output frame, as in the AVX2 file: 32-bit
// fractions biased by 2^31, indices from the whole part of k*step plus the carry out of lane
// 0's fraction. Lanes hold frames 0 1 8 9 | 2 3 10 11 | 4 5 12 13 | 6 7 14 15: unpacking two
// vectors in that order interleaves frames 0-7 and 8-15 in place.
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

struct Pair {
  __m512 left0, left1, right0, right1;
};

__m512 lerp(__m512 f, __m512 a, __m512 b) { return _mm512_fmadd_ps(f, _mm512_sub_ps(b, a), a); }

// The gains of an iteration's two stores (frames 0-7 and 8-15), as in the AVX2 file.
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

void accumulate(float *mix, __m512 f, const Pair &s, __m512 low, __m512 high) {
  const __m512 left = lerp(f, s.left0, s.left1);
  const __m512 right = lerp(f, s.right0, s.right1);
  _mm512_storeu_ps(mix,
                   _mm512_fmadd_ps(_mm512_unpacklo_ps(left, right), low, _mm512_loadu_ps(mix)));
  _mm512_storeu_ps(
      mix + 16, _mm512_fmadd_ps(_mm512_unpackhi_ps(left, right), high, _mm512_loadu_ps(mix + 16)));
}

// Samples moved to the top bits of a 32-bit lane: full-scale values times 2^31.
constexpr float kTopScale = 0x1p-31f;
__m512 top(__m512i v, unsigned bits) { return _mm512_cvtepi32_ps(_mm512_slli_epi32(v, bits)); }
__m512 masked(__m512i v, int mask) {
  return _mm512_cvtepi32_ps(_mm512_and_si512(v, _mm512_set1_epi32(mask)));
}
const int kHigh8 = static_cast<int>(0xFF000000u), kHigh16 = static_cast<int>(0xFFFF0000u);

__m128i load128(const uint8_t *p) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)); }
__m256i load256(const uint8_t *p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
}

// Window fetch: sixteen frames from p, one per 32-bit lane, permuted by the relative index r.
template <SourceFormat F> struct Window;

template <> struct Window<SourceFormat::Mono8> {
  static constexpr float scale = kScale8;
  static Pair fetch(const uint8_t *p, __m512i r) {
    const __m512 bias = _mm512_set1_ps(128.0f);
    const __m512 a = _mm512_permutexvar_ps(r, _mm512_cvtepi32_ps(_mm512_cvtepu8_epi32(load128(p))));
    const __m512 b =
        _mm512_permutexvar_ps(r, _mm512_cvtepi32_ps(_mm512_cvtepu8_epi32(load128(p + 1))));
    const __m512 a0 = _mm512_sub_ps(a, bias), b0 = _mm512_sub_ps(b, bias);
    return {a0, b0, a0, b0};
  }
};

template <> struct Window<SourceFormat::Mono16> {
  static constexpr float scale = kScale16;
  static Pair fetch(const uint8_t *p, __m512i r) {
    const __m512 a =
        _mm512_permutexvar_ps(r, _mm512_cvtepi32_ps(_mm512_cvtepi16_epi32(load256(p))));
    const __m512 b =
        _mm512_permutexvar_ps(r, _mm512_cvtepi32_ps(_mm512_cvtepi16_epi32(load256(p + 2))));
    return {a, b, a, b};
  }
};

template <> struct Window<SourceFormat::Stereo8> {
  static constexpr float scale = kTopScale;
  static Pair fetch(const uint8_t *p, __m512i r) {
    const __m512i sign = _mm512_set1_epi32(0x8080);
    const __m512i a =
        _mm512_permutexvar_epi32(r, _mm512_xor_si512(_mm512_cvtepu16_epi32(load256(p)), sign));
    const __m512i b =
        _mm512_permutexvar_epi32(r, _mm512_xor_si512(_mm512_cvtepu16_epi32(load256(p + 2)), sign));
    return {top(a, 24), top(b, 24), masked(_mm512_slli_epi32(a, 16), kHigh8),
            masked(_mm512_slli_epi32(b, 16), kHigh8)};
  }
};

template <> struct Window<SourceFormat::Stereo16> {
  static constexpr float scale = kTopScale;
  static Pair fetch(const uint8_t *p, __m512i r) {
    const __m512i a = _mm512_permutexvar_epi32(r, _mm512_loadu_si512(p));
    const __m512i b = _mm512_permutexvar_epi32(r, _mm512_loadu_si512(p + 4));
    return {top(a, 16), top(b, 16), masked(a, kHigh16), masked(b, kHigh16)};
  }
};

// Gather fetch for steps over one frame, as in the AVX2 file.
template <SourceFormat F> Pair gather(const uint8_t *p, __m512i r) {
  if constexpr (F == SourceFormat::Mono8) {
    const __m512i g = _mm512_xor_si512(_mm512_i32gather_epi32(r, p, 1), _mm512_set1_epi32(0x8080));
    const __m512 a = top(g, 24), b = masked(_mm512_slli_epi32(g, 16), kHigh8);
    return {a, b, a, b};
  } else if constexpr (F == SourceFormat::Mono16) {
    const __m512i g = _mm512_i32gather_epi32(r, p, 2);
    const __m512 a = top(g, 16), b = masked(g, kHigh16);
    return {a, b, a, b};
  } else if constexpr (F == SourceFormat::Stereo8) {
    const __m512i g = _mm512_xor_si512(_mm512_i32gather_epi32(r, p, 2),
                                       _mm512_set1_epi32(static_cast<int>(0x80808080u)));
    return {top(g, 24), masked(_mm512_slli_epi32(g, 8), kHigh8),
            masked(_mm512_slli_epi32(g, 16), kHigh8), masked(g, kHigh8)};
  } else {
    const __m512i g0 = _mm512_i32gather_epi32(r, p, 4);
    const __m512i g1 = _mm512_i32gather_epi32(r, p + 4, 4);
    return {top(g0, 16), top(g1, 16), masked(g0, kHigh16), masked(g1, kHigh16)};
  }
}

template <SourceFormat F, Pair (*Fetch)(const uint8_t *, __m512i), bool Ramp>
void mix_lanes(const Run &run, float scale) {
  constexpr uint32_t bpf = bytes_per_frame(F);
  Gains<Ramp> gains(run, scale);
  Lanes lanes(run);
  uint64_t first = run.position;
  float *mix = run.mix;
  for (uint32_t k = 0; k < run.frames; k += 16, mix += 32, first += 16 * run.step) {
    __m512 f;
    const __m512i r = lanes.next(f);
    __m512 low, high;
    gains.next(low, high);
    accumulate(mix, f, Fetch(run.src + (first >> 32) * bpf, r), low, high);
  }
}

template <SourceFormat F, bool Ramp> void mix_with(const Run &run) {
  if (run.step <= kOne) {
    mix_lanes<F, Window<F>::fetch, Ramp>(run, Window<F>::scale);
  } else {
    mix_lanes<F, gather<F>, Ramp>(run, kTopScale);
  }
}

template <SourceFormat F> void mix_avx512(const Run &run) noexcept {
  if (run.ramps()) {
    mix_with<F, true>(run);
  } else {
    mix_with<F, false>(run);
  }
}

template <SourceFormat F>
constexpr MixKernel kAvx512 = mix_in_runs<F, 16, kWindowReach, mix_avx512<F>>;

} // namespace

MixKernel avx512_kernel(SourceFormat format) noexcept {
  switch (format) {
  case SourceFormat::Mono8:
    return kAvx512<SourceFormat::Mono8>;
  case SourceFormat::Mono16:
    return kAvx512<SourceFormat::Mono16>;
  case SourceFormat::Stereo8:
    return kAvx512<SourceFormat::Stereo8>;
  case SourceFormat::Stereo16:
    return kAvx512<SourceFormat::Stereo16>;
  }
  return scalar_kernel(format);
}

} // namespace wail::kernels
#endif
