// Timing through the offline output: resampling, loop counts and positions.
#include "mixer_fixture.h"

#include <cmath>
#include <numbers>

namespace mixer_test {
namespace {

using MixerTiming = LibraryTest;

// A 16-bit mono ramp 0, 8, 16, ... so every frame names its own index.
std::vector<int16_t> ramp(size_t frames) {
  std::vector<int16_t> pcm(frames);
  for (size_t i = 0; i < frames; ++i) pcm[i] = static_cast<int16_t>(i * 8);
  return pcm;
}

float ramp_value(size_t index) { return static_cast<float>(index * 8) / 32768.0f; }

TEST_F(MixerTiming, SineAt11025HzComesOutAtItsPitchAt48000Hz) {
  std::vector<int16_t> sine(11025);
  for (size_t i = 0; i < sine.size(); ++i)
    sine[i] = static_cast<int16_t>(16000 * std::sin(2 * std::numbers::pi * 1000 * i / 11025.0));
  HSAMPLE s = voice(sine.data(), sine.size() * 2, DIG_F_MONO_16, 11025);
  AIL_set_sample_loop_count(s, 0);
  AIL_start_sample(s);
  ASSERT_EQ(AIL_output_rate(), 48000u);
  const std::vector<float> out = render(48000);
  int crossings = 0;
  for (size_t i = 2; i < out.size(); i += 2) crossings += (out[i - 2] < 0) != (out[i] < 0);
  EXPECT_NEAR(crossings, 2000, 2); // 1000 cycles in one second
}

TEST_F(MixerTiming, LoopCountThreePlaysExactlyThreeLengths) {
  const std::vector<int16_t> pcm = ramp(1000);
  std::vector<int16_t> shifted(pcm);
  for (int16_t &v : shifted) v = static_cast<int16_t>(v + 100); // never zero
  HSAMPLE s = voice(shifted.data(), shifted.size() * 2, DIG_F_MONO_16, 48000);
  AIL_set_sample_loop_count(s, 3);
  AIL_start_sample(s);
  const std::vector<float> out = render(4000);
  for (size_t frame = 0; frame < 3000; ++frame)
    ASSERT_FLOAT_EQ(out[2 * frame], (shifted[frame % 1000]) / 32768.0f) << frame;
  for (size_t frame = 3000; frame < 4000; ++frame) ASSERT_EQ(out[2 * frame], 0.0f) << frame;
  EXPECT_EQ(ends_of(s), 1);
  EXPECT_EQ(AIL_sample_status(s), static_cast<uint32_t>(SMP_DONE));
}

TEST_F(MixerTiming, LoopCountZeroPlaysUntilStoppedAndStopNeverCallsBack) {
  const std::vector<uint8_t> pcm(100, 0xC0);
  HSAMPLE s = voice(pcm.data(), pcm.size(), DIG_F_MONO_8, 22050);
  AIL_set_sample_loop_count(s, 0);
  AIL_start_sample(s);
  const std::vector<float> out = render(9600);
  EXPECT_FLOAT_EQ(out[2 * 9599], 0.5f);
  EXPECT_EQ(AIL_sample_status(s), static_cast<uint32_t>(SMP_PLAYING));
  AIL_stop_sample(s);
  EXPECT_EQ(AIL_sample_status(s), static_cast<uint32_t>(SMP_DONE));
  render(480);
  EXPECT_EQ(ends_of(s), 0);
}

TEST_F(MixerTiming, PositionReadBackContinuesTheWaveformWhereItStopped) {
  const std::vector<int16_t> pcm = ramp(4000);
  HSAMPLE s = voice(pcm.data(), pcm.size() * 2, DIG_F_MONO_16, 48000);
  AIL_start_sample(s);
  render(1000);
  AIL_stop_sample(s);
  const uint32_t position = AIL_sample_position(s);
  EXPECT_EQ(position, 2000u); // 1000 frames of 2 bytes
  AIL_set_sample_address(s, pcm.data(), static_cast<uint32_t>(pcm.size() * 2));
  EXPECT_EQ(AIL_sample_position(s), 0u);
  AIL_set_sample_position(s, position + 1); // rounded down to the frame
  AIL_start_sample(s);
  const std::vector<float> out = render(2);
  EXPECT_FLOAT_EQ(out[0], ramp_value(1000));
  EXPECT_FLOAT_EQ(out[2], ramp_value(1001));
}

TEST_F(MixerTiming, StartAtTheEndFinishesAtOnceAndRateZeroHoldsTheVoice) {
  const std::vector<int16_t> pcm = ramp(100);
  HSAMPLE atEnd = voice(pcm.data(), pcm.size() * 2, DIG_F_MONO_16, 48000);
  HSAMPLE frozen = voice(pcm.data(), pcm.size() * 2, DIG_F_MONO_16, 0);
  AIL_set_sample_position(atEnd, 1000000);
  EXPECT_EQ(AIL_sample_position(atEnd), 200u); // clamped to the end
  AIL_set_sample_position(frozen, 20);
  AIL_start_sample(atEnd);
  AIL_start_sample(frozen);
  for (float v : render(480)) ASSERT_EQ(v, 0.0f);
  EXPECT_EQ(ends_of(atEnd), 1);
  EXPECT_EQ(AIL_sample_position(frozen), 20u);
  EXPECT_EQ(AIL_sample_status(frozen), static_cast<uint32_t>(SMP_PLAYING));
}

TEST_F(MixerTiming, OfflineOutputIsBitForBitRepeatable) {
  const std::vector<int16_t> pcm = ramp(3000);
  const std::vector<uint8_t> bytes(777, 0x90);
  auto play = [&] {
    HSAMPLE a = voice(pcm.data(), pcm.size() * 2, DIG_F_STEREO_16, 17000);
    HSAMPLE b = voice(bytes.data(), bytes.size(), DIG_F_MONO_8, 8000);
    AIL_set_sample_pan(b, 20);
    AIL_set_sample_loop_count(b, 4);
    AIL_start_sample(a);
    AIL_start_sample(b);
    return render(9000);
  };
  const std::vector<float> first = play();
  AIL_shutdown();
  open("offline");
  EXPECT_EQ(play(), first);
}

} // namespace
} // namespace mixer_test
