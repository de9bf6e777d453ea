// The AVX2 kernels: eight output frames per iteration. Up to one source frame per output frame
// (every upsampling rate) the eight frames' sources lie in a window of nine frames, loaded
// whole and permuted into place; faster steps gather. Only this file is built with -mavx2 -mfma.
#include "audio/kernels/kernel_variants.h"

#if defined(WAIL_KERNELS_X86)
#include "audio/kernels/simd_avx2.h"

namespace wail::kernels {
namespace {

// Frames a window reaches past the first output frame's index: eight outputs at most one
// frame apart, plus frame i+1 of the last.
constexpr uint32_t kWindowReach = 8;

// Source frames i and i+1 of each lane's output frame, per channel, in units of `scale`.
struct Pair {
  __m256 left0, left1, right0, right1;
};

__m256 lerp(__m256 f, __m256 a, __m256 b) { return _mm256_fmadd_ps(f, _mm256_sub_ps(b, a), a); }

// Adds eight frames, frames 0-3 at `low` gains and 4-7 at `high`.
void accumulate(float *mix, __m256 f, const Pair &s, __m256 low, __m256 high) {
  const __m256 left = lerp(f, s.left0, s.left1);
  const __m256 right = lerp(f, s.right0, s.right1);
  _mm256_storeu_ps(mix,
                   _mm256_fmadd_ps(_mm256_unpacklo_ps(left, right), low, _mm256_loadu_ps(mix)));
  _mm256_storeu_ps(
      mix + 8, _mm256_fmadd_ps(_mm256_unpackhi_ps(left, right), high, _mm256_loadu_ps(mix + 8)));
}

// Window fetch: eight frames from p, one per 32-bit lane, permuted by the relative index r.
template <SourceFormat F> struct Window;

template <> struct Window<SourceFormat::Mono8> {
  static constexpr float scale = kScale8;
  static Pair fetch(const uint8_t *p, __m256i r) {
    const __m256 bias = _mm256_set1_ps(128.0f);
    const __m256 a =
        _mm256_permutevar8x32_ps(_mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(load64(p))), r);
    const __m256 b =
        _mm256_permutevar8x32_ps(_mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(load64(p + 1))), r);
    const __m256 a0 = _mm256_sub_ps(a, bias), b0 = _mm256_sub_ps(b, bias);
    return {a0, b0, a0, b0};
  }
};

template <> struct Window<SourceFormat::Mono16> {
  static constexpr float scale = kScale16;
  static Pair fetch(const uint8_t *p, __m256i r) {
    const __m256 a =
        _mm256_permutevar8x32_ps(_mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(load128(p))), r);
    const __m256 b =
        _mm256_permutevar8x32_ps(_mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(load128(p + 2))), r);
    return {a, b, a, b};
  }
};

template <> struct Window<SourceFormat::Stereo8> {
  static constexpr float scale = kTopScale;
  static Pair fetch(const uint8_t *p, __m256i r) {
    const __m256i sign = _mm256_set1_epi32(0x8080);
    const __m256i a =
        _mm256_permutevar8x32_epi32(_mm256_xor_si256(_mm256_cvtepu16_epi32(load128(p)), sign), r);
    const __m256i b = _mm256_permutevar8x32_epi32(
        _mm256_xor_si256(_mm256_cvtepu16_epi32(load128(p + 2)), sign), r);
    return {top(a, 24), top(b, 24), masked(_mm256_slli_epi32(a, 16), kHigh8),
            masked(_mm256_slli_epi32(b, 16), kHigh8)};
  }
};

template <> struct Window<SourceFormat::Stereo16> {
  static constexpr float scale = kTopScale;
  static Pair fetch(const uint8_t *p, __m256i r) {
    const __m256i a = _mm256_permutevar8x32_epi32(load256(p), r);
    const __m256i b = _mm256_permutevar8x32_epi32(load256(p + 4), r);
    return {top(a, 16), top(b, 16), masked(a, kHigh16), masked(b, kHigh16)};
  }
};

// Gather fetch: each lane loads its frames i and i+1 in one 32-bit load (two for 16-bit
// stereo) at relative index r from p.
template <SourceFormat F> Pair gather(const uint8_t *p, __m256i r) {
  const auto *base = reinterpret_cast<const int *>(p);
  if constexpr (F == SourceFormat::Mono8) {
    const __m256i g =
        _mm256_xor_si256(_mm256_i32gather_epi32(base, r, 1), _mm256_set1_epi32(0x8080));
    const __m256 a = top(g, 24), b = masked(_mm256_slli_epi32(g, 16), kHigh8);
    return {a, b, a, b};
  } else if constexpr (F == SourceFormat::Mono16) {
    const __m256i g = _mm256_i32gather_epi32(base, r, 2);
    const __m256 a = top(g, 16), b = masked(g, kHigh16);
    return {a, b, a, b};
  } else if constexpr (F == SourceFormat::Stereo8) {
    const __m256i g = _mm256_xor_si256(_mm256_i32gather_epi32(base, r, 2),
                                       _mm256_set1_epi32(static_cast<int>(0x80808080u)));
    return {top(g, 24), masked(_mm256_slli_epi32(g, 8), kHigh8),
            masked(_mm256_slli_epi32(g, 16), kHigh8), masked(g, kHigh8)};
  } else {
    const __m256i g0 = _mm256_i32gather_epi32(base, r, 4);
    const __m256i g1 = _mm256_i32gather_epi32(base + 1, r, 4);
    return {top(g0, 16), top(g1, 16), masked(g0, kHigh16), masked(g1, kHigh16)};
  }
}

// The loop over a run, eight frames at a time; `Fetch` reads each iteration's source frames
// from the first frame's address.
template <SourceFormat F, Pair (*Fetch)(const uint8_t *, __m256i), bool Ramp>
void mix_lanes(const Run &run, float scale) {
  constexpr uint32_t bpf = bytes_per_frame(F);
  Gains<Ramp> gains(run, scale);
  Lanes lanes(run);
  uint64_t first = run.position; // the first output frame's position, in a scalar register
  float *mix = run.mix;
  for (uint32_t k = 0; k < run.frames; k += 8, mix += 16, first += 8 * run.step) {
    __m256 f;
    const __m256i r = lanes.next(f);
    __m256 low, high;
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

template <SourceFormat F> void mix_avx2(const Run &run) noexcept {
  if (run.ramps()) {
    mix_with<F, true>(run);
  } else {
    mix_with<F, false>(run);
  }
}

template <SourceFormat F>
constexpr MixKernel kAvx2 = mix_linear_in_runs<F, 8, kWindowReach, mix_avx2<F>>;

} // namespace

MixKernel avx2_linear_kernel(SourceFormat format) noexcept {
  switch (format) {
  case SourceFormat::Mono8:
    return kAvx2<SourceFormat::Mono8>;
  case SourceFormat::Mono16:
    return kAvx2<SourceFormat::Mono16>;
  case SourceFormat::Stereo8:
    return kAvx2<SourceFormat::Stereo8>;
  case SourceFormat::Stereo16:
    return kAvx2<SourceFormat::Stereo16>;
  }
  return scalar_kernel(format, Resampler::Linear);
}

} // namespace wail::kernels
#endif
