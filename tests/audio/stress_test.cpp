// A host thread drives 32 voices, or 32 engine channels, in real time on the null output while
// the mixer thread renders ahead and delivers their ends and the pacing thread pulls the ring:
// each start that ends is called back once, and the engine's bookkeeping ends at rest.
#include "banks/duplicates.h"
#include "ksnd32.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Calls `step` with a seeded random source for three seconds.
template <typename Step> void for_three_seconds(uint32_t seed, Step step) {
  std::mt19937 random(seed);
  auto pick = [&](uint32_t n) { return int32_t(random() % n); };
  for (auto until = std::chrono::steady_clock::now() + 3s;
       std::chrono::steady_clock::now() < until;)
    step(pick);
}

// What the host expects of each voice; read and written only under AIL_lock.
struct Expectation {
  std::array<HSAMPLE, 32> voices{};
  std::array<bool, 32> endOwed{};    // started, not stopped or ended yet
  int callbacks = 0, unexpected = 0; // unexpected: callbacks for a voice that owed no end
} g_expect;

bool any_end_owed() {
  AIL_lock();
  const bool owed = std::ranges::any_of(g_expect.endOwed, [](bool b) { return b; });
  AIL_unlock();
  return owed;
}

TEST(StressVoices, EveryStartThatEndsIsCalledBackExactlyOnce) {
  setenv("KSND_AUDIO", "null", 1);
  AIL_startup();
  HDIGDRIVER driver = nullptr;
  const PCMWAVEFORMAT format{1, 2, 11025, 22050, 2, 8};
  ASSERT_EQ(AIL_waveOutOpen(&driver, nullptr, 0, &format), 0);
  const std::vector<uint8_t> pcm(2205, 0x90); // up to 200 ms at 11025 Hz
  for (HSAMPLE &v : g_expect.voices) {
    ASSERT_NE(v = AIL_allocate_sample_handle(driver), nullptr);
    AIL_set_sample_type(v, DIG_F_MONO_8, 0);
    AIL_register_EOS_callback(v, [](HSAMPLE s) {
      const auto i = size_t(std::ranges::find(g_expect.voices, s) - g_expect.voices.begin());
      ++g_expect.callbacks;
      g_expect.unexpected += i == g_expect.voices.size() || !g_expect.endOwed[i];
      if (i < g_expect.voices.size()) g_expect.endOwed[i] = false;
    });
  }
  int syncMisses = 0;
  for_three_seconds(12345, [&](auto pick) {
    const auto i = size_t(pick(32));
    HSAMPLE v = g_expect.voices[i];
    bool &owed = g_expect.endOwed[i];
    const std::function<void()> actions[] = {
        [&] { // (re)start a short sample; a restart supersedes the start before it
          AIL_set_sample_address(v, pcm.data(), 20 + pick(2000));
          AIL_set_sample_playback_rate(v, 11025);
          AIL_set_sample_loop_count(v, 1 + pick(3));
          AIL_start_sample(v);
          owed = true;
        },
        [&] { AIL_stop_sample(v), owed = false; },
        [&] { // ends at once, on this thread, only if it still owed an end
          const int before = g_expect.callbacks, wasOwed = owed;
          AIL_end_sample(v);
          syncMisses += g_expect.callbacks - before != wasOwed;
        },
        [&] { // stop, then continue where it stopped
          AIL_stop_sample(v);
          AIL_set_sample_position(v, AIL_sample_position(v));
          AIL_start_sample(v);
          owed = true;
        },
        [&] {
          AIL_set_sample_volume(v, pick(128));
          AIL_set_sample_pan(v, pick(128));
          AIL_set_sample_playback_rate(v, 4000 + pick(40000));
          AIL_set_master_volume(64 + pick(64));
        },
        [&] { AIL_set_sample_position(v, uint32_t(pick(2000))); }}; // a jump, faded
    AIL_lock();
    actions[std::max(pick(7) - 1, 0)](); // a start twice as often as the rest
    AIL_unlock();
    if (pick(4) == 0) std::this_thread::sleep_for(100us);
  });
  // Let everything still playing run out (at most ~3 plays of 200 ms at the slowest rate).
  for (int ms = 0; any_end_owed() && ms < 5000; ms += 5) std::this_thread::sleep_for(5ms);
  EXPECT_FALSE(any_end_owed());
  AIL_lock();
  EXPECT_EQ(g_expect.unexpected, 0);
  EXPECT_EQ(syncMisses, 0);
  EXPECT_GT(g_expect.callbacks, 100);
  for (HSAMPLE v : g_expect.voices) EXPECT_EQ(AIL_sample_status(v), uint32_t{SMP_DONE});
  AIL_unlock();
  AIL_set_master_volume(127);
  AIL_shutdown();
}

constexpr int kChannels = 32, kSounds = 8;
// A RIFF WAVE file of `frames` frames of an 8-bit mono square wave at 11025 Hz.
void write_wav(const std::filesystem::path &path, uint32_t frames) {
  auto le = [](uint32_t v, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) out.push_back(char(v >> (8 * i)));
    return out;
  };
  std::string w = "RIFF" + le(36 + frames, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(1, 2) +
                  le(11025, 4) + le(11025, 4) + le(1, 2) + le(8, 2) + "data" + le(frames, 4);
  for (uint32_t i = 0; i < frames; ++i) w.push_back(char((i / 16) % 2 ? 0x70 : 0x90));
  std::ofstream(path, std::ios::binary) << w;
}

