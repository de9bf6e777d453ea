// Manifest parsing: a full manifest read into records, and each kind of mistake reported with
// the line it is on.
#include "error.h"
#include "manifest.h"

#include <gtest/gtest.h>

namespace ksfx {
namespace {

Manifest parse(const std::string &text) { return parse_manifest(text, "m.toml", "/banks"); }

std::string error_of(const std::string &text) {
  try {
    parse(text);
  } catch (const ToolError &e) {
    return e.what();
  }
  return "no error";
}

TEST(Manifest, ReadsSamplesInWrittenOrderAndResolvesSoundsAndGroups) {
  Manifest m = parse(R"([samples]
zeta = "wav/z.wav"
alpha = "/abs/a.wav"
[[sound]]
name = "door"
sample = "alpha"
priority = 7
resume = true
volume = 90
[[sound]]
name = "hit"
sample = "zeta"
loop = true
[[sound]]
name = "mix"
group = ["hit", "door"]
random = true
priority = 3
)");
  ASSERT_EQ(m.samples.size(), 2u);
  EXPECT_EQ(m.samples[0].name, "zeta");
  EXPECT_EQ(m.samples[0].path, "/banks/wav/z.wav");
  EXPECT_EQ(m.samples[1].path, "/abs/a.wav");
  ASSERT_EQ(m.sounds.size(), 3u);
  const ManifestSound &door = m.sounds[0], &mix = m.sounds[2];
  EXPECT_EQ(door.sample, 1);
  EXPECT_TRUE(door.priority == 7 && door.resume && door.volume == 90 && door.rate == -1);
  EXPECT_TRUE(m.sounds[1].loop);
  EXPECT_TRUE(mix.group && mix.random);
  EXPECT_EQ(mix.elements, (std::vector<int>{1, 0}));
  EXPECT_EQ(mix.sample, 0); // the first element's sample
}

TEST(Manifest, EachMistakeIsReportedWithItsLine) {
  const std::string head = "[samples]\ns = \"s.wav\"\n[[sound]]\nname = \"a\"\n";
  struct Case {
    std::string text, expected;
  } cases[] = {
      {head + "sample = \"nope\"\n", "m.toml:5: sound 'a': unknown sample 'nope'"},
      {head + "sample = \"s\"\nvolume = 128\n", "m.toml:6: sound 'a': volume 128 is out of range"},
      {head + "sample = \"s\"\npan = -2\n", "m.toml:6: sound 'a': pan -2 is out of range"},
      {head + "sample = \"s\"\nrate = 0\n", "m.toml:6: sound 'a': rate 0 is out of range"},
      {head + "sample = \"s\"\npriority = -1\n",
       "m.toml:6: sound 'a': priority -1 is out of range"},
      {head + "group = []\n", "m.toml:5: sound 'a': the group is empty"},
      {head + "group = []\nrandom = true\n", "a random group needs elements"},
      {head + "sample = \"s\"\nrandom = true\n", "m.toml:4: sound 'a': random needs a group"},
      {head + "group = [\"a\",\n  \"ghost\"]\n", "m.toml:6: sound 'a': unknown sound 'ghost'"},
      {head + "sample = \"s\"\nlooop = true\n", "m.toml:6: unknown key 'looop'"},
      {head + "sample = \"s\"\n[[sound]]\nname = \"a\"\nsample = \"s\"\n",
       "m.toml:7: sound 'a' is defined twice (first at line 4)"},
      {head + "sample = \"s\"\nloop = 1\n", "m.toml:6: sound 'a': 'loop' must be true or false"},
      {head + "sample = \"s\"\nvolume = \n", "m.toml:6:"},
      {"[samples]\ns = \"\"\n", "m.toml:2: sample 's' needs a WAV file name"},
      {head + "\n", "m.toml:4: sound 'a' needs sample"},
      {"[[sound]]\nsample = \"x\"\n", "m.toml:1: [[sound]] needs name"},
  };
  for (const Case &c : cases)
    EXPECT_NE(error_of(c.text).find(c.expected), std::string::npos)
        << c.text << "gave: " << error_of(c.text);
}

TEST(Manifest, GroupsOfGroupsAreRefusedAndAllErrorsAreListedInLineOrder) {
  std::string message = error_of(R"([samples]
s = "s.wav"
[[sound]]
name = "g"
group = ["h"]
[[sound]]
name = "h"
group = ["x"]
volume = 500
)");
  EXPECT_NE(message.find("m.toml:5: sound 'g': element 'h' is itself a group"), std::string::npos);
  size_t unknown = message.find("m.toml:8:"), range = message.find("m.toml:9:");
  EXPECT_TRUE(unknown < range && range != std::string::npos) << message;
}

} // namespace
} // namespace ksfx
