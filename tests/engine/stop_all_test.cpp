// A host that stops every sound and copy it knows of, repeating while any reports playing, ends
// with every channel idle: the resumable loop played again while suspended, the copy whose slot
// is handed out again while it waits, the killed copy that must not come back, and a seeded
// random load through the recording fake.
#include "banks/package_table.h"
#include "engine/channels.h"
#include "ksnd32.h"
#include "support/channel_invariant.h"
#include "support/fake_wail.h"
#include "support/records.h"

#include <gtest/gtest.h>
#include <random>
#include <utility>
#include <vector>

namespace {

using Handle = std::pair<int32_t, int32_t>; // bank, sound

class StopAllTest : public ::testing::Test {
protected:
  void SetUp() override {
    fake::reset();
    // 0 a resumable loop, 1 an interrupter, 2 a high filler, 3 a resumable one-shot, 4 a plain
    // loop, 5 a sequential group, 6 a random group of 3 and 4.
    const std::pair<uint32_t, uint16_t> kinds[] = {
        {1, KSFX_RESUME | KSFX_LOOP}, {5, 0}, {9, 0}, {2, KSFX_RESUME}, {3, KSFX_LOOP}};
    for (size_t k = 0; k < std::size(kinds); ++k)
      sounds_[k] = support::sound_of(&sample_, kinds[k].first, kinds[k].second);
    sounds_[5] = support::group_of(list_, 2, 4);
    sounds_[6] = support::group_of(list_, 2, 6, KSFX_RANDOM);
    for (int32_t k = 0; k < 7; ++k) sounds_[k].id = k;
  }
  void TearDown() override {
    KSOUNDClose();
    banks::ClearPackageTable();
  }
  // Starts the library with `channels` and lends it the records above as bank 0.
  void start(uint32_t channels) {
    ASSERT_EQ(KSOUNDInit(channels, 16), 1);
    banks::g_packages[0] = banks::PackageEntry{};
    banks::g_packages[0].inUse = 1;
    banks::g_packages[0].soundCount = (uint32_t)std::size(sounds_);
    banks::g_packages[0].sounds = sounds_;
  }
  static Channel &channel(uint32_t k) { return *KSFX_GetChannel(k); }
  static void finish(uint32_t k) { fake::finish_sample(channel(k).handle); }
  static int channels_holding(const SoundRecord *record) {
    int n = 0;
    for (uint32_t k = 0; KSFX_GetChannel(k) != nullptr; ++k) n += channel(k).current == record;
    return n;
  }
  // Stops every handle, repeating while any reads as playing (a stop may resume what waited).
  static void stop_everything(const std::vector<Handle> &known) {
    for (int round = 0; round < 16; ++round) {
      int playing = 0;
      for (auto [bank, sound] : known) playing += IsSoundPlaying(bank, sound);
      if (playing == 0) return;
      for (auto [bank, sound] : known) SoundStop(bank, sound);
    }
  }

