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
    KSOUNDClose();
    KTUNE_ShutDown();
    fake::reset();
    platform::fail_nth_allocation(0);
    engine::g_state = {};
    banks::ClearPackageTable();
    blocksBefore_ = platform::live_blocks();
  }
  void TearDown() override {
    platform::fail_nth_allocation(0);
    KSOUNDClose();
    KTUNE_ShutDown();
    banks::ClearPackageTable();
    engine::g_state = {};
  }

  // Position of the first recorded call of `name`, or -1.
  static long first(const std::string &name) {
    std::vector<std::string> names = fake::call_names();
    auto at = std::find(names.begin(), names.end(), name);
    return at == names.end() ? -1 : at - names.begin();
  }
  // A start-up failure leaves the library closed with nothing of the engine's allocated.
  void expect_refused_with(int32_t code) {
    EXPECT_EQ(engine::g_state.initialised, 0);
    EXPECT_EQ(engine::g_state.lastError, code);
    EXPECT_EQ(engine::g_channels.table, nullptr);
    EXPECT_EQ(banks::g_duplicates.dupCount, 0);
    EXPECT_EQ(platform::live_blocks(), blocksBefore_);
  }

  long blocksBefore_ = 0;
};

TEST_F(StartupTest, InitRunsItsStepsInOrderAndEmptiesThePackageTable) {
  banks::g_packages[3].inUse = 1;
  ASSERT_EQ(KSOUNDInit(0x10004, 20), 1); // only the low 16 bits of the channel count count
  EXPECT_EQ(banks::g_packages[3].inUse, 0u);
  EXPECT_EQ(first("AIL_startup"), 0);
  EXPECT_LT(first("AIL_startup"), first("midiOutGetNumDevs"));
  EXPECT_LT(first("AIL_allocate_sequence_handle"), first("waveOutGetNumDevs"));
  EXPECT_EQ(fake::count("AIL_allocate_sample_handle"), 4);
  const fake::Call &open = fake::calls()[(size_t)first("AIL_waveOutOpen")];
  EXPECT_EQ(open.args[1], 2);     // stereo
  EXPECT_EQ(open.args[2], 11025); // Hz
  EXPECT_EQ(open.args[5], 8);     // bits
  EXPECT_EQ(engine::g_state.initialised, 1);
  EXPECT_EQ(engine::g_state.lastError, 0);
  EXPECT_EQ(engine::live_channel_count(), 4);
  EXPECT_EQ(banks::g_duplicates.dupCount, 20);
  EXPECT_EQ(platform::live_blocks(), blocksBefore_ + 3); // channel table, pool, source table
}

TEST_F(StartupTest, SecondInitIsRefusedLeavingEverythingAsItWas) {
  ASSERT_EQ(KSOUNDInit(2, 16), 1);
  engine::set_error(engine::kNoChannel);
  banks::g_packages[1].inUse = 1;
  fake::clear_calls();
  EXPECT_EQ(KSOUNDInit(8, 100), 0);
  EXPECT_TRUE(fake::calls().empty());
  EXPECT_EQ(engine::g_state.lastError, engine::kNoChannel);
  EXPECT_EQ(banks::g_packages[1].inUse, 1u);
  EXPECT_EQ(engine::live_channel_count(), 2);
  EXPECT_EQ(banks::g_duplicates.dupCount, 16);
}

TEST_F(StartupTest, NoMidiDeviceFailsBeforeTheDriverIsOpened) {
  fake::config().midiDevices = 0;
  EXPECT_EQ(KSOUNDInit(2, 16), 0);
  EXPECT_EQ(first("AIL_startup"), 0);
  EXPECT_EQ(first("waveOutGetNumDevs"), -1);
  expect_refused_with(0);
  fake::config().midiDevices = 1;
  EXPECT_EQ(KSOUNDInit(2, 16), 1);
}

