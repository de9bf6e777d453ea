// The band-limited AVX-512 kernels, sixteen output frames per iteration. Up to one source frame
// per output frame the sixteen frames' taps lie in a window of 32 source frames, converted
// once; each tap is permuted out of it for every lane at once and weighted by the fitted
// polynomials, evaluated for all lanes together. Above the output rate each frame's stretched
// taps are gathered from the curve sixteen at a time and the frames' products summed across
// lanes by one transposing reduction. Only this file and the linear one are built with
// -mavx512f.
#include "audio/kernels/kernel_variants.h"

#if defined(WAIL_KERNELS_X86)
#include "audio/kernels/simd_avx512.h"
#include "audio/kernels/sinc_step.h"

namespace wail::kernels {
namespace {

constexpr uint32_t kWidth = 16;

// Sixteen consecutive source frames from p, per channel, in units of `scale`.
struct Taps {
  __m512 left, right;
};

template <SourceFormat F> struct Fetch;

template <> struct Fetch<SourceFormat::Mono8> {
  static constexpr float scale = kScale8;
  static Taps from(const uint8_t *p) {
    const __m512 a =
        _mm512_sub_ps(_mm512_cvtepi32_ps(_mm512_cvtepu8_epi32(load128(p))), _mm512_set1_ps(128.0f));
    return {a, a};
  }
};

template <> struct Fetch<SourceFormat::Mono16> {
  static constexpr float scale = kScale16;
  static Taps from(const uint8_t *p) {
    const __m512 a = _mm512_cvtepi32_ps(_mm512_cvtepi16_epi32(load256(p)));
    return {a, a};
  }
};

template <> struct Fetch<SourceFormat::Stereo8> {
  static constexpr float scale = kTopScale;
  static Taps from(const uint8_t *p) {
    const __m512i v =
        _mm512_xor_si512(_mm512_cvtepu16_epi32(load256(p)), _mm512_set1_epi32(0x8080));
    return {top(v, 24), masked(_mm512_slli_epi32(v, 16), kHigh8)};
  }
};

template <> struct Fetch<SourceFormat::Stereo16> {
  static constexpr float scale = kTopScale;
  static Taps from(const uint8_t *p) {
    const __m512i v = _mm512_loadu_si512(p);
    return {top(v, 16), masked(v, kHigh16)};
  }
};

// Pairwise sums that transpose as they go. Each takes two vectors of partial sums and returns
// one holding both, with each sum's partials halved in number.
// Within each 128-bit chunk: [a0+a2, b0+b2, a1+a3, b1+b3].
__m512 fold_lanes(__m512 a, __m512 b) {
  return _mm512_add_ps(_mm512_unpacklo_ps(a, b), _mm512_unpackhi_ps(a, b));
}
// Within each 128-bit chunk: [a01+a23, b01+b23] as pairs of lanes.
__m512 fold_pairs(__m512 a, __m512 b) {
  const __m512d x = _mm512_castps_pd(a), y = _mm512_castps_pd(b);
  return _mm512_add_ps(_mm512_castpd_ps(_mm512_unpacklo_pd(x, y)),
                       _mm512_castpd_ps(_mm512_unpackhi_pd(x, y)));
}
// Chunks [a0+a2, a1+a3, b0+b2, b1+b3].
__m512 fold_chunks(__m512 a, __m512 b) {
  return _mm512_add_ps(_mm512_shuffle_f32x4(a, b, 0x44), _mm512_shuffle_f32x4(a, b, 0xEE));
}
// Chunks [a0+a1, a2+a3, b0+b1, b2+b3].
__m512 fold_neighbours(__m512 a, __m512 b) {
  return _mm512_add_ps(_mm512_shuffle_f32x4(a, b, 0x88), _mm512_shuffle_f32x4(a, b, 0xDD));
}

// One output frame's products, tap by tap: for mono sources sixteen partials of its sum; for
// stereo ones eight of the left sum and eight of the right, alternating (as fold_lanes leaves
// them).
template <SourceFormat F> __m512 products(__m512 c, const Taps &t) {
  if constexpr (is_stereo(F)) {
    return fold_lanes(_mm512_mul_ps(c, t.left), _mm512_mul_ps(c, t.right));
  } else {
    return _mm512_mul_ps(c, t.left);
  }
}
template <SourceFormat F> __m512 add_products(__m512 sum, __m512 c, const Taps &t) {
  if constexpr (is_stereo(F)) {
    return _mm512_add_ps(sum, products<F>(c, t));
  } else {
    return _mm512_fmadd_ps(c, t.left, sum);
  }
}

// Coefficients of sixteen taps of the stretched window, tap m at at - m * stride on the curve.
__m512 curve_taps(int32_t at, __m512i lanes) {
  __m512i point = _mm512_sub_epi32(_mm512_set1_epi32(at), lanes);
  point = _mm512_min_epi32(_mm512_max_epi32(point, _mm512_setzero_si512()),
                           _mm512_set1_epi32(kCurveEnd));
  const __m512i j = _mm512_srai_epi32(point, kCurveFractionBits);
  const __m512 w =
      _mm512_mul_ps(_mm512_cvtepi32_ps(_mm512_and_si512(point, _mm512_set1_epi32(0xFFFF))),
                    _mm512_set1_ps(0x1p-16f));
  return _mm512_fmadd_ps(w, _mm512_i32gather_ps(j, kSincTables.slope, 4),
                         _mm512_i32gather_ps(j, kSincTables.curve, 4));
}

// The frames of a stretched run one after another: the products of each, from the taps at
// frame i - back.
template <SourceFormat F> class Frames {
public:
  Frames(const Run &run, const SincSpan &span)
      : span_(span), position_(run.position), step_(run.step),
        base_(run.src - size_t{span.back} * bytes_per_frame(F)),
        lanes_(_mm512_mullo_epi32(
            _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15),
            _mm512_set1_epi32(span.stride))) {}

