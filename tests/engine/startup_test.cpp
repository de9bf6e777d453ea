// Library start-up, shutdown and service through the recording fake: the order of the steps,
// every failure path, the duplicate pool's size and what is released.
#include "banks/duplicates.h"
#include "banks/package_table.h"
#include "engine/channels.h"
#include "engine/state.h"
#include "ksnd32.h"
#include "platform/memory.h"
#include "support/fake_wail.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

class StartupTest : public ::testing::Test {
protected:
  void SetUp() override {
    TearDown();
    fake::reset();
    blocksBefore_ = platform::live_blocks();
  }
  void TearDown() override {
    platform::fail_nth_allocation(0);
    KSOUNDClose();
    KTUNE_ShutDown();
    banks::ClearPackageTable();
    engine::g_state = {};
  }
  // Position of the first recorded call of `name`; the call count when there is none.
  static long first(const std::string &name) {
    std::vector<std::string> names = fake::call_names();
    return std::find(names.begin(), names.end(), name) - names.begin();
  }
  // A start-up failure leaves the library closed with nothing of the engine's allocated.
  void expect_refused_with(int32_t code) {
    EXPECT_EQ(engine::g_state.initialised, 0);
    EXPECT_EQ(engine::g_state.lastError, code);
    EXPECT_EQ(KSFX_GetChannel(0), nullptr);
    EXPECT_EQ(banks::g_duplicates.dupCount, 0);
    EXPECT_EQ(platform::live_blocks(), blocksBefore_);
  }
  long blocksBefore_ = 0;
};

TEST_F(StartupTest, InitRunsInOrderASecondInitIsRefusedAndCloseReleasesEverything) {
  KSOUNDClose(); // before start-up: close and serve do nothing
  SoundServe();
  EXPECT_TRUE(fake::calls().empty());
  banks::g_packages[3].inUse = 1;
  ASSERT_EQ(KSOUNDInit(0x10004, 20), 1); // only the low 16 bits of the channel count count
  EXPECT_EQ(banks::g_packages[3].inUse, 0u);
  EXPECT_EQ(first("AIL_startup"), 0);
  EXPECT_LT(first("midiOutGetNumDevs"), first("waveOutGetNumDevs"));
  // device, channels, rate, bytes per second, alignment, bits, wave-out handle
  EXPECT_EQ(fake::calls().at((size_t)first("AIL_waveOutOpen")).args,
            (std::vector<intptr_t>{0, 2, 11025, 22050, 2, 8, 0}));
  EXPECT_EQ(engine::live_channel_count(), 4);
  EXPECT_EQ(banks::g_duplicates.dupCount, 20);
  EXPECT_EQ(platform::live_blocks(), blocksBefore_ + 3); // channel table, pool, source table

  engine::set_error(engine::kNoChannel);
  fake::clear_calls();
  EXPECT_EQ(KSOUNDInit(8, 100), 0);
  EXPECT_TRUE(fake::calls().empty());
  EXPECT_EQ(engine::g_state.lastError, engine::kNoChannel);

  SoundServe();
  EXPECT_EQ(fake::call_names(), std::vector<std::string>{"AIL_serve"});
  KSOUNDClose();
  EXPECT_LT(first("AIL_midiOutClose"), first("AIL_shutdown"));
  expect_refused_with(engine::kNoChannel); // the code survives the close
}

TEST_F(StartupTest, EachFailureLeavesItsCodeAndNothingAllocated) {
  struct Case {
    const char *what;
    void (*configure)();
    int32_t code;
    int musicClosed;
  };
  const Case cases[] = {
      {"no MIDI device", [] { fake::config().midiDevices = 0; }, engine::kOk, 0},
      {"no wave device", [] { fake::config().waveDevices.clear(); }, engine::kNoWaveDevice, 0},
      {"no format", [] { fake::config().waveDevices = {WAVE_FORMAT_1M16}; },
       engine::kNoMatchingFormat, 0},
      {"open fails", [] { fake::config().waveOpenResult = 4; }, engine::kDriverOpenFailed, 0},
      {"few handles", [] { fake::config().sampleHandleLimit = 3; }, engine::kTooFewHandles, 0},
      // Allocation 1 is the channel table, 2 the pool, 3 the pool's source table.
      {"no table", [] { platform::fail_nth_allocation(1); }, engine::kOutOfMemory, 0},
      {"no pool", [] { platform::fail_nth_allocation(2); }, engine::kOutOfMemory, 1},
      {"no source table", [] { platform::fail_nth_allocation(3); }, engine::kOutOfMemory, 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    fake::reset();
    c.configure();
    EXPECT_EQ(KSOUNDInit(4, 16), 0);
    expect_refused_with(c.code);
    EXPECT_EQ(fake::count("AIL_midiOutClose"), c.musicClosed);
    if (c.code == engine::kDriverOpenFailed) {
      EXPECT_STREQ(engine::g_state.driverFailureText, fake::config().lastError.c_str());
    }
    // The fake keeps its driver state: a failure that left the driver open fails the retry.
    platform::fail_nth_allocation(0);
    fake::config() = fake::Config{};
    EXPECT_EQ(KSOUNDInit(4, 16), 1); // a later start-up runs every step again
    KSOUNDClose();
  }
}

TEST_F(StartupTest, DuplicateSlotCountUsesLowBitsClampedTo16Through256) {
  const std::pair<uint32_t, uint16_t> cases[] = {{0, 16},    {16, 16},   {17, 17},   {255, 255},
                                                 {256, 256}, {300, 256}, {65536, 16}};
  for (auto [requested, slots] : cases) {
    ASSERT_EQ(KSOUNDInit(1, requested), 1);
    EXPECT_EQ(banks::g_duplicates.dupCount, slots) << requested;
    EXPECT_EQ(banks::g_duplicates.slots[slots - 1].id, -1) << requested;
    KSOUNDClose();
  }
}

TEST_F(StartupTest, RecordLeftPlayingAcrossARestartNeverReachesTheNewTableAtTheSameAddress) {
  SampleRecord sample{};
  SoundRecord old{}, fresh{};
  for (SoundRecord *r : {&old, &fresh}) {
    r->sample = &sample;
    r->rate = r->volume = r->pan = -1;
  }
  ASSERT_EQ(KSOUNDInit(2, 16), 1);
  Channel *before = KSFX_GetChannel(0);
  ASSERT_EQ(KSFX_PlaySFX(&old), 1);
  platform::reuse_next_released_block(); // the channel table is the first block released
  KSOUNDClose();                         // the record keeps status 1 and its old channel
  ASSERT_EQ(KSOUNDInit(2, 16), 1);
  ASSERT_EQ(KSFX_GetChannel(0), before);
  ASSERT_EQ(old.channel, before);
  ASSERT_EQ(KSFX_PlaySFX(&fresh), 1); // now the entry the old record names is busy
  ASSERT_EQ(fresh.channel, before);
  fake::clear_calls();
  KSFX_StopSFX(&old);
  EXPECT_EQ(KSFX_UpdateSFX(&old, -1, 50, -1), 0);
  EXPECT_TRUE(fake::calls().empty());
  EXPECT_EQ(fresh.status, 1u);
}

} // namespace
