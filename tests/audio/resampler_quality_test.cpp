// The resamplers' sound, measured on the kernels the mixer selects, at 48000 Hz output.
// Method: a 1 kHz sine at -1 dBFS is rounded to the source's bits (no dither) and resampled;
// 32768 output frames are analysed once the filter reads only real source frames.
//   THD+N   the fundamental is fitted by least squares at its exact output frequency and
//           removed; the residual's power between 20 Hz and 20 kHz (Hann-windowed radix-2 FFT)
//           relative to the fundamental's power.
//   images  a Blackman-Harris windowed DFT at every k * source rate +- 1 kHz below 24 kHz,
//           relative to the same at the fundamental; the worst is reported.
// The 8-bit floor is the same THD+N measured on the 8-bit source itself at its own rate: the
// rounding error of that sine, about -50 dB.
// Also: loops stay seamless in both modes, the cutoff follows the ratio above the output rate,
// and the mode reaches voices through the audio library (AIL_set_resampling, KSND_RESAMPLER).
#include "audio/kernels/mix_kernel.h"
#include "wail32.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <numbers>
#include <vector>

namespace {

using wail::Resampler;
using wail::SourceFormat;
using wail::VoiceMix;

constexpr double kPi = std::numbers::pi;
constexpr double kOutputRate = 48000;
constexpr double kTone = 1000;
constexpr size_t kAnalysed = 32768;
constexpr uint64_t kOne = uint64_t{1} << 32;

// Mono source frames of a sum of sines (hz, level of full scale), rounded to 8 or 16 bits.
std::vector<uint8_t> sine_source(double rate, bool eightBit, size_t frames,
                                 std::vector<std::pair<double, double>> tones) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < frames; ++i) {
    double x = 0;
    for (auto [hz, level] : tones) x += level * std::sin(2 * kPi * hz * double(i) / rate);
    if (eightBit) {
      bytes.push_back(uint8_t(std::clamp(std::lround(x * 128) + 128, 0L, 255L)));
    } else {
      const auto s = uint16_t(int16_t(std::clamp(std::lround(x * 32768), -32768L, 32767L)));
      bytes.push_back(uint8_t(s & 0xFF));
      bytes.push_back(uint8_t(s >> 8));
    }
  }
  return bytes;
}

// The left channel of `frames` output frames of a voice at `step`, from source frame `from`.
std::vector<double> resample(wail::MixKernel kernel, const std::vector<uint8_t> &source,
                             uint32_t sourceFrames, uint64_t step, uint32_t from, size_t frames,
                             bool forever = false) {
  VoiceMix v{source.data(), sourceFrames, uint64_t{from} << 32, step, 1, 1, 0, 0, 1, forever};
  std::vector<float> mix(2 * frames);
  EXPECT_EQ(kernel(v, mix.data(), uint32_t(frames)), frames);
  std::vector<double> left(frames);
  for (size_t i = 0; i < frames; ++i) left[i] = mix[2 * i];
  return left;
}

void fft(std::vector<std::complex<double>> &a) {
  const size_t n = a.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    const std::complex<double> turn = std::polar(1.0, -2 * kPi / double(len));
    for (size_t i = 0; i < n; i += len) {
      std::complex<double> w = 1;
      for (size_t k = 0; k < len / 2; ++k, w *= turn) {
        const auto u = a[i + k], v = a[i + k + len / 2] * w;
        a[i + k] = u + v;
        a[i + k + len / 2] = u - v;
      }
    }
  }
}

