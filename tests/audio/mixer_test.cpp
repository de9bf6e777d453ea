// The audio library's digital side: levels, loops and positions in the offline mix;
// end-of-sample callbacks; the outputs KSND_AUDIO lists and the real-time null output.
#include "audio/voices.h"
#include "offline_tape.h"
#include "wail32.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using audio_test::Tape;
using wail::kMasterDelay;

// Every end-of-sample callback: the handle and the thread it ran on.
struct Ended {
  HSAMPLE sample;
  std::thread::id thread;
};
std::mutex g_endedMutex;
std::vector<Ended> g_ended;
void record_end(HSAMPLE sample) {
  std::lock_guard lock(g_endedMutex);
  g_ended.push_back({sample, std::this_thread::get_id()});
}
std::vector<Ended> ended() {
  std::lock_guard lock(g_endedMutex);
  return g_ended;
}
int ends_of(HSAMPLE sample) { return int(std::ranges::count(ended(), sample, &Ended::sample)); }
int status(HSAMPLE s) { return int(AIL_sample_status(s)); }
float level(int16_t v) { return v / 32768.0f; }

// Polls `done` for up to two seconds.
template <typename Done> bool eventually(Done done) {
  for (int ms = 0; ms < 2000 && !done(); ++ms) std::this_thread::sleep_for(1ms);
  return done();
}

// The library opened on the offline output, or on the one a test names.
class Mixer : public ::testing::Test {
protected:
  void open(const char *output) {
    setenv("KSND_AUDIO", output, 1);
    AIL_startup();
    const PCMWAVEFORMAT format{1, 2, 11025, 22050, 2, 8};
    ASSERT_EQ(AIL_waveOutOpen(&driver_, nullptr, 0, &format), 0) << AIL_last_error();
  }
  void SetUp() override {
    g_ended.clear(); // no service thread runs between tests
    open("offline");
  }
  void TearDown() override { AIL_shutdown(); }

  // A voice playing `bytes` of `data` once at `rate`, volume 127, centre pan, not started.
  HSAMPLE voice(const void *data, size_t bytes, int32_t format, int32_t rate) {
    HSAMPLE s = AIL_allocate_sample_handle(driver_);
    AIL_register_EOS_callback(s, record_end);
    AIL_set_sample_address(s, data, uint32_t(bytes));
    AIL_set_sample_type(s, format, format % 2 ? DIG_PCM_SIGNED : 0); // 16-bit data is signed
    AIL_set_sample_playback_rate(s, rate);
    AIL_set_sample_volume(s, 127);
    AIL_set_sample_pan(s, 64);
    AIL_set_sample_loop_count(s, 1);
    return s;
  }
  HDIGDRIVER driver_ = nullptr;
  Tape tape_;
  const std::vector<uint8_t> half_ = std::vector<uint8_t>(4800, 0xC0); // +0.5 full scale
};

TEST_F(Mixer, VolumeIsLinearAndPanIsABalanceWithFullLevelAtTheCentre) {
  const struct {
    int32_t volume, pan;
    float left, right;
  } rows[] = {{127, 64, 0.5f, 0.5f},
              {127, 0, 0.5f, 0.0f},
              {127, 127, 0.0f, 0.5f},
              {127, 128, 0.0f, 0.5f},
              {127, 32, 0.5f, 0.25f},
              {0, 64, 0.0f, 0.0f},
              {64, 64, 32 / 127.0f, 32 / 127.0f}};
  HSAMPLE s = voice(half_.data(), half_.size(), DIG_F_MONO_8, 48000);
  for (const auto &row : rows) {
    const size_t at = tape_.rendered();
    AIL_set_sample_volume(s, row.volume);
    AIL_set_sample_pan(s, row.pan);
    AIL_set_sample_position(s, 0);
    AIL_start_sample(s);
    tape_.render(100 + kMasterDelay);
    EXPECT_FLOAT_EQ(tape_.left(at + 50), row.left) << "volume " << row.volume << " pan " << row.pan;
    EXPECT_FLOAT_EQ(tape_.right(at + 50), row.right)
        << "volume " << row.volume << " pan " << row.pan;
    AIL_stop_sample(s);
    tape_.render(wail::kLookaheadFrames + 200); // the stop's fade and the delay run out
  }
}

