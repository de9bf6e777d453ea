// Shared set-up for the mixer and output tests: the real audio library opened on its offline
// output, voices programmed in one call, rendering into vectors, and a callback recorder.
#pragma once

#include "wail32.h"

#include <cstdint>
#include <cstdlib>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <vector>

namespace mixer_test {

// Every end-of-sample callback: the handle and the thread it ran on.
struct Ended {
  HSAMPLE sample;
  std::thread::id thread;
};

inline std::mutex g_endedMutex;
inline std::vector<Ended> g_ended;

inline void record_end(HSAMPLE sample) {
  std::lock_guard lock(g_endedMutex);
  g_ended.push_back({sample, std::this_thread::get_id()});
}

inline std::vector<Ended> ended() {
  std::lock_guard lock(g_endedMutex);
  return g_ended;
}

inline int ends_of(HSAMPLE sample) {
  int n = 0;
  for (const Ended &e : ended()) n += e.sample == sample;
  return n;
}

// Opens the library on the output KSND_AUDIO names (offline unless a test says otherwise).
class LibraryTest : public ::testing::Test {
protected:
  void open(const char *output) {
    setenv("KSND_AUDIO", output, 1);
    AIL_startup();
    const PCMWAVEFORMAT format{1, 2, 11025, 22050, 2, 8};
    ASSERT_EQ(AIL_waveOutOpen(&driver_, nullptr, 0, &format), 0) << AIL_last_error();
  }
  void SetUp() override {
    {
      std::lock_guard lock(g_endedMutex);
      g_ended.clear();
    }
    open("offline");
  }
  void TearDown() override {
    AIL_shutdown();
    unsetenv("KSND_AUDIO");
  }

  // A voice playing `bytes` of `data` once at `rate`, volume 127, centre pan, not started.
  HSAMPLE voice(const void *data, uint32_t bytes, int32_t format, int32_t rate) {
    HSAMPLE s = AIL_allocate_sample_handle(driver_);
    EXPECT_NE(s, nullptr);
    AIL_register_EOS_callback(s, record_end);
    AIL_set_sample_address(s, data, bytes);
    const bool is16 = format == DIG_F_MONO_16 || format == DIG_F_STEREO_16;
    AIL_set_sample_type(s, format, is16 ? DIG_PCM_SIGNED : 0);
    AIL_set_sample_playback_rate(s, rate);
    AIL_set_sample_volume(s, 127);
    AIL_set_sample_pan(s, 64);
    AIL_set_sample_loop_count(s, 1);
    return s;
  }

  // `frames` stereo frames of the offline mix.
  std::vector<float> render(uint32_t frames) {
    std::vector<float> out(2 * static_cast<size_t>(frames));
    EXPECT_EQ(AIL_render_offline(out.data(), frames), frames);
    return out;
  }

  HDIGDRIVER driver_ = nullptr;
};

} // namespace mixer_test
