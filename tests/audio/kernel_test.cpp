// The mix kernels: the scalar reference with exact numbers out, and the SSE2, AVX2 and AVX-512
// kernels held to it over every format, rate ratio, gain, gain ramp and loop.
#include "audio/kernels/kernel_variants.h"
#include "audio/kernels/mix_kernel.h"

#include <gtest/gtest.h>
#include <random>
#include <stdexcept>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

using wail::MixKernel;
using wail::Resampler;
using wail::SourceFormat;
using wail::VoiceMix;

constexpr uint64_t kOne = uint64_t{1} << 32;
constexpr float kUnit = 1024 / 32768.0f;           // one step of the ramp
const uint8_t kRamp[] = {0, 0, 0, 4, 0, 8, 0, 12}; // mono 16-bit 0, 1024, 2048, 3072
MixKernel linear(SourceFormat format) { return wail::scalar_kernel(format, Resampler::Linear); }
const MixKernel kMono16 = linear(SourceFormat::Mono16);

VoiceMix voice_over(const void *data, uint32_t frames, uint64_t step, uint32_t plays = 1,
                    uint64_t position = 0, bool forever = false) {
  return VoiceMix{data, frames, position, step, 1.0f, 1.0f, 0.0f, 0.0f, plays, forever};
}

TEST(ScalarKernel, ConvertsEachFormatExactlyAndMapsStereoSides) {
  const uint8_t u8[] = {0, 128, 255}, s16[] = {0x00, 0x80, 0xFF, 0x7F}; // -32768, 32767
  const uint8_t st8[] = {192, 64, 128, 255};       // L .5, R -.5; then L 0, R 127/128
  const uint8_t st16[] = {0x00, 0x40, 0x00, 0xC0}; // L .5, R -.5
  const float top8 = 127 / 128.0f, top16 = 32767 / 32768.0f;
  // A quarter of the way from frame 0 to frame 1 of st8, gains 2 and 0.25.
  const float l8 = (0.5f + 0.25f * -0.5f) * 2, r8 = (-0.5f + 0.25f * (top8 + 0.5f)) * 0.25f;
  const struct {
    SourceFormat format;
    const uint8_t *data;
    uint32_t frames, count, produced;
    uint64_t position;
    float left, right;
    std::vector<float> mix;
  } rows[] = {{SourceFormat::Mono8, u8, 3, 3, 3, 0, 1, 1, {-1, -1, 0, 0, top8, top8}},
              {SourceFormat::Mono16, s16, 2, 2, 2, 0, 1, 1, {-1, -1, top16, top16}},
              {SourceFormat::Stereo8, st8, 2, 1, 1, kOne / 4, 2, 0.25f, {l8, r8}},
              {SourceFormat::Stereo16, st16, 1, 4, 1, 0, 1, 1, {0.5f, -0.5f, 0, 0, 0, 0, 0, 0}}};
  for (const auto &row : rows) {
    std::vector<float> mix(2 * row.count, 0.0f);
    VoiceMix v{row.data, row.frames, row.position, kOne, row.left, row.right, 0.0f, 0.0f, 1, false};
    EXPECT_EQ(linear(row.format)(v, mix.data(), row.count), row.produced);
    EXPECT_EQ(mix, row.mix) << "format " << int(row.format);
  }
}

TEST(ScalarKernel, HalfStepOnARampGivesMidpointsAndAddsIntoTheMix) {
  std::vector<float> mix(16, 1.0f);
  VoiceMix v = voice_over(kRamp, 4, kOne / 2);
  v.gainLeft = 0.5f;
  v.gainRight = 2.0f;
  // Positions 0, .5, 1, ... 3.5: the last frame holds, so 3.5 reads frame 3 twice.
  ASSERT_EQ(kMono16(v, mix.data(), 8), 8u);
  const float expected[] = {0, 0.5f, 1, 1.5f, 2, 2.5f, 3, 3};
  for (int k = 0; k < 8; ++k) {
    EXPECT_EQ(mix[2 * k], 1.0f + expected[k] * kUnit * 0.5f) << k;
    EXPECT_EQ(mix[2 * k + 1], 1.0f + expected[k] * kUnit * 2.0f) << k;
  }
  EXPECT_EQ(v.position, 4 * kOne);
}

TEST(ScalarKernel, RampsTheGainsFromEachCallsFirstFrameAndLeavesThemAsTheyWere) {
  const uint8_t level[] = {0, 4}; // mono 16-bit 1024, looping
  VoiceMix v = voice_over(level, 1, kOne, 1, 0, true);
  v.gainLeft = 0.5f;
  v.gainStepLeft = 0.25f;
  v.gainStepRight = -0.125f;
  std::vector<float> mix(2 * 6, 0.0f);
  ASSERT_EQ(kMono16(v, mix.data(), 4), 4u);
  ASSERT_EQ(kMono16(v, mix.data() + 8, 2), 2u); // the next call starts the ramp again
  const float left[] = {0.5f, 0.75f, 1, 1.25f, 0.5f, 0.75f},
              right[] = {1, 0.875f, 0.75f, 0.625f, 1, 0.875f};
  for (int k = 0; k < 6; ++k) {
    EXPECT_EQ(mix[2 * k], left[k] * kUnit) << k;
    EXPECT_EQ(mix[2 * k + 1], right[k] * kUnit) << k;
  }
  EXPECT_TRUE(v.gainLeft == 0.5f && v.gainRight == 1.0f);
}

