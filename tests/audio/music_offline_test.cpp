// The tune end to end: the engine's KTUNE_ functions over libwail32, rendered by the offline
// output into the same mix as the effects. Sound needs a SoundFont.
#include "ksnd32.h"
#include "midi_test_tunes.h"

#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using namespace midi_test;

std::vector<float> operator+(std::vector<float> a, const std::vector<float> &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

constexpr uint32_t kRate = 48000; // the offline output's rate
constexpr uint32_t kTuneFrames = kRate * kEndTick / 120;

// Whether the library will find a SoundFont in the usual places (its internals are hidden).
bool soundfont_installed() {
  struct stat info;
  const char *chosen = std::getenv("KSND_SOUNDFONT");
  for (const char *path : {chosen ? chosen : "", "/usr/share/sounds/sf2/TimGM6mb.sf2",
                           "/usr/share/sounds/sf2/FluidR3_GM.sf2"})
    if (*path && stat(path, &info) == 0) return true;
  return false;
}

class MusicOffline : public ::testing::Test {
protected:
  void SetUp() override {
    setenv("KSND_AUDIO", "offline", 1);
    ASSERT_EQ(KSOUNDInit(8, 16), 1);
    ASSERT_EQ(AIL_output_rate(), kRate);
  }
  void TearDown() override {
    KSOUNDClose();
    unsetenv("KSND_AUDIO");
  }
  std::vector<float> render(uint32_t frames) {
    std::vector<float> out(2 * (size_t)frames);
    EXPECT_EQ(AIL_render_offline(out.data(), frames), frames);
    return out;
  }
  static double rms(const std::vector<float> &v) {
    double sum = 0;
    for (float x : v) sum += (double)x * (double)x;
    return std::sqrt(sum / (double)v.size());
  }
  uint32_t frames_while_playing(uint32_t limit) {
    uint32_t frames = 0;
    float pair[2];
    for (; KTUNE_CurrentlyPlaying() == 1 && frames < limit; ++frames) AIL_render_offline(pair, 1);
    return frames;
  }
  Bytes tune_ = reference_smf();
};

TEST_F(MusicOffline, TunePlaysForItsLengthThenFallsSilent) {
  ASSERT_EQ(KTUNE_InitTune(tune_.data(), 0), 1);
  ASSERT_EQ(KTUNE_StartTune(), 1);
  double first_note = rms(render(kRate / 2));
  if (soundfont_installed()) {
    EXPECT_GT(first_note, 1e-3);
  }
  EXPECT_EQ(frames_while_playing(kTuneFrames), kTuneFrames - kRate / 2);
  EXPECT_EQ(rms(render(kRate / 4)), 0.0);
}

TEST_F(MusicOffline, TempoAndRepeatsReachTheSequencer) {
  Bytes xmidi = reference_xmidi();
  ASSERT_EQ(KTUNE_InitTune(xmidi.data(), 0), 1);
  ASSERT_EQ(KTUNE_SetTempo(200), 1);
  ASSERT_EQ(KTUNE_SetRepeats(3), 1);
  EXPECT_EQ(KTUNE_GetTempo(), 200);
  ASSERT_EQ(KTUNE_StartTune(), 1);
  EXPECT_EQ(frames_while_playing(4 * kTuneFrames), 3 * kTuneFrames / 2);
}

TEST_F(MusicOffline, SameCallsFromAFreshStartRenderTheSameBits) {
  if (!soundfont_installed()) GTEST_SKIP() << "no SoundFont installed";
  std::vector<float> runs[2];
  for (std::vector<float> &run : runs) {
    KSOUNDClose();
    ASSERT_EQ(KSOUNDInit(8, 16), 1);
    ASSERT_EQ(KTUNE_InitTune(tune_.data(), 0), 1);
    KTUNE_StartTune();
    run = render(kRate * 3 / 5);
    KTUNE_StopTune();
    run = run + render(kRate / 10);
    KTUNE_ResumeTune();
    run = run + render(kRate);
  }
  EXPECT_GT(rms(runs[0]), 1e-3);
  EXPECT_TRUE(runs[0] == runs[1]);
}

} // namespace
