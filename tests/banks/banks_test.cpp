// Tests of banks/: the file format and compiler, import and discard, the handle API and the
// duplicate pool, through the recording fake and real files in a temporary directory.
#include "banks/package_table.h"
#include "engine/records.h"
#include "files/virtual_path.h"
#include "ksnd32.h"
#include "platform/memory.h"
#include "platform/message_box.h"
#include "support/fake_wail.h"
#include "support/mkdtemp.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<uint8_t>;

struct Builder {
  Bytes bytes;
  Builder &u16(uint32_t v) { return raw({(uint8_t)v, (uint8_t)(v >> 8)}); }
  Builder &u32(uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
  Builder &text(const std::string &s) { return raw(Bytes(s.begin(), s.end())); }
  Builder &zeros(std::size_t count) { return raw(Bytes(count, 0)); }
  Builder &raw(const Bytes &b) {
    bytes.insert(bytes.end(), b.begin(), b.end());
    return *this;
  }
};

Bytes from(const Bytes &b, std::size_t at, std::size_t count = SIZE_MAX) {
  return Bytes(b.begin() + (long)at, b.begin() + (long)(at + std::min(b.size() - at, count)));
}

Bytes wav_image(uint16_t channels, uint16_t bits, uint32_t rate, uint32_t pcm) {
  Builder b;
  b.text("RIFF").u32(36 + pcm).text("WAVEfmt ").u32(16).u16(1).u16(channels).u32(rate);
  b.u32(rate * channels * bits / 8).u16(channels * bits / 8).u16(bits).text("data").u32(pcm);
  return b.zeros(pcm).bytes;
}

std::vector<std::string> g_boxes; // message boxes shown, each as "caption|text|style"
int32_t record_box(const char *text, const char *caption, uint32_t style) {
  g_boxes.push_back(std::string(caption) + "|" + text + "|" + std::to_string(style));
  return 1;
}
int g_callbackCalls = 0;
int32_t give_up(const char *) { return ++g_callbackCalls, 0; }

// "s8.wav" (mono 8-bit 11025 Hz, 100 bytes) and "s16.wav" (stereo 16-bit 22050 Hz, 64 bytes) lie
// in the virtual path. With KSND_BANK_CORPUS naming a directory, compile() writes there: that is
// how the fuzzer's seed corpus is made.
class BankTest : public ::testing::Test {
protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "ksnd_banks_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern + "/";
    fake::reset();
    files::reset_virtual_paths();
    platform::set_message_box_hook(record_box);
    g_boxes.clear();
    g_callbackCalls = 0;
    put("s8.wav", wav_image(1, 8, 11025, 100));
    put("s16.wav", wav_image(2, 16, 22050, 64));
    SetVirtualFilePath(dir_.c_str());
    baseline_ = platform::live_blocks();
  }
  void TearDown() override {
    for (int32_t bank = 0; bank < banks::kPackageSlots; ++bank) {
      DiscardPackageSampleBits(bank);
      DiscardSFXpackage(bank);
    }
    KSOUNDClose();
    platform::fail_nth_allocation(0);
    std::filesystem::remove_all(dir_);
  }
  long leaked() const { return platform::live_blocks() - baseline_; }
  std::string path(const std::string &name) const { return dir_ + name; }
  void put(const std::string &name, const Bytes &bytes) const {
    std::ofstream(path(name), std::ios::binary) << std::string(bytes.begin(), bytes.end());
  }
  // Compiles a bank file with CompileSFXpackage's arguments after the name; returns its bytes.
  template <class... Args> Bytes compile(const std::string &name, Args... args) {
    const char *corpus = std::getenv("KSND_BANK_CORPUS");
    out_ = corpus ? std::string(corpus) + "/" + name : path(name);
    EXPECT_EQ(CompileSFXpackage(out_.c_str(), args...), 1);
    std::ifstream in(out_, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }
  // A bank of `n` plain sounds naming the given samples: its path.
  std::string bank_of(const std::vector<const char *> &names, uint16_t n = 1) {
    std::vector<SampleRecord> s(names.size());
    std::vector<SoundRecord> r(n);
    for (SoundRecord &record : r) record.rate = record.volume = record.pan = -1;
    const uint16_t m = (uint16_t)s.size();
    std::string file = path("b.kfx");
    EXPECT_EQ(CompileSFXpackage(file.c_str(), r.data(), nullptr, n, s.data(), names.data(), m), 1);
    return file;
  }
  int32_t import(const std::vector<const char *> &names) {
    return ImportSFXpackage(bank_of(names).c_str());
  }

  std::string dir_, out_;
  long baseline_ = 0;
};

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

class ImportTest : public BankTest {};

TEST_F(ImportTest, RoundTripKeepsReferencesNamesAndListsAndPlays) {
  SampleRecord samples[2] = {};
  SoundRecord r[3] = {};
  SoundRecord *group[] = {&r[0], &r[2], nullptr};
  r[0] = SoundRecord{5,  9, 0, &samples[1], KSFX_RESUME, 0,       nullptr, -1, 70,
                     10, 3, 4, 0,           nullptr,     nullptr, 0,       0};
  r[1].flags = KSFX_GROUP;
  r[1].list = group;
  r[2] = SoundRecord{2,  0, 0, &samples[0], 0,       0,       nullptr, -1, 127,
                     -1, 0, 0, 0,           nullptr, nullptr, 0,       1};
  const char *sampleNames[] = {"s8.wav", "s16.wav"}, *soundNames[] = {"zap", nullptr, "boom"};
  compile("round_trip.kfx", r, soundNames, 3, samples, sampleNames, 2);
  ASSERT_EQ(KSOUNDInit(4, 16), 1); // start-up empties the package table: import after it
  ASSERT_EQ(ImportSFXpackage(out_.c_str()), 0);
  const SoundDebugInfo info = *SoundDbgInfo(0);
  ASSERT_TRUE(info.soundCount == 3 && info.sampleCount == 2);
  EXPECT_EQ(std::memcmp(info.sampleNames, "s8.wav\0s16.wav", 15), 0);
  EXPECT_EQ(std::memcmp(info.soundIds, "zap\0\0boom", 10), 0);
  SoundRecord *zero = SoundPtr(0, 0), *one = SoundPtr(0, 1), *two = SoundPtr(0, 2);
  EXPECT_EQ(zero->sample, &info.samples[0]); // from sampleIndex, not the stored position
  EXPECT_EQ(two->sample, &info.samples[1]);
  EXPECT_TRUE(zero->id == 5 && zero->x == 3 && zero->baseVolume == 70);
  ASSERT_NE(one->list, nullptr);
  EXPECT_TRUE(one->list[0] == zero && one->list[1] == two && one->list[2] == nullptr);
  ASSERT_EQ(SoundPlay(0, 2), 1);
  const fake::Sample &voice = fake::sample(two->channel->handle);
  EXPECT_EQ(voice.address, static_cast<uint8_t *>(info.samples[1].image) + 44);
  EXPECT_EQ(voice.rate, 22050);
}

TEST_F(ImportTest, SlotsGoLowestFirstAFullTableOpensNothingAndDiscardsReleaseOnce) {
  for (int32_t expected = 0; expected < 32; ++expected) ASSERT_EQ(import({"s8.wav"}), expected);
  SetVirtualFilePathCallBack(give_up);
  EXPECT_EQ(import({"nowhere.wav"}), -1);
  EXPECT_EQ(g_callbackCalls, 0); // the bank was never read
  long loaded = leaked();
  for (int call = 0; call < 2; ++call) { // the second call releases nothing
    EXPECT_EQ(DiscardPackageSampleBits(1), 1);
    EXPECT_EQ(leaked(), loaded - 1);
  }
  EXPECT_EQ(SoundDbgInfo(1)->samples[0].data, nullptr);
  EXPECT_EQ(DiscardSFXpackage(1), 1);
  EXPECT_EQ(DiscardSFXpackage(1) + DiscardPackageSampleBits(1), 0);
  EXPECT_EQ(DiscardSFXpackage(-1) + DiscardPackageSampleBits(32), 0);
  EXPECT_EQ(import({"s8.wav"}), 1);
}

TEST_F(ImportTest, MissingOrBadSamplesFailCleanlyWithTheRightMessage) {
  EXPECT_EQ(ImportSFXpackage(path("absent.kfx").c_str()), -1);
  EXPECT_EQ(import({"s8.wav", "nowhere.wav"}), -1); // the resolver's own notice
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].rfind("KSOUND Virtual Paths|", 0), 0u) << g_boxes[0];
  SetVirtualFilePathCallBack(give_up);
  EXPECT_EQ(import({"s8.wav", "nowhere.wav"}), -1); // the host's callback, no message
  EXPECT_EQ(g_callbackCalls, 1);
  EXPECT_EQ(import({"s8.wav", dir_.c_str()}), -1); // resolved (a directory) but unreadable
  ASSERT_EQ(g_boxes.size(), 2u);
  EXPECT_EQ(g_boxes[1], "Couldn't Find Sample File!|" + dir_ + "|48");
  EXPECT_EQ(leaked(), 0);
  Bytes wav = wav_image(1, 8, 11025, 16);
  std::fill(wav.begin() + 4, wav.begin() + 8, 0xFF); // whole chunks, sloppy RIFF length
  put("sloppy.wav", wav);
  EXPECT_EQ(import({"sloppy.wav"}), 0);
  std::fill(wav.begin() + 4, wav.begin() + 8, 0); // a streaming writer's length
  put("streamed.wav", wav);
  EXPECT_EQ(import({"streamed.wav"}), 1);
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

