// Resolution of sample file names through the virtual path and the host's callback, on real
// directories, with a recording callback and the message box hooked.
#include "files/virtual_path.h"
#include "ksnd32.h"
#include "platform/lead_byte.h"
#include "platform/message_box.h"
#include "temp_dir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Recorded {
  std::vector<std::string> boxes; // "caption|style|text" of each message box shown
  std::vector<std::string> asked; // names the recording callback was given
  std::string pathToSet;          // what the callback sets before answering, if anything
  int32_t answer = 0;
} g;

int32_t record_box(const char *text, const char *caption, uint32_t style) {
  g.boxes.push_back(std::string(caption) + "|" + std::to_string(style) + "|" + text);
  return 1;
}
int32_t recording_callback(const char *name) {
  g.asked.push_back(name);
  if (!g.pathToSet.empty()) SetVirtualFilePath(g.pathToSet.c_str());
  return g.answer;
}

class VirtualPathTest : public ::testing::Test {
protected:
  void SetUp() override {
    platform::set_message_box_hook(record_box);
    SetVirtualFilePathCallBack(recording_callback);
    g = {};
    dir_.put("boom.wav", "RIFF");
  }
  void TearDown() override {
    files::reset_virtual_paths();
    platform::set_message_box_hook(nullptr);
    platform::set_lead_byte_rule(nullptr);
  }
  std::string resolve(const std::string &name, int32_t result) {
    char out[260] = "#";
    EXPECT_EQ(VirtualizeFilePath(name.c_str(), out), result) << name;
    return out;
  }

  TempDir dir_;
  const std::string boom_ = dir_ / "boom.wav";
};

TEST_F(VirtualPathTest, ExistingNamesAreKeptAndOthersFoundUnderTheVirtualPathWithoutAsking) {
  SetVirtualFilePath((dir_ / "").c_str());
  SetVirtualFilePath(nullptr); // null and empty setters are ignored
  SetVirtualFilePath("");
  SetVirtualFilePathCallBack(nullptr);
  EXPECT_EQ(resolve(dir_ / "./boom.wav", 1), dir_ / "./boom.wav"); // as passed
  EXPECT_EQ(resolve("C:\\GAME\\SFX\\boom.wav", 1), boom_);
  EXPECT_EQ(resolve("D:boom.wav", 1), boom_); // a drive letter without a separator
  EXPECT_EQ(resolve("missing.wav", 0), "");
  EXPECT_EQ(g.asked, std::vector<std::string>{"missing.wav"}); // not the default notice
  EXPECT_TRUE(g.boxes.empty());
}

TEST_F(VirtualPathTest, PathWithoutSeparatorRunsTogetherSoTheCallbackIsAskedOnce) {
  SetVirtualFilePath((dir_ / "samples").c_str());
  EXPECT_EQ(resolve("C:\\GAME\\boom.wav", 0), ""); // the callback gave up
  EXPECT_EQ(g.asked, std::vector<std::string>{"C:\\GAME\\boom.wav"});
  // A callback that sets the right path resolves the name on the second try.
  g.pathToSet = dir_ / "";
  g.answer = 1;
  EXPECT_EQ(resolve("boom.wav", 1), boom_);
  EXPECT_EQ(g.asked.size(), 2u);
}

TEST_F(VirtualPathTest, DefaultCallbackShowsTheNoticeOnceWithTheWholeName) {
  files::reset_virtual_paths();
  const std::string name = "C:\\sounds\\" + std::string(600, 'n') + ".wav";
  EXPECT_EQ(resolve(name, 0), "");
  const std::string text =
      "No virtual path has been set.\nTherefore unable to retrieve file " + name +
      ".\nEither set a virtual path with SetVirtualFilePath(LPCSTR)\nor register a callback with "
      "SetVirtualFilePathCallBack that\nwill attempt to set the virtual path according to the "
      "filename\npassed to it";
  EXPECT_EQ(g.boxes, std::vector<std::string>{"KSOUND Virtual Paths|48|" + text});
}

