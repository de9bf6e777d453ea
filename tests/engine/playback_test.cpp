// The channel table and effect playback through the recording fake: device search, channel
// choice, displacement with suspension and resumption, group records and 3D placement.
#include "engine/channels.h"
#include "engine/placement.h"
#include "engine/playback.h"
#include "engine/state.h"
#include "ksnd32.h"
#include "support/fake_wail.h"
#include "support/records.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

class PlayTest : public ::testing::Test {
protected:
  void SetUp() override {
    fake::reset();
    engine::reset_random();
    TearDown();
  }
  void TearDown() override {
    engine::release_channel_table();
    engine::g_state = {};
    engine::g_listener = {0, 0, 0, 6};
  }
  void open(uint16_t channels) {
    ASSERT_EQ(engine::open_driver(8, 11025, 1, channels), 1);
    engine::g_state.initialised = 1;
  }
  static Channel &channel(int k) { return engine::g_channels.table[k]; }
  static fake::Sample &voice(int k) { return fake::sample(channel(k).handle); }
  static void finish() { fake::finish_sample(channel(0).handle); }
  static SoundRecord make_sound(SampleRecord *sample, uint32_t priority, uint16_t flags = 0) {
    SoundRecord r = support::sound_of(sample, priority, flags);
    r.baseVolume = 100;
    return r;
  }
  // A group over elements_ (samples at 8000, 8001 and 8002 Hz, then the null entry).
  static SoundRecord group(uint16_t flags, SoundRecord **list, uint32_t count = 3) {
    return support::group_of(list, count, 2, flags);
  }

  uint8_t pcm_[4000] = {};
  // data, image, length, rate, volume, pan, flags, format
  SampleRecord sample_{pcm_, nullptr, sizeof pcm_, 11025, 100, 64, KSFX_SAMPLE_16BIT, 0};
  SampleRecord rates_[3] = {{pcm_, nullptr, 8, 8000, 100, 64, 0, 0},
                            {pcm_, nullptr, 8, 8001, 100, 64, 0, 0},
                            {pcm_, nullptr, 8, 8002, 100, 64, 0, 0}};
  SoundRecord elements_[3] = {make_sound(&rates_[0], 0), make_sound(&rates_[1], 0),
                              make_sound(&rates_[2], 0)};
  SoundRecord *list_[4] = {&elements_[0], &elements_[1], &elements_[2], nullptr};
};

TEST_F(PlayTest, DeviceSearchTakesTheHighestDeviceMeetingEveryNonZeroCriterion) {
  fake::config().waveDevices = {WAVE_FORMAT_1M08, WAVE_FORMAT_4M16, WAVE_FORMAT_2S16, 0};
  struct Case {
    uint16_t bits;
    uint32_t rate, stereo;
    int32_t device, code;
  };
  for (Case c : {Case{8, 11025, 1, -1, engine::kNoMatchingFormat}, Case{8, 11025, 0, 0, 0},
                 Case{0, 0, 0, 2, 0}, Case{16, 44100, 0, 1, 0}, Case{16, 22050, 1, 2, 0},
                 Case{8, 22050, 1, -1, engine::kNoMatchingFormat}}) {
    EXPECT_EQ(engine::find_wave_device(c.bits, c.rate, c.stereo), c.device) << c.bits << c.rate;
    EXPECT_EQ(engine::g_state.lastError, c.code);
  }
}

TEST_F(PlayTest, RefusalsSetCodes8Then7Then6AndAnUnconfirmedStartStillReturnsOne) {
  SoundRecord r = make_sound(&sample_, 1), noSample = make_sound(nullptr, 9);
  EXPECT_EQ(KSFX_PlaySFX(&r), 0);
  EXPECT_EQ(engine::g_state.lastError, engine::kNotInitialised);
  open(1);
  EXPECT_EQ(KSFX_PlaySFX(&r), 1);
  EXPECT_EQ(KSFX_PlaySFX(&r), 0);
  EXPECT_EQ(engine::g_state.lastError, engine::kAlreadyPlaying);
  fake::clear_calls();
  for (SoundRecord *unplayable : {&noSample, (SoundRecord *)nullptr}) {
    engine::g_state.lastError = engine::kOk;
    EXPECT_EQ(KSFX_PlaySFX(unplayable), 0);
    EXPECT_EQ(engine::g_state.lastError, engine::kNoChannel);
  }
  EXPECT_TRUE(fake::calls().empty());
  // A start the library does not confirm leaves the record and the channel idle.
  KSFX_StopSFX(&r);
  fake::config().startConfirms = false;
  EXPECT_EQ(KSFX_PlaySFX(&r), 1);
  EXPECT_EQ(engine::g_state.lastError, engine::kOk);
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(channel(0).current, &engine::g_idleRecord);
}

