// The bank reader on small bank images built here: a good bank read back in full and reported,
// and damaged ones refused with the checker's reason. Which banks are refused is the importer's
// business (tests/banks) and the two are compared over mutated banks in cli_test.
#include "bank_reader.h"
#include "bank_report.h"
#include "error.h"

#include <gtest/gtest.h>
#include <ksnd32.h>
#include <optional>

namespace ksfx {
namespace {

using Image = std::vector<uint8_t>;

void put32(Image &out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

void add32(Image &out, uint32_t v) {
  out.resize(out.size() + 4);
  put32(out, out.size() - 4, v);
}

void chunk(Image &out, const char *id, const Image &body) {
  out.insert(out.end(), id, id + 4);
  add32(out, static_cast<uint32_t>(body.size()));
  out.insert(out.end(), body.begin(), body.end());
  if (body.size() & 1) out.push_back(0);
}

Image strings(const std::vector<std::string> &list) {
  std::string joined;
  for (const std::string &s : list) joined += s + '\0';
  return Image(joined.begin(), joined.end());
}

// Sound 0 plays "wav/door.wav", sound 1 loops "hit.wav", sound 2 is a random group of 1 and 0.
struct TestBank {
  struct Sound {
    uint32_t priority;
    uint16_t flags;
    uint32_t sampleIndex;
    std::vector<uint32_t> list; // 1-based entries
  };
  std::vector<Sound> sounds = {
      {5, KSFX_RESUME, 0, {}}, {9, KSFX_LOOP, 1, {}}, {3, KSFX_GROUP | KSFX_RANDOM, 0, {2, 1}}};
  std::vector<std::string> files = {"wav/door.wav", "hit.wav"}, names = {"door", "hit", "mix"};
  std::string form = "KSFX";
  std::optional<Image> nameBody; // replaces the "NAME" body built from `files`

  Image bytes() const {
    Image out = {'R', 'I', 'F', 'F', 0, 0, 0, 0};
    out.insert(out.end(), form.begin(), form.end());
    Image info(4), sfx(60 * sounds.size()), smp(28 * files.size()), lists;
    info[0] = static_cast<uint8_t>(files.size());
    info[2] = static_cast<uint8_t>(sounds.size());
    uint32_t listNumber = 1;
    for (size_t k = 0; k < sounds.size(); ++k) {
      put32(sfx, 60 * k + 4, sounds[k].priority);
      put32(sfx, 60 * k + 16, sounds[k].flags);
      for (size_t at : {24, 28, 32}) put32(sfx, 60 * k + at, 0xFFFFFFFF);
      put32(sfx, 60 * k + 56, sounds[k].sampleIndex);
      if (sounds[k].list.empty()) continue;
      put32(sfx, 60 * k + 44, listNumber++);
      put32(sfx, 60 * k + 52, static_cast<uint32_t>(sounds[k].list.size()));
      for (uint32_t e : sounds[k].list) add32(lists, e);
      add32(lists, 0);
    }
    for (size_t i = 0; i < files.size(); ++i) {
      put32(smp, 28 * i + 8, 22050 * static_cast<uint32_t>(i + 1)); // 1 s and 0.5 s
      put32(smp, 28 * i + 12, 22050);
      put32(smp, 28 * i + 24, i == 0 ? 0 : 0x00030002); // mono 8-bit, then stereo 16-bit
    }
    chunk(out, "INFO", info);
    chunk(out, "SFX ", sfx);
    chunk(out, "SMP ", smp);
    chunk(out, "LIST", lists);
    chunk(out, "NAME", nameBody.value_or(strings(files)));
    if (!names.empty()) chunk(out, "SFID", strings(names));
    out.resize(out.size() + 4);
    put32(out, 4, static_cast<uint32_t>(out.size()));
    return out;
  }
};

std::string damage(const Image &bytes) {
  try {
    read_bank(bytes);
  } catch (const ToolError &e) {
    return e.what();
  }
  return "accepted";
}

TEST(BankReader, ReadsSoundsSamplesGroupsAndNames) {
  BankInfo bank = read_bank(TestBank{}.bytes());
  ASSERT_EQ(bank.sounds.size(), 3u);
  ASSERT_EQ(bank.samples.size(), 2u);
  EXPECT_EQ(bank.samples[0].file, "wav/door.wav");
  EXPECT_EQ(bank.samples[1].rate, 22050u);
  EXPECT_TRUE(bank.sounds[1].name == "hit" && bank.sounds[1].sampleIndex == 1);
  EXPECT_TRUE(bank.sounds[0].priority == 5 && bank.sounds[0].volume == -1);
  EXPECT_EQ(bank.sounds[2].elements, (std::vector<uint32_t>{1, 0}));
  EXPECT_EQ(find_sound(bank, "mix"), 2);
  EXPECT_EQ(find_sound(bank, "1"), 1);
  EXPECT_EQ(find_sound(bank, "3") + find_sound(bank, "nope"), -2);
  EXPECT_EQ(flag_names(KSFX_GROUP | KSFX_RANDOM | 0x100), "group,random,0x0100");

  std::string text = bank_report_text(bank, "b.ksfx"), json = bank_report_json(bank, "b\"k");
  for (const char *part :
       {"b.ksfx: 3 sounds, 2 samples,", "hit, door", "wav/door.wav",
        "mono 8-bit     22050  22050  1.000 s", "stereo 16-bit  22050  44100  0.500 s"})
    EXPECT_NE(text.find(part), std::string::npos) << part << " missing from\n" << text;
  for (const char *part :
       {"\"file\": \"b\\\"k\"", "\"elements\": [\"hit\", \"door\"]", "\"flags\": [\"resume\"]",
        "\"name\": \"mix\", \"priority\": 3, \"flags\": [\"group\", \"random\"]",
        "\"seconds\": 0.5}"})
    EXPECT_NE(json.find(part), std::string::npos) << part << " missing from\n" << json;
}

TEST(BankReader, NamesWhatIsWrongWithADamagedBank) {
  auto with = [](auto change) {
    TestBank b;
    change(b);
    return b.bytes();
  };
  Image nine = TestBank{}.bytes(), farBody = nine, noList = nine;
  nine[22] = 9;                        // INFO: nine sounds
  put32(farBody, 28, 0x7FFFFFF0);      // "SFX " body far past the end
  noList[24 + 8 + 180 + 8 + 56] = 'X'; // the "LIST" chunk renamed: the group has no list
  const std::pair<Image, std::string> cases[] = {
      {with([](TestBank &b) { b.form = "WAVE"; }), "not a sound bank"},
      {with([](TestBank &b) { b.sounds[1].sampleIndex = 2; }),
       "sound 1 plays sample 2, the bank has 2"},
      {with([](TestBank &b) { b.sounds[2].list = {4}; }), "sound 2 lists sound 4"},
      {with([](TestBank &b) {
         b.nameBody = Image{'a', 0, 'b'};
       }),
       "\"NAME\" chunk holds 1 of the 2 sample names"},
      {with([](TestBank &b) { b.names.pop_back(); }),
       "\"SFID\" chunk holds 2 of the 3 sound names"},
      {nine, "\"SFX \" chunk holds 3 of the 9 sounds that INFO counts"},
      {farBody, "no \"SMP \" chunk"}, // the walk steps over the far end of "SFX "
      {noList, "sound 2 has a list but the bank has no \"LIST\" chunk"},
      {{'R', 'I', 'F'}, "too short"},
  };
  for (const auto &[image, expected] : cases)
    EXPECT_NE(damage(image).find(expected), std::string::npos) << expected << ": " << damage(image);
}

} // namespace
} // namespace ksfx
