// Resolution of sample file names through the virtual path and the host's callback, with real
// directories, a recording callback and the message box hooked.
#include "files/virtual_path.h"
#include "ksnd32.h"
#include "platform/message_box.h"
#include "temp_dir.h"

#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct Box {
  std::string text, caption;
  uint32_t style;
};
std::vector<Box> g_boxes;
std::vector<std::string> g_asked; // names the recording callback was given
std::string g_pathToSet;          // what the callback sets before answering, if anything
int32_t g_answer = 0;

int32_t record_box(const char *text, const char *caption, uint32_t style) {
  g_boxes.push_back(Box{text, caption, style});
  return 1;
}

int32_t recording_callback(const char *name) {
  g_asked.push_back(name);
  if (!g_pathToSet.empty()) SetVirtualFilePath(g_pathToSet.c_str());
  return g_answer;
}

class VirtualPathTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    files::reset_virtual_paths();
    platform::set_message_box_hook(record_box);
    g_boxes.clear();
    g_asked.clear();
    g_pathToSet.clear();
    g_answer = 0;
    std::filesystem::create_directory(dir_ / "samples");
    dir_.put("samples/boom.wav", "RIFF");
    dir_.put("samples/noext", "x");
  }
  void TearDown() override {
    files::reset_virtual_paths();
    platform::set_message_box_hook(nullptr);
  }
  int32_t resolve(const std::string &name) {
    std::fill(out_, out_ + sizeof out_, '#');
    return VirtualizeFilePath(name.c_str(), out_);
  }

  TempDir dir_;
  char out_[260];
};

TEST_F(VirtualPathTest, ExistingNameIsUsedUnchangedWithoutAskingTheCallback) {
  SetVirtualFilePath((dir_ / "elsewhere/").c_str());
  SetVirtualFilePathCallBack(recording_callback);
  EXPECT_EQ(resolve(dir_ / "samples/boom.wav"), 1);
  EXPECT_EQ(std::string(out_), dir_ / "samples/boom.wav");
  EXPECT_EQ(resolve(dir_ / "samples"), 1); // a directory exists too
  EXPECT_TRUE(g_asked.empty());
}

TEST_F(VirtualPathTest, LastComponentIsFoundUnderVirtualPathWithTrailingSeparator) {
  SetVirtualFilePathCallBack(recording_callback);
  SetVirtualFilePath((dir_ / "samples/").c_str());
  EXPECT_EQ(resolve("C:\\GAME\\SFX\\boom.wav"), 1);
  EXPECT_EQ(std::string(out_), dir_ / "samples/boom.wav");
  EXPECT_EQ(resolve("D:boom.wav"), 1); // drive letter without a separator
  EXPECT_EQ(resolve("/old/machine/noext"), 1);
  EXPECT_EQ(std::string(out_), dir_ / "samples/noext");
  EXPECT_TRUE(g_asked.empty());
}

TEST_F(VirtualPathTest, PathWithoutSeparatorRunsTogetherAndAsksTheCallbackOnce) {
  SetVirtualFilePathCallBack(recording_callback);
  SetVirtualFilePath((dir_ / "samples").c_str());
  EXPECT_EQ(resolve("C:\\GAME\\boom.wav"), 0);
  EXPECT_EQ(g_asked, std::vector<std::string>{"C:\\GAME\\boom.wav"});
  EXPECT_EQ(out_[0], '\0'); // the callback gave up
}

TEST_F(VirtualPathTest, CallbackThatSetsTheRightPathResolvesOnSecondTry) {
  SetVirtualFilePathCallBack(recording_callback);
  g_pathToSet = dir_ / "samples/";
  g_answer = 1;
  EXPECT_EQ(resolve("boom.wav"), 1);
  EXPECT_EQ(std::string(out_), dir_ / "samples/boom.wav");
  EXPECT_EQ(g_asked.size(), 1u);
}

TEST_F(VirtualPathTest, CallbackThatSetsNothingLeavesTheLastComposedName) {
  SetVirtualFilePathCallBack(recording_callback);
  g_answer = 1;
  EXPECT_EQ(resolve("X:\\nowhere\\boom.wav"), 0);
  EXPECT_EQ(std::string(out_), "boom.wav"); // tried relative to the current directory
}

TEST_F(VirtualPathTest, NullAndEmptySettersAreIgnored) {
  SetVirtualFilePath((dir_ / "samples/").c_str());
  SetVirtualFilePath(nullptr);
  SetVirtualFilePath("");
  SetVirtualFilePathCallBack(recording_callback);
  SetVirtualFilePathCallBack(nullptr);
  EXPECT_EQ(resolve("boom.wav"), 1);
  EXPECT_EQ(resolve("missing.wav"), 0);
  EXPECT_EQ(g_asked.size(), 1u); // still the recording callback, not the default box
  EXPECT_TRUE(g_boxes.empty());
}

TEST_F(VirtualPathTest, DefaultCallbackShowsTheNoticeOnceWithTheWholeName) {
  const std::string name = "C:\\sounds\\" + std::string(600, 'n') + ".wav";
  EXPECT_EQ(resolve(name), 0);
  EXPECT_EQ(out_[0], '\0');
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].caption, "KSOUND Virtual Paths");
  EXPECT_EQ(g_boxes[0].style, 0x30u);
  EXPECT_EQ(g_boxes[0].text,
            "No virtual path has been set.\nTherefore unable to retrieve file " + name +
                ".\nEither set a virtual path with SetVirtualFilePath(LPCSTR)\nor register a "
                "callback with SetVirtualFilePathCallBack that\nwill attempt to set the virtual "
                "path according to the filename\npassed to it");
}

TEST_F(VirtualPathTest, WildcardsAndBareDriveLettersNeverExist) {
  dir_.put("samples/wild*.wav", "x");
  dir_.put("C:", "x");
  SetVirtualFilePathCallBack(recording_callback);
  EXPECT_EQ(resolve(dir_ / "samples/wild*.wav"), 0);
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(dir_.path().c_str()), 0);
  int32_t bareDrive = resolve("C:");
  ASSERT_EQ(chdir(cwd), 0);
  EXPECT_EQ(bareDrive, 0);
  EXPECT_EQ(g_asked.size(), 2u);
}

TEST_F(VirtualPathTest, LongPathIsCutAndComposedNamesThatDoNotFitAreRefused) {
  SetVirtualFilePathCallBack(recording_callback);
  g_answer = 1;
  const std::string longPath(300, 'p');
  SetVirtualFilePath(longPath.c_str());
  EXPECT_EQ(resolve("a.b"), 0); // 255 + 3 characters fit in 260 bytes
  EXPECT_EQ(std::string(out_), longPath.substr(0, 255) + "a.b");
  EXPECT_EQ(resolve("boom.wav"), 0); // 255 + 8 do not: nothing is cut
  EXPECT_EQ(out_[0], '\0');
  // A name that exists but cannot be returned whole is refused too.
  std::string deep = dir_.path();
  while (deep.size() < 300) {
    deep += "/dddddddddddddddddddddddddddddddddddddddd";
    std::filesystem::create_directory(deep);
  }
  EXPECT_EQ(resolve(deep), 0);
  EXPECT_EQ(out_[0], '\0');
}

} // namespace