TEST(ScalarKernel, InterpolatesAcrossTheLoopPointAndHoldsAtTheEnd) {
  std::vector<float> mix(2 * 16, 0.0f);
  VoiceMix v = voice_over(kRamp, 4, kOne / 2, 2, 3 * kOne);
  // 3 -> 3.5 (halfway back to frame 0) -> wrap to 0 with one play left.
  ASSERT_EQ(kMono16(v, mix.data(), 2), 2u);
  EXPECT_EQ(mix[0], 3 * kUnit);
  EXPECT_EQ(mix[2], 1.5f * kUnit);
  EXPECT_TRUE(v.position == 0 && v.playsLeft == 1);
  // The last play runs 8 half-steps and ends, holding frame 3 at 3.5.
  EXPECT_EQ(kMono16(v, mix.data() + 4, 16), 8u);
  EXPECT_EQ(mix[4 + 15], 3 * kUnit);
  EXPECT_EQ(kMono16(v, mix.data(), 16), 0u);
  VoiceMix forever = voice_over(kRamp, 4, 3 * kOne, 1, 0, true);
  EXPECT_EQ(kMono16(forever, mix.data(), 15), 15u);
  EXPECT_EQ(forever.position, (15 * 3 % 4) * kOne);
  VoiceMix noPlays = voice_over(kRamp, 4, kOne, 0); // treated as the last play
  EXPECT_EQ(kMono16(noPlays, mix.data(), 16), 4u);
  VoiceMix wraps = voice_over(kRamp, 3, 7 * kOne + kOne / 2, 5); // a step of 7.5 frames
  EXPECT_EQ(kMono16(wraps, mix.data(), 4), 2u); // 0 -> 1.5 (plays 3) -> past the end
  EXPECT_EQ(wraps.position, 3 * kOne);
}

// A level of 0.5 held for 40 frames, so the band-limited filter's output shows what it reads
// beyond either end: the level where real frames are, silence elsewhere. Its taps mirror each
// other, so half a frame inside either end reads the same; half a frame past the last frame,
// half the taps read silence.
TEST(ScalarKernel, SincReadsSilenceOutsideThePlaysAndTheNextOrLastPlayAcrossTheLoopPoint) {
  const MixKernel sinc = wail::scalar_kernel(SourceFormat::Mono16, Resampler::Sinc);
  const std::vector<uint8_t> level = [] {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 40; ++i) bytes.insert(bytes.end(), {0x00, 0x40});
    return bytes;
  }();
  auto left = [&](VoiceMix v, uint32_t frames, uint32_t produced) {
    std::vector<float> mix(2 * frames, 0.0f);
    EXPECT_EQ(sinc(v, mix.data(), frames), produced);
    std::vector<float> out;
    for (uint32_t k = 0; k < produced; ++k) out.push_back(mix[2 * k]);
    return out;
  };
  // One play at half the source rate: 80 frames, silence before and after.
  const auto once = left(voice_over(level.data(), 40, kOne / 2), 100, 80);
  EXPECT_EQ(once[0], 0.5f); // a whole frame passes through exactly
  EXPECT_GT(std::abs(once[1] - 0.5f), 0.05f);
  EXPECT_NEAR(once[1], once[77], 1e-6);
  EXPECT_NEAR(once[79], 0.25f, 1e-6);
  for (int k = 16; k < 64; ++k) EXPECT_NEAR(once[k], 0.5f, 1e-6) << k;
  // Two plays: the second reads the first's last frames, the first the second's first ones.
  const auto twice = left(voice_over(level.data(), 40, kOne / 2, 2), 200, 160);
  EXPECT_NEAR(twice[1], once[1], 1e-6);
  EXPECT_NEAR(twice[159], 0.25f, 1e-6);
  for (int k = 16; k < 144; ++k) EXPECT_NEAR(twice[k], 0.5f, 1e-6) << k;
  // A loop already past its first play reads the previous play before frame 0.
  VoiceMix looping = voice_over(level.data(), 40, kOne / 2, 1, kOne / 2, true);
  looping.playsDone = 1;
  for (float x : left(looping, 100, 100)) EXPECT_NEAR(x, 0.5f, 1e-6);
}

#if defined(WAIL_KERNELS_SSE2)
// Vector paths fuse multiply-adds the reference rounds twice, and the band-limited ones sum
// their taps in another order: measured worst 4.8e-7 linear, 1.4e-6 band-limited.
float tolerance(Resampler mode) { return mode == Resampler::Sinc ? 4e-6f : 1e-6f; }
constexpr size_t kFrameBytes[] = {1, 2, 2, 4}; // by SourceFormat

