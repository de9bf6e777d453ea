// The band-limited SSE2 kernels, the x86 baseline: four output frames per iteration, each
// frame's sixteen taps in four vectors, weighted by the fitted polynomials evaluated for four
// pairs of taps at once (SSE2 has no permute to spread taps across frames), and the four frames'
// products summed across their lanes together by one transposing reduction. Above the output
// rate the stretched window's coefficients are looked up one by one (SSE2 has no gather).
#include "audio/kernels/kernel_variants.h"

#if defined(WAIL_KERNELS_SSE2)
#include "audio/kernels/simd_sse2.h"
#include "audio/kernels/sinc_step.h"

namespace wail::kernels {
namespace {

constexpr uint32_t kWidth = 4;     // output frames per iteration
constexpr uint32_t kTapChunk = 16; // taps read at a time

// Sixteen consecutive source frames from p, per channel, four to a vector, as full-scale values
// times 2^31 (kTopScale).
struct Taps {
  __m128 left[4], right[4];
};

inline __m128i load128(const uint8_t *p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}

template <SourceFormat F> Taps fetch(const uint8_t *p) {
  const __m128i zero = _mm_setzero_si128();
  Taps t;
  if constexpr (F == SourceFormat::Mono8) {
    const __m128i v = _mm_xor_si128(load128(p), _mm_set1_epi8(static_cast<char>(0x80)));
    const __m128i low = _mm_unpacklo_epi8(zero, v), high = _mm_unpackhi_epi8(zero, v);
    const __m128i words[4] = {_mm_unpacklo_epi16(zero, low), _mm_unpackhi_epi16(zero, low),
                              _mm_unpacklo_epi16(zero, high), _mm_unpackhi_epi16(zero, high)};
    for (int q = 0; q < 4; ++q) t.left[q] = t.right[q] = _mm_cvtepi32_ps(words[q]);
  } else if constexpr (F == SourceFormat::Mono16) {
    for (int h = 0; h < 2; ++h) {
      const __m128i v = load128(p + 16 * h);
      t.left[2 * h] = t.right[2 * h] = _mm_cvtepi32_ps(_mm_unpacklo_epi16(zero, v));
      t.left[2 * h + 1] = t.right[2 * h + 1] = _mm_cvtepi32_ps(_mm_unpackhi_epi16(zero, v));
    }
  } else if constexpr (F == SourceFormat::Stereo8) {
    for (int h = 0; h < 2; ++h) {
      const __m128i v = _mm_xor_si128(load128(p + 16 * h), _mm_set1_epi8(static_cast<char>(0x80)));
      const __m128i pairs[2] = {_mm_unpacklo_epi16(zero, v), _mm_unpackhi_epi16(zero, v)};
      for (int k = 0; k < 2; ++k) {
        t.left[2 * h + k] = masked(_mm_slli_epi32(pairs[k], 8), kHigh8);
        t.right[2 * h + k] = masked(pairs[k], kHigh8);
      }
    }
  } else {
    for (int q = 0; q < 4; ++q) {
      const __m128i v = load128(p + 16 * q);
      t.left[q] = top(v, 16);
      t.right[q] = masked(v, kHigh16);
    }
  }
  return t;
}

// Within a vector: [a0+a2, b0+b2, a1+a3, b1+b3].
__m128 fold_lanes(__m128 a, __m128 b) {
  return _mm_add_ps(_mm_unpacklo_ps(a, b), _mm_unpackhi_ps(a, b));
}
// [a01+a23, b01+b23] as pairs of lanes.
__m128 fold_pairs(__m128 a, __m128 b) {
  return _mm_add_ps(_mm_movelh_ps(a, b), _mm_movehl_ps(b, a));
}

// One output frame's products for sixteen coefficients c: for mono sources four partials of
// its sum; for stereo ones two of the left and two of the right, alternating.
template <SourceFormat F> __m128 products(const __m128 c[4], const Taps &t) {
  __m128 left = _mm_mul_ps(c[0], t.left[0]);
  for (int q = 1; q < 4; ++q) left = _mm_add_ps(left, _mm_mul_ps(c[q], t.left[q]));
  if constexpr (is_stereo(F)) {
    __m128 right = _mm_mul_ps(c[0], t.right[0]);
    for (int q = 1; q < 4; ++q) right = _mm_add_ps(right, _mm_mul_ps(c[q], t.right[q]));
    return fold_lanes(left, right);
  } else {
    return left;
  }
}

// The sixteen taps at a fraction, four to a vector, from the fitted polynomials evaluated for
// four pairs at once; a whole frame's position weighs that frame alone, exactly.
void near_taps(uint32_t fraction, __m128 c[4]) {
  if (fraction == 0) {
    c[0] = c[2] = c[3] = _mm_setzero_ps();
    c[1] = _mm_setr_ps(0.0f, 0.0f, 0.0f, 1.0f);
    return;
  }
  const float x = centred(fraction);
  const __m128 xs = _mm_set1_ps(x), x2 = _mm_set1_ps(x * x);
  for (int h = 0; h < 2; ++h) {
    auto term = [&](const float(&k)[kSincTerms][kSincPairs]) {
      const __m128 t =
          _mm_add_ps(_mm_mul_ps(_mm_load_ps(k[2] + 4 * h), x2), _mm_load_ps(k[1] + 4 * h));
      return _mm_add_ps(_mm_mul_ps(t, x2), _mm_load_ps(k[0] + 4 * h));
    };
    const __m128 even = term(kSincTables.even);
    const __m128 odd = _mm_mul_ps(term(kSincTables.odd), xs);
    // Pairs 4h .. 4h+3: taps 4h .. 4h+3 and, reversed, 15-4h .. 12-4h.
    c[h] = _mm_add_ps(even, odd);
    const __m128 mirrored = _mm_sub_ps(even, odd);
    c[3 - h] = _mm_shuffle_ps(mirrored, mirrored, _MM_SHUFFLE(0, 1, 2, 3));
  }
}

// The frames of a run one after another: the products of each, from the taps at frame i - back.
template <SourceFormat F> class Frames {
public:
  Frames(const Run &run, const SincSpan &span)
      : span_(span), position_(run.position), step_(run.step),
        base_(run.src - size_t{span.back} * bytes_per_frame(F)) {}

  __m128 next() {
    const auto fraction = static_cast<uint32_t>(position_);
    const uint8_t *p = base_ + (position_ >> 32) * bytes_per_frame(F);
    position_ += step_;
    __m128 c[4];
    if (!span_.stretched) {
      near_taps(fraction, c);
      return products<F>(c, fetch<F>(p));
    }
    int32_t at = first_curve_point(span_, fraction);
    __m128 sum = _mm_setzero_ps();
    for (uint32_t m = 0; m < span_.taps; m += kTapChunk, p += kTapChunk * bytes_per_frame(F)) {
      alignas(16) float taps[kTapChunk];
      for (float &tap : taps) {
        tap = curve_weight(at);
        at -= span_.stride;
      }
      for (int q = 0; q < 4; ++q) c[q] = _mm_load_ps(taps + 4 * q);
      sum = _mm_add_ps(sum, products<F>(c, fetch<F>(p)));
    }
    return sum;
  }

private:
  SincSpan span_;
  uint64_t position_; // relative to the run's first frame
  uint64_t step_;
  const uint8_t *base_;
};

template <SourceFormat F, bool Ramp> void mix_frames(const Run &run) {
  const SincSpan span = sinc_span(run.step, kTapChunk);
  Gains<Ramp> gains(run, kTopScale * span.gain);
  Frames<F> frames(run, span);
  float *mix = run.mix;
  for (uint32_t k = 0; k < run.frames; k += kWidth, mix += 2 * kWidth) {
    const __m128 a = frames.next(), b = frames.next(), c = frames.next(), d = frames.next();
    __m128 low, high, gainLow, gainHigh;
    if constexpr (is_stereo(F)) {
      low = fold_pairs(a, b);
      high = fold_pairs(c, d);
    } else {
      const __m128 sums = fold_pairs(fold_lanes(a, b), fold_lanes(c, d));
      low = _mm_unpacklo_ps(sums, sums);
      high = _mm_unpackhi_ps(sums, sums);
    }
    gains.next(gainLow, gainHigh);
    _mm_storeu_ps(mix, _mm_add_ps(_mm_loadu_ps(mix), _mm_mul_ps(low, gainLow)));
    _mm_storeu_ps(mix + 4, _mm_add_ps(_mm_loadu_ps(mix + 4), _mm_mul_ps(high, gainHigh)));
  }
}

template <SourceFormat F> void mix_run(const Run &run) noexcept {
  if (run.ramps()) {
    mix_frames<F, true>(run);
  } else {
    mix_frames<F, false>(run);
  }
}

template <SourceFormat F> uint32_t mix_sinc(VoiceMix &voice, float *mix, uint32_t count) noexcept {
  const SincSpan span = sinc_span(voice.step, kTapChunk);
  return mix_in_runs<F, kWidth, sinc_frame<F>, mix_run<F>>(voice, mix, count, span.back,
                                                           span.ahead);
}

} // namespace

MixKernel sse2_sinc_kernel(SourceFormat format) noexcept {
  switch (format) {
  case SourceFormat::Mono8:
    return mix_sinc<SourceFormat::Mono8>;
  case SourceFormat::Mono16:
    return mix_sinc<SourceFormat::Mono16>;
  case SourceFormat::Stereo8:
    return mix_sinc<SourceFormat::Stereo8>;
  case SourceFormat::Stereo16:
    return mix_sinc<SourceFormat::Stereo16>;
  }
  return scalar_kernel(format, Resampler::Sinc);
}

} // namespace wail::kernels
#endif
