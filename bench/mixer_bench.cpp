// The mixer's cost per voice-frame and what its resampling leaves: N looping voices rendered
// into 1024-frame blocks of 48 kHz stereo float through our kernels (band-limited and linear),
// through OpenAL Soft's loopback device doing the same work with each of its resamplers, and
// the floor of merely summing voices that are already resampled. Each resampler's benchmark
// also reports `images_dBc`: the worst image of a 1 kHz sine from the same source format.
#include "audio/kernels/kernel_variants.h"
#include "audio/kernels/mix_kernel.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <random>
#include <vector>

namespace {

using wail::MixKernel;
using wail::Resampler;
using wail::SourceFormat;

constexpr uint32_t kBlock = 1024; // output frames per render
constexpr uint32_t kOutputRate = 48000;
constexpr uint32_t kSounds = 8; // distinct sounds; voice v plays sound v % kSounds
constexpr uint32_t kSeconds = 3;
constexpr int kMaxVoices = 256;
constexpr double kPi = std::numbers::pi;

struct Format {
  SourceFormat format;
  uint32_t rate;
  ALenum alFormat;
  uint32_t channels, bytesPerSample;
};
const Format kMono8{SourceFormat::Mono8, 11025, AL_FORMAT_MONO8, 1, 1};
const Format kStereo16{SourceFormat::Stereo16, 22050, AL_FORMAT_STEREO16, 2, 2};

uint32_t frames_of(const Format &f) { return f.rate * kSeconds; }

// `hz` at `level` of full scale plus `hiss` of noise, as the format's bytes.
std::vector<uint8_t> make_sound(const Format &f, float hz, float level, float hiss, uint32_t seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<float> noise(-hiss, hiss);
  std::vector<uint8_t> bytes;
  for (uint32_t i = 0; i < frames_of(f) * f.channels; ++i) {
    const double t = static_cast<double>(i / f.channels) / f.rate;
    const float x = level * static_cast<float>(std::sin(2 * kPi * double{hz} * t)) + noise(gen);
    if (f.bytesPerSample == 1) {
      bytes.push_back(static_cast<uint8_t>(128 + std::lround(x * 127)));
    } else {
      const auto s = static_cast<uint16_t>(static_cast<int16_t>(std::lround(x * 32767)));
      bytes.push_back(static_cast<uint8_t>(s & 0xFF));
      bytes.push_back(static_cast<uint8_t>(s >> 8));
    }
  }
  return bytes;
}

// Tones with some noise, one per sound.
std::vector<std::vector<uint8_t>> make_sounds(const Format &f) {
  std::vector<std::vector<uint8_t>> sounds;
  for (uint32_t i = 0; i < kSounds; ++i)
    sounds.push_back(make_sound(f, 110.0f * static_cast<float>(i + 1), 0.8f, 0.1f, i));
  return sounds;
}

// The 1 kHz sine whose images are measured, at -1 dBFS.
std::vector<uint8_t> image_probe(const Format &f) { return make_sound(f, 1000, 0.891f, 0, 0); }

// Frames of output analysed for images, after a quarter second that settles every filter.
constexpr uint32_t kAnalysed = 32768;
constexpr uint32_t kSettle = kOutputRate / 4;

// The Blackman-Harris windowed amplitude of the left channel near `hz`: the largest within six
// bins, so that a resampler's fixed-point rounding of the pitch does not hide a component.
double amplitude_near(const std::vector<float> &stereo, double hz) {
  static const std::vector<double> window = [] {
    std::vector<double> w(kAnalysed);
    for (uint32_t k = 0; k < kAnalysed; ++k) {
      const double x = 2 * kPi * k / kAnalysed;
      w[k] =
          0.35875 - 0.48829 * std::cos(x) + 0.14128 * std::cos(2 * x) - 0.01168 * std::cos(3 * x);
    }
    return w;
  }();
  double best = 0;
  for (double offset = -6; offset <= 6; offset += 0.25) {
    const std::complex<double> turn =
        std::polar(1.0, -2 * kPi * (hz / kOutputRate + offset / kAnalysed));
    std::complex<double> sum = 0, phasor = 1;
    for (uint32_t k = 0; k < kAnalysed; ++k, phasor *= turn)
      sum += static_cast<double>(stereo[2 * (kSettle + k)]) * window[k] * phasor;
    best = std::max(best, std::abs(sum));
  }
  return best;
}

// The worst image of the probe (k * source rate +- 1 kHz below 24 kHz) relative to the probe,
// in dB, from the stereo output of rendering it.
double images_dbc(const std::vector<float> &stereo, double sourceRate) {
  const double tone = amplitude_near(stereo, 1000);
  double worst = -200;
  for (int k = 1; k * sourceRate - 1000 < kOutputRate / 2.0; ++k)
    for (double image : {k * sourceRate - 1000, k * sourceRate + 1000})
      if (image < kOutputRate / 2.0)
        worst = std::max(worst, 20 * std::log10(amplitude_near(stereo, image) / tone));
  return worst;
}

// Voice v's placement, shared by both mixers: a level and a pan in [0, 1], and where it starts.
float level_of(int v) { return 0.3f + 0.05f * static_cast<float>(v % 8); }
float pan_of(int v) { return static_cast<float>(v % 11) / 10.0f; }
uint32_t start_of(int v, uint32_t frames) { return static_cast<uint32_t>(v) * 7919u % frames; }

// Reports the time per voice-frame (seconds, shown with an SI prefix: 250ps = 0.25 ns).
void count_voice_frames(benchmark::State &state, int voices) {
  state.counters["per_voice_frame"] = benchmark::Counter(
      static_cast<double>(voices) * kBlock,
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

bool silent(const std::vector<float> &mix) {
  return std::all_of(mix.begin(), mix.end(), [](float x) { return x == 0.0f; });
}

uint64_t step_of(const Format &f) { return (uint64_t{f.rate} << 32) / kOutputRate; }

double our_images(const Format &f, MixKernel kernel) {
  const auto probe = image_probe(f);
  wail::VoiceMix voice{probe.data(), frames_of(f), 0, step_of(f), 1, 1, 0, 0, 1, true};
  std::vector<float> out(2 * size_t{kSettle + kAnalysed});
  kernel(voice, out.data(), kSettle + kAnalysed);
  return images_dbc(out, f.rate);
}

void mix_ours(benchmark::State &state, const Format &f, MixKernel kernel) {
  const int voices = static_cast<int>(state.range(0));
  const auto sounds = make_sounds(f);
  std::vector<wail::VoiceMix> mixes;
  for (int v = 0; v < voices; ++v) {
    const float level = level_of(v), pan = pan_of(v);
    mixes.push_back({sounds[v % kSounds].data(), frames_of(f),
                     uint64_t{start_of(v, frames_of(f))} << 32, step_of(f), level * (1 - pan),
                     level * pan, 0.0f, 0.0f, 1, true});
  }
  std::vector<float> mix(2 * kBlock);
  for (auto _ : state) {
    std::memset(mix.data(), 0, mix.size() * sizeof(float));
    for (auto &voice : mixes) kernel(voice, mix.data(), kBlock);
    benchmark::DoNotOptimize(mix.data());
    benchmark::ClobberMemory();
  }
  if (silent(mix)) state.SkipWithError("the kernels rendered silence");
  count_voice_frames(state, voices);
  state.counters["images_dBc"] = our_images(f, kernel);
}

void BM_Ours(benchmark::State &state, const Format &f, Resampler mode) {
  mix_ours(state, f, wail::select_kernel(f.format, mode));
}
#if defined(WAIL_KERNELS_X86)
void BM_OursSse2(benchmark::State &state, const Format &f, Resampler mode) {
  mix_ours(state, f, wail::kernels::sse2_kernel(f.format, mode));
}
void BM_OursAvx2(benchmark::State &state, const Format &f, Resampler mode) {
  if (!wail::kernels::cpu_has_avx2()) return state.SkipWithError("no AVX2");
  mix_ours(state, f, wail::kernels::avx2_kernel(f.format, mode));
}
void BM_OursAvx512(benchmark::State &state, const Format &f, Resampler mode) {
  if (!wail::kernels::cpu_has_avx512()) return state.SkipWithError("no AVX-512");
  mix_ours(state, f, wail::kernels::avx512_kernel(f.format, mode));
}
#endif
void BM_OursScalar(benchmark::State &state, const Format &f, Resampler mode) {
  mix_ours(state, f, wail::scalar_kernel(f.format, mode));
}

// OpenAL Soft's resamplers by their configuration names and the names the library reports.
struct AlResampler {
  const char *config, *name;
};
const AlResampler kAlLinear{"linear", "Linear"}, kAlCubic{"cubic", "Cubic"},
    kAlBsinc12{"bsinc12", "11th order Sinc"}, kAlBsinc24{"bsinc24", "23rd order Sinc"};

// OpenAL Soft rendering through its loopback device: the given sounds as looping sources with
// the same levels, pans and start points, each through the chosen resampler.
class OpenAlLoopback {
public:
  OpenAlLoopback(const Format &f, const std::vector<std::vector<uint8_t>> &sounds, int voices,
                 const AlResampler &resampler) {
    auto open = reinterpret_cast<LPALCLOOPBACKOPENDEVICESOFT>(
        alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT"));
    auto supported = reinterpret_cast<LPALCISRENDERFORMATSUPPORTEDSOFT>(
        alcGetProcAddress(nullptr, "alcIsRenderFormatSupportedSOFT"));
    render_ = reinterpret_cast<LPALCRENDERSAMPLESSOFT>(
        alcGetProcAddress(nullptr, "alcRenderSamplesSOFT"));
    if (open == nullptr || supported == nullptr || render_ == nullptr) return;
    device_ = open(nullptr);
    if (device_ == nullptr || !supported(device_, kOutputRate, ALC_STEREO_SOFT, ALC_FLOAT_SOFT))
      return;
    // clang-format off
    const ALCint attributes[] = {
        ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT,
        ALC_FORMAT_TYPE_SOFT, ALC_FLOAT_SOFT,
        ALC_FREQUENCY, kOutputRate,
        ALC_MONO_SOURCES, kMaxVoices,
        ALC_STEREO_SOURCES, kMaxVoices,
        ALC_HRTF_SOFT, ALC_FALSE,           // plain stereo panning
        ALC_OUTPUT_LIMITER_SOFT, ALC_FALSE, // no limiter on float output
        0};
    // clang-format on
    context_ = alcCreateContext(device_, attributes);
    if (context_ == nullptr || !alcMakeContextCurrent(context_)) return;
    const ALint chosen = resampler_index(resampler);
    if (chosen < 0) {
      error_ = "this OpenAL Soft lacks the resampler";
      return;
    }
    start_sources(f, sounds, voices, chosen);
  }
  ~OpenAlLoopback() {
    if (!sources_.empty()) alDeleteSources(static_cast<ALsizei>(sources_.size()), sources_.data());
    if (!buffers_.empty()) alDeleteBuffers(static_cast<ALsizei>(buffers_.size()), buffers_.data());
    alcMakeContextCurrent(nullptr);
    if (context_ != nullptr) alcDestroyContext(context_);
    if (device_ != nullptr) alcCloseDevice(device_);
  }
  OpenAlLoopback(const OpenAlLoopback &) = delete;
  OpenAlLoopback &operator=(const OpenAlLoopback &) = delete;

  // Empty when all went well, else what failed.
  const char *error() const { return error_; }
  void render(float *out, uint32_t frames) { render_(device_, out, static_cast<ALCsizei>(frames)); }

private:
  // The index of the resampler OpenAL Soft reports under the given name, else -1.
  static ALint resampler_index(const AlResampler &resampler) {
    auto name_of = reinterpret_cast<LPALGETSTRINGISOFT>(alGetProcAddress("alGetStringiSOFT"));
    const ALint count = name_of != nullptr ? alGetInteger(AL_NUM_RESAMPLERS_SOFT) : 0;
    for (ALint i = 0; i < count; ++i)
      if (std::strcmp(name_of(AL_RESAMPLER_NAME_SOFT, i), resampler.name) == 0) return i;
    return -1;
  }

  void start_sources(const Format &f, const std::vector<std::vector<uint8_t>> &sounds, int voices,
                     ALint resampler) {
    buffers_.resize(sounds.size());
    alGenBuffers(static_cast<ALsizei>(sounds.size()), buffers_.data());
    for (size_t i = 0; i < sounds.size(); ++i)
      alBufferData(buffers_[i], f.alFormat, sounds[i].data(),
                   static_cast<ALsizei>(sounds[i].size()), static_cast<ALsizei>(f.rate));
    sources_.resize(static_cast<size_t>(voices));
    alGenSources(voices, sources_.data());
    for (int v = 0; v < voices; ++v) {
      const ALuint s = sources_[static_cast<size_t>(v)];
      const bool probe = voices == 1; // the image probe: centred, full level, from the start
      const float x = probe ? 0.0f : 2 * pan_of(v) - 1; // on the unit circle before the listener
      alSourcei(s, AL_BUFFER, static_cast<ALint>(buffers_[static_cast<size_t>(v) % sounds.size()]));
      alSourcei(s, AL_LOOPING, AL_TRUE);
      alSourcei(s, AL_SOURCE_RELATIVE, AL_TRUE);
      alSource3f(s, AL_POSITION, x, 0.0f, -std::sqrt(1 - x * x));
      alSourcef(s, AL_GAIN, probe ? 1.0f : level_of(v));
      alSourcei(s, AL_SOURCE_RESAMPLER_SOFT, resampler);
      alSourcei(s, AL_SAMPLE_OFFSET, probe ? 0 : static_cast<ALint>(start_of(v, frames_of(f))));
    }
    alSourcePlayv(voices, sources_.data());
    error_ = alGetError() == AL_NO_ERROR ? "" : "OpenAL refused the sources";
  }

  LPALCRENDERSAMPLESSOFT render_ = nullptr;
  ALCdevice *device_ = nullptr;
  ALCcontext *context_ = nullptr;
  std::vector<ALuint> buffers_, sources_;
  const char *error_ = "no OpenAL Soft loopback device with 48 kHz stereo float";
};

// The probe through OpenAL Soft with the resampler, or NaN when it cannot render.
double openal_images(const Format &f, const AlResampler &resampler) {
  OpenAlLoopback openal(f, {image_probe(f)}, 1, resampler);
  if (*openal.error() != '\0') return std::nan("");
  std::vector<float> out(2 * size_t{kSettle + kAnalysed});
  openal.render(out.data(), kSettle + kAnalysed);
  return images_dbc(out, f.rate);
}

void BM_OpenAL(benchmark::State &state, const Format &f, const AlResampler &resampler) {
  const int voices = static_cast<int>(state.range(0));
  const double images = openal_images(f, resampler);
  OpenAlLoopback openal(f, make_sounds(f), voices, resampler);
  if (*openal.error() != '\0') {
    state.SkipWithError(openal.error());
    return;
  }
  std::vector<float> mix(2 * kBlock);
  for (auto _ : state) {
    openal.render(mix.data(), kBlock);
    benchmark::DoNotOptimize(mix.data());
    benchmark::ClobberMemory();
  }
  if (silent(mix)) state.SkipWithError("OpenAL rendered silence");
  state.SetLabel(resampler.config);
  count_voice_frames(state, voices);
  state.counters["images_dBc"] = images;
}

// The summing loop of the floor, built for AVX2 too so it is not held back where ours is not.
#if defined(WAIL_KERNELS_X86)
__attribute__((target_clones("avx2", "default")))
#endif
void add_block(float *mix, const float *voice) {
  for (uint32_t i = 0; i < 2 * kBlock; ++i) mix[i] += voice[i];
}

void BM_Floor(benchmark::State &state) {
  const int voices = static_cast<int>(state.range(0));
  std::mt19937 gen(1);
  std::uniform_real_distribution<float> level(-0.1f, 0.1f);
  std::vector<std::vector<float>> resampled(static_cast<size_t>(voices),
                                            std::vector<float>(2 * kBlock));
  for (auto &block : resampled)
    for (auto &x : block) x = level(gen);
  std::vector<float> mix(2 * kBlock);
  for (auto _ : state) {
    std::memset(mix.data(), 0, mix.size() * sizeof(float));
    for (const auto &block : resampled) add_block(mix.data(), block.data());
    benchmark::DoNotOptimize(mix.data());
    benchmark::ClobberMemory();
  }
  count_voice_frames(state, voices);
}

void voice_counts(benchmark::internal::Benchmark *b) {
  for (int voices : {1, 16, 64, kMaxVoices}) b->Arg(voices);
}
// The individual paths and OpenAL Soft's better resamplers, at the headline count only.
void headline_count(benchmark::internal::Benchmark *b) { b->Arg(64); }

constexpr Resampler kSinc = Resampler::Sinc, kLinear = Resampler::Linear;

BENCHMARK_CAPTURE(BM_Ours, mono8_sinc, kMono8, kSinc)->Apply(voice_counts);
BENCHMARK_CAPTURE(BM_Ours, mono8_linear, kMono8, kLinear)->Apply(voice_counts);
BENCHMARK_CAPTURE(BM_OpenAL, mono8_linear, kMono8, kAlLinear)->Apply(voice_counts);
BENCHMARK_CAPTURE(BM_Ours, stereo16_sinc, kStereo16, kSinc)->Apply(voice_counts);
BENCHMARK_CAPTURE(BM_Ours, stereo16_linear, kStereo16, kLinear)->Apply(voice_counts);
BENCHMARK_CAPTURE(BM_OpenAL, stereo16_linear, kStereo16, kAlLinear)->Apply(voice_counts);
BENCHMARK(BM_Floor)->Apply(voice_counts);
BENCHMARK_CAPTURE(BM_OpenAL, mono8_cubic, kMono8, kAlCubic)->Apply(headline_count);
BENCHMARK_CAPTURE(BM_OpenAL, mono8_bsinc12, kMono8, kAlBsinc12)->Apply(headline_count);
BENCHMARK_CAPTURE(BM_OpenAL, mono8_bsinc24, kMono8, kAlBsinc24)->Apply(headline_count);
BENCHMARK_CAPTURE(BM_OpenAL, stereo16_cubic, kStereo16, kAlCubic)->Apply(headline_count);
BENCHMARK_CAPTURE(BM_OpenAL, stereo16_bsinc12, kStereo16, kAlBsinc12)->Apply(headline_count);
BENCHMARK_CAPTURE(BM_OpenAL, stereo16_bsinc24, kStereo16, kAlBsinc24)->Apply(headline_count);
#if defined(WAIL_KERNELS_X86)
BENCHMARK_CAPTURE(BM_OursAvx512, mono8_sinc, kMono8, kSinc)->Apply(headline_count);
BENCHMARK_CAPTURE(BM_OursAvx512, stereo16_sinc, kStereo16, kSinc)->Apply(headline_count);
BENCHMARK_CAPTURE(BM_OursAvx512, mono8_linear, kMono8, kLinear)->Apply(headline_count);
BENCHMARK_CAPTURE(BM_OursAvx512, stereo16_linear, kStereo16, kLinear)->Apply(headline_count);
BENCHMARK_CAPTURE(BM_OursAvx2, mono8_sinc, kMono8, kSinc)->Apply(headline_count);
BENCHMARK_CAPTURE(BM_OursAvx2, stereo16_sinc, kStereo16, kSinc)->Apply(headline_count);
BENCHMARK_CAPTURE(BM_OursAvx2, mono8_linear, kMono8, kLinear)->Apply(headline_count);
BENCHMARK_CAPTURE(BM_OursAvx2, stereo16_linear, kStereo16, kLinear)->Apply(headline_count);
BENCHMARK_CAPTURE(BM_OursSse2, mono8_sinc, kMono8, kSinc)->Apply(headline_count);
BENCHMARK_CAPTURE(BM_OursSse2, stereo16_sinc, kStereo16, kSinc)->Apply(headline_count);
BENCHMARK_CAPTURE(BM_OursSse2, mono8_linear, kMono8, kLinear)->Apply(headline_count);
BENCHMARK_CAPTURE(BM_OursSse2, stereo16_linear, kStereo16, kLinear)->Apply(headline_count);
#endif
BENCHMARK_CAPTURE(BM_OursScalar, mono8_sinc, kMono8, kSinc)->Apply(headline_count);
BENCHMARK_CAPTURE(BM_OursScalar, stereo16_sinc, kStereo16, kSinc)->Apply(headline_count);
BENCHMARK_CAPTURE(BM_OursScalar, mono8_linear, kMono8, kLinear)->Apply(headline_count);
BENCHMARK_CAPTURE(BM_OursScalar, stereo16_linear, kStereo16, kLinear)->Apply(headline_count);

} // namespace

BENCHMARK_MAIN();