uint64_t step_for(double sourceRate) { return uint64_t(sourceRate / 48000 * kOne); }

// Rate ratios from upsampling to decimation over short and long sources: one play, counted loops
// panned right and fading in on one side while out on the other, forever hard left and loud;
// then each start over the last 40 frames, held or crawling, every other one ramping, so that
// some iteration begins at every index the vector paths may reach.
std::vector<VoiceMix> cases() {
  std::vector<VoiceMix> all;
  for (uint64_t step : {step_for(11025), step_for(22050), step_for(44100), kOne, step_for(96000),
                        step_for(7919), step_for(250000), kOne / 2, uint64_t{0}})
    for (uint32_t frames : {1, 2, 3, 5, 13, 100, 4099}) {
      const uint64_t start = (uint64_t{frames} / 3 << 32) + 0x9E3779B9u;
      all.push_back({nullptr, frames, start, step, 1.0f, 1.0f, 0.0f, 0.0f, 1, false});
      all.push_back({nullptr, frames, 0, step, 0.25f, 0.8f, 1 / 1024.0f, -0.8f / 1024, 3, false});
      all.push_back({nullptr, frames, start, step, 1.7f, 0.0f, 0.0f, 0.0f, 1, true});
    }
  for (uint64_t step : {uint64_t{0}, kOne / 1000, step_for(11025), kOne})
    for (uint64_t back = 1; back <= 40; ++back) {
      const float ramp = back % 2 != 0 ? -0.5f / 300 : 0.0f;
      all.push_back({nullptr, 100, ((100 - back) << 32) + 0x12345678u, step, 0.5f, 0.5f, ramp,
                     -ramp, 1, false});
    }
  return all;
}

// `bytes` random bytes that start right where an unreadable page ends, or end right where one
// begins, so that a read before the first frame or past the last one faults.
const uint8_t *guarded_noise(size_t bytes, uint32_t seed, bool atStart) {
  static const size_t page = size_t(sysconf(_SC_PAGESIZE)), room = 8 * page;
  static uint8_t *const base = [] {
    auto *map = static_cast<uint8_t *>(
        mmap(nullptr, room + 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    if (map == MAP_FAILED || mprotect(map, page, PROT_NONE) != 0 ||
        mprotect(map + page + room, page, PROT_NONE) != 0)
      throw std::runtime_error("cannot map a guarded source");
    return map + page;
  }();
  uint8_t *data = atStart ? base : base + room - bytes;
  std::mt19937 gen(seed);
  for (size_t i = 0; i < bytes; ++i) data[i] = uint8_t(gen());
  return data;
}

// Mixes each case through both kernels in uneven blocks, into a mix that already holds other
// voices, and compares every block.
void expect_all_same_as_reference(const char *path,
                                  MixKernel (*variant)(SourceFormat, Resampler) noexcept) {
  for (Resampler mode : {Resampler::Linear, Resampler::Sinc})
    for (SourceFormat format : {SourceFormat::Mono8, SourceFormat::Mono16, SourceFormat::Stereo8,
                                SourceFormat::Stereo16}) {
      const MixKernel kernel = variant(format, mode);
      const MixKernel reference = wail::scalar_kernel(format, mode);
      bool atStart = false;
      for (const VoiceMix &c : cases()) {
        atStart = !atStart;
        SCOPED_TRACE(testing::Message()
                     << path << " mode " << int(mode) << " format " << int(format) << " frames "
                     << c.frames << " step " << c.step << " plays " << c.playsLeft);
        VoiceMix ours = c;
        ours.data = guarded_noise(c.frames * kFrameBytes[int(format)], c.frames, atStart);
        VoiceMix ref = ours;
        std::mt19937 gen(c.frames);
        std::uniform_real_distribution<float> level(-1.0f, 1.0f);
        for (uint32_t count : {1024, 37, 8, 1, 300, 1024}) {
          std::vector<float> want(2 * size_t{count});
          for (float &x : want) x = level(gen);
          std::vector<float> got = want;
          ASSERT_EQ(kernel(ours, got.data(), count), reference(ref, want.data(), count));
          ASSERT_EQ(ours.position, ref.position);
          ASSERT_EQ(ours.playsLeft, ref.playsLeft);
          for (size_t i = 0; i < got.size(); ++i)
            ASSERT_NEAR(got[i], want[i], tolerance(mode))
                << "block of " << count << ", float " << i;
        }
      }
    }
}

TEST(SimdKernels, EveryVectorPathThisProcessorRunsMatchesTheReference) {
  using namespace wail::kernels;
  expect_all_same_as_reference("SSE2", sse2_kernel);
#if defined(WAIL_KERNELS_X86)
  if (cpu_has_avx2()) expect_all_same_as_reference("AVX2", avx2_kernel);
  if (cpu_has_avx512()) expect_all_same_as_reference("AVX-512", avx512_kernel);
#endif
}
#endif

} // namespace
