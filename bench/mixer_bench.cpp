// The mixer's cost per voice-frame: N looping voices rendered into 1024-frame blocks of 48 kHz
// stereo float, through our kernels, through OpenAL Soft's loopback device doing the same work,
// and the floor of merely summing voices that are already resampled.
#include "audio/kernels/kernel_variants.h"
#include "audio/kernels/mix_kernel.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace {

using wail::MixKernel;
using wail::SourceFormat;

constexpr uint32_t kBlock = 1024; // output frames per render
constexpr uint32_t kOutputRate = 48000;
constexpr uint32_t kSounds = 8; // distinct sounds; voice v plays sound v % kSounds
constexpr uint32_t kSeconds = 3;
constexpr int kMaxVoices = 256;

struct Format {
  SourceFormat format;
  uint32_t rate;
  ALenum alFormat;
  uint32_t channels, bytesPerSample;
};
const Format kMono8{SourceFormat::Mono8, 11025, AL_FORMAT_MONO8, 1, 1};
const Format kStereo16{SourceFormat::Stereo16, 22050, AL_FORMAT_STEREO16, 2, 2};

uint32_t frames_of(const Format &f) { return f.rate * kSeconds; }

// A tone with some noise, as the format's bytes.
std::vector<uint8_t> make_sound(const Format &f, uint32_t index) {
  std::mt19937 gen(index);
  std::uniform_real_distribution<float> hiss(-0.1f, 0.1f);
  std::vector<uint8_t> bytes;
  const float hz = 110.0f * static_cast<float>(index + 1);
  for (uint32_t i = 0; i < frames_of(f) * f.channels; ++i) {
    const float t = static_cast<float>(i / f.channels) / static_cast<float>(f.rate);
    const float x = 0.8f * std::sin(6.2831853f * hz * t) + hiss(gen);
    if (f.bytesPerSample == 1) {
      bytes.push_back(static_cast<uint8_t>(128 + static_cast<int>(x * 127)));
    } else {
      const auto s = static_cast<uint16_t>(static_cast<int16_t>(x * 32767));
      bytes.push_back(static_cast<uint8_t>(s & 0xFF));
      bytes.push_back(static_cast<uint8_t>(s >> 8));
    }
  }
  return bytes;
}

std::vector<std::vector<uint8_t>> make_sounds(const Format &f) {
  std::vector<std::vector<uint8_t>> sounds;
  for (uint32_t i = 0; i < kSounds; ++i) sounds.push_back(make_sound(f, i));
  return sounds;
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
  for (float x : mix)
    if (x != 0.0f) return false;
  return true;
}