  __m512 next() {
    const auto fraction = static_cast<uint32_t>(position_);
    const uint8_t *p = base_ + (position_ >> 32) * bytes_per_frame(F);
    position_ += step_;
    int32_t at = first_curve_point(span_, fraction);
    __m512 sum = products<F>(curve_taps(at, lanes_), Fetch<F>::from(p));
    for (uint32_t m = kWidth; m < span_.taps; m += kWidth) {
      at -= static_cast<int32_t>(kWidth) * span_.stride;
      p += kWidth * bytes_per_frame(F);
      sum = add_products<F>(sum, curve_taps(at, lanes_), Fetch<F>::from(p));
    }
    return sum;
  }

private:
  SincSpan span_;
  uint64_t position_; // relative to the run's first frame
  uint64_t step_;
  const uint8_t *base_;
  __m512i lanes_; // m * stride for lane m
};

// Sixteen frames' sums. Mono: frames 0-15 in order. Stereo: frames 0-7 then 8-15, each as
// left, right pairs.
template <SourceFormat F> void sixteen_sums(Frames<F> &frames, __m512 &low, __m512 &high) {
  if constexpr (is_stereo(F)) {
    auto two = [&] {
      const __m512 a = frames.next();
      return fold_pairs(a, frames.next());
    };
    auto four = [&] {
      const __m512 a = two();
      return fold_chunks(a, two());
    };
    auto eight = [&] {
      const __m512 a = four();
      return fold_neighbours(a, four());
    };
    low = eight();
    high = eight();
  } else {
    auto two = [&] {
      const __m512 a = frames.next();
      return fold_lanes(a, frames.next());
    };
    auto four = [&] {
      const __m512 a = two();
      return fold_pairs(a, two());
    };
    auto eight = [&] {
      const __m512 a = four();
      return fold_chunks(a, four());
    };
    const __m512 a = eight();
    const __m512 sums = fold_neighbours(a, eight());
    low = _mm512_permutexvar_ps(_mm512_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7),
                                sums);
    high = _mm512_permutexvar_ps(
        _mm512_setr_epi32(8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14, 15, 15), sums);
  }
}

