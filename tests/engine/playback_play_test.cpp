// Playing, stopping and updating plain records: refusals, channel choice, how a sample handle
// is programmed, and the end of a sample.
#include "playback_fixture.h"

#include <string>
#include <vector>

namespace {

using PlayTest = EngineTest;

TEST_F(PlayTest, RefusalsSetTheirCodes) {
  SampleRecord s = make_sample();
  SoundRecord r = make_sound(&s, 1);
  EXPECT_EQ(KSFX_PlaySFX(&r), 0);
  EXPECT_EQ(engine::g_state.lastError, engine::kNotInitialised);
  EXPECT_EQ(KSFX_UpdateSFX(&r, 1, 2, 3), 0);
  EXPECT_EQ(r.rate, -1);
  KSFX_StopSFX(&r);
  EXPECT_TRUE(fake::calls().empty());

  open(1);
  EXPECT_EQ(KSFX_PlaySFX(&r), 1);
  EXPECT_EQ(engine::g_state.lastError, engine::kOk);
  EXPECT_EQ(KSFX_PlaySFX(&r), 0);
  EXPECT_EQ(engine::g_state.lastError, engine::kAlreadyPlaying);

  SoundRecord noSample = make_sound(nullptr, 9);
  fake::clear_calls();
  for (SoundRecord *unplayable : {&noSample, (SoundRecord *)nullptr}) {
    engine::g_state.lastError = engine::kOk;
    EXPECT_EQ(KSFX_PlaySFX(unplayable), 0);
    EXPECT_EQ(engine::g_state.lastError, engine::kNoChannel);
  }
  EXPECT_TRUE(fake::calls().empty());
}

TEST_F(PlayTest, StartProgramsTheHandleInOrderWithSampleDefaultsForMinusOne) {
  open(1);
  SampleRecord s = make_sample(22050);
  s.format = DIG_F_STEREO_16;
  s.flags = KSFX_SAMPLE_16BIT;
  SoundRecord r = make_sound(&s, 1, KSFX_LOOP | KSFX_RANDOM);
  r.volume = 0;
  fake::clear_calls();
  ASSERT_EQ(KSFX_PlaySFX(&r), 1);
  EXPECT_EQ(fake::call_names(),
            (std::vector<std::string>{
                "AIL_set_sample_address", "AIL_set_sample_type", "AIL_set_sample_playback_rate",
                "AIL_set_sample_volume", "AIL_set_sample_pan", "AIL_set_sample_loop_count",
                "AIL_set_sample_user_data", "AIL_start_sample", "AIL_sample_status"}));
  const fake::Sample &v = voice(0);
  EXPECT_EQ(v.address, s.data);
  EXPECT_EQ(v.length, s.length);
  EXPECT_EQ(v.format, DIG_F_STEREO_16);
  EXPECT_EQ(v.typeFlags, (uint32_t)DIG_PCM_SIGNED);
  EXPECT_EQ(v.rate, 22050);
  EXPECT_EQ(v.volume, 0);
  EXPECT_EQ(v.pan, 64);
  EXPECT_EQ(v.loopCount, 0);
  EXPECT_EQ(v.userData[1], 0);
  EXPECT_EQ(r.status, 1u);
  EXPECT_EQ(r.channel, &channel(0));
  EXPECT_EQ(channel(0).current, &r);
}

TEST_F(PlayTest, IdleChannelFirstThenLowestNumberedLowerPriority) {
  open(3);
  SampleRecord s = make_sample();
  SoundRecord a = make_sound(&s, 3), b = make_sound(&s, 1), c = make_sound(&s, 2);
  for (SoundRecord *r : {&a, &b, &c}) ASSERT_EQ(KSFX_PlaySFX(r), 1);
  EXPECT_EQ(b.channel, &channel(1));

  // Priorities 3, 1, 2: a 4 takes channel 0, not the channel with the lowest priority.
  SoundRecord four = make_sound(&s, 4);
  EXPECT_EQ(KSFX_PlaySFX(&four), 1);
  EXPECT_EQ(four.channel, &channel(0));
  EXPECT_EQ(a.status, 0u);
  EXPECT_EQ(a.channel, nullptr);

  SoundRecord equal = make_sound(&s, 3);
  EXPECT_EQ(KSFX_PlaySFX(&equal), 1);
  EXPECT_EQ(equal.channel, &channel(1));
  EXPECT_EQ(b.status, 0u);

  // Now 4, 3, 2: a second 3 displaces only channel 2.
  SoundRecord again = make_sound(&s, 3);
  EXPECT_EQ(KSFX_PlaySFX(&again), 1);
  EXPECT_EQ(again.channel, &channel(2));
  SoundRecord three = make_sound(&s, 3);
  EXPECT_EQ(KSFX_PlaySFX(&three), 0);
  EXPECT_EQ(engine::g_state.lastError, engine::kNoChannel);
  EXPECT_EQ(three.status, 0u);

  // A freed channel is preferred to displacing a lower priority.
  KSFX_StopSFX(&equal);
  SoundRecord high = make_sound(&s, 9);
  EXPECT_EQ(KSFX_PlaySFX(&high), 1);
  EXPECT_EQ(high.channel, &channel(1));
  EXPECT_EQ(four.status, 1u);
}

TEST_F(PlayTest, UnconfirmedStartStillReturnsOneAndLeavesRecordIdle) {
  open(1);
  fake::config().startConfirms = false;
  SampleRecord s = make_sample();
  SoundRecord r = make_sound(&s, 1);
  EXPECT_EQ(KSFX_PlaySFX(&r), 1);
  EXPECT_EQ(engine::g_state.lastError, engine::kOk);
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(channel(0).current, &engine::g_idleRecord);
}

TEST_F(PlayTest, EndingByItselfOrByStopFreesChannelAndDuplicateIds) {
  open(1);
  SampleRecord s = make_sample();
  SoundRecord dup = make_sound(&s, 1);
  dup.id = -5;
  ASSERT_EQ(KSFX_PlaySFX(&dup), 1);
  fake::finish_sample(handle(0));
  EXPECT_EQ(dup.id, -1);
  EXPECT_EQ(dup.status, 0u);
  EXPECT_EQ(dup.channel, nullptr);
  EXPECT_EQ(channel(0).current, &engine::g_idleRecord);

  SoundRecord bank = make_sound(&s, 1);
  bank.id = 7;
  ASSERT_EQ(KSFX_PlaySFX(&bank), 1);
  KSFX_StopSFX(&bank);
  EXPECT_EQ(bank.id, 7);
  EXPECT_EQ(bank.status, 0u);
  EXPECT_EQ(channel(0).current, &engine::g_idleRecord);
  EXPECT_EQ(engine::g_idleRecord.id, -2);

  // Stopping a record that does not play makes no call; a stray end on an idle channel
  // leaves the idle record alone.
  fake::clear_calls();
  KSFX_StopSFX(&bank);
  EXPECT_EQ(fake::count("AIL_end_sample"), 0);
  AIL_end_sample(handle(0));
  EXPECT_EQ(engine::g_idleRecord.id, -2);
}

TEST_F(PlayTest, UpdateStoresValuesAndAppliesThemOnlyWhilePlaying) {
  open(1);
  SampleRecord s = make_sample(11025);
  SoundRecord r = make_sound(&s, 1);
  fake::clear_calls();
  EXPECT_EQ(KSFX_UpdateSFX(&r, 8000, 90, 10), 0);
  EXPECT_TRUE(fake::calls().empty());
  EXPECT_EQ(engine::g_state.lastError, engine::kOk);
  ASSERT_EQ(KSFX_PlaySFX(&r), 1);
  EXPECT_EQ(voice(0).rate, 8000);
  EXPECT_EQ(voice(0).volume, 90);
  EXPECT_EQ(voice(0).pan, 10);

  EXPECT_EQ(KSFX_UpdateSFX(&r, -1, 5, -1), 1);
  EXPECT_EQ(voice(0).rate, 11025);
  EXPECT_EQ(voice(0).volume, 5);
  EXPECT_EQ(voice(0).pan, 64);
  EXPECT_EQ(r.rate, -1);
}

} // namespace
