// The SSE2, AVX2 and AVX-512 kernels against the scalar reference: every format, rate ratios from
// heavy upsampling to decimation, gains and pans, and loop points and ends that fall inside a
// vector. Each source ends right at an unmapped page, so a fetch past its end faults (ASan does
// not see inside a gather).
#include "audio/kernels/kernel_variants.h"
#include "audio/kernels/mix_kernel.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <stdexcept>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

#if defined(WAIL_KERNELS_X86)
namespace {

using wail::MixKernel;
using wail::SourceFormat;
using wail::VoiceMix;

// The vector paths fuse multiply-adds that the reference rounds twice: a few ulps of mixes
// that reach 4 (measured worst 2.4e-7).
constexpr float kTolerance = 1e-6f;
constexpr uint64_t kOne = uint64_t{1} << 32;

uint64_t step_for(double sourceRate) { return static_cast<uint64_t>(sourceRate / 48000 * kOne); }

struct Case {
  uint32_t frames; // sample length
  uint64_t step;   // 32.32
  uint64_t start;  // 32.32 position
  uint32_t plays;  // 0 = forever
  float left, right;
};

std::vector<Case> cases() {
  const uint64_t steps[] = {
      step_for(11025), step_for(22050),  step_for(44100), kOne, step_for(96000),
      step_for(7919),  step_for(250000), kOne / 2,        0};
  const uint32_t lengths[] = {1, 2, 3, 5, 13, 100, 4099};
  std::vector<Case> all;
  for (uint64_t step : steps) {
    for (uint32_t frames : lengths) {
      const uint64_t start = (uint64_t{frames} / 3 << 32) + 0x9E3779B9u;
      all.push_back({frames, step, start, 1, 1.0f, 1.0f}); // one play that ends
      all.push_back({frames, step, 0, 3, 0.25f, 0.8f});    // counted loops, panned right
      all.push_back({frames, step, start, 0, 1.7f, 0.0f}); // forever, hard left, loud
    }
  }
  // Every start over the last 40 frames, held or crawling, so that some iteration begins at
  // each index the vector paths may reach.
  for (uint64_t step : {uint64_t{0}, kOne / 1000, step_for(11025), kOne}) {
    for (uint32_t back = 1; back <= 40; ++back)
      all.push_back({100, step, (uint64_t{100 - back} << 32) + 0x12345678u, 1, 0.5f, 0.5f});
  }
  return all;
}

// Random bytes placed so that the byte after the last one is in a page that cannot be read.
class GuardedNoise {
public:
  GuardedNoise(size_t bytes, uint32_t seed) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    size_ = (bytes + page - 1) / page * page + page;
    void *map = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED) throw std::runtime_error("no memory for a guarded source");
    base_ = static_cast<uint8_t *>(map);
    if (mprotect(base_ + size_ - page, page, PROT_NONE) != 0)
      throw std::runtime_error("cannot guard the source's end");
    data_ = base_ + size_ - page - bytes;
    std::mt19937 gen(seed);
    for (size_t i = 0; i < bytes; ++i) data_[i] = static_cast<uint8_t>(gen());
  }
  ~GuardedNoise() { munmap(base_, size_); }
  GuardedNoise(const GuardedNoise &) = delete;
  GuardedNoise &operator=(const GuardedNoise &) = delete;
  const uint8_t *data() const { return data_; }

private:
  uint8_t *base_ = nullptr, *data_ = nullptr;
  size_t size_ = 0;
};

// A mix that already holds other voices.
std::vector<float> mix_in_progress(uint32_t frames) {
  std::mt19937 gen(frames);
  std::uniform_real_distribution<float> level(-1.0f, 1.0f);
  std::vector<float> mix(size_t{2} * frames);
  for (auto &x : mix) x = level(gen);
  return mix;
}

uint32_t bytes_per_frame(SourceFormat f) {
  const bool stereo = f == SourceFormat::Stereo8 || f == SourceFormat::Stereo16;
  const bool wide = f == SourceFormat::Mono16 || f == SourceFormat::Stereo16;
  return (stereo ? 2 : 1) * (wide ? 2 : 1);
}

// Mixes the same voice through both kernels in uneven blocks and compares every block.
void expect_same_as_reference(SourceFormat format, MixKernel kernel, const Case &c) {
  const MixKernel reference = wail::scalar_kernel(format);
  const GuardedNoise data(size_t{c.frames} * bytes_per_frame(format), c.frames);
  VoiceMix ours{data.data(),           c.frames,    c.start, c.step, c.left, c.right,
                std::max(c.plays, 1u), c.plays == 0};
  VoiceMix ref = ours;
  const uint32_t blocks[] = {1024, 37, 8, 1, 300, 1024};
  for (uint32_t count : blocks) {
    std::vector<float> want = mix_in_progress(count);
    std::vector<float> got = want;
    const uint32_t wantFrames = reference(ref, want.data(), count);
    ASSERT_EQ(kernel(ours, got.data(), count), wantFrames);
    ASSERT_EQ(ours.position, ref.position);
    ASSERT_EQ(ours.playsLeft, ref.playsLeft);
    float worst = 0.0f;
    for (size_t i = 0; i < got.size(); ++i) worst = std::max(worst, std::fabs(got[i] - want[i]));
    ASSERT_LE(worst, kTolerance) << "block of " << count;
  }
}

void expect_all_same_as_reference(MixKernel (*variant)(SourceFormat) noexcept) {
  const SourceFormat formats[] = {SourceFormat::Mono8, SourceFormat::Mono16, SourceFormat::Stereo8,
                                  SourceFormat::Stereo16};
  for (SourceFormat format : formats) {
    for (const Case &c : cases()) {
      SCOPED_TRACE(testing::Message() << "format " << int(format) << " frames " << c.frames
                                      << " step " << c.step << " plays " << c.plays);
      expect_same_as_reference(format, variant(format), c);
      if (testing::Test::HasFatalFailure()) return;
    }
  }
}

TEST(SimdKernels, Sse2MatchesTheReference) {
  expect_all_same_as_reference(wail::kernels::sse2_kernel);
}

TEST(SimdKernels, Avx2MatchesTheReference) {
  if (!wail::kernels::cpu_has_avx2()) GTEST_SKIP() << "no AVX2 on this processor";
  expect_all_same_as_reference(wail::kernels::avx2_kernel);
}

TEST(SimdKernels, Avx512MatchesTheReference) {
  if (!wail::kernels::cpu_has_avx512()) GTEST_SKIP() << "no AVX-512 on this processor";
  expect_all_same_as_reference(wail::kernels::avx512_kernel);
}

TEST(SimdKernels, SelectionTakesTheWidestPathTheProcessorRuns) {
  using namespace wail::kernels;
  for (auto f : {SourceFormat::Mono8, SourceFormat::Stereo16}) {
    const MixKernel expected = cpu_has_avx512() ? avx512_kernel(f)
                               : cpu_has_avx2() ? avx2_kernel(f)
                                                : sse2_kernel(f);
    EXPECT_EQ(wail::select_kernel(f), expected);
  }
}

} // namespace
#endif
