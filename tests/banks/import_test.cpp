// Tests of bank import and discard: slots, samples, the checks on hostile banks, the shapes the
// format allows, and imports nested in the virtual-path callback.
#include "bank_fixture.h"
#include "engine/state.h"
#include "files/file_size_limit.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace {

using namespace bank_test;

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

TEST_F(ImportTest, ImportedSampleImageIsTheFilesBytes) {
  Bytes wav = wav_image(1, 8, 11025, 16);
  std::copy_n(le32(36 + 16 + 100).begin(), 4, wav.begin() + 4); // a RIFF length past the end
  put("long.wav", wav);
  ASSERT_EQ(import({"long.wav"}), 0);
  const SampleRecord &sample = SoundDbgInfo(0)->samples[0];
  EXPECT_EQ(Bytes((uint8_t *)sample.image, (uint8_t *)sample.image + wav.size()), wav);
  EXPECT_EQ(platform::block_size(sample.image), wav.size());
}

#if !defined(_WIN32) // Windows has no file-size limit to fail the write with
TEST_F(ImportTest, FailedCompileOverAGoodBankKeepsItImportable) {
  std::string good = bank_of({"s8.wav"});
  std::vector<SoundRecord> many(200);
  std::vector<SampleRecord> sample(1);
  const char *names[] = {"s8.wav"};
  {
    FileSizeLimit limit(4096); // the 12 kB bank does not fit
    EXPECT_EQ(CompileSFXpackage(good.c_str(), many.data(), nullptr, 200, sample.data(), names, 1),
              0);
  }
  EXPECT_EQ(ImportSFXpackage(good.c_str()), 0);
  EXPECT_EQ(SoundDbgInfo(0)->soundCount, 1u);
  EXPECT_EQ(names_in(dir_), (std::vector<std::string>{"b.kfx", "s16.wav", "s8.wav"}));
}
#endif

// A hand-built bank as a list of chunks: sound 0 plays sample 0, sound 1 is a group of sound 0.
struct Chunk {
  std::string id;
  Bytes body;
  uint32_t stated = UINT32_MAX; // the size field, when it is not the body's size
};

std::vector<Chunk> hand_bank() {
  Builder sfx;
  for (uint32_t w : {0u, 1u, 0u, 0u, 0u,         0u, ~0u, 100u, 64u, 0u, 0u, 0u, 0u, 0u, 0u, //
                     1u, 1u, 0u, 0u, KSFX_GROUP, 0u, ~0u, 80u,  64u, 0u, 0u, 1u, 0u, 1u, 0u})
    sfx.u32(w);
  return {{"INFO", Builder{}.u16(1).u16(2).bytes},
          {"SFX ", sfx.bytes},
          {"SMP ", Bytes(28)},
          {"LIST", Builder{}.u32(1).u32(0).bytes},
          {"NAME", Builder{}.text(std::string("s8.wav\0s8.wav\0", 14)).bytes}}; // one name spare
}

// The RIFF file of the chunks, with its length at offset 4 and the zero tail the writer adds.
Bytes riff_of(const std::vector<Chunk> &chunks) {
  Builder b;
  b.text("RIFF").u32(0).text("KSFX");
  for (const Chunk &c : chunks) {
    uint32_t size = c.stated == UINT32_MAX ? (uint32_t)c.body.size() : c.stated;
    b.text(c.id).u32(size).raw(c.body).zeros(c.body.size() & 1);
  }
  b.zeros(4);
  std::copy_n(le32((uint32_t)b.bytes.size()).begin(), 4, b.bytes.begin() + 4);
  return b.bytes;
}

Chunk &chunk(std::vector<Chunk> &chunks, const std::string &id) {
  return *std::find_if(chunks.begin(), chunks.end(), [&](const Chunk &c) { return c.id == id; });
}

using Chunks = std::vector<Chunk>;
using Edit = std::function<void(Chunks &)>;
constexpr uint32_t kRandomGroup = KSFX_GROUP | KSFX_RANDOM;

