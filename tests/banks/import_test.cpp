// ImportSFXpackage and the discards: round trips from the compiler, slot rules, missing samples,
// release of everything on every failure, and hostile bank images.
#include "bank_fixture.h"
#include "engine/records.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace {

using bank_test::BankTest;
using bank_test::Builder;
using bank_test::Bytes;
using bank_test::g_boxes;

int g_callbackCalls = 0;
int32_t give_up(const char *) {
  ++g_callbackCalls;
  return 0;
}

class ImportTest : public BankTest {
protected:
  // A one-sound bank file naming the given samples.
  std::string bank_of(const std::vector<const char *> &names, const char *file = "b.kfx") {
    std::vector<SampleRecord> samples(names.size());
    SoundRecord record{};
    EXPECT_EQ(CompileSFXpackage(path(file).c_str(), &record, nullptr, 1, samples.data(),
                                names.data(), (uint16_t)names.size()),
              1);
    return path(file);
  }
};

TEST_F(ImportTest, RoundTripKeepsWhatTheHostBuiltAndPlays) {
  SampleRecord samples[2] = {};
  SoundRecord records[3] = {};
  SoundRecord *group[] = {&records[0], &records[2], nullptr};
  records[0] = SoundRecord{5,  9, 0, &samples[1], KSFX_RESUME, 0,       nullptr, -1, 70,
                           10, 3, 4, 0,           nullptr,     nullptr, 0,       0};
  records[1].flags = KSFX_GROUP;
  records[1].list = group;
  records[1].volume = 90;
  records[2] = SoundRecord{2,  0, 0, &samples[1], 0,       0,       nullptr, -1, 127,
                           -1, 0, 0, 0,           nullptr, nullptr, 0,       1};
  const char *sampleNames[] = {"s8.wav", "s16.wav"};
  const char *soundNames[] = {"zap", nullptr, "boom"};
  std::string file = output("round_trip.kfx");
  ASSERT_EQ(CompileSFXpackage(file.c_str(), records, soundNames, 3, samples, sampleNames, 2), 1);
  ASSERT_EQ(KSOUNDInit(4, 16), 1); // start-up empties the package table: import after it
  ASSERT_EQ(ImportSFXpackage(file.c_str()), 0);

  const SoundDebugInfo info = *SoundDbgInfo(0);
  ASSERT_EQ(info.soundCount, 3u);
  ASSERT_EQ(info.sampleCount, 2u);
  EXPECT_EQ(std::memcmp(info.sampleNames, "s8.wav\0s16.wav", 15), 0);
  EXPECT_EQ(std::memcmp(info.soundIds, "zap\0\0boom", 10), 0);
  SoundRecord *zero = SoundPtr(0, 0), *one = SoundPtr(0, 1), *two = SoundPtr(0, 2);
  EXPECT_EQ(zero, info.sounds);
  EXPECT_EQ(zero->sample, &info.samples[0]); // from sampleIndex, not the stored word
  EXPECT_EQ(two->sample, &info.samples[1]);
  EXPECT_EQ(zero->id, 5);
  EXPECT_EQ(zero->x, 3);
  EXPECT_EQ(zero->baseVolume, 70u);
  EXPECT_EQ(one->baseVolume, 90u);
  EXPECT_EQ(zero->list, nullptr);
  ASSERT_NE(one->list, nullptr);
  EXPECT_EQ(one->list[0], zero);
  EXPECT_EQ(one->list[1], two);
  EXPECT_EQ(one->list[2], nullptr);
  const SampleRecord &s8 = info.samples[0], &s16 = info.samples[1];
  EXPECT_EQ(s8.rate, 11025u);
  EXPECT_EQ(s8.length, 100u);
  EXPECT_EQ(s16.format, 3);
  EXPECT_EQ(s16.flags, KSFX_SAMPLE_16BIT);
  EXPECT_EQ(s16.data, static_cast<uint8_t *>(s16.image) + 44);

  ASSERT_EQ(SoundPlay(0, 2), 1);
  const fake::Sample &voice = fake::sample(two->channel->handle);
  EXPECT_EQ(voice.address, s16.data);
  EXPECT_EQ(voice.rate, 22050);
  EXPECT_EQ(voice.volume, 127);
}

TEST_F(ImportTest, SlotsAreTakenLowestFirstAndAFullTableOpensNothing) {
  std::string good = bank_of({"s8.wav"});
  for (int32_t expected = 0; expected < 32; ++expected)
    ASSERT_EQ(ImportSFXpackage(good.c_str()), expected);
  SetVirtualFilePathCallBack(give_up);
  g_callbackCalls = 0;
  EXPECT_EQ(ImportSFXpackage(bank_of({"nowhere.wav"}, "m.kfx").c_str()), -1);
  EXPECT_EQ(g_callbackCalls, 0); // the bank was never read

  for (int round = 0; round < 2; ++round) { // discard 1 of many, then the same number again
    EXPECT_EQ(DiscardPackageSampleBits(1), 1);
    EXPECT_EQ(DiscardSFXpackage(1), 1);
    EXPECT_EQ(ImportSFXpackage(good.c_str()), 1);
  }
}