void mix_ours(benchmark::State &state, const Format &f, MixKernel kernel) {
  const int voices = static_cast<int>(state.range(0));
  const auto sounds = make_sounds(f);
  const uint64_t step = (uint64_t{f.rate} << 32) / kOutputRate;
  std::vector<wail::VoiceMix> mixes;
  for (int v = 0; v < voices; ++v) {
    const float level = level_of(v), pan = pan_of(v);
    mixes.push_back({sounds[v % kSounds].data(), frames_of(f),
                     uint64_t{start_of(v, frames_of(f))} << 32, step, level * (1 - pan),
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
}

void BM_Ours(benchmark::State &state, const Format &f) {
  mix_ours(state, f, wail::select_kernel(f.format));
}
#if defined(WAIL_KERNELS_X86)
void BM_OursSse2(benchmark::State &state, const Format &f) {
  mix_ours(state, f, wail::kernels::sse2_kernel(f.format));
}
void BM_OursAvx2(benchmark::State &state, const Format &f) {
  if (!wail::kernels::cpu_has_avx2()) return state.SkipWithError("no AVX2");
  mix_ours(state, f, wail::kernels::avx2_kernel(f.format));
}
void BM_OursAvx512(benchmark::State &state, const Format &f) {
  if (!wail::kernels::cpu_has_avx512()) return state.SkipWithError("no AVX-512");
  mix_ours(state, f, wail::kernels::avx512_kernel(f.format));
}
#endif
void BM_OursScalar(benchmark::State &state, const Format &f) {
  mix_ours(state, f, wail::scalar_kernel(f.format));
}

// OpenAL Soft rendering through its loopback device: the same sounds, levels, pans and start
// points, each source looping, with its linear resampler.
class OpenAlLoopback {
public:
  OpenAlLoopback(const Format &f, int voices) {
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
    start_sources(f, voices);
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
  void render(float *out) { render_(device_, out, kBlock); }
  const char *resampler() const { return resampler_; }

private:
  // Chooses OpenAL Soft's resampler called "Linear", else keeps its default; remembers the name.
  ALint linear_resampler() {
    auto name_of = reinterpret_cast<LPALGETSTRINGISOFT>(alGetProcAddress("alGetStringiSOFT"));
    const ALint count = name_of != nullptr ? alGetInteger(AL_NUM_RESAMPLERS_SOFT) : 0;
    ALint chosen = alGetInteger(AL_DEFAULT_RESAMPLER_SOFT);
    for (ALint i = 0; i < count; ++i)
      if (std::strcmp(name_of(AL_RESAMPLER_NAME_SOFT, i), "Linear") == 0) chosen = i;
    resampler_ = name_of != nullptr ? name_of(AL_RESAMPLER_NAME_SOFT, chosen) : "default";
    return chosen;
  }

  void start_sources(const Format &f, int voices) {
    const auto sounds = make_sounds(f);
    buffers_.resize(kSounds);
    alGenBuffers(kSounds, buffers_.data());
    for (uint32_t i = 0; i < kSounds; ++i)
      alBufferData(buffers_[i], f.alFormat, sounds[i].data(),
                   static_cast<ALsizei>(sounds[i].size()), static_cast<ALsizei>(f.rate));
    sources_.resize(static_cast<size_t>(voices));
    alGenSources(voices, sources_.data());
    const ALint resampler = linear_resampler();
    for (int v = 0; v < voices; ++v) {
      const ALuint s = sources_[static_cast<size_t>(v)];
      const float x = 2 * pan_of(v) - 1; // on the unit circle in front of the listener
      alSourcei(s, AL_BUFFER, static_cast<ALint>(buffers_[static_cast<size_t>(v) % kSounds]));
      alSourcei(s, AL_LOOPING, AL_TRUE);
      alSourcei(s, AL_SOURCE_RELATIVE, AL_TRUE);
      alSource3f(s, AL_POSITION, x, 0.0f, -std::sqrt(1 - x * x));
      alSourcef(s, AL_GAIN, level_of(v));
      alSourcei(s, AL_SOURCE_RESAMPLER_SOFT, resampler);
      alSourcei(s, AL_SAMPLE_OFFSET, static_cast<ALint>(start_of(v, frames_of(f))));
    }
    alSourcePlayv(voices, sources_.data());
    error_ = alGetError() == AL_NO_ERROR ? "" : "OpenAL refused the sources";
  }

  LPALCRENDERSAMPLESSOFT render_ = nullptr;
  ALCdevice *device_ = nullptr;
  ALCcontext *context_ = nullptr;
  std::vector<ALuint> buffers_, sources_;
  const char *error_ = "no OpenAL Soft loopback device with 48 kHz stereo float";
  const char *resampler_ = "";
};

void BM_OpenAL(benchmark::State &state, const Format &f) {
  const int voices = static_cast<int>(state.range(0));
  OpenAlLoopback openal(f, voices);
  if (*openal.error() != '\0') {
    state.SkipWithError(openal.error());
    return;
  }
  std::vector<float> mix(2 * kBlock);
  for (auto _ : state) {
    openal.render(mix.data());
    benchmark::DoNotOptimize(mix.data());
    benchmark::ClobberMemory();
  }
  if (silent(mix)) state.SkipWithError("OpenAL rendered silence");
  state.SetLabel(openal.resampler());
  count_voice_frames(state, voices);
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
// The individual paths, for comparison at the headline count only.
void headline_count(benchmark::internal::Benchmark *b) { b->Arg(64); }

BENCHMARK_CAPTURE(BM_Ours, mono8, kMono8)->Apply(voice_counts);
BENCHMARK_CAPTURE(BM_OpenAL, mono8, kMono8)->Apply(voice_counts);
BENCHMARK_CAPTURE(BM_Ours, stereo16, kStereo16)->Apply(voice_counts);
BENCHMARK_CAPTURE(BM_OpenAL, stereo16, kStereo16)->Apply(voice_counts);
BENCHMARK(BM_Floor)->Apply(voice_counts);
#if defined(WAIL_KERNELS_X86)
BENCHMARK_CAPTURE(BM_OursAvx512, mono8, kMono8)->Apply(headline_count);
BENCHMARK_CAPTURE(BM_OursAvx512, stereo16, kStereo16)->Apply(headline_count);
BENCHMARK_CAPTURE(BM_OursAvx2, mono8, kMono8)->Apply(headline_count);
BENCHMARK_CAPTURE(BM_OursAvx2, stereo16, kStereo16)->Apply(headline_count);
BENCHMARK_CAPTURE(BM_OursSse2, mono8, kMono8)->Apply(headline_count);
BENCHMARK_CAPTURE(BM_OursSse2, stereo16, kStereo16)->Apply(headline_count);
#endif
BENCHMARK_CAPTURE(BM_OursScalar, mono8, kMono8)->Apply(headline_count);
BENCHMARK_CAPTURE(BM_OursScalar, stereo16, kStereo16)->Apply(headline_count);

} // namespace

BENCHMARK_MAIN();
