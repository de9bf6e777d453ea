// The engine over the real audio library: suspension and resumption at the byte, sequential
// groups, and start-up on the default outputs, checked in the rendered sound itself.
#include "ksnd32.h"

#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

constexpr int16_t kInterrupter = -16384; // -0.5 full scale

// A 16-bit mono sample at 48000 Hz, full volume, centre pan.
SampleRecord sample16(const std::vector<int16_t> &pcm) {
  SampleRecord s{};
  s.data = reinterpret_cast<uint8_t *>(const_cast<int16_t *>(pcm.data()));
  s.length = static_cast<uint32_t>(pcm.size() * 2);
  s.rate = 48000;
  s.volume = 127;
  s.pan = 64;
  s.flags = KSFX_SAMPLE_16BIT;
  s.format = DIG_F_MONO_16;
  return s;
}

SoundRecord sound(SampleRecord *s, uint32_t priority, uint16_t flags) {
  SoundRecord r{};
  r.priority = priority;
  r.sample = s;
  r.flags = flags;
  r.rate = r.volume = r.pan = -1;
  return r;
}

float level(int16_t value) { return static_cast<float>(value) / 32768.0f; }

class EngineOffline : public ::testing::Test {
protected:
  void SetUp() override {
    setenv("KSND_AUDIO", "offline", 1);
    ASSERT_EQ(KSOUNDInit(1, 16), 1);
    for (size_t i = 0; i < ramp_.size(); ++i) ramp_[i] = static_cast<int16_t>(6 * i + 6);
  }
  void TearDown() override {
    KSOUNDClose();
    unsetenv("KSND_AUDIO");
  }
  // The left channel of `frames` rendered frames.
  std::vector<float> render(uint32_t frames) {
    std::vector<float> out(2 * static_cast<size_t>(frames));
    EXPECT_EQ(AIL_render_offline(out.data(), frames), frames);
    std::vector<float> left(frames);
    for (size_t i = 0; i < frames; ++i) left[i] = out[2 * i];
    return left;
  }
  // Asserts that `got` from `at` holds the ramp from frame `from` to its end, then silence.
  void expect_ramp_from(const std::vector<float> &got, size_t at, size_t from) {
    for (size_t i = from; i < ramp_.size(); ++i, ++at)
      ASSERT_FLOAT_EQ(got[at], level(ramp_[i])) << "ramp frame " << i;
    for (; at < got.size(); ++at) ASSERT_EQ(got[at], 0.0f) << at;
  }

  std::vector<int16_t> ramp_ = std::vector<int16_t>(4800);
  std::vector<int16_t> interrupter_ = std::vector<int16_t>(720, kInterrupter);
};

TEST_F(EngineOffline, InterruptedResumableSoundResumesAtTheByteWhenTheInterrupterEnds) {
  SampleRecord rampSample = sample16(ramp_), shortSample = sample16(interrupter_);
  SoundRecord resumable = sound(&rampSample, 1, KSFX_RESUME);
  SoundRecord oneShot = sound(&shortSample, 5, 0);
  ASSERT_EQ(KSFX_PlaySFX(&resumable), 1);
  render(2400);
  ASSERT_EQ(KSFX_PlaySFX(&oneShot), 1);
  EXPECT_EQ(KSFX_GetChannel(0)->suspended, &resumable);
  EXPECT_EQ(KSFX_GetChannel(0)->suspendedPos, 2400u * 2);
  const std::vector<float> out = render(4000);
  for (size_t i = 0; i < interrupter_.size(); ++i) ASSERT_FLOAT_EQ(out[i], -0.5f) << i;
  expect_ramp_from(out, interrupter_.size(), 2400);
  EXPECT_EQ(resumable.status, 0u);
  EXPECT_EQ(KSFX_GetChannel(0)->current->id, -2); // the idle record
}

TEST_F(EngineOffline, InterruptedResumableSoundResumesAtTheByteWhenTheInterrupterIsStopped) {
  SampleRecord rampSample = sample16(ramp_), shortSample = sample16(interrupter_);
  SoundRecord resumable = sound(&rampSample, 1, KSFX_RESUME);
  SoundRecord oneShot = sound(&shortSample, 5, 0);
  ASSERT_EQ(KSFX_PlaySFX(&resumable), 1);
  render(1234);
  ASSERT_EQ(KSFX_PlaySFX(&oneShot), 1);
  render(100);
  KSFX_StopSFX(&oneShot); // the callback resumes the ramp before StopSFX returns
  EXPECT_EQ(resumable.status, 1u);
  expect_ramp_from(render(4000), 0, 1234);
}

TEST_F(EngineOffline, SequentialGroupPlaysItsElementsBackToBack) {
  const std::vector<int16_t> a(480, 4000), b(700, 8000), c(240, 12000);
  SampleRecord sa = sample16(a), sb = sample16(b), sc = sample16(c);
  SoundRecord ea = sound(&sa, 0, 0), eb = sound(&sb, 0, 0), ec = sound(&sc, 0, 0);
  SoundRecord *list[] = {&ea, &eb, &ec, nullptr};
  SoundRecord group = sound(nullptr, 3, KSFX_GROUP);
  group.list = list;
  group.listCount = 3;
  ASSERT_EQ(KSFX_PlaySFX(&group), 1);
  const std::vector<float> out = render(2000);
  // Each element starts on the frame after the one before ends.
  auto expect_run = [&](size_t from, size_t to, float value) {
    for (size_t i = from; i < to; ++i) ASSERT_FLOAT_EQ(out[i], value) << i;
  };
  expect_run(0, 480, level(4000));
  expect_run(480, 1180, level(8000));
  expect_run(1180, 1420, level(12000));
  expect_run(1420, 2000, 0.0f);
  EXPECT_EQ(group.status, 0u);
  EXPECT_EQ(KSFX_GetChannel(0)->current->id, -2);
}

TEST(EngineDefaultOutput, KsoundInitSucceedsWithoutKsndAudioAndSoundsEndInRealTime) {
  unsetenv("KSND_AUDIO");
  ASSERT_EQ(KSOUNDInit(4, 16), 1);
  EXPECT_GT(AIL_output_rate(), 0u);
  const std::vector<int16_t> pcm(480, 1000); // 10 ms
  SampleRecord s = sample16(pcm);
  SoundRecord r = sound(&s, 1, 0);
  ASSERT_EQ(KSFX_PlaySFX(&r), 1);
  // The record is shared with the service thread's callback: read it under the lock.
  auto playing = [&] {
    AIL_lock();
    const bool on = r.status == 1;
    AIL_unlock();
    return on;
  };
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (playing() && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  AIL_lock();
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(KSFX_GetChannel(0)->current->id, -2);
  AIL_unlock();
  KSOUNDClose();
}

} // namespace
