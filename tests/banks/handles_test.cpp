// The handle API and the duplicate pool through the recording fake, on a bank imported twice.
#include "bank_fixture.h"
#include "engine/channels.h"

#include <climits>

namespace {

using bank_test::BankTest;

// Sounds: 0 plain, 1 looping, 2 a group of sound 0 without KSFX_LOOP, 3 plain.
class HandlesTest : public BankTest {
protected:
  void SetUp() override {
    BankTest::SetUp();
    ASSERT_EQ(KSOUNDInit(8, 16), 1);
    SampleRecord sample{};
    SoundRecord records[4] = {};
    SoundRecord *group[] = {&records[0], nullptr};
    for (SoundRecord &r : records) r.rate = r.volume = r.pan = -1;
    records[1].flags = KSFX_LOOP;
    records[2].flags = KSFX_GROUP;
    records[2].list = group;
    records[2].listCount = 1;
    const char *names[] = {"s8.wav"};
    ASSERT_EQ(CompileSFXpackage(path("h.kfx").c_str(), records, nullptr, 4, &sample, names, 1), 1);
    ASSERT_EQ(ImportSFXpackage(path("h.kfx").c_str()), 0);
    ASSERT_EQ(ImportSFXpackage(path("h.kfx").c_str()), 1);
    fake::clear_calls();
  }
  static HSAMPLE handle_of(int32_t bank, int32_t sound) {
    return SoundPtr(bank, sound)->channel->handle;
  }
};

TEST_F(HandlesTest, HandlesOutsideTheLimitsAreRefusedWithoutTouchingTheAudio) {
  const std::pair<int32_t, int32_t> bad[] = {{-1, 0}, {32, 0},  {5, 0},       {0, 4},
                                             {0, -1}, {0, -18}, {0, INT_MIN}, {-1, -2}};
  for (auto [bank, sound] : bad) {
    EXPECT_EQ(SoundPtr(bank, sound), nullptr) << bank << "," << sound;
    EXPECT_EQ(SoundPlay(bank, sound), 0);
    EXPECT_EQ(SoundPlace(bank, sound, 1, 1), 0);
    EXPECT_EQ(SoundUpdate(bank, sound, -1, 50, -1), 0);
    SoundStop(bank, sound);
    EXPECT_EQ(IsSoundPlaying(bank, sound), 0);
    EXPECT_EQ(IsSoundLoop(bank, sound), 0);
    EXPECT_EQ(SoundDup(bank, sound), -1);
    EXPECT_EQ(SoundDupKill(bank, sound), 0);
    EXPECT_EQ(SoundDupKillAll(bank, sound), 0);
  }
  EXPECT_TRUE(fake::calls().empty());

  // A duplicate number names the same slot whatever bank number comes with it.
  ASSERT_NE(SoundPtr(0, -2), nullptr);
  EXPECT_EQ(SoundPtr(5, -2), SoundPtr(0, -2));
  EXPECT_EQ(SoundPtr(0, -17), SoundPtr(0, -2) + 15);

  KSOUNDClose();
  EXPECT_EQ(SoundPtr(0, -2), nullptr);
  EXPECT_EQ(SoundDup(0, 0), -1);
  EXPECT_EQ(SoundDupKill(0, -2), 0);
  EXPECT_EQ(SoundDupKillAll(0, 0), 0);
}

TEST_F(HandlesTest, OperationsReachTheRecordItsChannelAndTheDebugBlock) {
  EXPECT_EQ(IsSoundLoop(0, 0), 0);
  EXPECT_EQ(IsSoundLoop(0, 1), 1);
  EXPECT_EQ(IsSoundLoop(0, 2), 1);

  ASSERT_EQ(SoundPlay(0, 0), 1);
  EXPECT_EQ(IsSoundPlaying(0, 0), 1);
  EXPECT_EQ(IsSoundPlaying(1, 0), 0);
  HSAMPLE handle = handle_of(0, 0);
  EXPECT_EQ(fake::sample(handle).address, SoundDbgInfo(0)->samples[0].data);
  EXPECT_EQ(SoundUpdate(0, 0, 8000, 30, 10), 1);
  EXPECT_EQ(fake::sample(handle).rate, 8000);
  EXPECT_EQ(fake::sample(handle).volume, 30);
  EXPECT_EQ(fake::sample(handle).pan, 10);
  SoundStop(0, 0);
  EXPECT_EQ(IsSoundPlaying(0, 0), 0);

  EXPECT_EQ(SoundPlace(0, 3, 0x10005, -3), 1); // low 16 bits of each coordinate
  EXPECT_EQ(SoundPtr(0, 3)->x, 5);
  EXPECT_EQ(SoundPtr(0, 3)->y, -3);
  EXPECT_EQ(IsSoundPlaying(0, 3), 1);

  SoundDebugInfo *first = SoundDbgInfo(0);
  EXPECT_EQ(first->sounds, SoundPtr(0, 0));
  SoundDebugInfo *second = SoundDbgInfo(1); // the same block, rewritten
  EXPECT_EQ(first, second);
  EXPECT_EQ(second->sounds, SoundPtr(1, 0));
  EXPECT_EQ(second->soundCount, 4u);
  EXPECT_EQ(second->idleRecord, &engine::g_idleRecord);
  EXPECT_EQ(SoundDbgInfo(40)->sounds, nullptr);
}

TEST_F(HandlesTest, DuplicatePoolHandsOutLowestFreeSlotsAndFreesFinishedCopies) {
  EXPECT_EQ(SoundDup(0, 0), 0); // not playing: its own number, no slot used
  ASSERT_EQ(SoundPlay(0, 0), 1);
  EXPECT_EQ(SoundDup(0, 0), -2);
  EXPECT_EQ(SoundDup(0, 0), -3);
  SoundRecord *copy = SoundPtr(0, -2);
  EXPECT_EQ(copy->id, -2);
  EXPECT_EQ(copy->status, 0u);
  EXPECT_EQ(copy->channel, nullptr);
  EXPECT_EQ(copy->sample, SoundPtr(0, 0)->sample);
  EXPECT_EQ(IsSoundPlaying(0, -2), 0);

  EXPECT_EQ(SoundDupKill(0, -2), 1);
  EXPECT_EQ(SoundDupKill(0, -2), 0);
  EXPECT_EQ(SoundDupKill(0, 0), 0);
  EXPECT_EQ(SoundDup(0, 0), -2);
  for (int32_t expected = -4; expected >= -17; --expected) ASSERT_EQ(SoundDup(0, 0), expected);
  EXPECT_EQ(SoundDup(0, 0), -1);

  // A copy that plays to its end frees its slot.
  ASSERT_EQ(SoundPlay(0, -5), 1);
  EXPECT_EQ(IsSoundPlaying(0, -5), 1);
  fake::finish_sample(handle_of(0, -5));
  EXPECT_EQ(SoundPtr(0, -5)->id, -1);
  EXPECT_EQ(SoundDup(0, 0), -5);

  // Killing a playing copy ends it.
  ASSERT_EQ(SoundPlay(0, -6), 1);
  HSAMPLE handle = handle_of(0, -6);
  EXPECT_EQ(SoundDupKill(0, -6), 1);
  EXPECT_EQ(fake::sample(handle).status, (uint32_t)SMP_DONE);
  EXPECT_EQ(SoundPtr(0, -6)->status, 0u);
}

TEST_F(HandlesTest, DupKillAllStopsCopiesOfTheSameNumberInEveryBankButNotTheSource) {
  ASSERT_EQ(SoundPlay(0, 0), 1);
  ASSERT_EQ(SoundDup(0, 0), -2);
  ASSERT_EQ(SoundPlay(1, 0), 1);
  ASSERT_EQ(SoundDup(1, 0), -3);
  ASSERT_EQ(SoundPlay(0, 3), 1);
  ASSERT_EQ(SoundDup(0, 3), -4);
  for (int32_t copy : {-2, -3, -4}) ASSERT_EQ(SoundPlay(0, copy), 1);

  EXPECT_EQ(SoundDupKillAll(0, -2), 1);
  EXPECT_EQ(IsSoundPlaying(0, -2), 0);
  EXPECT_EQ(IsSoundPlaying(0, -3), 0);
  EXPECT_EQ(IsSoundPlaying(0, -4), 1);
  EXPECT_EQ(IsSoundPlaying(0, 0), 1);
  EXPECT_EQ(IsSoundPlaying(1, 0), 1);
  EXPECT_EQ(SoundDupKillAll(0, -2), 0); // its slot was freed when it ended

  // Given a sound number: that sound and the copies made from that number.
  EXPECT_EQ(SoundDupKillAll(0, 3), 1);
  EXPECT_EQ(IsSoundPlaying(0, 3), 0);
  EXPECT_EQ(IsSoundPlaying(0, -4), 0);
  EXPECT_EQ(IsSoundPlaying(0, 0), 1);
}

} // namespace