// Edits of the hand-built bank, as values a table can hold.
Edit words(const std::string &id, std::vector<std::pair<long, uint32_t>> patches) { // at, value
  return [=](Chunks &c) {
    for (auto [at, v] : patches) std::copy_n(le32(v).begin(), 4, chunk(c, id).body.begin() + at);
  };
}
Edit rename(const std::string &id, const std::string &to) {
  return [=](Chunks &c) { chunk(c, id).id = to; };
}
Edit info_byte(std::size_t at, uint8_t v) {
  return [=](Chunks &c) { chunk(c, "INFO").body.at(at) = v; };
}
Edit set_body(const std::string &id, Bytes body) {
  return [=](Chunks &c) { chunk(c, id).body = body; };
}
Edit append(Chunk extra) {
  return [=](Chunks &c) { c.push_back(extra); };
}
Edit junk_before(const std::string &id, std::size_t size) { // an unknown chunk
  return [=](Chunks &c) {
    c.insert(std::find_if(c.begin(), c.end(), [&](const Chunk &e) { return e.id == id; }),
             Chunk{"JUNK", Bytes(size, 7)});
  };
}
Edit list_last(uint32_t stated) { // "LIST" moved to the end of the file, stating `stated` bytes
  return [=](Chunks &c) {
    std::rotate(c.begin() + 3, c.begin() + 4, c.end());
    c.back().stated = stated;
  };
}
Edit both(Edit first, Edit second) {
  return [=](Chunks &c) { first(c), second(c); };
}

TEST_F(ImportTest, HostileBanksAreRefusedWholeAndLeaveNothingBehind) {
  const std::pair<const char *, Edit> cases[] = {
      {"INFO body below 4", set_body("INFO", {1, 0})},
      {"more samples than the SMP body holds", info_byte(0, 2)},
      {"more sounds than the SFX body holds", info_byte(2, 3)},
      {"sampleIndex not below m", words("SFX ", {{56, 1}})},
      {"list entry above n", words("LIST", {{0, 3}})},
      {"fewer lists than records with one", words("SFX ", {{44, 1}})},
      {"list runs past LIST without its 0", words("LIST", {{4, 1}})},
      {"list word without a LIST chunk", rename("LIST", "XIST")},
      {"NAME without a terminated name", set_body("NAME", {'s', '8'})},
      {"SFID with fewer names than sounds", append({"SFID", {'a', 0}})},
      {"no SFX chunk", rename("SFX ", "SFXX")},
      {"no SMP chunk", rename("SMP ", "SMPX")},
      {"no NAME chunk", rename("NAME", "NAMX")},
      {"no INFO chunk", rename("INFO", "INFX")},
  };
  auto import_image = [&](const Bytes &image) {
    put("h.kfx", image);
    return ImportSFXpackage(path("h.kfx").c_str());
  };
  for (const auto &[what, edit] : cases) {
    Chunks chunks = hand_bank();
    edit(chunks);
    EXPECT_EQ(import_image(riff_of(chunks)), -1) << what;
    EXPECT_EQ(leaked(), 0) << what;
  }
  const Bytes good = riff_of(hand_bank());
  Bytes notKsfx = good, hidden = good, cut(good.begin(), good.begin() + 60);
  Bytes tiny(good.begin(), good.begin() + 11);
  std::copy_n("WAVE", 4, notKsfx.begin() + 8);
  std::copy_n(le32(20).begin(), 4, hidden.begin() + 4); // the stated length hides later chunks
  Chunks listLast = hand_bank();
  list_last(8)(listLast);
  listLast.back().body.resize(4);
  Bytes listCut = riff_of(listLast); // the claimed list's 0 lies past the end of the file
  listCut.resize(listCut.size() - 4);
  for (const Bytes &image : {notKsfx, hidden, cut, tiny, listCut}) {
    EXPECT_EQ(import_image(image), -1);
    EXPECT_EQ(leaked(), 0);
  }
  EXPECT_TRUE(g_boxes.empty());
}