// THD+N in dB of a signal sampled at `rate` whose fundamental is at `hz`.
double thd_n(const std::vector<double> &y, double rate, double hz) {
  const double w = 2 * kPi * hz / rate;
  double ss = 0, cc = 0, sc = 0, ys = 0, yc = 0;
  for (size_t k = 0; k < y.size(); ++k) {
    const double s = std::sin(w * double(k)), c = std::cos(w * double(k));
    ss += s * s, cc += c * c, sc += s * c, ys += y[k] * s, yc += y[k] * c;
  }
  const double det = ss * cc - sc * sc;
  const double a = (ys * cc - yc * sc) / det, b = (yc * ss - ys * sc) / det;
  std::vector<std::complex<double>> r(y.size());
  double windowPower = 0;
  for (size_t k = 0; k < y.size(); ++k) {
    const double hann = 0.5 - 0.5 * std::cos(2 * kPi * double(k) / double(y.size()));
    windowPower += hann * hann;
    r[k] = (y[k] - a * std::sin(w * double(k)) - b * std::cos(w * double(k))) * hann;
  }
  fft(r);
  double noise = 0;
  for (size_t bin = 1; bin < y.size() / 2; ++bin) {
    const double f = double(bin) * rate / double(y.size());
    if (f >= 20 && f <= 20000) noise += 2 * std::norm(r[bin]);
  }
  noise /= double(y.size()) * windowPower;
  return 10 * std::log10(noise / ((a * a + b * b) / 2));
}

// The Blackman-Harris windowed amplitude of y (at the output rate) at `hz`.
double amplitude_at(const std::vector<double> &y, double hz) {
  std::complex<double> sum = 0;
  const double n = double(y.size());
  for (size_t k = 0; k < y.size(); ++k) {
    const double x = 2 * kPi * double(k) / n;
    const double window =
        0.35875 - 0.48829 * std::cos(x) + 0.14128 * std::cos(2 * x) - 0.01168 * std::cos(3 * x);
    sum += y[k] * window * std::polar(1.0, -2 * kPi * hz / kOutputRate * double(k));
  }
  return std::abs(sum);
}

double db(double ratio) { return 20 * std::log10(ratio); }

struct Quality {
  double thdN, images, floor;
};

// The sine from `rate` through the kernel selected for `mode`.
Quality measure(Resampler mode, double rate, bool eightBit) {
  const auto frames = uint32_t(rate);
  const auto source = sine_source(rate, eightBit, frames, {{kTone, 0.891}});
  const uint64_t step = uint64_t(rate / kOutputRate * double(kOne));
  const auto kernel =
      wail::select_kernel(eightBit ? SourceFormat::Mono8 : SourceFormat::Mono16, mode);
  const auto y = resample(kernel, source, frames, step, frames / 10, kAnalysed);
  // The exact output frequencies follow the fixed-point step.
  const double scale = double(step) / double(kOne) * kOutputRate / rate;
  const double fundamental = amplitude_at(y, kTone * scale);
  double images = -300;
  for (int k = 1; k * rate - kTone < kOutputRate / 2; ++k)
    for (double image : {k * rate - kTone, k * rate + kTone})
      if (image < kOutputRate / 2)
        images = std::max(images, db(amplitude_at(y, image * scale) / fundamental));
  std::vector<double> own(8192);
  for (size_t i = 0; i < own.size(); ++i)
    own[i] = eightBit ? (source[i] - 128) / 128.0
                      : int16_t(source[2 * i] | source[2 * i + 1] << 8) / 32768.0;
  return {thd_n(y, kOutputRate, kTone * scale), images, thd_n(own, rate, kTone)};
}

TEST(ResamplerQuality, SineFromGameRatesMeetsTheImageAndThdNTargets) {
  const struct {
    double rate;
    bool eightBit;
  } sources[] = {{11025, false}, {22050, false}, {11025, true}};
  for (const auto &s : sources) {
    const Quality sinc = measure(Resampler::Sinc, s.rate, s.eightBit);
    const Quality linear = measure(Resampler::Linear, s.rate, s.eightBit);
    SCOPED_TRACE(testing::Message()
                 << s.rate << " Hz " << (s.eightBit ? 8 : 16) << "-bit: sinc " << sinc.thdN
                 << " dB THD+N, " << sinc.images << " dBc images; linear " << linear.thdN << ", "
                 << linear.images << "; source floor " << sinc.floor);
    EXPECT_LE(sinc.images, -80);
    if (s.eightBit) {
      EXPECT_NEAR(sinc.thdN, sinc.floor, 1.5);
    } else {
      EXPECT_LE(sinc.thdN, -80);
    }
    // The measurement sees what linear interpolation leaves.
    EXPECT_GT(linear.images, -60);
  }
}

