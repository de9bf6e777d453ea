// The MIDI functions of the audio library through their C API and the mixer's render hook:
// the device and its handles, refused data, and the sound of a tune while it plays, stops,
// resumes and changes volume. Sound needs a SoundFont.
#include "audio/midi/music_hook.h"
#include "audio/midi/synth.h"
#include "midi_test_tunes.h"
#include "wail32.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <thread>

namespace {
uint32_t g_output_rate = 48000;
} // namespace

// The digital side's answer, which the MIDI driver asks for the synthesiser's rate.
extern "C" uint32_t AIL_output_rate(void) { return g_output_rate; }

namespace {

using namespace midi_test;

constexpr uint32_t kRate = 48000;
constexpr uint64_t kTuneFrames = kRate * kEndTick / 120; // 2.5 s

class MidiDriver : public ::testing::Test {
protected:
  void SetUp() override {
    g_output_rate = kRate;
    ASSERT_EQ(AIL_midiOutOpen(&driver_, nullptr, -1), 0);
    ASSERT_NE(seq_ = AIL_allocate_sequence_handle(driver_), nullptr);
  }
  void TearDown() override { AIL_midiOutClose(driver_); }

  void need_soundfont() {
    static const bool found = !wail::midi::find_soundfont().empty();
    if (!found) GTEST_SKIP() << "no SoundFont installed";
  }
  // RMS of `frames` rendered in mixer-sized blocks.
  static double rms(uint64_t frames, uint32_t rate = kRate) {
    std::vector<float> out(2 * frames, 0.0f);
    for (uint64_t done = 0; done < frames; done += 480)
      wail::music::render(out.data() + 2 * done, (uint32_t)std::min<uint64_t>(480, frames - done),
                          rate);
    double sum = 0;
    for (float x : out) sum += (double)x * (double)x;
    return std::sqrt(sum / (double)out.size());
  }
  uint64_t frames_until_done(uint64_t limit) {
    uint64_t frames = 0;
    float pair[2];
    for (; AIL_sequence_status(seq_) == SEQ_PLAYING && frames < limit; ++frames)
      wail::music::render(pair, 1, kRate);
    return frames;
  }
  void start(const Bytes &data, int32_t loops = 1) {
    ASSERT_EQ(AIL_init_sequence(seq_, data.data(), 0), 1);
    AIL_set_sequence_loop_count(seq_, loops);
    AIL_start_sequence(seq_);
  }