TEST_F(PlayTest, StoredValuesApplyAtStartAndWhilePlayingWithSampleDefaultsForMinusOne) {
  open(1);
  SoundRecord r = make_sound(&sample_, 1, KSFX_LOOP);
  EXPECT_EQ(KSFX_UpdateSFX(&r, -1, 0, -1), 0); // not playing: stored only
  ASSERT_EQ(KSFX_PlaySFX(&r), 1);
  EXPECT_EQ(voice(0).loopCount, 0);
  EXPECT_EQ(voice(0).typeFlags, (uint32_t)DIG_PCM_SIGNED); // a 16-bit sample
  EXPECT_EQ(voice(0).rate, 11025);
  EXPECT_EQ(voice(0).volume, 0);
  EXPECT_EQ(voice(0).pan, 64);
  EXPECT_EQ(KSFX_UpdateSFX(&r, 8000, 90, 10), 1);
  EXPECT_EQ(voice(0).rate, 8000);
  EXPECT_EQ(voice(0).pan, 10);
}

TEST_F(PlayTest, IdleChannelFirstThenLowestNumberedLowerPriorityNeverAnEqualOne) {
  open(3);
  SoundRecord a = make_sound(&sample_, 3), b = make_sound(&sample_, 1), c = make_sound(&sample_, 2);
  a.id = -5;
  for (SoundRecord *r : {&a, &b, &c}) ASSERT_EQ(KSFX_PlaySFX(r), 1);
  // Priorities 3, 1, 2: a 4 takes channel 0, not the channel with the lowest priority, and
  // ends the displaced duplicate through the callback, freeing its slot.
  SoundRecord four = make_sound(&sample_, 4), equal = make_sound(&sample_, 3);
  EXPECT_EQ(KSFX_PlaySFX(&four), 1);
  EXPECT_EQ(four.channel, &channel(0));
  EXPECT_EQ(a.id, -1);
  EXPECT_EQ(voice(0).userData[1], 0); // nothing waits to resume
  EXPECT_EQ(KSFX_PlaySFX(&equal), 1);
  EXPECT_EQ(equal.channel, &channel(1));
  // Now 4, 3, 2: a second 3 displaces only channel 2; a third finds no channel.
  SoundRecord again = make_sound(&sample_, 3), three = make_sound(&sample_, 3);
  EXPECT_EQ(KSFX_PlaySFX(&again), 1);
  EXPECT_EQ(again.channel, &channel(2));
  EXPECT_EQ(KSFX_PlaySFX(&three), 0);
  EXPECT_EQ(engine::g_state.lastError, engine::kNoChannel);
  // A freed channel is preferred to displacing a lower priority; a stray end on it leaves the
  // idle record's id alone.
  KSFX_StopSFX(&equal);
  AIL_end_sample(channel(1).handle);
  EXPECT_EQ(engine::g_idleRecord.id, -2);
  SoundRecord high = make_sound(&sample_, 9);
  EXPECT_EQ(KSFX_PlaySFX(&high), 1);
  EXPECT_EQ(high.channel, &channel(1));
}

// A resumable duplicate at byte 1234 interrupted by a priority-5 duplicate on the only channel.
class SuspendTest : public PlayTest {
protected:
  void SetUp() override {
    PlayTest::SetUp();
    open(1);
    resumable_.id = -4;
    interrupter_.id = -3;
    ASSERT_EQ(KSFX_PlaySFX(&resumable_), 1);
    fake::advance(channel(0).handle, 1234);
    ASSERT_EQ(KSFX_PlaySFX(&interrupter_), 1);
  }
  void expect_resumed_at(uint32_t position) {
    EXPECT_EQ(channel(0).current, &resumable_);
    EXPECT_EQ(channel(0).suspended, nullptr);
    EXPECT_EQ(resumable_.status, 1u);
    EXPECT_EQ(voice(0).position, position);
    EXPECT_EQ(voice(0).userData[1], 0); // no resume marker behind the resumed sound
  }
  SoundRecord resumable_ = make_sound(&sample_, 1, KSFX_RESUME);
  SoundRecord interrupter_ = make_sound(&sample_, 5);
};

