// End-of-sample callbacks through the offline output: one per start that ends, synchronous in
// AIL_end_sample, none for AIL_stop_sample, stale ends dropped; and the handle API's edges.
#include "mixer_fixture.h"

#include <string>

namespace mixer_test {
namespace {

using MixerCallbacks = LibraryTest;

uint32_t g_statusInCallback = 0;
HSAMPLE g_restartTarget = nullptr;

void record_status(HSAMPLE s) {
  g_statusInCallback = AIL_sample_status(s);
  record_end(s);
}

// Restarts another voice from inside a callback, as the engine resumes a suspended sound.
void restart_target(HSAMPLE s) {
  record_end(s);
  AIL_set_sample_position(g_restartTarget, 0);
  AIL_start_sample(g_restartTarget);
}

TEST_F(MixerCallbacks, EndSampleCallsBackOnTheCallersThreadBeforeReturning) {
  const std::vector<uint8_t> pcm(4800, 0xC0);
  HSAMPLE s = voice(pcm.data(), pcm.size(), DIG_F_MONO_8, 48000);
  EXPECT_EQ(AIL_register_EOS_callback(s, record_status), record_end);
  AIL_start_sample(s);
  render(100);
  AIL_end_sample(s);
  ASSERT_EQ(ended().size(), 1u);
  EXPECT_EQ(ended()[0].thread, std::this_thread::get_id());
  EXPECT_EQ(g_statusInCallback, static_cast<uint32_t>(SMP_DONE));
  AIL_end_sample(s); // not playing: no second callback
  const std::vector<float> out = render(4800);
  EXPECT_EQ(out[0], 0.0f);
  EXPECT_EQ(ended().size(), 1u);
}

TEST_F(MixerCallbacks, CallbacksOfOneRenderComeInTheOrderTheSoundsEnded) {
  const std::vector<uint8_t> pcm(1000, 0xC0);
  HSAMPLE late = voice(pcm.data(), 200, DIG_F_MONO_8, 48000);
  HSAMPLE early = voice(pcm.data(), 50, DIG_F_MONO_8, 48000);
  HSAMPLE next = voice(pcm.data(), 900, DIG_F_MONO_8, 48000);
  for (HSAMPLE s : {late, early, next}) AIL_start_sample(s);
  render(1000);
  const std::vector<Ended> got = ended();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].sample, early);
  EXPECT_EQ(got[1].sample, late);
  EXPECT_EQ(got[2].sample, next);
}

TEST_F(MixerCallbacks, RestartBetweenEndAndDeliveryDropsTheStaleEnd) {
  const std::vector<uint8_t> pcm(100, 0xC0);
  HSAMPLE first = voice(pcm.data(), pcm.size(), DIG_F_MONO_8, 48000);
  HSAMPLE target = voice(pcm.data(), pcm.size(), DIG_F_MONO_8, 48000);
  g_restartTarget = target;
  AIL_register_EOS_callback(first, restart_target);
  AIL_start_sample(first);
  AIL_start_sample(target);
  // Both end at frame 100; the first's callback restarts the target before its end is
  // delivered, so that end is stale. The target plays again and ends once.
  const std::vector<float> out = render(120);
  EXPECT_EQ(ends_of(first), 1);
  EXPECT_EQ(ends_of(target), 0);
  EXPECT_EQ(AIL_sample_status(target), static_cast<uint32_t>(SMP_PLAYING));
  render(240);
  EXPECT_EQ(ends_of(target), 1);
}

TEST_F(MixerCallbacks, BadHandlesAndArgumentsGetClearResults) {
  wail_sample *bogus = reinterpret_cast<wail_sample *>(&g_statusInCallback);
  EXPECT_EQ(AIL_sample_status(bogus), static_cast<uint32_t>(SMP_FREE));
  EXPECT_EQ(AIL_sample_position(bogus), 0u);
  AIL_start_sample(bogus);
  AIL_end_sample(nullptr);
  EXPECT_EQ(AIL_allocate_sample_handle(nullptr), nullptr);

  HSAMPLE s = voice(nullptr, 1000, DIG_F_MONO_8, 48000); // no data: ends at once
  AIL_set_sample_user_data(s, 2, 5);
  EXPECT_EQ(AIL_sample_user_data(s, 2), 0);
  AIL_set_sample_type(s, 9, 0);
  EXPECT_NE(std::string(AIL_last_error()).find("format"), std::string::npos);
  AIL_start_sample(s);
  render(10);
  EXPECT_EQ(ends_of(s), 1);

  HDIGDRIVER second = nullptr;
  const PCMWAVEFORMAT format{1, 2, 11025, 22050, 2, 8};
  EXPECT_NE(AIL_waveOutOpen(&second, nullptr, 0, &format), 0);
  EXPECT_EQ(second, nullptr);

  int handles = 1;
  while (AIL_allocate_sample_handle(driver_) != nullptr) ++handles;
  EXPECT_EQ(handles, 256);
}

TEST_F(MixerCallbacks, ShutdownReleasesHandlesAndStopsRendering) {
  const std::vector<uint8_t> pcm(100, 0xC0);
  HSAMPLE s = voice(pcm.data(), pcm.size(), DIG_F_MONO_8, 48000);
  AIL_start_sample(s);
  AIL_shutdown();
  EXPECT_EQ(AIL_sample_status(s), static_cast<uint32_t>(SMP_FREE));
  EXPECT_EQ(AIL_output_rate(), 0u);
  float out[4];
  EXPECT_EQ(AIL_render_offline(out, 2), 0u);
  EXPECT_EQ(ends_of(s), 0);
  open("offline");
}

} // namespace
} // namespace mixer_test