TEST_F(StartupTest, EachDriverFailureLeavesItsCodeAndNothingAllocated) {
  struct Case {
    const char *what;
    void (*configure)();
    int32_t code;
  };
  const Case cases[] = {
      {"no device", [] { fake::config().waveDevices.clear(); }, engine::kNoWaveDevice},
      {"no format", [] { fake::config().waveDevices = {WAVE_FORMAT_1M16}; },
       engine::kNoMatchingFormat},
      {"open fails", [] { fake::config().waveOpenResult = 4; }, engine::kDriverOpenFailed},
      {"few handles", [] { fake::config().sampleHandleLimit = 3; }, engine::kTooFewHandles},
      {"no table", [] { platform::fail_nth_allocation(1); }, engine::kOutOfMemory},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    fake::reset();
    c.configure();
    EXPECT_EQ(KSOUNDInit(4, 16), 0);
    expect_refused_with(c.code);
    if (c.code == engine::kDriverOpenFailed) {
      EXPECT_STREQ(engine::g_state.driverFailureText, fake::config().lastError.c_str());
    }
    // Music stays up; a later start-up runs every step again and succeeds.
    fake::reset();
    EXPECT_EQ(KSOUNDInit(4, 16), 1);
    EXPECT_EQ(fake::count("AIL_midiOutOpen"), 0);
    EXPECT_EQ(fake::count("AIL_startup"), 1);
    KSOUNDClose();
  }
}

TEST_F(StartupTest, DuplicateSlotCountUsesLowBitsClampedTo16Through256) {
  const std::pair<uint32_t, uint16_t> cases[] = {{0, 16},    {16, 16},   {17, 17},   {255, 255},
                                                 {256, 256}, {300, 256}, {65536, 16}};
  for (auto [requested, slots] : cases) {
    SCOPED_TRACE(requested);
    ASSERT_EQ(KSOUNDInit(1, requested), 1);
    ASSERT_EQ(banks::g_duplicates.dupCount, slots);
    for (uint16_t k = 0; k < slots; ++k) {
      EXPECT_EQ(banks::g_duplicates.slots[k].id, -1);
      EXPECT_EQ(banks::g_duplicates.slots[k].status, 0u);
      EXPECT_EQ(banks::g_duplicates.sources[k], 0);
    }
    KSOUNDClose();
  }
}

TEST_F(StartupTest, PoolAllocationFailureClosesEverythingWithCode5) {
  // Allocation 1 is the channel table; 2 the pool, 3 the source table.
  for (int failing : {2, 3}) {
    SCOPED_TRACE(failing);
    fake::reset();
    platform::fail_nth_allocation(failing);
    EXPECT_EQ(KSOUNDInit(2, 32), 0);
    expect_refused_with(engine::kOutOfMemory);
    EXPECT_EQ(fake::count("AIL_midiOutClose"), 1);
    EXPECT_EQ(fake::count("AIL_shutdown"), 1);
    EXPECT_EQ(KSFX_GetChannel(0), nullptr);
  }
  EXPECT_EQ(KSOUNDInit(2, 32), 1);
}

TEST_F(StartupTest, CloseShutsDownInOrderAndReleasesEverythingOnceServeOnlyWhileUp) {
  KSOUNDClose();
  SoundServe();
  EXPECT_TRUE(fake::calls().empty());
  ASSERT_EQ(KSOUNDInit(3, 40), 1);
  fake::clear_calls();
  SoundServe();
  EXPECT_EQ(fake::call_names(), std::vector<std::string>{"AIL_serve"});
  engine::set_error(engine::kAlreadyPlaying);
  fake::clear_calls();
  KSOUNDClose();
  EXPECT_LT(first("AIL_midiOutClose"), first("AIL_shutdown"));
  EXPECT_EQ(fake::count("AIL_shutdown"), 1);
  EXPECT_EQ(engine::g_state.initialised, 0);
  EXPECT_EQ(engine::g_state.lastError, engine::kAlreadyPlaying);
  EXPECT_EQ(platform::live_blocks(), blocksBefore_);
  // Nothing reaches the released table or pool.
  EXPECT_EQ(engine::live_channel_count(), 0);
  EXPECT_EQ(KSFX_GetChannel(0), nullptr);
  EXPECT_EQ(banks::g_duplicates.dupCount, 0);
  fake::clear_calls();
  KSOUNDClose();
  SoundServe();
  EXPECT_TRUE(fake::calls().empty());
}

} // namespace