TEST_F(SuspendTest, ResumesAtTheBytePositionWhenTheInterrupterEndsOrIsStoppedAndRefusesALoop) {
  EXPECT_EQ(resumable_.id, -1); // the suspended duplicate's slot is freed
  KSFX_StopSFX(&resumable_);    // not playing: nothing happens
  finish();
  expect_resumed_at(1234);
  EXPECT_EQ(interrupter_.id, -1);
  // A looping sound may not displace a resumable one, yet the play is not refused.
  SoundRecord looping = make_sound(&sample_, 9, KSFX_LOOP), second = make_sound(&sample_, 5);
  fake::clear_calls();
  EXPECT_EQ(KSFX_PlaySFX(&looping), 1);
  EXPECT_EQ(engine::g_state.lastError, engine::kOk);
  EXPECT_TRUE(fake::calls().empty());

  fake::advance(channel(0).handle, 2000);
  ASSERT_EQ(KSFX_PlaySFX(&second), 1);
  KSFX_StopSFX(&second);
  expect_resumed_at(2000);
}

TEST_F(SuspendTest, LaterInterruptersAreDroppedAndTheOldRecordStillResumes) {
  SoundRecord resumable2 = make_sound(&sample_, 9, KSFX_RESUME), plain = make_sound(&sample_, 10);
  for (auto [incoming, dropped] :
       {std::pair{&resumable2, &interrupter_}, std::pair{&plain, &resumable2}}) {
    fake::clear_calls();
    ASSERT_EQ(KSFX_PlaySFX(incoming), 1);
    EXPECT_EQ(fake::count("AIL_stop_sample"), 1); // halted without the callback
    EXPECT_EQ(dropped->status, 0u);
    EXPECT_EQ(channel(0).suspended, &resumable_);
  }
  EXPECT_EQ(interrupter_.id, -3); // a dropped duplicate keeps its slot
  finish();
  expect_resumed_at(1234);
}

TEST_F(PlayTest, SequentialGroupStartsEachElementOnceAndStopEndsItMidway) {
  open(1);
  SoundRecord g = group(0, list_);
  g.id = -7;
  ASSERT_EQ(KSFX_PlaySFX(&g), 1);
  std::vector<int32_t> rates;
  for (int i = 0; i < 3; ++i, finish()) rates.push_back(voice(0).rate);
  EXPECT_EQ(rates, (std::vector<int32_t>{8000, 8001, 8002}));
  EXPECT_EQ(fake::count("AIL_start_sample"), 3);
  EXPECT_EQ(g.id, -1);

  ASSERT_EQ(KSFX_PlaySFX(&g), 1);
  finish();
  KSFX_StopSFX(&g); // during the second element
  EXPECT_EQ(fake::count("AIL_start_sample"), 5);
  EXPECT_EQ(g.flags & KSFX_GROUP, KSFX_GROUP);
  EXPECT_EQ(channel(0).current, &engine::g_idleRecord);
}

TEST_F(PlayTest, EmptyGroupsAreRefusedAndRandomPicksFollowTheUntouchedGenerator) {
  open(1);
  SoundRecord *empty[] = {nullptr};
  SoundRecord noList = group(0, nullptr), emptyList = group(0, empty),
              noCount = group(KSFX_RANDOM, list_, 0), g = group(KSFX_RANDOM, list_);
  for (SoundRecord *refused : {&noList, &emptyList, &noCount}) {
    EXPECT_EQ(KSFX_PlaySFX(refused), 0);
    EXPECT_EQ(engine::g_state.lastError, engine::kNoChannel);
  }
  EXPECT_EQ(fake::count("AIL_start_sample"), 0);

  ASSERT_EQ(KSFX_PlaySFX(&g), 1);
  std::vector<long> picks;
  for (int i = 0; i < 5; ++i, finish()) picks.push_back(g.listPos - g.list);
  EXPECT_EQ(picks, (std::vector<long>{2, 2, 1, 1, 2}));
  EXPECT_EQ(g.status, 1u); // a random group never ends by itself
}

