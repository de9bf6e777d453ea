// The engine over the real audio library under concurrent use, real time on the null output:
// the host plays, stops, updates and duplicates sounds of a bank on 32 channels while the
// service thread ends samples and runs the engine's callback. Afterwards every channel, record
// and duplicate slot must be back at rest.
#include "banks/duplicates.h"
#include "ksnd32.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr int kChannels = 32;
constexpr int kSounds = 8;

std::string le(uint32_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
  return out;
}

// A RIFF WAVE file of `frames` frames of a soft square wave.
void write_wav(const std::string &path, uint16_t channels, uint16_t bits, uint32_t rate,
               uint32_t frames) {
  const uint32_t align = channels * bits / 8u, bytes = frames * align;
  std::string w = "RIFF" + le(36 + bytes, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(channels, 2) +
                  le(rate, 4) + le(rate * align, 4) + le(align, 2) + le(bits, 2) + "data" +
                  le(bytes, 4);
  for (uint32_t i = 0; i < bytes; ++i) w.push_back(static_cast<char>((i / 16) % 2 ? 0x70 : 0x90));
  std::ofstream(path, std::ios::binary) << w;
}

class StressEngine : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("ksnd_stress_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
    write_wav((dir_ / "short.wav").string(), 1, 8, 11025, 330); // 30 ms
    write_wav((dir_ / "mid.wav").string(), 2, 16, 22050, 1100); // 50 ms
    write_wav((dir_ / "long.wav").string(), 1, 8, 11025, 2205); // 200 ms
    setenv("KSND_AUDIO", "null", 1);
    ASSERT_EQ(KSOUNDInit(kChannels, 64), 1);
    ASSERT_TRUE(compile_and_import());
  }
  void TearDown() override {
    DiscardPackageSampleBits(bank_);
    DiscardSFXpackage(bank_);
    KSOUNDClose();
    unsetenv("KSND_AUDIO");
    std::filesystem::remove_all(dir_);
  }

  // Plain, resumable, looping and group sounds of several priorities over the three samples.
  bool compile_and_import() {
    SampleRecord samples[3] = {};
    const char *names[3] = {"short.wav", "mid.wav", "long.wav"};
    SoundRecord r[kSounds] = {};
    const uint32_t priority[kSounds] = {1, 2, 3, 4, 2, 1, 5, 0};
    const uint16_t flags[kSounds] = {0,          KSFX_RESUME,
                                     KSFX_LOOP,  KSFX_RESUME,
                                     KSFX_GROUP, KSFX_GROUP | KSFX_RANDOM,
                                     0,          KSFX_LOOP | KSFX_RESUME};
    const int sample[kSounds] = {0, 1, 0, 2, 0, 0, 1, 2};
    SoundRecord *sequence[] = {&r[0], &r[1], &r[3], nullptr};
    SoundRecord *random[] = {&r[0], &r[3], nullptr};
    for (int i = 0; i < kSounds; ++i) {
      r[i].id = i;
      r[i].priority = priority[i];
      r[i].flags = flags[i];
      r[i].sample = &samples[sample[i]];
      r[i].rate = r[i].volume = r[i].pan = -1;
    }
    r[4].list = sequence;
    r[4].listCount = 3;
    r[5].list = random;
    r[5].listCount = 2;
    const std::string bank = (dir_ / "stress.kfx").string();
    if (CompileSFXpackage(bank.c_str(), r, nullptr, kSounds, samples, names, 3) != 1) return false;
    SetVirtualFilePath((dir_.string() + "/").c_str());
    bank_ = ImportSFXpackage(bank.c_str());
    return bank_ >= 0;
  }

  // Stops every sound and copy until no channel is busy: stopping an interrupter resumes the
  // sound suspended behind it, which then has to be stopped in turn.
  bool stop_everything() {
    for (int round = 0; round < 50; ++round) {
      for (int s = 0; s < kSounds; ++s) SoundStop(bank_, s);
      for (int slot = 0; slot < banks::g_duplicates.dupCount; ++slot)
        SoundDupKill(bank_, -2 - slot);
      AIL_lock();
      bool busy = false;
      for (int c = 0; c < kChannels; ++c) {
        const Channel *ch = KSFX_GetChannel(static_cast<uint32_t>(c));
        busy = busy || ch->current->id != -2 || ch->suspended != nullptr;
      }
      AIL_unlock();
      if (!busy) return true;
      std::this_thread::sleep_for(5ms);
    }
    return false;
  }

  std::filesystem::path dir_;
  int32_t bank_ = -1;
};

TEST_F(StressEngine, HostAndServiceThreadLeaveConsistentBookkeeping) {
  std::mt19937 random(2024);
  auto pick = [&](uint32_t n) { return static_cast<int32_t>(random() % n); };
  std::vector<int32_t> copies;
  int played = 0;
  const auto until = std::chrono::steady_clock::now() + 3s;
  while (std::chrono::steady_clock::now() < until) {
    const int32_t s = pick(kSounds);
    switch (pick(8)) {
    case 0:
    case 1:
      played += SoundPlay(bank_, s);
      break;
    case 2:
      SoundStop(bank_, s);
      break;
    case 3:
      SoundUpdate(bank_, s, 8000 + pick(30000), pick(128), pick(128));
      break;
    case 4: { // a copy of a playing sound, played at once
      const int32_t copy = SoundDup(bank_, s);
      if (copy <= -2) {
        SoundPlay(bank_, copy);
        copies.push_back(copy);
      }
      break;
    }
    case 5:
      if (!copies.empty()) {
        SoundDupKill(bank_, copies.back());
        copies.pop_back();
      }
      break;
    case 6:
      IsSoundPlaying(bank_, s);
      break;
    default:
      SoundPlace(bank_, s, pick(2000) - 1000, pick(2000) - 1000);
      break;
    }
    if (pick(3) == 0) std::this_thread::sleep_for(200us);
  }
  EXPECT_GT(played, 100);

  ASSERT_TRUE(stop_everything());
  AIL_lock();
  for (int c = 0; c < kChannels; ++c) {
    const Channel *ch = KSFX_GetChannel(static_cast<uint32_t>(c));
    EXPECT_EQ(ch->current->id, -2) << "channel " << c;
    EXPECT_EQ(ch->suspended, nullptr) << "channel " << c;
    EXPECT_EQ(AIL_sample_status(ch->handle), static_cast<uint32_t>(SMP_DONE)) << "channel " << c;
  }
  for (int s = 0; s < kSounds; ++s) EXPECT_EQ(SoundPtr(bank_, s)->status, 0u) << "sound " << s;
  for (int slot = 0; slot < banks::g_duplicates.dupCount; ++slot)
    EXPECT_EQ(banks::g_duplicates.slots[slot].id, -1) << "duplicate slot " << slot;
  AIL_unlock();
}

} // namespace
