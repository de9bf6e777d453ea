// The reference kernels with exact numbers out: sample conversion, interpolation on a ramp,
// channel mapping, loop points, the end of the last play, and bad positions and steps.
#include "audio/kernels/mix_kernel.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

namespace {

using wail::MixKernel;
using wail::scalar_kernel;
using wail::SourceFormat;
using wail::VoiceMix;

constexpr uint64_t kOne = uint64_t{1} << 32;

VoiceMix voice_over(const void *data, uint32_t frames, uint64_t step, uint32_t plays = 1) {
  return VoiceMix{data, frames, 0, step, 1.0f, 1.0f, plays, false};
}

// Mono 16-bit ramp 0, 1024, 2048, ... as little-endian bytes.
std::vector<uint8_t> ramp16(uint32_t frames) {
  std::vector<uint8_t> bytes;
  for (uint32_t i = 0; i < frames; ++i) {
    const auto s = static_cast<uint16_t>(i * 1024);
    bytes.push_back(static_cast<uint8_t>(s & 0xFF));
    bytes.push_back(static_cast<uint8_t>(s >> 8));
  }
  return bytes;
}

TEST(ScalarKernel, ConvertsEightAndSixteenBitSamplesExactly) {
  const uint8_t u8[] = {0, 128, 255};
  std::vector<float> mix(6, 0.0f);
  VoiceMix v = voice_over(u8, 3, kOne);
  ASSERT_EQ(scalar_kernel(SourceFormat::Mono8)(v, mix.data(), 3), 3u);
  EXPECT_EQ(mix, (std::vector<float>{-1.0f, -1.0f, 0.0f, 0.0f, 127 / 128.0f, 127 / 128.0f}));

  const uint8_t s16[] = {0x00, 0x80, 0xFF, 0x7F}; // -32768, 32767
  std::vector<float> mix16(4, 0.0f);
  VoiceMix w = voice_over(s16, 2, kOne);
  ASSERT_EQ(scalar_kernel(SourceFormat::Mono16)(w, mix16.data(), 2), 2u);
  EXPECT_EQ(mix16, (std::vector<float>{-1.0f, -1.0f, 32767 / 32768.0f, 32767 / 32768.0f}));
}

TEST(ScalarKernel, HalfStepOnARampGivesMidpointsAndAddsIntoTheMix) {
  const auto ramp = ramp16(4);
  std::vector<float> mix(16, 1.0f);
  VoiceMix v = voice_over(ramp.data(), 4, kOne / 2);
  v.gainLeft = 0.5f;
  v.gainRight = 2.0f;
  // Positions 0, .5, 1, ... 3.5: the last frame holds, so 3.5 reads frame 3 twice.
  ASSERT_EQ(scalar_kernel(SourceFormat::Mono16)(v, mix.data(), 8), 8u);
  const float unit = 1024 / 32768.0f;
  const float expected[] = {0, 0.5f, 1, 1.5f, 2, 2.5f, 3, 3};
  for (int k = 0; k < 8; ++k) {
    EXPECT_EQ(mix[2 * k], 1.0f + expected[k] * unit * 0.5f) << k;
    EXPECT_EQ(mix[2 * k + 1], 1.0f + expected[k] * unit * 2.0f) << k;
  }
  EXPECT_EQ(v.position, 4 * kOne);
}

TEST(ScalarKernel, StereoSourcesMapLeftToLeftAndRightToRight) {
  const uint8_t s8[] = {192, 64, 128, 255}; // frame 0: L .5, R -.5; frame 1: L 0, R 127/128
  std::vector<float> mix(2, 0.0f);
  VoiceMix v = voice_over(s8, 2, kOne);
  v.position = kOne / 4;
  v.gainLeft = 2.0f;
  v.gainRight = 0.25f;
  ASSERT_EQ(scalar_kernel(SourceFormat::Stereo8)(v, mix.data(), 1), 1u);
  EXPECT_FLOAT_EQ(mix[0], (0.5f + 0.25f * (0.0f - 0.5f)) * 2.0f);
  EXPECT_FLOAT_EQ(mix[1], (-0.5f + 0.25f * (127 / 128.0f + 0.5f)) * 0.25f);

  const uint8_t s16[] = {0x00, 0x40, 0x00, 0xC0}; // L .5, R -.5
  std::vector<float> mix16(2, 0.0f);
  VoiceMix w = voice_over(s16, 1, kOne);
  ASSERT_EQ(scalar_kernel(SourceFormat::Stereo16)(w, mix16.data(), 4), 1u);
  EXPECT_EQ(mix16, (std::vector<float>{0.5f, -0.5f}));
}

TEST(ScalarKernel, InterpolatesAcrossTheLoopPointAndCountsPlays) {
  const auto ramp = ramp16(4);
  const MixKernel mix16 = scalar_kernel(SourceFormat::Mono16);
  std::vector<float> mix(2 * 16, 0.0f);
  VoiceMix v = voice_over(ramp.data(), 4, kOne / 2, 2);
  v.position = 3 * kOne;
  // 3 -> 3.5 (halfway back to frame 0) -> wrap to 0 with one play left.
  ASSERT_EQ(mix16(v, mix.data(), 2), 2u);
  const float unit = 1024 / 32768.0f;
  EXPECT_EQ(mix[0], 3 * unit);
  EXPECT_EQ(mix[2], 1.5f * unit);
  EXPECT_EQ(v.position, 0u);
  EXPECT_EQ(v.playsLeft, 1u);
  // The last play runs 8 half-steps and ends, holding frame 3 at 3.5.
  EXPECT_EQ(mix16(v, mix.data() + 4, 16), 8u);
  EXPECT_EQ(mix[4 + 15], 3 * unit);
  EXPECT_EQ(mix16(v, mix.data(), 16), 0u);

  VoiceMix forever = voice_over(ramp.data(), 4, 3 * kOne);
  forever.forever = true;
  forever.playsLeft = 1;
  EXPECT_EQ(mix16(forever, mix.data(), 15), 15u);
  EXPECT_EQ(forever.position, (15 * 3 % 4) * kOne);
}

TEST(ScalarKernel, StepsLongerThanTheSampleWrapSeveralPlaysOrEnd) {
  const uint8_t u8[] = {128, 128, 128};
  std::vector<float> mix(8, 0.0f);
  const MixKernel mix8 = scalar_kernel(SourceFormat::Mono8);
  VoiceMix v = voice_over(u8, 3, 7 * kOne + kOne / 2, 5); // 7.5 frames: two wraps per step
  ASSERT_EQ(mix8(v, mix.data(), 4), 2u);                  // 0 -> 1.5 (plays 3) -> past the end
  EXPECT_EQ(v.position, 3 * kOne);

  VoiceMix huge = voice_over(u8, 3, UINT64_MAX, 1);
  huge.forever = true;
  huge.position = 2 * kOne + 5;
  ASSERT_EQ(mix8(huge, mix.data(), 4), 4u);
  const uint64_t span = 3 * kOne, stepInSpan = UINT64_MAX % span;
  uint64_t expected = 2 * kOne + 5;
  for (int k = 0; k < 4; ++k) expected = (expected + stepInSpan) % span;
  EXPECT_EQ(huge.position, expected);
}

TEST(ScalarKernel, BadPositionsAndStepsNeitherHangNorReadOutside) {
  const uint8_t u8[] = {255, 0};
  const MixKernel mix8 = scalar_kernel(SourceFormat::Mono8);
  std::vector<float> mix(2 * 64, 0.0f);

  VoiceMix held = voice_over(u8, 2, 0);
  held.position = kOne / 2;
  ASSERT_EQ(mix8(held, mix.data(), 64), 64u);
  EXPECT_FLOAT_EQ(mix[126], (127 / 128.0f - 1.0f) / 2);

  std::vector<float> untouched(2 * 64, 0.0f);
  VoiceMix past = voice_over(u8, 2, kOne);
  past.position = 2 * kOne;
  past.forever = true;
  EXPECT_EQ(mix8(past, untouched.data(), 64), 0u);
  VoiceMix empty = voice_over(u8, 0, kOne);
  EXPECT_EQ(mix8(empty, untouched.data(), 64), 0u);
  VoiceMix none = voice_over(nullptr, 2, kOne);
  EXPECT_EQ(mix8(none, untouched.data(), 64), 0u);
  EXPECT_EQ(mix8(held, nullptr, 64), 0u);
  EXPECT_EQ(untouched, std::vector<float>(2 * 64, 0.0f));
  VoiceMix noPlays = voice_over(u8, 2, kOne, 0); // treated as the last play
  EXPECT_EQ(mix8(noPlays, untouched.data(), 64), 2u);
  EXPECT_EQ(untouched[0], 127 / 128.0f);
  EXPECT_EQ(untouched[2], -1.0f);

  VoiceMix v = voice_over(u8, 2, kOne);
  EXPECT_EQ(scalar_kernel(static_cast<SourceFormat>(9))(v, mix.data(), 4), 0u);
}

} // namespace