// A hand-built bank: sound 0 plays sample 0, sound 1 is a group of sound 0, and an unknown chunk
// with a `junk`-byte body lies before "SFX ". The offsets below are for junk = 4.
Bytes hand_bank(uint32_t junk) {
  Builder b;
  b.text("RIFF").u32(0).text("KSFX").text("INFO").u32(4).u16(1).u16(2);
  b.text("JUNK").u32(junk).zeros(junk).text("SFX ").u32(120);
  for (uint32_t w : {0u, 1u, 0u, 0u, 0u,         0u, ~0u, 100u, 64u, 0u, 0u, 0u, 0u, 0u, 0u, //
                     1u, 1u, 0u, 0u, KSFX_GROUP, 0u, ~0u, 80u,  64u, 0u, 0u, 1u, 0u, 1u, 0u})
    b.u32(w);
  b.text("SMP ").u32(28).zeros(28).text("LIST").u32(8).u32(1).u32(0);
  b.text("NAME").u32(14).text(std::string("s8.wav\0s8.wav\0", 14)).zeros(4); // one name spare
  std::copy_n(Builder{}.u32((uint32_t)b.bytes.size()).bytes.begin(), 4, b.bytes.begin() + 4);
  return b.bytes;
}

TEST_F(ImportTest, HandBuiltBanksAreCheckedWholeAndHostileOnesLeaveNothingBehind) {
  const std::size_t sfx = 44, list = 208, name = 216;
  auto le = [](uint32_t v) { return Builder{}.u32(v).bytes; };
  // Each case: what is wrong, byte patches at offsets, and a length to cut the file to (0: none).
  const std::vector<std::tuple<const char *, std::vector<std::pair<std::size_t, Bytes>>, int>>
      cases = {
          {"form is not KSFX", {{8, {'W', 'A', 'V', 'E'}}}, 0},
          {"INFO body below 4", {{16, le(2)}}, 0},
          {"more samples than the SMP body holds", {{20, {2}}}, 0},
          {"more sounds than the SFX body holds", {{22, {3}}}, 0},
          {"sampleIndex not below m", {{sfx + 56, le(1)}}, 0},
          {"list entry above n", {{list, le(3)}}, 0},
          {"fewer lists than records with one", {{sfx + 44, le(1)}}, 0},
          {"list runs past LIST without its 0", {{list + 4, le(1)}}, 0},
          {"list word without a LIST chunk", {{list - 8, {'X'}}}, 0},
          {"NAME body runs past the file", {{name + 4, le(1000)}}, 0},
          {"NAME body without a terminated name", {{name + 14, {'!'}}, {name + 21, {'!'}}}, 0},
          {"group without elements", {{list, le(0)}}, 0},
          {"random group counting past its list",
           {{sfx + 76, le(KSFX_GROUP | KSFX_RANDOM)}, {sfx + 112, le(2)}},
           0},
          {"record stored as playing", {{sfx + 8, le(1)}}, 0},
          {"stated length hides the later chunks", {{4, le(20)}}, 0},
          {"file cut inside the SFX body", {}, 60},
          {"file shorter than the RIFF header", {}, 11},
      };
  for (const auto &[what, patches, cut] : cases) {
    Bytes image = hand_bank(4);
    for (const auto &[at, bytes] : patches)
      std::copy(bytes.begin(), bytes.end(), image.begin() + at);
    if (cut) image.resize(cut);
    put("h.kfx", image);
    EXPECT_EQ(ImportSFXpackage(path("h.kfx").c_str()), -1) << what;
    EXPECT_EQ(leaked(), 0) << what;
  }
  EXPECT_TRUE(g_boxes.empty());
  put("h.kfx", hand_bank(4)); // the unpatched image imports
  EXPECT_EQ(ImportSFXpackage(path("h.kfx").c_str()), 0);
  put("h.kfx", hand_bank(2)); // records used in place (32-bit pointers) need 4-aligned bodies
  EXPECT_EQ(ImportSFXpackage(path("h.kfx").c_str()), engine::kRecordsInPlace ? -1 : 1);
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
