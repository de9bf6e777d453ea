// The SSE2 kernels, the x86-64 baseline: four output frames per iteration. SSE2 has no gather
// or variable shuffle, so each frame's pair of source frames comes in as one scalar 32-bit (or
// 64-bit) load; the fractions, conversion, interpolation and mixing are vector work.
#include "audio/kernels/kernel_variants.h"

#if defined(WAIL_KERNELS_SSE2)
#include "audio/kernels/simd_sse2.h"

#include <cstring>

namespace wail::kernels {
namespace {

// Source frames i and i+1 of each lane's output frame, per channel, as full-scale values
// times 2^31 (kTopScale).
struct Pair {
  __m128 left0, left1, right0, right1;
};

__m128i load32(const uint8_t *p) {
  int v;
  std::memcpy(&v, p, sizeof v);
  return _mm_cvtsi32_si128(v);
}
__m128i load64(const uint8_t *p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i *>(p)); }

// The four frames' 32-bit loads at p[0..3], one per lane; for 16-bit stereo two vectors,
// frames i and i+1.
template <SourceFormat F> Pair fetch(const uint8_t *const p[4]) {
  if constexpr (F == SourceFormat::Stereo16) {
    const __m128i q01 = _mm_unpacklo_epi32(load64(p[0]), load64(p[1]));
    const __m128i q23 = _mm_unpacklo_epi32(load64(p[2]), load64(p[3]));
    const __m128i g0 = _mm_unpacklo_epi64(q01, q23), g1 = _mm_unpackhi_epi64(q01, q23);
    return {top(g0, 16), top(g1, 16), masked(g0, kHigh16), masked(g1, kHigh16)};
  } else {
    __m128i g = _mm_unpacklo_epi64(_mm_unpacklo_epi32(load32(p[0]), load32(p[1])),
                                   _mm_unpacklo_epi32(load32(p[2]), load32(p[3])));
    if constexpr (!is_16bit(F)) g = _mm_xor_si128(g, _mm_set1_epi32(static_cast<int>(0x80808080u)));
    if constexpr (F == SourceFormat::Mono8) {
      const __m128 a = top(g, 24), b = masked(_mm_slli_epi32(g, 16), kHigh8);
      return {a, b, a, b};
    } else if constexpr (F == SourceFormat::Mono16) {
      const __m128 a = top(g, 16), b = masked(g, kHigh16);
      return {a, b, a, b};
    } else {
      return {top(g, 24), masked(_mm_slli_epi32(g, 8), kHigh8),
              masked(_mm_slli_epi32(g, 16), kHigh8), masked(g, kHigh8)};
    }
  }
}

__m128 lerp(__m128 f, __m128 a, __m128 b) { return _mm_add_ps(a, _mm_mul_ps(f, _mm_sub_ps(b, a))); }

// Adds four frames, frames 0-1 at `low` gains and 2-3 at `high`.
void accumulate(float *mix, __m128 f, const Pair &s, __m128 low, __m128 high) {
  const __m128 left = lerp(f, s.left0, s.left1), right = lerp(f, s.right0, s.right1);
  _mm_storeu_ps(mix, _mm_add_ps(_mm_loadu_ps(mix), _mm_mul_ps(_mm_unpacklo_ps(left, right), low)));
  _mm_storeu_ps(mix + 4,
                _mm_add_ps(_mm_loadu_ps(mix + 4), _mm_mul_ps(_mm_unpackhi_ps(left, right), high)));
}

template <SourceFormat F, bool Ramp> void mix_lanes(const Run &run) {
  constexpr uint32_t bpf = bytes_per_frame(F);
  Gains<Ramp> gains(run, kTopScale);
  const uint64_t s = run.step;
  // Each lane's fraction, biased by 2^31 so that its top 24 bits convert as a signed value.
  auto fraction_of = [&](uint64_t k) {
    return static_cast<int>(static_cast<uint32_t>(run.position + k * s) ^ 0x80000000u);
  };
  __m128i fraction = _mm_setr_epi32(fraction_of(0), fraction_of(1), fraction_of(2), fraction_of(3));
  const __m128i step4 = _mm_set1_epi32(static_cast<int>(static_cast<uint32_t>(4 * s)));
  uint64_t pos = run.position; // the indices, in scalar registers
  float *mix = run.mix;
  for (uint32_t k = 0; k < run.frames; k += 4, mix += 8, pos += 4 * s) {
    const __m128i top24 = _mm_and_si128(fraction, _mm_set1_epi32(~0xFF));
    const __m128 f =
        _mm_add_ps(_mm_mul_ps(_mm_cvtepi32_ps(top24), _mm_set1_ps(0x1p-32f)), _mm_set1_ps(0.5f));
    fraction = _mm_add_epi32(fraction, step4);
    const uint8_t *const p[4] = {run.src + (pos >> 32) * bpf, run.src + ((pos + s) >> 32) * bpf,
                                 run.src + ((pos + 2 * s) >> 32) * bpf,
                                 run.src + ((pos + 3 * s) >> 32) * bpf};
    __m128 low, high;
    gains.next(low, high);
    accumulate(mix, f, fetch<F>(p), low, high);
  }
}

template <SourceFormat F> void mix_sse2(const Run &run) noexcept {
  if (run.ramps()) {
    mix_lanes<F, true>(run);
  } else {
    mix_lanes<F, false>(run);
  }
}

// Each frame's load covers frames i and i+1, four bytes: frames i..i+3 for 8-bit mono.
template <SourceFormat F> constexpr uint32_t kReach = bytes_per_frame(F) == 1 ? 3 : 1;
template <SourceFormat F>
constexpr MixKernel kSse2 = mix_linear_in_runs<F, 4, kReach<F>, mix_sse2<F>>;

} // namespace

MixKernel sse2_linear_kernel(SourceFormat format) noexcept {
  switch (format) {
  case SourceFormat::Mono8:
    return kSse2<SourceFormat::Mono8>;
  case SourceFormat::Mono16:
    return kSse2<SourceFormat::Mono16>;
  case SourceFormat::Stereo8:
    return kSse2<SourceFormat::Stereo8>;
  case SourceFormat::Stereo16:
    return kSse2<SourceFormat::Stereo16>;
  }
  return scalar_kernel(format, Resampler::Linear);
}

} // namespace wail::kernels
#endif