// Which output frames lie within `near` frames of a loop point.
std::vector<bool> near_seams(size_t frames, uint64_t step, uint32_t loop, size_t near) {
  std::vector<bool> seam(frames, false);
  for (size_t n = 0; n < frames + near; ++n)
    if ((n + 1) * step / kOne / loop != n * step / kOne / loop)
      for (size_t k = n > near ? n - near : 0; k < std::min(frames, n + near); ++k) seam[k] = true;
  return seam;
}

// The largest of `measure` near the seams (first) and elsewhere (second), from frame `from` on.
std::pair<double, double> largest_at_and_off(const std::vector<double> &measure,
                                             const std::vector<bool> &seam, size_t from) {
  std::pair<double, double> largest{0, 0};
  for (size_t n = from; n < measure.size(); ++n) {
    double &worst = seam[n] ? largest.first : largest.second;
    worst = std::max(worst, measure[n]);
  }
  return largest;
}

// How far each frame of y strays from the sine at `hz` (cycles per frame) fitted to the frames
// away from the seams, from frame `from` on.
std::vector<double> distance_from_sine(const std::vector<double> &y, double hz,
                                       const std::vector<bool> &seam, size_t from) {
  const double w = 2 * kPi * hz;
  double ss = 0, cc = 0, sc = 0, ys = 0, yc = 0;
  for (size_t k = from; k < y.size(); ++k) {
    if (seam[k]) continue;
    const double s = std::sin(w * double(k)), c = std::cos(w * double(k));
    ss += s * s, cc += c * c, sc += s * c, ys += y[k] * s, yc += y[k] * c;
  }
  const double det = ss * cc - sc * sc;
  const double a = (ys * cc - yc * sc) / det, b = (yc * ss - ys * sc) / det;
  std::vector<double> distance(y.size());
  for (size_t k = 0; k < y.size(); ++k)
    distance[k] = std::abs(y[k] - a * std::sin(w * double(k)) - b * std::cos(w * double(k)));
  return distance;
}

TEST(ResamplerQuality, LoopOfWholeSinePeriodsIsSeamlessInBothModes) {
  // 441 frames at 11025 Hz hold exactly 40 periods of 1 kHz.
  const auto source = sine_source(11025, false, 441, {{kTone, 0.891}});
  const uint64_t step = uint64_t(11025 / kOutputRate * double(kOne));
  const double hz = kTone * double(step) / double(kOne) / 11025;
  // Past the first frames (the first play starts after silence), 40 frames either side of a
  // loop point, about as far as the filter reaches.
  const auto seam = near_seams(48000, step, 441, 40);
  for (Resampler mode : {Resampler::Linear, Resampler::Sinc}) {
    SCOPED_TRACE(testing::Message() << "mode " << int(mode));
    const auto y = resample(wail::select_kernel(SourceFormat::Mono16, mode), source, 441, step, 0,
                            48000, true);
    std::vector<double> steps(y.size(), 0);
    for (size_t n = 0; n + 1 < y.size(); ++n) steps[n] = std::abs(y[n + 1] - y[n]);
    const auto [stepAtSeams, stepElsewhere] = largest_at_and_off(steps, seam, 100);
    EXPECT_GT(stepAtSeams, 0.1); // the seams' neighbourhoods hold the sine's steepest stretches
    EXPECT_LE(stepAtSeams, stepElsewhere * 1.001); // the seams sample fewer phases of the sine
    const auto [offAtSeams, offElsewhere] =
        largest_at_and_off(distance_from_sine(y, hz, seam, 100), seam, 100);
    EXPECT_LE(offAtSeams, offElsewhere * 1.05 + 1e-6);
  }
}