TEST_F(PlayTest, PlacementVolumeAndPanFromDistanceAndBearingToTheEar) {
  struct Case {
    int16_t earX, earY, direction, envelope, x, y;
    uint32_t baseVolume;
    int32_t volume, pan; // pan -1: not checked
  };
  // Far left gets 1, not 0: -x lies at bearing 383. Envelope 0: no fall-off; baseVolume -1: the
  // sample's volume (80 * 117 / 127); positions 65535 apart: their true distance, not wrapped.
  // clang-format off
  const Case cases[] = {
      {0, 0, 0, 6, 60, 0, 100, 92, 114},        {0, 0, 0, 6, -60, 0, 100, 92, 15},
      {0, 0, 0, 6, 0, 60, 100, 92, 50},         {0, 0, 0, 6, 0, -60, 100, 92, 50},
      {0, 0, 0, 6, 30, 40, 100, 93, 76},        {0, 0, 0, 6, 0, 0, 100, 100, 49},
      {0, 0, 0, 6, 700, 0, 100, 8, 127},        {0, 0, 0, 6, 762, 0, 100, 0, 128},
      {0, 0, 0, 6, -2000, 0, 100, 0, 1},        {0, 0, 128, 6, 0, 60, 100, 92, 114},
      {0, 0, 128, 6, 60, 0, 100, 92, 50},       {0, 0, -1, 6, 60, 0, 100, 92, 113},
      {100, -50, 0, 6, 160, -50, 100, 92, 114}, {0, 0, 0, 0, 700, 0, 100, 100, -1},
      {0, 0, 0, 0, 0, 0, 100, 100, -1},         {0, 0, 0, -6, 60, 0, 100, 107, -1},
      {0, 0, 0, 6, 60, 0, UINT32_MAX, 73, -1},  {-32768, -32768, 0, 6, 32767, 32767, 100, 0, -1},
      {-32768, -32768, 0, 32767, 32767, 32767, 127, 125, -1}};
  // clang-format on
  SampleRecord quiet = sample_;
  quiet.volume = 80;
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case &c = cases[i];
    engine::g_listener = {c.earX, c.earY, c.direction, c.envelope};
    SoundRecord r = make_sound(&quiet, 1);
    r.baseVolume = c.baseVolume;
    engine::Compute3DPlacement(&r, c.x, c.y, nullptr, nullptr, nullptr);
    EXPECT_EQ(r.volume, c.volume) << "row " << i;
    EXPECT_EQ(c.pan < 0 ? c.pan : r.pan, c.pan) << "row " << i;
  }
}

TEST_F(PlayTest, EarMoveReplacesPlayingSoundsAtOnceAndSuspendedOnesInTheRecord) {
  SoundRecord waiting = make_sound(&sample_, 1, KSFX_RESUME), front = make_sound(&sample_, 5),
              flat = make_sound(&sample_, 1);
  EXPECT_EQ(KSFX_Play3DSFX(&waiting, 60, 0), 0); // before start-up: refused, record untouched
  EXPECT_EQ(engine::g_state.lastError, engine::kNotInitialised);
  EXPECT_EQ(waiting.volume, -1);
  open(2);
  ASSERT_EQ(KSFX_Play3DSFX(&waiting, 60, 0), 1);
  EXPECT_EQ(voice(0).volume, 92);
  EXPECT_EQ(voice(0).pan, 114);
  ASSERT_EQ(KSFX_PlaySFX(&flat), 1);            // not placed: never re-placed
  ASSERT_EQ(KSFX_Play3DSFX(&front, -60, 0), 1); // suspends `waiting` on channel 0
  fake::clear_calls();
  ASSERT_EQ(KSFX_Play3DSFX(&front, 0, 60), 1); // playing: updated in place
  EXPECT_EQ(fake::count("AIL_start_sample"), 0);
  EXPECT_EQ(voice(0).pan, 50);

  fake::clear_calls();
  KSFX_SetEarPos(0, 0, 128);
  EXPECT_EQ(voice(0).pan, 114); // front, now on the right
  EXPECT_EQ(fake::count("AIL_set_sample_pan"), 1);
  EXPECT_EQ(waiting.pan, 50); // straight ahead now, in the record only
  EXPECT_EQ(flat.pan, -1);
}

} // namespace
