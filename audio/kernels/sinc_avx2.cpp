// The band-limited AVX2 kernels, eight output frames per iteration. Up to one source frame per
// output frame the eight frames' taps lie in a window of 23 source frames: tap m of every lane
// is permuted out of the eight frames from m, and weighted by the fitted polynomials evaluated
// for all lanes together. Above the output rate each frame's stretched taps are gathered from
// the curve and the frames' products summed across lanes by one transposing reduction.
// Only this file and the linear one are built with -mavx2 -mfma.
#include "audio/kernels/kernel_variants.h"

#if defined(WAIL_KERNELS_X86)
#include "audio/kernels/simd_avx2.h"
#include "audio/kernels/sinc_step.h"

namespace wail::kernels {
namespace {

constexpr uint32_t kWidth = 8;     // output frames per iteration
constexpr uint32_t kTapChunk = 16; // stretched taps read at a time

// Eight consecutive source frames from p, per channel, in units of `scale`.
struct Slice {
  __m256 left, right;
};

template <SourceFormat F> struct Fetch;

template <> struct Fetch<SourceFormat::Mono8> {
  static constexpr float scale = kScale8;
  static Slice from(const uint8_t *p) {
    const __m256 a =
        _mm256_sub_ps(_mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(load64(p))), _mm256_set1_ps(128.0f));
    return {a, a};
  }
};

template <> struct Fetch<SourceFormat::Mono16> {
  static constexpr float scale = kScale16;
  static Slice from(const uint8_t *p) {
    const __m256 a = _mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(load128(p)));
    return {a, a};
  }
};

template <> struct Fetch<SourceFormat::Stereo8> {
  static constexpr float scale = kTopScale;
  static Slice from(const uint8_t *p) {
    const __m256i v =
        _mm256_xor_si256(_mm256_cvtepu16_epi32(load128(p)), _mm256_set1_epi32(0x8080));
    return {top(v, 24), masked(_mm256_slli_epi32(v, 16), kHigh8)};
  }
};

template <> struct Fetch<SourceFormat::Stereo16> {
  static constexpr float scale = kTopScale;
  static Slice from(const uint8_t *p) {
    const __m256i v = load256(p);
    return {top(v, 16), masked(v, kHigh16)};
  }
};

// Sums of one channel over the taps, as in the AVX-512 file: a pair adds E(a + b) and
// O(a - b), and x multiplies the second sum once at the end.
class Sums {
public:
  void add(int m, __m256 even, __m256 odd, __m256 a, __m256 b) {
    even_[m & 1] = _mm256_fmadd_ps(even, _mm256_add_ps(a, b), even_[m & 1]);
    odd_[m & 1] = _mm256_fmadd_ps(odd, _mm256_sub_ps(a, b), odd_[m & 1]);
  }
  __m256 total(__m256 x) const {
    return _mm256_fmadd_ps(_mm256_add_ps(odd_[0], odd_[1]), x, _mm256_add_ps(even_[0], even_[1]));
  }

private:
  __m256 even_[2] = {_mm256_setzero_ps(), _mm256_setzero_ps()};
  __m256 odd_[2] = {_mm256_setzero_ps(), _mm256_setzero_ps()};
};