TEST_F(Mixer, LoopCountThreePlaysExactlyThreeLengthsAndPositionsContinueTheWaveform) {
  std::vector<int16_t> ramp(1000); // every frame names its own index, never zero
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = int16_t(100 + 8 * i);
  HSAMPLE s = voice(ramp.data(), ramp.size() * 2, DIG_F_MONO_16, 48000);
  AIL_set_sample_loop_count(s, 3);
  AIL_start_sample(s);
  tape_.render(4000 + kMasterDelay);
  for (size_t frame = 0; frame < 4000; ++frame)
    ASSERT_FLOAT_EQ(tape_.left(frame), frame < 3000 ? level(ramp[frame % 1000]) : 0.0f) << frame;
  EXPECT_EQ(ends_of(s), 1);
  EXPECT_EQ(status(s), SMP_DONE);

  AIL_set_sample_loop_count(s, 1);
  AIL_set_sample_address(s, ramp.data(), uint32_t(ramp.size() * 2));
  AIL_start_sample(s);
  tape_.render(600);
  AIL_stop_sample(s);
  const uint32_t position = AIL_sample_position(s);
  EXPECT_EQ(position, 1200u);                                        // 600 frames of 2 bytes
  AIL_set_sample_address(s, ramp.data(), uint32_t(ramp.size() * 2)); // back to 0
  AIL_set_sample_position(s, position + 1);                          // rounded down to the frame
  const size_t resumed = tape_.rendered();
  AIL_start_sample(s);
  tape_.render(300 + kMasterDelay); // it fades in over the stop's fade, then plays on from 600
  for (size_t k = wail::kRampFrames; k < 300; ++k)
    ASSERT_FLOAT_EQ(tape_.left(resumed + k), level(ramp[600 + k])) << k;
}

int g_statusInCallback = 0;
HSAMPLE g_restartTarget = nullptr;

TEST_F(Mixer, StopNeverCallsBackAndEndSampleCallsBackOnTheCallersThreadBeforeReturning) {
  HSAMPLE s = voice(half_.data(), 100, DIG_F_MONO_8, 22050);
  AIL_register_EOS_callback(s, [](HSAMPLE ending) {
    g_statusInCallback = status(ending);
    record_end(ending);
  });
  AIL_set_sample_loop_count(s, 0); // until stopped
  AIL_start_sample(s);
  tape_.render(9600);
  EXPECT_FLOAT_EQ(tape_.left(9000), 0.5f);
  EXPECT_EQ(status(s), SMP_PLAYING);
  AIL_stop_sample(s);
  EXPECT_EQ(status(s), SMP_DONE);
  tape_.render(480);
  EXPECT_EQ(tape_.left(9600 + 200), 0.0f); // after the fade
  EXPECT_TRUE(ended().empty());
  AIL_start_sample(s);
  AIL_end_sample(s);
  ASSERT_EQ(ended().size(), 1u);
  EXPECT_EQ(ended()[0].thread, std::this_thread::get_id());
  EXPECT_EQ(g_statusInCallback, SMP_DONE);
  AIL_end_sample(s); // not playing: no second callback
  tape_.render(480);
  EXPECT_EQ(tape_.left(10080 + 200), 0.0f);
  EXPECT_EQ(ended().size(), 1u);
}

TEST_F(Mixer, RestartBetweenEndAndDeliveryDropsTheStaleEnd) {
  HSAMPLE first = voice(half_.data(), 100, DIG_F_MONO_8, 48000);
  HSAMPLE target = g_restartTarget = voice(half_.data(), 100, DIG_F_MONO_8, 48000);
  // Both end on frame 100; the first's callback restarts the target before its end is delivered,
  // as the engine resumes a suspended sound.
  AIL_register_EOS_callback(first, [](HSAMPLE ending) {
    record_end(ending);
    AIL_set_sample_position(g_restartTarget, 0);
    AIL_start_sample(g_restartTarget);
  });
  AIL_start_sample(first);
  AIL_start_sample(target);
  tape_.render(120);
  EXPECT_TRUE(ends_of(first) == 1 && ends_of(target) == 0);
  EXPECT_EQ(status(target), SMP_PLAYING);
  tape_.render(240);
  EXPECT_EQ(ends_of(target), 1);
}