TEST_F(VirtualPathTest, ExistingNameTooLongForTheOutputIsLookedUpByBaseNameThenAsked) {
  std::string deep = dir_ / std::string(200, 'd');
  std::filesystem::create_directories(deep + "/" + std::string(100, 'e'));
  const std::string longName = deep + "/" + std::string(100, 'e') + "/boom.wav";
  std::ofstream(longName) << "RIFF";
  ASSERT_GE(longName.size(), 260u);
  SetVirtualFilePath((dir_ / "").c_str()); // holds a boom.wav of its own
  EXPECT_EQ(resolve(longName, 1), boom_);
  EXPECT_TRUE(g.asked.empty());
  SetVirtualFilePath((deep + "/").c_str()); // holds none: the host is asked
  EXPECT_EQ(resolve(longName, 0), "");
  EXPECT_EQ(g.asked, std::vector<std::string>{longName});
  // A composed name that does not fit 260 bytes counts as missing, however the callback answers.
  g.answer = 1;
  EXPECT_EQ(resolve(std::string(250, 'b') + ".wav", 0), "");
  EXPECT_EQ(g.asked.size(), 2u);
  files::reset_virtual_paths(); // the default callback shows its notice
  EXPECT_EQ(resolve(longName, 0), "");
  EXPECT_EQ(g.boxes.size(), 1u);
}

bool shift_jis_lead(uint8_t byte) { return byte >= 0x81 && byte <= 0x9F; }
bool no_lead(uint8_t) { return false; }
const std::string katakana = "\x83\x5C"; // its second byte is a backslash

// Windows names such a file only where the ANSI code page is double-byte, as the code page 932
// run of this suite makes it (LC_ALL=ja_JP.UTF-8 under wine).
bool system_cannot_name_it() {
#if defined(_WIN32)
  return !platform::system_is_lead_byte(0x83);
#else
  return false;
#endif
}

TEST_F(VirtualPathTest, SecondByteOfADoubleByteCharacterIsNeverASeparator) {
  if (system_cannot_name_it()) GTEST_SKIP() << "the ANSI code page is single-byte";
  // Made through the library's own write, so the name reaches the system as these bytes.
  ASSERT_EQ(KSFX_FileWrite((dir_ / (katakana + "fx.wav")).c_str(), "RIFF", 4), 1);
  SetVirtualFilePath((dir_ / "").c_str());
  platform::set_lead_byte_rule(shift_jis_lead);
  EXPECT_EQ(resolve("C:\\GAME\\" + katakana + "fx.wav", 1), dir_ / (katakana + "fx.wav"));
  std::unique_ptr<char[]> endsInLead(new char[5]{'a', 'b', 'c', '\x81', 0});
  EXPECT_EQ(resolve(endsInLead.get(), 0), "");
  platform::set_lead_byte_rule(no_lead); // single-byte names: "fx.wav" is looked for
  EXPECT_EQ(resolve("C:\\GAME\\" + katakana + "fx.wav", 0), "");
  EXPECT_EQ(g.asked.back(), "C:\\GAME\\" + katakana + "fx.wav");
}

#if defined(_WIN32)
// The system's own lead bytes, not the test rule, keep the backslash inside the character.
TEST_F(VirtualPathTest, SystemDoubleByteCodePageSplitsNamesByCharacter) {
  if (system_cannot_name_it()) GTEST_SKIP() << "the ANSI code page is single-byte";
  // Made through the library's own write, so the name reaches the system as these bytes.
  ASSERT_EQ(KSFX_FileWrite((dir_ / (katakana + "fx.wav")).c_str(), "RIFF", 4), 1);
  SetVirtualFilePath((dir_ / "").c_str());
  EXPECT_EQ(resolve("C:\\GAME\\" + katakana + "fx.wav", 1), dir_ / (katakana + "fx.wav"));
}
#endif

} // namespace