TEST_F(ImportTest, MissingSamplesFailCleanlyWithTheRightMessage) {
  EXPECT_EQ(ImportSFXpackage(path("absent.kfx").c_str()), -1);
  EXPECT_TRUE(g_boxes.empty());

  std::string unresolved = bank_of({"s8.wav", "nowhere.wav"});
  EXPECT_EQ(ImportSFXpackage(unresolved.c_str()), -1); // the resolver's own notice
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].caption, "KSOUND Virtual Paths");
  SetVirtualFilePathCallBack(give_up);
  g_callbackCalls = 0;
  EXPECT_EQ(ImportSFXpackage(unresolved.c_str()), -1); // the host's callback, no message
  EXPECT_EQ(g_callbackCalls, 1);
  EXPECT_EQ(g_boxes.size(), 1u);

  // Resolved (a directory exists under that name) but unreadable.
  EXPECT_EQ(ImportSFXpackage(bank_of({"s8.wav", dir_.c_str()}).c_str()), -1);
  ASSERT_EQ(g_boxes.size(), 2u);
  EXPECT_EQ(g_boxes[1].text, dir_);
  EXPECT_EQ(g_boxes[1].caption, "Couldn't Find Sample File!");
  EXPECT_EQ(g_boxes[1].style, 0x30u);

  put("bad.wav", Builder{}.text("RIFF").u32(28).text("WAVEfmt ").u32(16).zeros(16).bytes);
  EXPECT_EQ(ImportSFXpackage(bank_of({"s16.wav", "bad.wav"}).c_str()), -1); // set-up fails
  bank_test::Bytes overlong = bank_test::wav_image(1, 8, 11025, 16);
  overlong.resize(overlong.size() - 10); // "data" runs past the end, as does the RIFF length
  put("long.wav", overlong);
  EXPECT_EQ(ImportSFXpackage(bank_of({"long.wav"}).c_str()), -1);
  EXPECT_EQ(leaked(), 0);
  EXPECT_EQ(ImportSFXpackage(bank_of({"s8.wav"}).c_str()), 0); // slot 0 stayed free
  overlong = bank_test::wav_image(1, 8, 11025, 16);
  std::fill(overlong.begin() + 4, overlong.begin() + 8, 0xFF); // whole chunks, sloppy length
  put("sloppy.wav", overlong);
  EXPECT_EQ(ImportSFXpackage(bank_of({"sloppy.wav"}).c_str()), 1);
}

TEST_F(ImportTest, EveryAllocationFailureReleasesWhatTheImportTook) {
  std::string bank = bank_of({"s8.wav", "s16.wav"});
  int32_t result = -1;
  for (int failing = 1; result < 0 && failing < 20; ++failing) {
    platform::fail_nth_allocation(failing);
    result = ImportSFXpackage(bank.c_str());
    platform::fail_nth_allocation(0);
    EXPECT_EQ(leaked() == 0, result < 0) << "allocation " << failing;
  }
  EXPECT_EQ(result, 0);
}

TEST_F(ImportTest, DiscardsReleaseOnceAndRefuseEmptyOrForeignSlots) {
  ASSERT_EQ(ImportSFXpackage(bank_of({"s8.wav", "s16.wav"}).c_str()), 0);
  long loaded = leaked();
  for (int call = 0; call < 2; ++call) { // the second call releases nothing
    EXPECT_EQ(DiscardPackageSampleBits(0), 1);
    EXPECT_EQ(leaked(), loaded - 2);
  }
  EXPECT_EQ(SoundDbgInfo(0)->samples[1].data, nullptr);
  EXPECT_EQ(SoundDbgInfo(0)->samples[1].image, nullptr);
  EXPECT_EQ(ImportSFXpackage(bank_of({"s8.wav"}).c_str()), 1); // slot 0 still in use
  EXPECT_EQ(DiscardSFXpackage(0), 1);
  EXPECT_EQ(DiscardSFXpackage(0), 0);
  EXPECT_EQ(DiscardPackageSampleBits(0), 0);
  EXPECT_EQ(DiscardSFXpackage(-1), 0);
  EXPECT_EQ(DiscardPackageSampleBits(32), 0);
}

// A hand-built bank: sound 0 plays sample 0 ("s8.wav"); sound 1 is a group of sound 0.
struct HandBank {
  std::string riff = "RIFF", form = "KSFX", sfx = "SFX ", names{"s8.wav\0", 7};
  uint32_t infoSize = 4, samplesStored = 1;
  uint16_t m = 1, n = 2;
  std::vector<std::vector<uint32_t>> sounds = {
      {0, 1, 0, 0, 0, 0, 0xFFFFFFFF, 100, 64, 0, 0, 0, 0, 0, 0},
      {1, 1, 0, 0, KSFX_GROUP, 0, 0xFFFFFFFF, 80, 64, 0, 0, 1, 0, 1, 0}};
  std::vector<uint32_t> list = {1, 0};
  bool withList = true;
  int64_t nameSize = -1, stated = -1; // override the "NAME" size and the length at offset 4
  Bytes extra;                        // placed between "INFO" and "SFX "
  std::size_t cut = 0;                // keep only this many bytes when non-zero