std::string device_name(uint32_t device) {
  WAVEOUTCAPSA caps{};
  EXPECT_EQ(waveOutGetDevCapsA(device, &caps, sizeof caps), 0u);
  EXPECT_NE(caps.dwFormats & WAVE_FORMAT_1S08, 0u);
  return caps.szPname;
}

TEST(OutputDevices, KsndAudioChoosesTheListedOutputsAndNullIsTheFallback) {
  const char *choices[][2] = {{"null", "null"}, {"offline", "offline"}, {"wav:/tmp/x.wav", "WAV"}};
  for (const auto &[choice, name] : choices) {
    setenv("KSND_AUDIO", choice, 1);
    EXPECT_EQ(waveOutGetNumDevs(), 1u);
    EXPECT_NE(device_name(0).find(name), std::string::npos) << choice;
  }
  unsetenv("KSND_AUDIO");
  EXPECT_NE(device_name(0).find("null"), std::string::npos); // always first
  WAVEOUTCAPSA caps{};
  EXPECT_NE(waveOutGetDevCapsA(waveOutGetNumDevs(), &caps, sizeof caps), 0u);
}

TEST_F(Mixer, RealTimeEndsComeOnTheMixerThreadAndShutdownUnderTheLockStopsThem) {
  AIL_shutdown();
  open("null");
  HSAMPLE s = nullptr;
  for (int i = 0; i < 32; ++i) { // 1 ms, up to 32 plays: voices keep ending
    AIL_set_sample_loop_count(s = voice(half_.data(), 48, DIG_F_MONO_8, 48000), 1 + i);
    AIL_start_sample(s);
  }
  ASSERT_TRUE(eventually([] { return !ended().empty(); }));
  EXPECT_NE(ended()[0].thread, std::this_thread::get_id());
  AIL_lock();
  AIL_shutdown();
  AIL_unlock();
  const size_t after = ended().size();
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(ended().size(), after);
  EXPECT_EQ(status(s), SMP_FREE);
  float out[4];
  EXPECT_EQ(AIL_render_offline(out, 2), 0u);
}

HDIGDRIVER g_closing = nullptr;

TEST_F(Mixer, TheDevicePlaysOnWhileTheLockIsHeldAndWaveOutCloseStopsTheThreadsFromAnyThread) {
  AIL_shutdown();
  open("null");
  const uint32_t before = AIL_output_underruns();
  AIL_lock(); // the device keeps pulling; the mixer waits, so the ring runs dry
  std::this_thread::sleep_for(50ms);
  AIL_unlock();
  EXPECT_GT(AIL_output_underruns(), before);
  // Closed by a callback on the mixer thread, then by the host with a voice looping.
  g_closing = driver_;
  HSAMPLE s = voice(half_.data(), 48, DIG_F_MONO_8, 48000);
  AIL_register_EOS_callback(s, [](HSAMPLE ending) {
    record_end(ending);
    AIL_waveOutClose(g_closing);
  });
  AIL_start_sample(s);
  ASSERT_TRUE(eventually([&] { return ends_of(s) == 1 && AIL_output_rate() == 0; }));
  open("null"); // the old mixer thread is joined here
  AIL_set_sample_loop_count(s = voice(half_.data(), 48, DIG_F_MONO_8, 48000), 0);
  AIL_start_sample(s);
  AIL_waveOutClose(driver_);
  EXPECT_EQ(status(s), SMP_FREE);
  const size_t after = ended().size();
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(ended().size(), after);
  open("null");
  EXPECT_NE(AIL_allocate_sample_handle(driver_), nullptr);
}

} // namespace
