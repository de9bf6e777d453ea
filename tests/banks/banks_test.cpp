// Tests of banks/: the compiler's bytes, the handle API and the duplicate pool, through the
// recording fake and real files in a temporary directory.
#include "bank_fixture.h"

#include <cstring>

namespace {

using namespace bank_test;

class CompilerTest : public BankTest {};

TEST_F(CompilerTest, SingleSoundAndEmptyBanksAreTheDocumentedBytes) {
  SampleRecord sample{nullptr, nullptr, 100, 11025, 100, 64, KSFX_SAMPLE_16BIT, 1};
  SoundRecord r{7,  3,  0, &sample, 0x0102,  0xBEEF,  nullptr, -1, 90,
                64, -5, 9, 77,      nullptr, nullptr, 0,       0};
  const char *names[] = {"a.wav"};
  Builder single;
  single.text("RIFF").u32(154).text("KSFX").text("INFO").u32(4).u16(1).u16(1);
  single.text("SFX ").u32(60).u32(7).u32(3).u32(0).u32(0).u16(0x0102).u16(0xBEEF).u32(0);
  single.u32(0xFFFFFFFF).u32(90).u32(64).u16(0xFFFB).u16(9).u32(77).zeros(16);
  single.text("SMP ").u32(28).zeros(8).u32(100).u32(11025).u32(100).u32(64).u16(2).u16(1);
  single.text("LIST").u32(0).text("NAME").u32(6).text("a.wav").zeros(1 + 4);
  EXPECT_EQ(compile("single.kfx", &r, nullptr, 1, &sample, names, 1), single.bytes);
  Builder empty; // the arrays are never read
  empty.text("RIFF").u32(60).text("KSFX").text("INFO").u32(4).u16(0).u16(0);
  empty.text("SFX ").u32(0).text("SMP ").u32(0).text("LIST").u32(0).text("NAME").u32(0).zeros(4);
  EXPECT_EQ(compile("empty.kfx", nullptr, nullptr, 0, nullptr, nullptr, 0), empty.bytes);
  EXPECT_EQ(leaked(), 0);
}

TEST_F(CompilerTest, OddNameBodyIsPaddedBeforeSoundNamesAndTheTailShrinks) {
  SampleRecord sample{};
  SoundRecord two[2] = {};
  const char *file[] = {"ab.w"}, *ids[] = {"boom"}; // N = 5, "NAME" at 136
  Builder named, plain;
  named.text("NAME").u32(5).text("ab.w").zeros(2).text("SFID").u32(5).text("boom").zeros(1 + 3);
  plain.text("NAME").u32(5).text("ab.w").zeros(1 + 1 + 3);
  EXPECT_EQ(from(compile("n.kfx", two, ids, 1, &sample, file, 1), 136), named.bytes);
  EXPECT_EQ(from(compile("p.kfx", two, nullptr, 1, &sample, file, 1), 136), plain.bytes);
}

TEST_F(CompilerTest, ReferencesBecomePositionsAndListsAreNumberedInRecordOrder) {
  SampleRecord samples[3] = {};
  SoundRecord r[3] = {};
  SoundRecord *first[] = {&r[1], &r[2], nullptr}, *third[] = {&r[0], nullptr};
  for (int k = 0; k < 3; ++k) r[k].sample = &samples[2 - k];
  r[0].list = first;
  r[0].listCount = 2;
  r[1].sampleIndex = 9; // stored as given, not derived
  r[2].list = third;
  const char *names[] = {"a", "b", "c"};
  Bytes bank = compile("l.kfx", r, nullptr, 3, samples, names, 3);
  // Per record: sample position, list number (1, 0, 2), listCount, sampleIndex.
  const std::size_t sfx = 32, list = 32 + 180 + 8 + 84, field[] = {12, 44, 52, 56};
  const uint32_t expected[3][4] = {{2, 1, 2, 0}, {1, 0, 0, 9}, {0, 2, 0, 0}};
  for (std::size_t k = 0; k < 3; ++k)
    for (std::size_t f = 0; f < 4; ++f)
      EXPECT_EQ(from(bank, sfx + 60 * k + field[f], 4), Builder{}.u32(expected[k][f]).bytes);
  EXPECT_EQ(from(bank, list, 28),
            Builder{}.text("LIST").u32(20).u32(2).u32(3).u32(0).u32(1).u32(0).bytes);
}

TEST_F(CompilerTest, RefusalsWriteNothingAndReleaseTheBlock) {
  SampleRecord sample{};
  SoundRecord record{};
  const char *missing[] = {nullptr}, *names[] = {"a.wav"};
  std::string out = path("out.kfx");
  EXPECT_EQ(CompileSFXpackage(out.c_str(), &record, nullptr, 1, &sample, missing, 1), 0);
  platform::fail_nth_allocation(1);
  EXPECT_EQ(CompileSFXpackage(out.c_str(), &record, nullptr, 1, &sample, names, 1), 0);
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_EQ(leaked(), 0);
}

// Banks 0 and 1: the same two plain sounds.
class HandlesTest : public BankTest {
protected:
  void SetUp() override {
    BankTest::SetUp();
    ASSERT_EQ(KSOUNDInit(8, 16), 1);
    std::string bank = bank_of({"s8.wav"}, 2);
    for (int32_t slot : {0, 1}) ASSERT_EQ(ImportSFXpackage(bank.c_str()), slot);
    fake::clear_calls();
  }
  static HSAMPLE handle_of(int32_t b, int32_t s) { return SoundPtr(b, s)->channel->handle; }
};

TEST_F(HandlesTest, HandlesOutsideTheLimitsAreRefusedWithoutTouchingTheAudio) {
  const std::pair<int32_t, int32_t> bad[] = {{-1, 0}, {32, 0},  {5, 0},         {0, 2},
                                             {0, -1}, {0, -18}, {0, INT32_MIN}, {-1, -2}};
  for (auto [b, s] : bad) { // every result below is 0 or 1 when refused
    EXPECT_EQ(SoundPtr(b, s), nullptr) << b << "," << s;
    EXPECT_EQ(SoundPlay(b, s) + SoundPlace(b, s, 1, 1) + SoundUpdate(b, s, -1, 50, -1), 0);
    SoundStop(b, s);
    EXPECT_EQ(IsSoundPlaying(b, s) + IsSoundLoop(b, s) + SoundDupKill(b, s), 0) << b << "," << s;
    EXPECT_EQ(SoundDupKillAll(b, s), 0);
    EXPECT_EQ(SoundDup(b, s), -1);
  }
  EXPECT_TRUE(fake::calls().empty());

  ASSERT_NE(SoundPtr(5, -2), nullptr); // a copy number names its slot whatever the bank
  KSOUNDClose();
  EXPECT_EQ(SoundPtr(0, -2), nullptr);
}

TEST_F(HandlesTest, DuplicatePoolHandsOutLowestFreeSlotsAndFreesFinishedCopies) {
  EXPECT_EQ(SoundDup(0, 0), 0); // not playing: its own number, no slot used
  ASSERT_EQ(SoundPlay(0, 0), 1);
  EXPECT_EQ(SoundDup(0, 0), -2);
  EXPECT_EQ(SoundDup(0, 0), -3);
  EXPECT_EQ(SoundDupKill(0, -2), 1);
  EXPECT_EQ(SoundDupKill(0, -2) + SoundDupKill(0, 0), 0);
  EXPECT_EQ(SoundDup(0, 0), -2);
  for (int32_t expected = -4; expected >= -17; --expected) ASSERT_EQ(SoundDup(0, 0), expected);
  EXPECT_EQ(SoundDup(0, 0), -1);

  ASSERT_EQ(SoundPlay(0, -5), 1); // a copy that plays to its end frees its slot
  fake::finish_sample(handle_of(0, -5));
  EXPECT_EQ(SoundPtr(0, -5)->id, -1);
  EXPECT_EQ(SoundDup(0, 0), -5);
  ASSERT_EQ(SoundPlay(0, -6), 1); // killing a playing copy ends it
  HSAMPLE handle = handle_of(0, -6);
  EXPECT_EQ(SoundDupKill(0, -6), 1);
  EXPECT_EQ(fake::sample(handle).status, (uint32_t)SMP_DONE);
}

TEST_F(HandlesTest, DupKillAllStopsCopiesOfTheSameNumberInEveryBankButNotTheSource) {
  const std::pair<int32_t, int32_t> sources[] = {{0, 0}, {1, 0}, {0, 1}}; // copies -2, -3, -4
  for (auto [b, s] : sources) ASSERT_EQ(SoundPlay(b, s), 1);
  for (auto [b, s] : sources) ASSERT_EQ(SoundPlay(0, SoundDup(b, s)), 1);

  EXPECT_EQ(SoundDupKillAll(0, -2), 1);
  EXPECT_EQ(IsSoundPlaying(0, -2) + IsSoundPlaying(0, -3), 0);
  EXPECT_EQ(IsSoundPlaying(0, -4) + IsSoundPlaying(0, 0) + IsSoundPlaying(1, 0), 3);
  EXPECT_EQ(SoundDupKillAll(0, -2), 0); // its slot was freed when it ended
  EXPECT_EQ(SoundDupKillAll(0, 1), 1);  // a sound number: it and the copies made from it
  EXPECT_EQ(IsSoundPlaying(0, 1) + IsSoundPlaying(0, -4), 0);
  EXPECT_EQ(IsSoundPlaying(0, 0), 1);
}

} // namespace
