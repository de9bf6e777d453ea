// Levels through the offline output: volume curve, pan law, source formats and the float mix.
#include "mixer_fixture.h"

namespace mixer_test {
namespace {

using MixerLevels = LibraryTest;

TEST_F(MixerLevels, VolumeIsLinearAndPanIsABalanceWithFullLevelAtTheCentre) {
  const std::vector<uint8_t> constant(4800, 0xC0); // +0.5 full scale
  struct Row {
    int32_t volume, pan;
    float left, right;
  };
  const Row rows[] = {{127, 64, 0.5f, 0.5f},
                      {127, 0, 0.5f, 0.0f},
                      {127, 127, 0.0f, 0.5f},
                      {127, 128, 0.0f, 0.5f},
                      {64, 64, 0.5f * 64 / 127, 0.5f * 64 / 127},
                      {127, 32, 0.5f, 0.25f},
                      {0, 64, 0.0f, 0.0f}};
  for (const Row &row : rows) {
    HSAMPLE s = voice(constant.data(), static_cast<uint32_t>(constant.size()), DIG_F_MONO_8, 48000);
    AIL_set_sample_volume(s, row.volume);
    AIL_set_sample_pan(s, row.pan);
    AIL_start_sample(s);
    const std::vector<float> out = render(100);
    EXPECT_FLOAT_EQ(out[100], row.left) << "volume " << row.volume << " pan " << row.pan;
    EXPECT_FLOAT_EQ(out[101], row.right) << "volume " << row.volume << " pan " << row.pan;
    AIL_stop_sample(s);
  }
}

TEST_F(MixerLevels, SixteenBitStereoKeepsItsChannelsApartAndVoicesSumUnclipped) {
  std::vector<int16_t> pcm(2 * 480);
  for (size_t i = 0; i < pcm.size(); i += 2) {
    pcm[i] = 8192;       // left +0.25
    pcm[i + 1] = -16384; // right -0.5
  }
  AIL_start_sample(voice(pcm.data(), pcm.size() * 2, DIG_F_STEREO_16, 48000));
  AIL_start_sample(voice(pcm.data(), pcm.size() * 2, DIG_F_STEREO_16, 48000));
  const std::vector<float> out = render(10);
  EXPECT_FLOAT_EQ(out[10], 0.5f);
  EXPECT_FLOAT_EQ(out[11], -1.0f);
}

TEST_F(MixerLevels, UnsupportedTypePlaysSilentlyButStillEnds) {
  const std::vector<uint8_t> pcm(480, 0x40);
  HSAMPLE s = voice(pcm.data(), pcm.size(), DIG_F_MONO_8, 48000);
  AIL_set_sample_type(s, DIG_F_MONO_8, DIG_PCM_SIGNED); // signed 8-bit: not decoded
  EXPECT_NE(std::string(AIL_last_error()), "");
  AIL_start_sample(s);
  for (float v : render(960)) ASSERT_EQ(v, 0.0f);
  EXPECT_EQ(ends_of(s), 1);
}

} // namespace
} // namespace mixer_test
