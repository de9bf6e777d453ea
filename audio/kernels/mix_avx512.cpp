// The AVX-512 kernels: the AVX2 method sixteen output frames at a time, the window holding
// seventeen source frames. Only this file is built with -mavx512f.
#include "audio/kernels/kernel_variants.h"

#if defined(WAIL_KERNELS_X86)
#include "audio/kernels/simd_avx512.h"

namespace wail::kernels {
namespace {

// Frames a window reaches past the first output frame's index: sixteen outputs at most one
// frame apart, plus frame i+1 of the last.
constexpr uint32_t kWindowReach = 16;

struct Pair {
  __m512 left0, left1, right0, right1;
};

__m512 lerp(__m512 f, __m512 a, __m512 b) { return _mm512_fmadd_ps(f, _mm512_sub_ps(b, a), a); }

void accumulate(float *mix, __m512 f, const Pair &s, __m512 low, __m512 high) {
  const __m512 left = lerp(f, s.left0, s.left1);
  const __m512 right = lerp(f, s.right0, s.right1);
  _mm512_storeu_ps(mix,
                   _mm512_fmadd_ps(_mm512_unpacklo_ps(left, right), low, _mm512_loadu_ps(mix)));
  _mm512_storeu_ps(
      mix + 16, _mm512_fmadd_ps(_mm512_unpackhi_ps(left, right), high, _mm512_loadu_ps(mix + 16)));
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
constexpr MixKernel kAvx512 = mix_linear_in_runs<F, 16, kWindowReach, mix_avx512<F>>;

} // namespace

MixKernel avx512_linear_kernel(SourceFormat format) noexcept {
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
  return scalar_kernel(format, Resampler::Linear);
}

} // namespace wail::kernels
#endif