template <SourceFormat F, bool Ramp> void mix_stretched(const Run &run) {
  const SincSpan span = sinc_span(run.step, kWidth);
  Gains<Ramp> gains(run, Fetch<F>::scale * span.gain);
  Frames<F> frames(run, span);
  float *mix = run.mix;
  for (uint32_t k = 0; k < run.frames; k += kWidth, mix += 2 * kWidth) {
    __m512 low, high, gainLow, gainHigh;
    sixteen_sums<F>(frames, low, high);
    gains.next(gainLow, gainHigh);
    _mm512_storeu_ps(mix, _mm512_fmadd_ps(low, gainLow, _mm512_loadu_ps(mix)));
    _mm512_storeu_ps(mix + kWidth, _mm512_fmadd_ps(high, gainHigh, _mm512_loadu_ps(mix + kWidth)));
  }
}

// The window of an iteration at or below the output rate: 32 source frames from p, per
// channel, as frames 0-15 and 16-31, in units of `scale`.
struct Window {
  __m512 left0, left1, right0, right1;
};

template <SourceFormat F> Window window_from(const uint8_t *p) {
  if constexpr (F == SourceFormat::Mono8) {
    const __m128i sign = _mm_set1_epi8(static_cast<char>(0x80));
    const __m512 a = _mm512_cvtepi32_ps(_mm512_cvtepi8_epi32(_mm_xor_si128(load128(p), sign)));
    const __m512 b = _mm512_cvtepi32_ps(_mm512_cvtepi8_epi32(_mm_xor_si128(load128(p + 16), sign)));
    return {a, b, a, b};
  } else if constexpr (F == SourceFormat::Mono16) {
    const __m512 a = _mm512_cvtepi32_ps(_mm512_cvtepi16_epi32(load256(p)));
    const __m512 b = _mm512_cvtepi32_ps(_mm512_cvtepi16_epi32(load256(p + 32)));
    return {a, b, a, b};
  } else {
    const Taps a = Fetch<F>::from(p), b = Fetch<F>::from(p + 16 * bytes_per_frame(F));
    return {a.left, b.left, a.right, b.right};
  }
}

// Sums of one channel over the taps. The pair of taps m and 15 - m weighs their frames a, b by
// E + xO and E - xO, so it adds E(a + b) and O(a - b), and x multiplies the second sum once at
// the end. Two running sums of each kind let neighbouring pairs' multiply-adds overlap.
class Sums {
public:
  void add(int m, __m512 even, __m512 odd, __m512 a, __m512 b) {
    even_[m & 1] = _mm512_fmadd_ps(even, _mm512_add_ps(a, b), even_[m & 1]);
    odd_[m & 1] = _mm512_fmadd_ps(odd, _mm512_sub_ps(a, b), odd_[m & 1]);
  }
  __m512 total(__m512 x) const {
    return _mm512_fmadd_ps(_mm512_add_ps(odd_[0], odd_[1]), x, _mm512_add_ps(even_[0], even_[1]));
  }

private:
  __m512 even_[2] = {_mm512_setzero_ps(), _mm512_setzero_ps()};
  __m512 odd_[2] = {_mm512_setzero_ps(), _mm512_setzero_ps()};
};

// Sixteen frames at or below the output rate, at x = 2f - 1: tap m of lane k reads the window at
// taps[m][k] + carry[k]. Their sums per channel, in the lanes' order.
template <SourceFormat F>
void near_sums(const Window &w, const __m512i (&taps)[kSincTaps], __m512i carry, __m512 x,
               __m512 &left, __m512 &right) {
  const auto &e = kSincTables.even, &o = kSincTables.odd;
  const __m512 x2 = _mm512_mul_ps(x, x);
  Sums l, rr;
  for (int m = 0; m < kSincPairs; ++m) {
    const __m512i low = _mm512_add_epi32(carry, taps[m]);
    const __m512i high = _mm512_add_epi32(carry, taps[kSincTaps - 1 - m]);
    auto term = [&](const float(&c)[kSincTerms][kSincPairs]) {
      const __m512 t = _mm512_fmadd_ps(_mm512_set1_ps(c[2][m]), x2, _mm512_set1_ps(c[1][m]));
      return _mm512_fmadd_ps(t, x2, _mm512_set1_ps(c[0][m]));
    };
    const __m512 even = term(e), odd = term(o);
    l.add(m, even, odd, _mm512_permutex2var_ps(w.left0, low, w.left1),
          _mm512_permutex2var_ps(w.left0, high, w.left1));
    if constexpr (is_stereo(F))
      rr.add(m, even, odd, _mm512_permutex2var_ps(w.right0, low, w.right1),
             _mm512_permutex2var_ps(w.right0, high, w.right1));
  }
  left = l.total(x);
  right = is_stereo(F) ? rr.total(x) : left;
}

