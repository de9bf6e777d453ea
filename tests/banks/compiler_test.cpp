// CompileSFXpackage: exact bytes of the written bank files, list numbering, positions, refusals.
#include "bank_fixture.h"

namespace {

using bank_test::BankTest;
using bank_test::Builder;
using bank_test::Bytes;

class CompilerTest : public BankTest {
protected:
  Bytes compile(const char *file, const SoundRecord *records, const char *const *soundNames,
                uint16_t n, const SampleRecord *samples, const char *const *sampleNames,
                uint16_t m) {
    std::string out = output(file);
    EXPECT_EQ(CompileSFXpackage(out.c_str(), records, soundNames, n, samples, sampleNames, m), 1);
    return get(out);
  }
  static Bytes from(const Bytes &b, std::size_t at) { return Bytes(b.begin() + at, b.end()); }
};

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
  const char *sampleNames[] = {"ab.w"}; // N = 5; "NAME" at 136 for one sound
  const char *soundNames[] = {"boom"};
  EXPECT_EQ(from(compile("n.kfx", two, soundNames, 1, &sample, sampleNames, 1), 136),
            Builder{}
                .text("NAME")
                .u32(5)
                .text("ab.w")
                .zeros(2)
                .text("SFID")
                .u32(5)
                .text("boom")
                .zeros(1 + 3)
                .bytes);
  EXPECT_EQ(from(compile("p.kfx", two, nullptr, 1, &sample, sampleNames, 1), 136),
            Builder{}.text("NAME").u32(5).text("ab.w").zeros(1 + 1 + 3).bytes);
  const char *blank[] = {nullptr, ""}; // lone zero bytes; "NAME" at 196 for two sounds
  Bytes blanks = compile("b.kfx", two, blank, 2, &sample, sampleNames, 1);
  EXPECT_EQ(blanks.size(), 68u + 120 + 28 + 5 + 2);
  EXPECT_EQ(from(blanks, 196 + 8 + 5 + 1), Builder{}.text("SFID").u32(2).zeros(2 + 3).bytes);
}

TEST_F(CompilerTest, ReferencesBecomePositionsAndListsAreNumberedInRecordOrder) {
  SampleRecord samples[3] = {};
  SoundRecord records[3] = {};
  SoundRecord *first[] = {&records[1], &records[2], nullptr};
  SoundRecord *third[] = {&records[0], nullptr};
  records[0].list = first;
  records[0].listCount = 2;
  records[0].sample = &samples[2];
  records[1].sample = &samples[1];
  records[1].sampleIndex = 9; // stored as given: the compiler does not derive it
  records[2].list = third;
  const char *names[] = {"a", "b", "c"};
  auto word = [](const Bytes &b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | (uint32_t)b[at + 3] << 24;
  };
  const std::size_t sfx = 32, list = 32 + 180 + 8 + 84;

  Bytes bank = compile("l.kfx", records, nullptr, 3, samples, names, 3);
  EXPECT_EQ(word(bank, sfx + 12), 2u);
  EXPECT_EQ(word(bank, sfx + 60 + 12), 1u);
  EXPECT_EQ(word(bank, sfx + 60 + 56), 9u);
  EXPECT_EQ(word(bank, sfx + 52), 2u);
  EXPECT_EQ(word(bank, sfx + 44), 1u);
  EXPECT_EQ(word(bank, sfx + 60 + 44), 0u);
  EXPECT_EQ(word(bank, sfx + 120 + 44), 2u);
  EXPECT_EQ(Bytes(bank.begin() + list, bank.begin() + list + 28),
            Builder{}.text("LIST").u32(20).u32(2).u32(3).u32(0).u32(1).u32(0).bytes);

  SoundRecord *empty[] = {nullptr}; // a lone 0 that still takes a number
  records[1].list = empty;
  bank = compile("l.kfx", records, nullptr, 3, samples, names, 3);
  EXPECT_EQ(word(bank, sfx + 60 + 44), 2u);
  EXPECT_EQ(word(bank, sfx + 120 + 44), 3u);
  EXPECT_EQ(Bytes(bank.begin() + list, bank.begin() + list + 32),
            Builder{}.text("LIST").u32(24).u32(2).u32(3).u32(0).u32(0).u32(1).u32(0).bytes);
}

TEST_F(CompilerTest, RefusalsWriteNothingAndReleaseTheBlock) {
  SampleRecord sample{};
  SoundRecord record{};
  const char *missing[] = {nullptr};
  const char *names[] = {"a.wav"};
  std::string out = path("out.kfx");
  EXPECT_EQ(CompileSFXpackage(out.c_str(), &record, nullptr, 1, &sample, missing, 1), 0);
  EXPECT_EQ(CompileSFXpackage(out.c_str(), &record, nullptr, 1, nullptr, names, 1), 0);
  platform::fail_nth_allocation(1);
  EXPECT_EQ(CompileSFXpackage(out.c_str(), &record, nullptr, 1, &sample, names, 1), 0);
  EXPECT_FALSE(std::filesystem::exists(out));
  std::string lost = path("no/such/dir.kfx");
  EXPECT_EQ(CompileSFXpackage(lost.c_str(), &record, nullptr, 1, &sample, names, 1), 0);
  EXPECT_EQ(leaked(), 0);
}

} // namespace