// Eight frames at or below the output rate whose taps start at p: lane k's frame lies r[k]
// frames past it, at x = 2f - 1. Their sums per channel, in the lanes' order.
template <SourceFormat F>
void near_sums(const uint8_t *p, __m256i r, __m256 x, __m256 &left, __m256 &right) {
  constexpr uint32_t bpf = bytes_per_frame(F);
  const __m256 x2 = _mm256_mul_ps(x, x);
  Sums l, rr;
  for (int m = 0; m < kSincPairs; ++m) {
    auto term = [&](const float(&c)[kSincTerms][kSincPairs][8]) {
      const __m256 t = _mm256_fmadd_ps(_mm256_load_ps(c[2][m]), x2, _mm256_load_ps(c[1][m]));
      return _mm256_fmadd_ps(t, x2, _mm256_load_ps(c[0][m]));
    };
    const __m256 even = term(kSincTables.spread[0]), odd = term(kSincTables.spread[1]);
    const Slice low = Fetch<F>::from(p + m * bpf);
    const Slice high = Fetch<F>::from(p + (kSincTaps - 1 - m) * bpf);
    l.add(m, even, odd, _mm256_permutevar8x32_ps(low.left, r),
          _mm256_permutevar8x32_ps(high.left, r));
    if constexpr (is_stereo(F))
      rr.add(m, even, odd, _mm256_permutevar8x32_ps(low.right, r),
             _mm256_permutevar8x32_ps(high.right, r));
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
  const uint8_t *base = run.src - size_t{kSincHalf - 1} * bpf;
  uint64_t first = run.position;
  float *mix = run.mix;
  for (uint32_t k = 0; k < run.frames; k += kWidth, mix += 2 * kWidth, first += kWidth * run.step) {
    __m256 f, left, right, gainLow, gainHigh;
    const __m256i r = lanes.next(f);
    const uint8_t *p = base + (first >> 32) * bpf;
    if (through) {
      const Slice centre = Fetch<F>::from(p + (kSincHalf - 1) * bpf);
      left = _mm256_permutevar8x32_ps(centre.left, r);
      right = _mm256_permutevar8x32_ps(centre.right, r);
    } else {
      near_sums<F>(p, r, _mm256_fmsub_ps(f, _mm256_set1_ps(2.0f), _mm256_set1_ps(1.0f)), left,
                   right);
    }
    gains.next(gainLow, gainHigh);
    _mm256_storeu_ps(
        mix, _mm256_fmadd_ps(_mm256_unpacklo_ps(left, right), gainLow, _mm256_loadu_ps(mix)));
    _mm256_storeu_ps(mix + kWidth, _mm256_fmadd_ps(_mm256_unpackhi_ps(left, right), gainHigh,
                                                   _mm256_loadu_ps(mix + kWidth)));
  }
}

// Pairwise sums that transpose as they go, as in the AVX-512 file.
// Within each 128-bit half: [a0+a2, b0+b2, a1+a3, b1+b3].
__m256 fold_lanes(__m256 a, __m256 b) {
  return _mm256_add_ps(_mm256_unpacklo_ps(a, b), _mm256_unpackhi_ps(a, b));
}
// Within each 128-bit half: [a01+a23, b01+b23] as pairs of lanes.
__m256 fold_pairs(__m256 a, __m256 b) {
  const __m256d x = _mm256_castps_pd(a), y = _mm256_castps_pd(b);
  return _mm256_add_ps(_mm256_castpd_ps(_mm256_unpacklo_pd(x, y)),
                       _mm256_castpd_ps(_mm256_unpackhi_pd(x, y)));
}
// Halves [a0+a1, b0+b1].
__m256 fold_halves(__m256 a, __m256 b) {
  return _mm256_add_ps(_mm256_permute2f128_ps(a, b, 0x20), _mm256_permute2f128_ps(a, b, 0x31));
}

// One stretched frame's products of eight taps from p, added to `sum`: for mono sources eight
// partials of its sum; for stereo ones four of the left and four of the right, alternating
// (as fold_lanes leaves them).
template <SourceFormat F> __m256 add_products(__m256 sum, __m256 c, const uint8_t *p) {
  const Slice s = Fetch<F>::from(p);
  if constexpr (is_stereo(F)) {
    return _mm256_add_ps(sum, fold_lanes(_mm256_mul_ps(c, s.left), _mm256_mul_ps(c, s.right)));
  } else {
    return _mm256_fmadd_ps(c, s.left, sum);
  }
}

// Coefficients of eight taps of the stretched window, tap m at at - m * stride on the curve.
__m256 curve_taps(int32_t at, __m256i lanes) {
  __m256i point = _mm256_sub_epi32(_mm256_set1_epi32(at), lanes);
  point = _mm256_min_epi32(_mm256_max_epi32(point, _mm256_setzero_si256()),
                           _mm256_set1_epi32(kCurveEnd));
  const __m256i j = _mm256_srai_epi32(point, kCurveFractionBits);
  const __m256 w =
      _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_and_si256(point, _mm256_set1_epi32(0xFFFF))),
                    _mm256_set1_ps(0x1p-16f));
  return _mm256_fmadd_ps(w, _mm256_i32gather_ps(kSincTables.slope, j, 4),
                         _mm256_i32gather_ps(kSincTables.curve, j, 4));
}

