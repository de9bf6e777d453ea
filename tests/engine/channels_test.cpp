// The device search, the driver open and the channel table, through the recording fake.
#include "platform/memory.h"
#include "playback_fixture.h"

namespace {

using ChannelsTest = EngineTest;

TEST_F(ChannelsTest, DeviceSearchTakesHighestSuitableDeviceAndOpensItWithStartupFormat) {
  fake::config().waveDevices = {WAVE_FORMAT_1S08, WAVE_FORMAT_1S08 | WAVE_FORMAT_2S16,
                                WAVE_FORMAT_1M08};
  open(2);
  ASSERT_EQ(fake::count("AIL_waveOutOpen"), 1);
  for (const fake::Call &c : fake::calls()) {
    if (c.name != "AIL_waveOutOpen") continue;
    // device, channels, rate, bytes per second, alignment, bits, wave-out handle
    EXPECT_EQ(c.args, (std::vector<intptr_t>{1, 2, 11025, 22050, 2, 8, 0}));
  }
  EXPECT_EQ(engine::g_state.lastError, engine::kOk);
}

TEST_F(ChannelsTest, DeviceSearchCriteria) {
  fake::config().waveDevices = {WAVE_FORMAT_1M08};
  EXPECT_EQ(engine::find_wave_device(8, 11025, 1), -1);
  EXPECT_EQ(engine::g_state.lastError, engine::kNoMatchingFormat);
  // Stereo 0 accepts mono; all criteria 0 take the highest device reporting any format.
  EXPECT_EQ(engine::find_wave_device(8, 11025, 0), 0);
  fake::config().waveDevices = {WAVE_FORMAT_4M16, WAVE_FORMAT_2S16, 0};
  EXPECT_EQ(engine::find_wave_device(0, 0, 0), 1);
  EXPECT_EQ(engine::find_wave_device(16, 44100, 0), 0);
  EXPECT_EQ(engine::find_wave_device(16, 22050, 1), 1);
  EXPECT_EQ(engine::find_wave_device(8, 22050, 1), -1);

  fake::config().waveDevices = {};
  EXPECT_EQ(engine::open_driver(8, 11025, 1, 4), 0);
  EXPECT_EQ(engine::g_state.lastError, engine::kNoWaveDevice);
  EXPECT_EQ(fake::count("AIL_waveOutOpen"), 0);
}

TEST_F(ChannelsTest, DriverOpenFailureKeepsTheLibraryText) {
  fake::config().waveOpenResult = 7;
  EXPECT_EQ(engine::open_driver(8, 11025, 1, 4), 0);
  EXPECT_EQ(engine::g_state.lastError, engine::kDriverOpenFailed);
  EXPECT_EQ(engine::g_state.driverFailureText, fake::config().lastError.c_str());
  EXPECT_EQ(fake::count("AIL_allocate_sample_handle"), 0);
  EXPECT_EQ(engine::g_channels.table, nullptr);
}

TEST_F(ChannelsTest, TooFewHandlesOrNoTableFailsAndReleasesTheTable) {
  long before = platform::live_blocks();
  fake::config().sampleHandleLimit = 2;
  EXPECT_EQ(engine::open_driver(8, 11025, 1, 3), 0);
  EXPECT_EQ(engine::g_state.lastError, engine::kTooFewHandles);
  EXPECT_EQ(engine::g_channels.table, nullptr);
  EXPECT_EQ(engine::g_channels.count, 0);
  EXPECT_EQ(platform::live_blocks(), before);

  fake::reset();
  platform::fail_nth_allocation(1);
  EXPECT_EQ(engine::open_driver(8, 11025, 1, 3), 0);
  EXPECT_EQ(engine::g_state.lastError, engine::kOutOfMemory);
  EXPECT_EQ(fake::count("AIL_allocate_sample_handle"), 0);
}

TEST_F(ChannelsTest, TableEntriesAreIdleWithOwnHandleAndAreReachedThroughGetChannel) {
  open(3);
  ASSERT_EQ(engine::g_channels.count, 3);
  for (uint32_t k = 0; k < 3; ++k) {
    Channel *entry = KSFX_GetChannel(k);
    ASSERT_EQ(entry, &engine::g_channels.table[k]);
    EXPECT_EQ(entry->driver, channel(0).driver);
    EXPECT_EQ(entry->handle, fake::samples()[k]);
    EXPECT_EQ(entry->current, &engine::g_idleRecord);
    EXPECT_EQ(entry->suspended, nullptr);
    EXPECT_EQ(fake::sample(entry->handle).userData[0], reinterpret_cast<intptr_t>(entry));
    EXPECT_EQ(fake::sample(entry->handle).callback, &engine::end_of_sample);
  }
  EXPECT_EQ(engine::g_idleRecord.id, -2);
  EXPECT_EQ(KSFX_GetChannel(0x10001), &engine::g_channels.table[1]);
  EXPECT_EQ(KSFX_GetChannel(3), nullptr);
  engine::g_state.initialised = 0;
  EXPECT_EQ(KSFX_GetChannel(0), nullptr);
}

TEST_F(ChannelsTest, NoChannelsGiveAnEmptyTableThatRefusesEveryPlay) {
  open(0);
  SampleRecord s = make_sample();
  SoundRecord r = make_sound(&s, 9);
  EXPECT_EQ(KSFX_PlaySFX(&r), 0);
  EXPECT_EQ(engine::g_state.lastError, engine::kNoChannel);
  EXPECT_EQ(KSFX_GetChannel(0), nullptr);
}

} // namespace