// Shapes the format allows: each bank imports, and each of its two sounds plays or is refused
// when played as the engine's rules say.
TEST_F(ImportTest, EveryShapeTheFormatAllowsImportsOnEveryBuild) {
  struct Shape {
    const char *what;
    Edit edit;
    int32_t plays0, plays1; // SoundPlay's result for sounds 0 and 1
  };
  const Shape shapes[] = {
      {"as written", words("SFX ", {}), 1, 1},
      {"odd chunk before SFX", junk_before("SFX ", 1), 1, 1},
      {"odd chunk before SMP", junk_before("SMP ", 5), 1, 1},
      {"odd chunk before LIST", junk_before("LIST", 1), 1, 1},
      {"2-byte chunk first", junk_before("INFO", 2), 1, 1},
      {"big chunk last", append({"JUNK", Bytes(1001, 7)}), 1, 1},
      {"chunks in reverse order", [](Chunks &c) { std::reverse(c.begin(), c.end()); }, 1, 1},
      {"lower-case identifier", rename("SFX ", "sfx "), 1, 1},
      {"sound names", append({"SFID", {'a', 0, 0}}), 1, 1},
      {"stored status 1 and a channel word", words("SFX ", {{8, 1}, {20, 9}}), 0, 1},
      {"group flag without a list", words("SFX ", {{104, 0}}), 1, 0},
      {"group with an empty list", words("LIST", {{0, 0}}), 1, 0},
      {"random group with listCount 0", words("SFX ", {{76, kRandomGroup}, {112, 0}}), 1, 0},
      {"random group counting past its list", words("SFX ", {{76, kRandomGroup}, {112, 9}}), 1, 1},
      {"LIST cut short, unused", both(words("SFX ", {{76, 0}, {104, 0}}), list_last(400)), 1, 1},
      {"LIST running past the end, its list whole", list_last(400), 1, 1},
  };
  ASSERT_EQ(KSOUNDInit(4, 16), 1);
  const long started = platform::live_blocks();
  for (const Shape &shape : shapes) {
    std::vector<Chunk> chunks = hand_bank();
    shape.edit(chunks);
    std::string file =
        seed(std::string("shape_") + std::to_string(&shape - shapes) + ".kfx", riff_of(chunks));
    int32_t bank = ImportSFXpackage(file.c_str());
    EXPECT_EQ(bank, 0) << shape.what;
    if (bank != 0) continue;
    EXPECT_EQ(SoundPlay(0, 0), shape.plays0) << shape.what;
    EXPECT_EQ(SoundPlay(0, 1), shape.plays1) << shape.what;
    EXPECT_EQ(SoundPtr(0, 1)->baseVolume, 80u) << shape.what;
    SoundStop(0, 0);
    SoundStop(0, 1);
    EXPECT_EQ(DiscardPackageSampleBits(0) + DiscardSFXpackage(0), 2) << shape.what;
    EXPECT_EQ(platform::live_blocks(), started) << shape.what;
  }
}

TEST_F(ImportTest, ABankCompiledFromPlayingRecordsImportsAgain) {
  ASSERT_EQ(KSOUNDInit(4, 16), 1);
  put("h.kfx", riff_of(hand_bank()));
  ASSERT_EQ(ImportSFXpackage(path("h.kfx").c_str()), 0);
  ASSERT_EQ(SoundPlay(0, 0) + SoundPlay(0, 1), 2);
  const SoundDebugInfo info = *SoundDbgInfo(0);
  const char *names[] = {"s8.wav"};
  std::string again = path("again.kfx");
  ASSERT_EQ(CompileSFXpackage(again.c_str(), info.sounds, nullptr, 2, info.samples, names, 1), 1);
  ASSERT_EQ(ImportSFXpackage(again.c_str()), 1);
  EXPECT_EQ(SoundPtr(1, 0)->status, 1u); // used as stored: it reads as playing
  EXPECT_EQ(SoundPlay(1, 0), 0);
  EXPECT_EQ(engine::g_state.lastError, engine::kAlreadyPlaying);
  EXPECT_EQ(SoundPtr(1, 1)->list[0], SoundPtr(1, 0));
  SoundStop(1, 0); // its stored channel word names a live channel, which does not hold it
  EXPECT_EQ(IsSoundPlaying(0, 0), 1);
  SoundStop(0, 0);
  SoundStop(0, 1);
}

// The host's callback imports another bank while the outer import resolves its second sample.
struct Nested {
  std::string inner, lateDir;
  int32_t slot = -2, discards = -1;
} g_nested;

int32_t import_inside(const char *) {
  g_nested.slot = ImportSFXpackage(g_nested.inner.c_str());
  g_nested.discards = DiscardSFXpackage(0) + DiscardPackageSampleBits(0); // the outer's slot
  SetVirtualFilePath(g_nested.lateDir.c_str());
  return 1;
}

TEST_F(ImportTest, ImportFromInsideTheVirtualPathCallbackTakesTheNextSlot) {
  std::filesystem::create_directory(path("late"));
  put("late/late.wav", wav_image(1, 8, 8000, 40));
  g_nested = {bank_of({"s16.wav"}, 1, "inner.kfx"), path("late/")};
  std::string outer = bank_of({"s8.wav", "late.wav"}, 2, "outer.kfx");
  ASSERT_EQ(KSOUNDInit(4, 16), 1);
  SetVirtualFilePathCallBack(import_inside);
  EXPECT_EQ(ImportSFXpackage(outer.c_str()), 0);
  EXPECT_EQ(g_nested.slot, 1);
  EXPECT_EQ(g_nested.discards, 0);
  EXPECT_EQ(SoundDbgInfo(0)->sampleCount, 2u);
  EXPECT_EQ(SoundDbgInfo(1)->samples[0].rate, 22050u);
  EXPECT_EQ(SoundPlay(0, 1) + SoundPlay(1, 0), 2);
  SoundStop(0, 1);
  SoundStop(1, 0);
}

} // namespace