class StressEngine : public ::testing::Test {
protected:
  // A bank of plain, resumable, looping and group sounds of several priorities over samples of
  // 30, 50 and 200 ms.
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("ksnd_stress_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
    const char *names[3] = {"short.wav", "mid.wav", "long.wav"};
    for (uint32_t i = 0, frames[] = {330, 550, 2205}; i < 3; ++i)
      write_wav(dir_ / names[i], frames[i]);
    setenv("KSND_AUDIO", "null", 1);
    ASSERT_EQ(KSOUNDInit(kChannels, 64), 1);
    const struct {
      uint32_t priority;
      uint16_t flags;
      int sample;
    } kinds[kSounds] = {{1, 0, 0},          {2, KSFX_RESUME, 1},
                        {3, KSFX_LOOP, 0},  {4, KSFX_RESUME, 2},
                        {2, KSFX_GROUP, 0}, {1, KSFX_GROUP | KSFX_RANDOM, 0},
                        {5, 0, 1},          {0, KSFX_LOOP | KSFX_RESUME, 2}};
    SampleRecord samples[3] = {};
    SoundRecord r[kSounds] = {};
    SoundRecord *sequence[] = {&r[0], &r[1], &r[3], nullptr}, *random[] = {&r[0], &r[3], nullptr};
    for (int i = 0; i < kSounds; ++i) {
      r[i].id = i, r[i].priority = kinds[i].priority, r[i].flags = kinds[i].flags;
      r[i].sample = &samples[kinds[i].sample];
      r[i].rate = r[i].volume = r[i].pan = -1;
    }
    r[4].list = sequence, r[4].listCount = 3;
    r[5].list = random, r[5].listCount = 2;
    const std::string bank = (dir_ / "stress.kfx").string();
    ASSERT_EQ(CompileSFXpackage(bank.c_str(), r, nullptr, kSounds, samples, names, 3), 1);
    SetVirtualFilePath((dir_.string() + "/").c_str());
    ASSERT_GE(bank_ = ImportSFXpackage(bank.c_str()), 0);
  }
  void TearDown() override {
    DiscardPackageSampleBits(bank_);
    DiscardSFXpackage(bank_);
    KSOUNDClose();
    std::filesystem::remove_all(dir_);
  }
  std::filesystem::path dir_;
  int32_t bank_ = -1;
};

TEST_F(StressEngine, HostAndMixerThreadLeaveConsistentBookkeeping) {
  std::vector<int32_t> copies;
  int played = 0;
  for_three_seconds(2024, [&](auto pick) {
    const int32_t s = pick(kSounds);
    const std::function<void()> play = [&] { played += SoundPlay(bank_, s); };
    const std::function<void()> actions[] = {
        play,
        play,
        [&] { SoundStop(bank_, s); },
        [&] { SoundUpdate(bank_, s, 8000 + pick(30000), pick(128), pick(128)); },
        [&] { // a copy of a playing sound, played at once
          if (const int32_t copy = SoundDup(bank_, s); copy <= -2)
            SoundPlay(bank_, copy), copies.push_back(copy);
        },
        [&] {
          if (!copies.empty()) SoundDupKill(bank_, copies.back()), copies.pop_back();
        },
        [&] { IsSoundPlaying(bank_, s); },
        [&] { SoundPlace(bank_, s, pick(2000) - 1000, pick(2000) - 1000); }};
    actions[pick(8)]();
    if (pick(3) == 0) std::this_thread::sleep_for(200us);
  });
  EXPECT_GT(played, 100);
  // Stopping an interrupter resumes the sound suspended behind it, which is then stopped in turn.
  for (int round = 0, busy = 1; busy && round < 50; ++round) {
    if (round > 0) std::this_thread::sleep_for(5ms);
    for (int s = 0; s < kSounds; ++s) SoundStop(bank_, s);
    for (int slot = 0; slot < banks::g_duplicates.dupCount; ++slot) SoundDupKill(bank_, -2 - slot);
    AIL_lock();
    busy = 0;
    for (uint32_t c = 0; c < kChannels; ++c)
      busy |= KSFX_GetChannel(c)->current->id != -2 || KSFX_GetChannel(c)->suspended;
    AIL_unlock();
  }
  AIL_lock();
  for (uint32_t c = 0; c < kChannels; ++c) {
    const Channel *ch = KSFX_GetChannel(c);
    EXPECT_EQ(ch->current->id, -2) << "channel " << c;
    EXPECT_EQ(ch->suspended, nullptr) << "channel " << c;
    EXPECT_EQ(AIL_sample_status(ch->handle), uint32_t{SMP_DONE}) << "channel " << c;
  }
  for (int s = 0; s < kSounds; ++s) EXPECT_EQ(SoundPtr(bank_, s)->status, 0u) << "sound " << s;
  for (int slot = 0; slot < banks::g_duplicates.dupCount; ++slot)
    EXPECT_EQ(banks::g_duplicates.slots[slot].id, -1) << "duplicate slot " << slot;
  AIL_unlock();
}

} // namespace
