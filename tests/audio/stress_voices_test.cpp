// The audio library under concurrent use, real time on the null output: a host thread starts,
// stops, ends and re-programs 32 voices while the render runs them out and the service thread
// delivers their ends. Every start that ends must be called back exactly once, never twice,
// never after a restart or a stop.
#include "wail32.h"

#include <array>
#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <random>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr int kVoices = 32;

// What the host expects of each voice; read and written only under AIL_lock.
struct Expectation {
  std::array<HSAMPLE, kVoices> voices{};
  std::array<bool, kVoices> endOwed{}; // started, not stopped or ended yet
  int callbacks = 0;
  int unexpected = 0; // callbacks for a voice that owed no end
};
Expectation g_expect;

int index_of(HSAMPLE s) {
  for (int i = 0; i < kVoices; ++i)
    if (g_expect.voices[static_cast<size_t>(i)] == s) return i;
  return -1;
}

void on_end(HSAMPLE s) {
  const int i = index_of(s);
  ++g_expect.callbacks;
  if (i < 0 || !g_expect.endOwed[static_cast<size_t>(i)])
    ++g_expect.unexpected;
  else
    g_expect.endOwed[static_cast<size_t>(i)] = false;
}

bool any_end_owed() {
  AIL_lock();
  bool owed = false;
  for (bool b : g_expect.endOwed) owed = owed || b;
  AIL_unlock();
  return owed;
}

TEST(StressVoices, EveryStartThatEndsIsCalledBackExactlyOnce) {
  setenv("KSND_AUDIO", "null", 1);
  AIL_startup();
  HDIGDRIVER driver = nullptr;
  const PCMWAVEFORMAT format{1, 2, 11025, 22050, 2, 8};
  ASSERT_EQ(AIL_waveOutOpen(&driver, nullptr, 0, &format), 0);
  std::vector<uint8_t> pcm8(2205, 0x90);  // up to 200 ms at 11025 Hz
  std::vector<int16_t> pcm16(4410, 3000); // stereo 16-bit, 100 ms at 22050 Hz
  for (auto &v : g_expect.voices) {
    v = AIL_allocate_sample_handle(driver);
    ASSERT_NE(v, nullptr);
    AIL_register_EOS_callback(v, on_end);
  }

  std::mt19937 random(12345);
  auto pick = [&](uint32_t n) { return static_cast<uint32_t>(random() % n); };
  const auto until = std::chrono::steady_clock::now() + 3s;
  int syncMisses = 0;
  while (std::chrono::steady_clock::now() < until) {
    const auto i = static_cast<size_t>(pick(kVoices));
    HSAMPLE v = g_expect.voices[i];
    AIL_lock();
    switch (pick(6)) {
    case 0:
    case 1: // (re)start a short sample; a restart supersedes the start before it
      if (pick(2) != 0) {
        AIL_set_sample_address(v, pcm8.data(), 20 + pick(2000));
        AIL_set_sample_type(v, DIG_F_MONO_8, 0);
        AIL_set_sample_playback_rate(v, 11025);
      } else {
        AIL_set_sample_address(v, pcm16.data(), 4 * (5 + pick(2000)));
        AIL_set_sample_type(v, DIG_F_STEREO_16, DIG_PCM_SIGNED);
        AIL_set_sample_playback_rate(v, 22050);
      }
      AIL_set_sample_loop_count(v, 1 + static_cast<int32_t>(pick(3)));
      AIL_start_sample(v);
      g_expect.endOwed[i] = true;
      break;
    case 2:
      AIL_stop_sample(v);
      g_expect.endOwed[i] = false;
      break;
    case 3: { // ends at once, on this thread, only if it still owed an end
      const bool owed = g_expect.endOwed[i];
      const int before = g_expect.callbacks;
      AIL_end_sample(v);
      syncMisses += (g_expect.callbacks - before) != (owed ? 1 : 0);
      break;
    }
    case 4: // stop, then continue where it stopped
      AIL_stop_sample(v);
      AIL_set_sample_position(v, AIL_sample_position(v));
      AIL_start_sample(v);
      g_expect.endOwed[i] = true;
      break;
    default:
      AIL_set_sample_volume(v, static_cast<int32_t>(pick(128)));
      AIL_set_sample_pan(v, static_cast<int32_t>(pick(128)));
      AIL_set_sample_playback_rate(v, 4000 + static_cast<int32_t>(pick(40000)));
      break;
    }
    AIL_unlock();
    if (pick(4) == 0) std::this_thread::sleep_for(100us);
  }

  // Let everything still playing run out (at most ~3 plays of 200 ms at the slowest rate).
  const auto settle = std::chrono::steady_clock::now() + 5s;
  while (any_end_owed() && std::chrono::steady_clock::now() < settle)
    std::this_thread::sleep_for(5ms);
  AIL_lock();
  EXPECT_FALSE([] {
    for (bool b : g_expect.endOwed)
      if (b) return true;
    return false;
  }());
  EXPECT_EQ(g_expect.unexpected, 0);
  EXPECT_EQ(syncMisses, 0);
  EXPECT_GT(g_expect.callbacks, 100);
  for (HSAMPLE v : g_expect.voices)
    EXPECT_EQ(AIL_sample_status(v), static_cast<uint32_t>(SMP_DONE));
  AIL_unlock();
  AIL_shutdown();
  unsetenv("KSND_AUDIO");
}

} // namespace