  HMDIDRIVER driver_ = nullptr;
  HSEQUENCE seq_ = nullptr;
  Bytes tune_ = reference_smf();
};

TEST_F(MidiDriver, OneSynthesiserDeviceWithFourHandles) {
  EXPECT_EQ(midiOutGetNumDevs(), 1u);
  HMDIDRIVER other = nullptr;
  EXPECT_EQ(AIL_midiOutOpen(&other, nullptr, 0), 4);  // already open
  EXPECT_EQ(AIL_midiOutOpen(&other, nullptr, 1), 2);  // no such device
  EXPECT_EQ(AIL_midiOutOpen(&other, &other, -1), 11); // a Windows handle is not wanted
  EXPECT_EQ(AIL_sequence_status(seq_), (uint32_t)SEQ_DONE);
  for (int i = 0; i < 3; ++i) EXPECT_NE(AIL_allocate_sequence_handle(driver_), nullptr);
  EXPECT_EQ(AIL_allocate_sequence_handle(driver_), nullptr);
  AIL_midiOutClose(driver_);
  AIL_start_sequence(seq_); // a released handle ignores calls
  EXPECT_EQ(AIL_sequence_status(seq_), (uint32_t)SEQ_FREE);
  EXPECT_EQ(AIL_init_sequence(seq_, tune_.data(), 0), 0);
  EXPECT_EQ(AIL_midiOutOpen(&driver_, nullptr, 0), 0);
}

TEST_F(MidiDriver, RefusedDataKeepsTheBoundTuneAndItsLength) {
  ASSERT_EQ(AIL_init_sequence(seq_, tune_.data(), 0), 1);
  Bytes no_end = tune_;
  no_end[no_end.size() - 2] = 0x01; // the end-of-track becomes a text event: the track runs out
  EXPECT_EQ(AIL_init_sequence(seq_, no_end.data(), 0), 0);
  EXPECT_EQ(AIL_init_sequence(seq_, reference_xmidi().data(), 1), 0); // only sequence 0 exists
  EXPECT_EQ(AIL_init_sequence(seq_, nullptr, 0), 0);
  AIL_start_sequence(seq_);
  EXPECT_EQ(frames_until_done(2 * kTuneFrames), kTuneFrames);
}

TEST_F(MidiDriver, SoundsWhilePlayingAndIsSilentAfter) {
  need_soundfont();
  start(tune_);
  EXPECT_GT(rms(kRate / 2), 1e-3); // the first note
  rms(kTuneFrames - kRate / 2);
  EXPECT_EQ(AIL_sequence_status(seq_), (uint32_t)SEQ_DONE);
  EXPECT_LT(rms(kRate / 2), 1e-4);
}

TEST_F(MidiDriver, StopSilencesAndResumeContinuesWithTheNextNote) {
  need_soundfont();
  start(tune_);
  rms(kRate * 7 / 10); // 0.7 s: the second note still sounds
  AIL_stop_sequence(seq_);
  EXPECT_EQ(AIL_sequence_status(seq_), (uint32_t)SEQ_DONE);
  EXPECT_LT(rms(kRate), 1e-4);
  AIL_resume_sequence(seq_);
  EXPECT_EQ(AIL_sequence_status(seq_), (uint32_t)SEQ_PLAYING);
  EXPECT_LT(rms(kRate / 4), 1e-4);  // 0.70 s to 0.95 s of the tune: a rest
  EXPECT_GT(rms(kRate / 10), 1e-3); // the third note, at 1.0 s
  EXPECT_EQ(frames_until_done(kTuneFrames), kTuneFrames - kRate * 105 / 100);
}

TEST_F(MidiDriver, VolumeScalesTheTuneAtOnceAndZeroIsSilent) {
  need_soundfont();
  start(tune_);
  double full = rms(kRate / 4);
  AIL_set_sequence_volume(seq_, 0, 0);
  rms(kRate / 100); // the synthesiser ramps gain changes over a few dozen frames
  EXPECT_LT(rms(kRate / 4), full * 1e-3);
  ASSERT_EQ(AIL_init_sequence(seq_, tune_.data(), 0), 1);
  AIL_set_sequence_volume(seq_, 64, 0);
  AIL_start_sequence(seq_);
  double half = rms(kRate / 4);
  EXPECT_LT(half, full * 0.6);
  EXPECT_GT(half, full * 0.05);
}

TEST_F(MidiDriver, SynthesiserFollowsTheOutputRate) {
  need_soundfont();
  g_output_rate = 22050;
  start(tune_);
  EXPECT_GT(rms(22050 / 2, 22050), 1e-3);
}

TEST_F(MidiDriver, WithoutAUsableSoundFontTheTuneKeepsTimeSilently) {
  AIL_midiOutClose(driver_);
  std::string path = ::testing::TempDir() + "not_a_soundfont.sf2";
  FILE *f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("RIFF? no", f);
  std::fclose(f);
  setenv("KSND_SOUNDFONT", path.c_str(), 1);
  ASSERT_EQ(AIL_midiOutOpen(&driver_, nullptr, -1), 0);
  unsetenv("KSND_SOUNDFONT");
  seq_ = AIL_allocate_sequence_handle(driver_);
  start(tune_);
  EXPECT_EQ(rms(kRate), 0.0);
  EXPECT_EQ(frames_until_done(kTuneFrames), kTuneFrames - kRate);
}

TEST_F(MidiDriver, HostCallsWhileRendering) {
  start(tune_, 0);
  std::atomic<bool> stop{false};
  std::thread audio([&] {
    float block[2 * 256];
    while (!stop) wail::music::render(block, 256, kRate);
  });
  for (int i = 0; i < 200; ++i) {
    AIL_set_sequence_volume(seq_, i % 128, 0);
    AIL_set_sequence_tempo(seq_, 50 + i, 0);
    if (i % 50 == 0) AIL_stop_sequence(seq_);
    if (i % 50 == 25) AIL_resume_sequence(seq_);
    if (i % 70 == 0) start(tune_, 0); // the unpaced render runs through a play in milliseconds
  }
  stop = true;
  audio.join();
  EXPECT_EQ(AIL_sequence_status(seq_), (uint32_t)SEQ_PLAYING);
}

} // namespace