  Bytes build() const {
    Builder b;
    b.text(riff).u32(0).text(form).text("INFO").u32(infoSize).u16(m).u16(n);
    b.text(std::string(extra.begin(), extra.end())).text(sfx).u32(60 * (uint32_t)sounds.size());
    for (const auto &record : sounds)
      for (uint32_t w : record) b.u32(w);
    b.text("SMP ").u32(28 * samplesStored).zeros(28 * samplesStored);
    if (withList) b.text("LIST").u32(4 * (uint32_t)list.size());
    for (uint32_t w : withList ? list : std::vector<uint32_t>{}) b.u32(w);
    b.text("NAME").u32(nameSize < 0 ? (uint32_t)names.size() : (uint32_t)nameSize).text(names);
    b.zeros(4);
    uint32_t length = stated < 0 ? (uint32_t)b.bytes.size() : (uint32_t)stated;
    for (int i = 0; i < 4; ++i) b.bytes[4 + i] = (uint8_t)(length >> (8 * i));
    if (cut) b.bytes.resize(cut);
    return b.bytes;
  }
};

TEST_F(ImportTest, HandBuiltBankImportsWhateverTheCaseAndExtraChunks) {
  put("h.kfx", HandBank{}.build());
  ASSERT_EQ(ImportSFXpackage(path("h.kfx").c_str()), 0);
  EXPECT_EQ(SoundPtr(0, 1)->list[0], SoundPtr(0, 0));
  EXPECT_EQ(SoundDbgInfo(0)->soundIds, nullptr);
  HandBank odd;
  odd.riff = "riff";
  odd.form = "ksfx";
  odd.sfx = "sfx ";
  odd.extra = Builder{}.text("JUNK").u32(4).u32(7).bytes;
  put("o.kfx", odd.build());
  EXPECT_EQ(ImportSFXpackage(path("o.kfx").c_str()), 1);
  // Records used in place need 4-aligned bodies; decoded copies do not.
  odd.extra = Builder{}.text("JUNK").u32(2).u16(7).bytes;
  put("s.kfx", odd.build());
  EXPECT_EQ(ImportSFXpackage(path("s.kfx").c_str()), engine::kRecordsInPlace ? -1 : 2);
}

TEST_F(ImportTest, HostileBanksAreRefusedAndLeaveNothingBehind) {
  const std::vector<std::pair<const char *, std::function<void(HandBank &)>>> cases = {
      {"form is not KSFX", [](HandBank &h) { h.form = "WAVE"; }},
      {"INFO body below 4", [](HandBank &h) { h.infoSize = 2; }},
      {"more sounds than the SFX body holds", [](HandBank &h) { h.n = 3; }},
      {"more samples than the SMP body holds",
       [](HandBank &h) { h.m = 2, h.names = std::string("s8.wav\0s8.wav\0", 14); }},
      {"sampleIndex not below m", [](HandBank &h) { h.sounds[0][14] = 1; }},
      {"list entry above n",
       [](HandBank &h) {
         h.list = {3, 0};
       }},
      {"fewer lists than records with one", [](HandBank &h) { h.sounds[0][11] = 1; }},
      {"list runs past LIST without its 0", [](HandBank &h) { h.list = {1}; }},
      {"list word without a LIST chunk", [](HandBank &h) { h.withList = false; }},
      {"NAME body runs past the file", [](HandBank &h) { h.nameSize = 1000; }},
      {"NAME body without a terminated name", [](HandBank &h) { h.names = "s8.wav!x"; }},
      {"group without elements", [](HandBank &h) { h.list = {0}; }},
      {"random group counting past its list",
       [](HandBank &h) { h.sounds[1][4] = KSFX_GROUP | KSFX_RANDOM, h.sounds[1][13] = 2; }},
      {"record stored as playing", [](HandBank &h) { h.sounds[0][2] = 1; }},
      {"stated length hides the later chunks", [](HandBank &h) { h.stated = 20; }},
      {"file cut inside the SFX body", [](HandBank &h) { h.cut = 60; }},
      {"file shorter than the RIFF header", [](HandBank &h) { h.cut = 11; }},
  };
  for (const auto &[name, mutate] : cases) {
    HandBank bank;
    mutate(bank);
    put("bad.kfx", bank.build());
    EXPECT_EQ(ImportSFXpackage(path("bad.kfx").c_str()), -1) << name;
    EXPECT_EQ(leaked(), 0) << name;
  }
  EXPECT_TRUE(g_boxes.empty());
}

} // namespace