// A run at or below the output rate. A voice at exactly the output rate on a whole frame passes
// its frames through unweighted, as the reference does.
template <SourceFormat F, bool Ramp> void mix_near(const Run &run) {
  constexpr uint32_t bpf = bytes_per_frame(F);
  const bool through = run.step == kOne && run.position == 0;
  Gains<Ramp> gains(run, Fetch<F>::scale);
  Lanes lanes(run);
  // Each tap's window index without the carry, once per run: one add per tap and iteration.
  __m512i taps[kSincTaps];
  for (int m = 0; m < kSincTaps; ++m)
    taps[m] = _mm512_add_epi32(lanes.whole(), _mm512_set1_epi32(m));
  const uint8_t *base = run.src - size_t{kSincHalf - 1} * bpf;
  uint64_t first = run.position;
  float *mix = run.mix;
  for (uint32_t k = 0; k < run.frames; k += kWidth, mix += 2 * kWidth, first += kWidth * run.step) {
    __m512 f, left, right, gainLow, gainHigh;
    const __m512i r = lanes.next(f);
    const Window w = window_from<F>(base + (first >> 32) * bpf);
    if (through) {
      const __m512i centre = _mm512_add_epi32(r, _mm512_set1_epi32(kSincHalf - 1));
      left = _mm512_permutex2var_ps(w.left0, centre, w.left1);
      right = _mm512_permutex2var_ps(w.right0, centre, w.right1);
    } else {
      near_sums<F>(w, taps, _mm512_sub_epi32(r, lanes.whole()),
                   _mm512_fmsub_ps(f, _mm512_set1_ps(2.0f), _mm512_set1_ps(1.0f)), left, right);
    }
    gains.next(gainLow, gainHigh);
    _mm512_storeu_ps(
        mix, _mm512_fmadd_ps(_mm512_unpacklo_ps(left, right), gainLow, _mm512_loadu_ps(mix)));
    _mm512_storeu_ps(mix + kWidth, _mm512_fmadd_ps(_mm512_unpackhi_ps(left, right), gainHigh,
                                                   _mm512_loadu_ps(mix + kWidth)));
  }
}

template <SourceFormat F> void mix_run(const Run &run) noexcept {
  const bool near = run.step <= kOne;
  if (run.ramps()) {
    near ? mix_near<F, true>(run) : mix_stretched<F, true>(run);
  } else {
    near ? mix_near<F, false>(run) : mix_stretched<F, false>(run);
  }
}

// Frames a window reaches past an iteration's first output frame: 32 from 7 before it.
constexpr uint32_t kNearReach = 2 * kWidth - kSincHalf;

template <SourceFormat F> uint32_t mix_sinc(VoiceMix &voice, float *mix, uint32_t count) noexcept {
  if (voice.step <= kOne)
    return mix_in_runs<F, kWidth, sinc_frame<F>, mix_run<F>>(voice, mix, count, kSincHalf - 1,
                                                             kNearReach);
  const SincSpan span = sinc_span(voice.step, kWidth);
  return mix_in_runs<F, kWidth, sinc_frame<F>, mix_run<F>>(voice, mix, count, span.back,
                                                           span.ahead);
}

} // namespace

MixKernel avx512_sinc_kernel(SourceFormat format) noexcept {
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
