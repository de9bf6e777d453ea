// The engine over the real audio library, checked in the rendered sound: resumption at the byte,
// the tune through KTUNE_ (heard only with a SoundFont), start-up on the default output.
#include "audio/voices.h"
#include "ksnd32.h"
#include "midi_test_tunes.h"
#include "offline_tape.h"
#include "sound_checks.h"
#include "support/records.h"

#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <thread>

namespace {

using namespace midi_test;
using namespace std::chrono_literals;
using namespace audio_test;
using support::sound_of;
using wail::kMasterDelay;

float level(int16_t value) { return value / 32768.0f; }

class EngineOffline : public ::testing::Test {
protected:
  void SetUp() override {
    setenv("KSND_AUDIO", "offline", 1);
    ASSERT_EQ(KSOUNDInit(1, 16), 1);
    for (size_t i = 0; i < ramp_.size(); ++i) ramp_[i] = int16_t(6 * i + 6);
  }
  void TearDown() override { KSOUNDClose(); }
  // The left channel of `frames` rendered frames, appended to `out`.
  std::vector<float> render(uint32_t frames, std::vector<float> out = {}) {
    std::vector<float> both(2 * size_t{frames});
    EXPECT_EQ(AIL_render_offline(both.data(), frames), frames);
    for (size_t i = 0; i < frames; ++i) out.push_back(both[2 * i]);
    return out;
  }
  // Expects the sum from frame `at` of the tape to hold `lead` frames of the interrupter, the
  // ramp from frame `from`, silence; each change fades over kRampFrames, which are not checked.
  void expect_resumed(size_t at, size_t lead, size_t from) {
    for (size_t k = 0; at + k + kMasterDelay < tape_.rendered(); ++k) {
      const size_t i = from + k - lead;
      if (k < wail::kRampFrames || (k >= lead && k < lead + wail::kRampFrames)) continue;
      const float want = k < lead ? -0.5f : i < ramp_.size() ? level(ramp_[i]) : 0.0f;
      ASSERT_FLOAT_EQ(tape_.left(at + k), want) << "frame " << k;
    }
  }

  Tape tape_;
  std::vector<int16_t> ramp_ = std::vector<int16_t>(4800);
  std::vector<int16_t> interrupter_ = std::vector<int16_t>(720, -16384);
  SampleRecord rampSample_ = support::mono16(ramp_, 48000);
  SampleRecord shortSample_ = support::mono16(interrupter_, 48000);
  SoundRecord resumable_ = sound_of(&rampSample_, 1, KSFX_RESUME);
  SoundRecord oneShot_ = sound_of(&shortSample_, 5);
};

TEST_F(EngineOffline, InterruptedResumableSoundResumesAtTheByteWhenTheInterrupterEndsOrStops) {
  ASSERT_EQ(KSFX_PlaySFX(&resumable_), 1);
  tape_.render(2400);
  ASSERT_EQ(KSFX_PlaySFX(&oneShot_), 1);
  tape_.render(4000);
  expect_resumed(2400, interrupter_.size(), 2400);
  EXPECT_EQ(resumable_.status, 0u);
  ASSERT_EQ(KSFX_PlaySFX(&resumable_), 1);
  tape_.render(1234);
  ASSERT_EQ(KSFX_PlaySFX(&oneShot_), 1);
  tape_.render(100);
  KSFX_StopSFX(&oneShot_); // the callback resumes the ramp before StopSFX returns
  EXPECT_EQ(resumable_.status, 1u);
  const size_t resumed = tape_.rendered();
  tape_.render(4000);
  expect_resumed(resumed, 0, 1234);
}

// Renders frame by frame while the tune plays, at most `limit` frames, keeping the left channel.
uint32_t play_out(uint32_t limit, std::vector<float> *out = nullptr) {
  uint32_t frames = 0;
  for (float pair[2]; KTUNE_CurrentlyPlaying() == 1 && frames < limit; ++frames) {
    AIL_render_offline(pair, 1);
    if (out) out->push_back(pair[0]);
  }
  return frames;
}

constexpr uint32_t kRate = 48000, kTuneFrames = kRate * kEndTick / 120; // 2.5 s

TEST_F(EngineOffline, TuneControlsAreHeardInExactTimeAndAFreshStartRepeatsTheSameBits) {
  const Bytes tune = reference_smf();
  std::vector<float> runs[2];
  for (std::vector<float> &run : runs) {
    KSOUNDClose();
    ASSERT_EQ(KSOUNDInit(1, 16), 1);
    ASSERT_EQ(KTUNE_InitTune(tune.data(), 0), 1);
    ASSERT_EQ(KTUNE_StartTune(), 1);
    run = render(kRate / 4);
    ASSERT_EQ(KTUNE_SetVolume(0), 1);
    run = render(kRate / 4, run);
    ASSERT_EQ(KTUNE_SetVolume(127), 1);
    run = render(kRate / 5, run);
    KTUNE_StopTune();
    run = render(kRate, run);
    KTUNE_ResumeTune();
    EXPECT_EQ(play_out(kTuneFrames, &run), kTuneFrames - kRate * 7 / 10);
    EXPECT_EQ(rms(render(kRate / 2)), 0.0); // silent after the end
  }
  EXPECT_TRUE(runs[0] == runs[1]);
  // Seconds of the run: the first note, volume 0 from 0.25 s (ramped over a few dozen frames),
  // stopped for 1 s at 0.7 s (fading out over 10 ms), then a rest until the third note at 1.0 s
  // of the tune; the output is 2 ms late, the master stage's delay.
  auto part = [&](double from, double to) {
    return rms(runs[0], size_t(from * kRate), size_t(to * kRate));
  };
  EXPECT_LE(part(0.26, 0.5), part(0, 0.25) * 1e-3);
  EXPECT_LT(part(0.72, 1.7), 1e-4);
  EXPECT_LT(part(1.7, 1.95), 1e-4);
  if (soundfont_installed()) {
    EXPECT_GT(part(0, 0.25), 1e-3);
    EXPECT_GT(part(1.95, 2.05), 1e-3);
  }
  const Bytes xmidi = reference_xmidi(); // at tempo 200, three plays last 1.5 lengths
  ASSERT_EQ(KTUNE_InitTune(xmidi.data(), 0), 1);
  ASSERT_TRUE(KTUNE_SetTempo(200) == 1 && KTUNE_SetRepeats(3) == 1);
  EXPECT_EQ(KTUNE_GetTempo(), 200);
  ASSERT_EQ(KTUNE_StartTune(), 1);
  EXPECT_EQ(play_out(4 * kTuneFrames), 3 * kTuneFrames / 2);
}

TEST(EngineDefaultOutput, KsoundInitSucceedsWithoutKsndAudioAndSoundsEndInRealTime) {
  unsetenv("KSND_AUDIO");
  ASSERT_EQ(KSOUNDInit(4, 16), 1);
  const std::vector<int16_t> pcm(480, 1000); // 10 ms
  SampleRecord s = support::mono16(pcm, 48000);
  SoundRecord r = sound_of(&s, 1);
  ASSERT_EQ(KSFX_PlaySFX(&r), 1);
  auto status = [&] { // shared with the service thread's callback: read under the lock
    AIL_lock();
    const uint32_t now = r.status;
    AIL_unlock();
    return now;
  };
  for (int ms = 0; status() == 1 && ms < 2000; ++ms) std::this_thread::sleep_for(1ms);
  EXPECT_EQ(status(), 0u);
  KSOUNDClose();
}

} // namespace