// The frames of a stretched run one after another: the products of each, from the taps at
// frame i - back.
template <SourceFormat F> class Frames {
public:
  Frames(const Run &run, const SincSpan &span)
      : span_(span), position_(run.position), step_(run.step),
        base_(run.src - size_t{span.back} * bytes_per_frame(F)),
        lanes_(_mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7),
                                  _mm256_set1_epi32(span.stride))) {}

  __m256 next() {
    const auto fraction = static_cast<uint32_t>(position_);
    const uint8_t *p = base_ + (position_ >> 32) * bytes_per_frame(F);
    position_ += step_;
    const int32_t eight = 8 * span_.stride;
    int32_t at = first_curve_point(span_, fraction);
    __m256 sum = _mm256_setzero_ps();
    for (uint32_t m = 0; m < span_.taps; m += 8, at -= eight, p += 8 * bytes_per_frame(F))
      sum = add_products<F>(sum, curve_taps(at, lanes_), p);
    return sum;
  }

private:
  SincSpan span_;
  uint64_t position_; // relative to the run's first frame
  uint64_t step_;
  const uint8_t *base_;
  __m256i lanes_; // m * stride for lane m
};

// Eight stretched frames' sums, each store's share interleaved left, right: frames 0-3, 4-7.
template <SourceFormat F> void eight_sums(Frames<F> &frames, __m256 &low, __m256 &high) {
  if constexpr (is_stereo(F)) {
    auto two = [&] {
      const __m256 a = frames.next();
      return fold_pairs(a, frames.next());
    };
    auto four = [&] {
      const __m256 a = two();
      return fold_halves(a, two());
    };
    low = four();
    high = four();
  } else {
    auto two = [&] {
      const __m256 a = frames.next();
      return fold_lanes(a, frames.next());
    };
    auto four = [&] {
      const __m256 a = two();
      return fold_pairs(a, two());
    };
    const __m256 a = four();
    const __m256 sums = fold_halves(a, four());
    low = _mm256_permutevar8x32_ps(sums, _mm256_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3));
    high = _mm256_permutevar8x32_ps(sums, _mm256_setr_epi32(4, 4, 5, 5, 6, 6, 7, 7));
  }
}

template <SourceFormat F, bool Ramp> void mix_stretched(const Run &run) {
  const SincSpan span = sinc_span(run.step, kTapChunk);
  Gains<Ramp> gains(run, Fetch<F>::scale * span.gain);
  Frames<F> frames(run, span);
  float *mix = run.mix;
  for (uint32_t k = 0; k < run.frames; k += kWidth, mix += 2 * kWidth) {
    __m256 low, high, gainLow, gainHigh;
    eight_sums<F>(frames, low, high);
    gains.next(gainLow, gainHigh);
    _mm256_storeu_ps(mix, _mm256_fmadd_ps(low, gainLow, _mm256_loadu_ps(mix)));
    _mm256_storeu_ps(mix + kWidth, _mm256_fmadd_ps(high, gainHigh, _mm256_loadu_ps(mix + kWidth)));
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

// Frames the taps of an iteration reach past its first output frame: eight frames at most one
// apart, each reading eight past its own.
constexpr uint32_t kNearReach = kWidth - 1 + kSincHalf;

template <SourceFormat F> uint32_t mix_sinc(VoiceMix &voice, float *mix, uint32_t count) noexcept {
  if (voice.step <= kOne)
    return mix_in_runs<F, kWidth, sinc_frame<F>, mix_run<F>>(voice, mix, count, kSincHalf - 1,
                                                             kNearReach);
  const SincSpan span = sinc_span(voice.step, kTapChunk);
  return mix_in_runs<F, kWidth, sinc_frame<F>, mix_run<F>>(voice, mix, count, span.back,
                                                           span.ahead);
}

} // namespace

MixKernel avx2_sinc_kernel(SourceFormat format) noexcept {
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
