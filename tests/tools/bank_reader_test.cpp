// The bank reader on small bank images built here: a good bank read back in full, and damaged
// ones (each broken relation, every truncation) refused with a message, never a crash.
#include "bank_reader.h"
#include "bank_report.h"
#include "error.h"

#include <gtest/gtest.h>
#include <ksnd32.h>
#include <optional>

namespace ksfx {
namespace {

void put32(std::vector<uint8_t> &out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

struct TestBank {
  struct Sound {
    uint32_t priority = 1;
    uint16_t flags = 0;
    uint32_t sampleIndex = 0;
    std::vector<uint32_t> list; // 1-based entries
  };
  std::vector<Sound> sounds;
  std::vector<std::string> files, names;
  std::string form = "KSFX";
  std::optional<std::vector<uint8_t>> nameBody; // replaces the "NAME" body built from `files`

  static void chunk(std::vector<uint8_t> &out, const char *id, const std::vector<uint8_t> &body) {
    out.insert(out.end(), id, id + 4);
    out.resize(out.size() + 4);
    put32(out, out.size() - 4, static_cast<uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    if (body.size() & 1) out.push_back(0);
  }
  static std::vector<uint8_t> strings(const std::vector<std::string> &list) {
    std::vector<uint8_t> out;
    for (const std::string &s : list) {
      out.insert(out.end(), s.begin(), s.end());
      out.push_back(0);
    }
    return out;
  }
  std::vector<uint8_t> bytes() const {
    std::vector<uint8_t> out = {'R', 'I', 'F', 'F', 0, 0, 0, 0};
    out.insert(out.end(), form.begin(), form.end());
    std::vector<uint8_t> info(4), sfx(60 * sounds.size()), smp(28 * files.size()), lists;
    info[0] = static_cast<uint8_t>(files.size());
    info[2] = static_cast<uint8_t>(sounds.size());
    uint32_t listNumber = 1;
    for (size_t k = 0; k < sounds.size(); ++k) {
      put32(sfx, 60 * k + 4, sounds[k].priority);
      put32(sfx, 60 * k + 16, sounds[k].flags);
      put32(sfx, 60 * k + 24, 0xFFFFFFFF);
      put32(sfx, 60 * k + 28, 0xFFFFFFFF);
      put32(sfx, 60 * k + 32, 0xFFFFFFFF);
      put32(sfx, 60 * k + 56, sounds[k].sampleIndex);
      if (sounds[k].list.empty()) continue;
      put32(sfx, 60 * k + 44, listNumber++);
      put32(sfx, 60 * k + 52, static_cast<uint32_t>(sounds[k].list.size()));
      for (uint32_t e : sounds[k].list) {
        lists.resize(lists.size() + 4);
        put32(lists, lists.size() - 4, e);
      }
      lists.resize(lists.size() + 4);
    }
    for (size_t i = 0; i < files.size(); ++i) put32(smp, 28 * i + 12, 22050);
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

TestBank good_bank() {
  TestBank b;
  b.files = {"wav/door.wav", "hit.wav"};
  b.sounds = {
      {5, KSFX_RESUME, 0, {}}, {9, KSFX_LOOP, 1, {}}, {3, KSFX_GROUP | KSFX_RANDOM, 0, {2, 1}}};
  b.names = {"door", "hit", "mix"};
  return b;
}

std::string damage(std::vector<uint8_t> bytes) {
  try {
    read_bank(bytes);
  } catch (const ToolError &e) {
    return e.what();
  }
  return "accepted";
}

TEST(BankReader, ReadsSoundsSamplesGroupsAndNames) {
  BankInfo bank = read_bank(good_bank().bytes());
  ASSERT_EQ(bank.sounds.size(), 3u);
  ASSERT_EQ(bank.samples.size(), 2u);
  EXPECT_EQ(bank.samples[0].file, "wav/door.wav");
  EXPECT_EQ(bank.samples[1].rate, 22050u);
  EXPECT_EQ(bank.sounds[1].name, "hit");
  EXPECT_EQ(bank.sounds[1].sampleIndex, 1u);
  EXPECT_EQ(bank.sounds[0].priority, 5u);
  EXPECT_EQ(bank.sounds[0].volume, -1);
  EXPECT_EQ(bank.sounds[2].elements, (std::vector<uint32_t>{1, 0}));
  EXPECT_EQ(find_sound(bank, "mix"), 2);
  EXPECT_EQ(find_sound(bank, "1"), 1);
  EXPECT_EQ(find_sound(bank, "3"), -1);
  EXPECT_EQ(find_sound(bank, "nope"), -1);
  EXPECT_EQ(flag_names(KSFX_GROUP | KSFX_RANDOM | 0x100), "group,random,0x0100");

  std::string text = bank_report_text(bank, "b.ksfx");
  EXPECT_NE(text.find("hit, door"), std::string::npos) << text;
  EXPECT_NE(text.find("wav/door.wav"), std::string::npos);
  std::string json = bank_report_json(bank, "b\"k");
  EXPECT_NE(json.find("\"file\": \"b\\\"k\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"elements\": [\"hit\", \"door\"]"), std::string::npos) << json;
}

TEST(BankReader, AcceptsLowerCaseIdentifiersAndUnknownChunks) {
  std::vector<uint8_t> bytes = good_bank().bytes();
  for (size_t at : {size_t(0), size_t(8), size_t(12)})
    for (size_t i = 0; i < 4; ++i)
      bytes[at + i] = static_cast<uint8_t>(std::tolower(bytes[at + i]));
  std::vector<uint8_t> extra = {'J', 'U', 'N', 'K', 3, 0, 0, 0, 1, 2, 3, 0};
  bytes.insert(bytes.begin() + 24, extra.begin(), extra.end()); // between INFO and "SFX "
  put32(bytes, 4, static_cast<uint32_t>(bytes.size()));
  EXPECT_EQ(read_bank(bytes).sounds.size(), 3u);
}

TEST(BankReader, NamesWhatIsWrongWithADamagedBank) {
  struct Case {
    TestBank bank;
    std::string expected;
  };
  std::vector<Case> cases;
  auto with = [&](auto change, std::string expected) {
    TestBank b = good_bank();
    change(b);
    cases.push_back({b, expected});
  };
  with([](TestBank &b) { b.form = "WAVE"; }, "not a sound bank");
  with([](TestBank &b) { b.sounds[1].sampleIndex = 2; }, "sound 1 plays sample 2, the bank has 2");
  with([](TestBank &b) { b.sounds[2].list = {4}; }, "sound 2 lists sound 4");
  with(
      [](TestBank &b) {
        b.nameBody = std::vector<uint8_t>{'a', 0, 'b'};
      },
      "\"NAME\" chunk holds 1 names, 2 expected");
  with([](TestBank &b) { b.names.pop_back(); }, "\"SFID\" chunk holds 2 names, 3 expected");
  for (const Case &c : cases)
    EXPECT_NE(damage(c.bank.bytes()).find(c.expected), std::string::npos)
        << c.expected << ": " << damage(c.bank.bytes());

  std::vector<uint8_t> bytes = good_bank().bytes();
  bytes[22] = 9; // INFO: nine sounds
  EXPECT_NE(damage(bytes).find("\"SFX \" chunk holds 3 sounds, INFO counts 9"), std::string::npos);
  bytes = good_bank().bytes();
  put32(bytes, 28, 0x7FFFFFF0); // "SFX " body far past the end
  EXPECT_NE(damage(bytes).find("runs past the end"), std::string::npos) << damage(bytes);
  bytes = good_bank().bytes();
  std::string noList = damage([&] {
    size_t list = 24 + 8 + 180 + 8 + 56;
    bytes[list] = 'X'; // the "LIST" chunk renamed: the group has no list
    return bytes;
  }());
  EXPECT_NE(noList.find("no \"LIST\" chunk"), std::string::npos) << noList;
  EXPECT_NE(damage({'R', 'I', 'F'}).find("too short"), std::string::npos);
}

TEST(BankReader, EveryTruncationIsRefusedOrReadWithinBounds) {
  std::vector<uint8_t> bytes = good_bank().bytes();
  Chunk name = *find_chunk(bytes, "NAME", bytes.size()),
        sfid = *find_chunk(bytes, "SFID", bytes.size());
  for (size_t size = 0; size < bytes.size(); ++size) {
    std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
    cut.shrink_to_fit(); // lets the sanitizer see any read past the end
    // Pads, the zero tail, or the optional sound names lost whole still leave a bank; a cut
    // into any required body, or into the names' body, does not.
    bool cutsNames = size >= sfid.body() && size < sfid.body() + sfid.size;
    bool keeps = size >= name.body() + name.size && !cutsNames;
    EXPECT_EQ(damage(cut) == "accepted", keeps) << "cut at " << size << ": " << damage(cut);
  }
}

} // namespace
} // namespace ksfx