TEST(ResamplerQuality, AboveTheOutputRateTheCutoffFollowsTheRatio) {
  // 96 kHz at 48 kHz: a 40 kHz tone would fold to 8 kHz; the 1 kHz tone must pass unchanged.
  const auto source = sine_source(96000, false, 96000, {{kTone, 0.446}, {40000, 0.446}});
  std::vector<double> ideal(kAnalysed);
  for (size_t k = 0; k < kAnalysed; ++k)
    ideal[k] = 0.446 * std::sin(2 * kPi * kTone * double(k) / kOutputRate);
  for (Resampler mode : {Resampler::Linear, Resampler::Sinc}) {
    const auto y = resample(wail::select_kernel(SourceFormat::Mono16, mode), source, 96000,
                            2 * kOne, 9600, kAnalysed);
    const double tone = amplitude_at(y, kTone);
    const double passband = db(tone / amplitude_at(ideal, kTone));
    const double folded = db(amplitude_at(y, 8000) / tone);
    SCOPED_TRACE(testing::Message() << "mode " << int(mode) << ": 1 kHz " << passband
                                    << " dB, fold at 8 kHz " << folded << " dBc");
    EXPECT_NEAR(passband, 0, 0.1);
    if (mode == Resampler::Sinc) {
      EXPECT_LE(folded, -80);
    } else {
      EXPECT_GT(folded, -20); // linear interpolation only picks every other frame
    }
  }
}

// The left channel of `frames` frames of the offline mix, after a tenth of a second.
std::vector<double> render_mix(size_t frames) {
  std::vector<float> out(2 * (frames + 4800));
  EXPECT_EQ(AIL_render_offline(out.data(), uint32_t(frames + 4800)), frames + 4800);
  std::vector<double> left(frames);
  for (size_t i = 0; i < frames; ++i) left[i] = out[2 * (i + 4800)];
  return left;
}

// The larger image of the 1 kHz tone from 11025 Hz, at 10025 or 12025 Hz, in dBc.
double worst_image(const std::vector<double> &y) {
  const double tone = amplitude_at(y, kTone);
  return db(std::max(amplitude_at(y, 11025 - kTone), amplitude_at(y, 11025 + kTone)) / tone);
}

TEST(ResamplingMode, SetResamplingAppliesToVoicesSetUpAfterIt) {
  setenv("KSND_AUDIO", "offline", 1);
  AIL_startup();
  HDIGDRIVER driver = nullptr;
  const PCMWAVEFORMAT format{1, 2, 11025, 22050, 2, 8};
  ASSERT_EQ(AIL_waveOutOpen(&driver, nullptr, 0, &format), 0) << AIL_last_error();
  const auto source = sine_source(11025, false, 11025, {{kTone, 0.5}});
  HSAMPLE voice = AIL_allocate_sample_handle(driver);
  auto set_up_and_play = [&] {
    AIL_set_sample_address(voice, source.data(), uint32_t(source.size()));
    AIL_set_sample_type(voice, DIG_F_MONO_16, DIG_PCM_SIGNED);
    AIL_set_sample_playback_rate(voice, 11025);
    AIL_set_sample_loop_count(voice, 0);
    AIL_start_sample(voice);
  };
  AIL_set_resampling(AIL_RESAMPLE_SINC);
  EXPECT_EQ(AIL_set_resampling(AIL_RESAMPLE_LINEAR), AIL_RESAMPLE_SINC);
  set_up_and_play();
  EXPECT_GT(worst_image(render_mix(kAnalysed)), -60);
  EXPECT_EQ(AIL_set_resampling(AIL_RESAMPLE_SINC), AIL_RESAMPLE_LINEAR);
  EXPECT_GT(worst_image(render_mix(kAnalysed)), -60); // still the mode it was set up with
  AIL_stop_sample(voice);
  set_up_and_play();
  EXPECT_LT(worst_image(render_mix(kAnalysed)), -80);
  EXPECT_EQ(AIL_set_resampling(7), AIL_RESAMPLE_SINC); // not a mode: nothing changes
  EXPECT_EQ(AIL_set_resampling(AIL_RESAMPLE_SINC), AIL_RESAMPLE_SINC);
  AIL_shutdown();
}

// Run by ctest as it is and again with KSND_RESAMPLER set to linear and to a word it does not
// know (which must also say so on standard error, checked by ctest).
TEST(ResamplingMode, KsndResamplerChoosesTheModeAtLoad) {
  const char *value = std::getenv("KSND_RESAMPLER");
  const bool linear = value != nullptr && std::strcmp(value, "linear") == 0;
  EXPECT_EQ(AIL_set_resampling(AIL_RESAMPLE_SINC),
            linear ? AIL_RESAMPLE_LINEAR : AIL_RESAMPLE_SINC);
}

} // namespace