  uint8_t pcm_[64] = {};
  SampleRecord sample_{pcm_, nullptr, sizeof pcm_, 11025, 100, 64, 0, 0};
  SoundRecord sounds_[7];
  SoundRecord *list_[3] = {&sounds_[3], &sounds_[4], nullptr};
};

TEST_F(StopAllTest, ResumableLoopPlayedAgainWhileSuspendedEndsOnOneChannelOnly) {
  start(2);
  SoundRecord &loop = sounds_[0], &interrupter = sounds_[1], &filler = sounds_[2];
  ASSERT_EQ(KSFX_PlaySFX(&filler), 1);      // channel 0
  ASSERT_EQ(KSFX_PlaySFX(&loop), 1);        // channel 1
  ASSERT_EQ(KSFX_PlaySFX(&interrupter), 1); // suspends the loop on channel 1
  ASSERT_EQ(loop.status, 0u);
  KSFX_StopSFX(&filler);
  ASSERT_EQ(KSFX_PlaySFX(&loop), 1); // reads as not playing: plays again, on channel 0
  finish(1);                         // the interrupter ends; the loop already plays elsewhere
  EXPECT_EQ(channels_holding(&loop), 1);
  EXPECT_EQ(channel(1).current, &engine::g_idleRecord);
  EXPECT_EQ(channel(1).suspended, nullptr);
  EXPECT_EQ(interrupter.status, 0u);
  EXPECT_EQ(support::channel_invariant_breach(), "");
  KSFX_StopSFX(&loop);
  EXPECT_EQ(support::busy_channels(), 0);
}

TEST_F(StopAllTest, SoundDupNeverHandsOutTheSlotOfASuspendedCopy) {
  start(3);
  ASSERT_EQ(SoundPlay(0, 0), 1); // the source plays on channel 0
  const int32_t copy = SoundDup(0, 0);
  ASSERT_EQ(copy, -2);
  SoundStop(0, 0);
  ASSERT_EQ(SoundPlay(0, copy), 1); // channel 0
  ASSERT_EQ(SoundPlay(0, 0), 1);    // channel 1
  ASSERT_EQ(SoundPlay(0, 2), 1);    // channel 2
  ASSERT_EQ(SoundPlay(0, 1), 1);    // suspends the copy on channel 0: its id reads -1
  ASSERT_EQ(SoundPtr(0, copy)->id, -1);
  SoundStop(0, 2);
  const int32_t second = SoundDup(0, 0);
  EXPECT_EQ(second, -3);              // slot 0 is still held by channel 0
  ASSERT_EQ(SoundPlay(0, second), 1); // channel 2
  finish(0);                          // the interrupter ends and the copy resumes
  EXPECT_EQ(SoundPtr(0, copy)->status, 1u);
  EXPECT_EQ(support::channel_invariant_breach(), "");
  stop_everything({{0, 0}, {0, 1}, {0, 2}, {0, copy}, {0, second}});
  EXPECT_EQ(support::busy_channels(), 0);
}

TEST_F(StopAllTest, KilledCopyThatWaitsSuspendedNeverComesBack) {
  start(1);
  ASSERT_EQ(SoundPlay(0, 3), 1);
  const int32_t copy = SoundDup(0, 3); // a resumable one-shot
  SoundStop(0, 3);
  ASSERT_EQ(SoundPlay(0, copy), 1);
  ASSERT_EQ(SoundPlay(0, 1), 1); // suspends the copy
  fake::clear_calls();
  EXPECT_EQ(SoundDupKill(0, copy), 1);
  EXPECT_EQ(channel(0).suspended, nullptr);
  EXPECT_EQ(fake::sample(channel(0).handle).userData[1], 0); // no resume marker left
  EXPECT_EQ(SoundDupKill(0, copy), 0);
  finish(0);
  EXPECT_EQ(SoundPtr(0, copy)->status, 0u);
  EXPECT_EQ(support::busy_channels(), 0);

  // A group copy waits suspended reading as playing (it moved on to its next element first).
  ASSERT_EQ(SoundPlay(0, 5), 1);
  const int32_t group = SoundDup(0, 5);
  SoundStop(0, 5);
  ASSERT_EQ(SoundPlay(0, group), 1);
  ASSERT_EQ(SoundPlay(0, 1), 1);
  ASSERT_EQ(channel(0).suspended, SoundPtr(0, group));
  ASSERT_EQ(IsSoundPlaying(0, group), 1);
  EXPECT_EQ(SoundDupKill(0, group), 1);
  EXPECT_EQ(IsSoundPlaying(0, group), 0);
  EXPECT_EQ(channel(0).current, SoundPtr(0, 1)); // the interrupter plays on, then ends alone
  finish(0);
  EXPECT_EQ(support::busy_channels(), 0);
}

// One host thread with the fake's finish_sample in the audio library's part: random plays,
// placements, updates, stops, copies, kills and ends, the invariant checked after each step.
TEST_F(StopAllTest, SeededRandomLoadLeavesNoChannelBusyAfterTheHostStopsEverything) {
  start(4);
  std::mt19937 random(20261206);
  auto pick = [&](uint32_t n) { return (uint32_t)(random() % n); };
  std::vector<Handle> known;
  for (int32_t k = 0; k < 7; ++k) known.push_back({0, k});
  auto any_handle = [&] { return known[pick((uint32_t)known.size())]; };
  for (int step = 0; step < 4000; ++step) {
    auto [bank, sound] = any_handle();
    switch (pick(9)) {
    case 0:
    case 1:
      SoundPlay(bank, sound);
      break;
    case 2:
      SoundPlace(bank, sound, (int32_t)pick(400) - 200, (int32_t)pick(400) - 200);
      break;
    case 3:
      SoundUpdate(bank, sound, -1, (int32_t)pick(128), -1);
      break;
    case 4:
      SoundStop(bank, sound);
      break;
    case 5:
      if (int32_t copy = SoundDup(0, (int32_t)pick(7)); copy <= -2) known.push_back({0, copy});
      break;
    case 6:
      (pick(2) ? SoundDupKill : SoundDupKillAll)(bank, sound);
      break;
    default:
      if (HSAMPLE handle = channel(pick(4)).handle; fake::sample(handle).status == SMP_PLAYING)
        fake::finish_sample(handle);
    }
    ASSERT_EQ(support::channel_invariant_breach(), "") << "step " << step;
  }
  stop_everything(known);
  EXPECT_EQ(support::busy_channels(), 0);
}

} // namespace
