// How many times faster than real time the offline output renders a looping tune together with
// 32 looping effect voices, through the public API as a game would drive it; and what the whole
// render path costs per voice-frame when few voices play on many channels.
#include "ksnd32.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr uint32_t kBlock = 1024;
constexpr uint32_t kEffectRate = 22050;

void put_le(std::vector<uint8_t> &b, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) b.push_back((uint8_t)(v >> (8 * i)));
}

// A one-second 16-bit mono WAV image of a tone, in memory.
std::vector<uint8_t> tone_wav(double hz) {
  std::vector<uint8_t> w{'R', 'I', 'F', 'F'};
  put_le(w, 36 + 2 * kEffectRate, 4);
  for (char c : std::string("WAVEfmt ")) w.push_back((uint8_t)c);
  put_le(w, 16, 4);
  put_le(w, 1, 2);
  put_le(w, 1, 2);
  put_le(w, kEffectRate, 4);
  put_le(w, 2 * kEffectRate, 4);
  put_le(w, 2, 2);
  put_le(w, 16, 2);
  for (char c : std::string("data")) w.push_back((uint8_t)c);
  put_le(w, 2 * kEffectRate, 4);
  for (uint32_t i = 0; i < kEffectRate; ++i)
    put_le(w, (uint16_t)(int16_t)(8000 * std::sin(2 * M_PI * hz * i / kEffectRate)), 2);
  return w;
}

void put_vlq(std::vector<uint8_t> &b, uint32_t v) {
  uint8_t out[4];
  int n = 0;
  do out[n++] = v & 0x7F;
  while (v >>= 7);
  while (n-- > 1) b.push_back(out[n] | 0x80);
  b.push_back(out[0]);
}

// An eight-second format 0 tune: eight instruments, a chord every eighth of a second.
std::vector<uint8_t> busy_tune() {
  const uint8_t programs[8] = {0, 24, 33, 48, 56, 65, 73, 81};
  std::vector<uint8_t> t;
  for (uint8_t ch = 0; ch < 8; ++ch) t.insert(t.end(), {0x00, (uint8_t)(0xC0 | ch), programs[ch]});
  for (int step = 0; step < 64; ++step) {
    for (uint8_t ch = 0; ch < 8; ++ch)
      t.insert(t.end(), {0, (uint8_t)(0x90 | ch), (uint8_t)(40 + ch * 5 + step % 12), 90});
    for (uint8_t ch = 0; ch < 8; ++ch) {
      put_vlq(t, ch == 0 ? 48 : 0); // an eighth at 96 ticks per quarter, 120 per minute
      t.insert(t.end(), {(uint8_t)(0x80 | ch), (uint8_t)(40 + ch * 5 + step % 12), 0});
    }
  }
  t.push_back(0);
  t.insert(t.end(), {0xFF, 0x2F, 0x00});
  std::vector<uint8_t> file{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96, 'M', 'T', 'r', 'k'};
  for (int i = 3; i >= 0; --i) file.push_back((uint8_t)(t.size() >> (8 * i)));
  file.insert(file.end(), t.begin(), t.end());
  return file;
}

void BM_OfflineRender(benchmark::State &state) {
  const int voices = (int)state.range(0);
  const bool music = state.range(1) != 0;
  setenv("KSND_AUDIO", "offline", 1);
  if (KSOUNDInit(32, 16) != 1) {
    state.SkipWithError("KSOUNDInit failed");
    return;
  }
  std::vector<uint8_t> wav = tone_wav(440);
  SampleRecord sample{};
  if (KSFX_SetupWAVsample(&sample, wav.data()) != 1) state.SkipWithError("WAV set-up failed");
  std::vector<SoundRecord> sounds(32);
  for (int i = 0; i < voices; ++i) {
    SoundRecord &s = sounds[(size_t)i];
    std::memset(&s, 0, sizeof s);
    s.id = i;
    s.priority = 1;
    s.sample = &sample;
    s.flags = KSFX_LOOP;
    s.rate = (int32_t)kEffectRate + 500 * i; // every voice resamples
    s.volume = 40;
    s.pan = (i * 4) % 128;
    if (KSFX_PlaySFX(&s) != 1) state.SkipWithError("an effect did not start");
  }
  std::vector<uint8_t> tune = busy_tune();
  if (music &&
      (KTUNE_InitTune(tune.data(), 0) != 1 || KTUNE_SetRepeats(0) != 1 || KTUNE_StartTune() != 1))
    state.SkipWithError("the tune did not start");
  std::vector<float> out(2 * kBlock);
  const uint32_t rate = AIL_output_rate();
  auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    AIL_render_offline(out.data(), kBlock);
    benchmark::DoNotOptimize(out.data());
  }
  std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
  state.counters["x_realtime"] = (double)state.iterations() * kBlock / rate / wall.count();
  KSOUNDClose();
}

// `voices` looping voices on `channels` channels: the path's cost should follow the voices.
void BM_PathCost(benchmark::State &state) {
  const auto channels = (uint32_t)state.range(0);
  const auto voices = (int)state.range(1);
  setenv("KSND_AUDIO", "offline", 1);
  if (KSOUNDInit(channels, 16) != 1) {
    state.SkipWithError("KSOUNDInit failed");
    return;
  }
  std::vector<uint8_t> wav = tone_wav(440);
  SampleRecord sample{};
  KSFX_SetupWAVsample(&sample, wav.data());
  std::vector<SoundRecord> sounds((size_t)voices);
  for (SoundRecord &s : sounds) {
    s = SoundRecord{};
    s.priority = 1, s.sample = &sample, s.flags = KSFX_LOOP;
    s.rate = s.volume = s.pan = -1;
    if (KSFX_PlaySFX(&s) != 1) state.SkipWithError("a voice did not start");
  }
  std::vector<float> out(2 * kBlock);
  for (auto _ : state) {
    AIL_render_offline(out.data(), kBlock);
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["per_voice_frame"] =
      benchmark::Counter((double)voices * kBlock, benchmark::Counter::kIsIterationInvariantRate |
                                                      benchmark::Counter::kInvert);
  KSOUNDClose();
}

} // namespace

BENCHMARK(BM_PathCost)
    ->ArgNames({"channels", "voices"})
    ->Args({16, 1})
    ->Args({256, 1})
    ->Args({16, 16})
    ->Args({256, 16});

BENCHMARK(BM_OfflineRender)
    ->ArgNames({"voices", "tune"})
    ->Args({32, 1})
    ->Args({32, 0})
    ->Args({0, 1})
    ->UseRealTime();

BENCHMARK_MAIN();
