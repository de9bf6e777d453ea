// Whole-file read and write on real files: blocks, caller's buffers, replacement, and the
// sharing rules against another descriptor holding the file.
#include "ksnd32.h"
#include "platform/memory.h"
#include "temp_dir.h"

#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

class FileIoTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    platform::fail_nth_allocation(0);
    blocksBefore_ = platform::live_blocks();
  }
  void TearDown() override { platform::fail_nth_allocation(0); }

  // Another holder of the file, as a second program would be: an open descriptor with a lock.
  int hold(const std::string &name, int mode) {
    int fd = ::open((dir_ / name).c_str(), O_RDWR);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::flock(fd, mode | LOCK_NB), 0);
    return fd;
  }

  TempDir dir_;
  long blocksBefore_ = 0;
};

TEST_F(FileIoTest, MissingFileOrDirectoryReadsNullAndAllocatesNothing) {
  EXPECT_EQ(KSFX_FileRead((dir_ / "missing.bin").c_str(), nullptr), nullptr);
  EXPECT_EQ(KSFX_FileRead((dir_ / "no_dir/missing.bin").c_str(), nullptr), nullptr);
  EXPECT_EQ(KSFX_FileRead(dir_.path().c_str(), nullptr), nullptr); // a directory is no file
  EXPECT_EQ(KSFX_FileRead(nullptr, nullptr), nullptr);
  EXPECT_EQ(platform::live_blocks(), blocksBefore_);
}

TEST_F(FileIoTest, ReadWithoutBufferReturnsOwnBlockHoldingExactlyTheFile) {
  const std::string bytes("RIFF\0\x01\x02\xff tail", 13);
  dir_.put("data.bin", bytes);
  auto *block = static_cast<char *>(KSFX_FileRead((dir_ / "data.bin").c_str(), nullptr));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(platform::live_blocks(), blocksBefore_ + 1);
  EXPECT_EQ(std::string(block, bytes.size()), bytes);
  EXPECT_EQ(GlobalFree(block), nullptr);
  // A zero-length file still gives a block of its own.
  dir_.put("empty.bin", "");
  void *empty = KSFX_FileRead((dir_ / "empty.bin").c_str(), nullptr);
  EXPECT_NE(empty, nullptr);
  GlobalFree(empty);
  // A failed allocation closes the file: the next read works and a write is not locked out.
  platform::fail_nth_allocation(1);
  EXPECT_EQ(KSFX_FileRead((dir_ / "data.bin").c_str(), nullptr), nullptr);
  void *again = KSFX_FileRead((dir_ / "data.bin").c_str(), nullptr);
  EXPECT_NE(again, nullptr);
  GlobalFree(again);
  EXPECT_EQ(KSFX_FileWrite((dir_ / "data.bin").c_str(), "z", 1), 1);
  EXPECT_EQ(platform::live_blocks(), blocksBefore_);
}

TEST_F(FileIoTest, CallerBufferComesBackAndIsNeverReleased) {
  dir_.put("data.bin", "abcdef");
  char buffer[8] = "xxxxxxx";
  EXPECT_EQ(KSFX_FileRead((dir_ / "data.bin").c_str(), buffer), buffer);
  EXPECT_EQ(std::string(buffer), "abcdefx");
  // A refused read leaves a heap buffer of the caller's allocated and unchanged.
  auto *own = static_cast<char *>(platform::global_alloc(8));
  int writer = hold("data.bin", LOCK_EX);
  EXPECT_EQ(KSFX_FileRead((dir_ / "data.bin").c_str(), own), nullptr);
  ::close(writer);
  EXPECT_EQ(own[0], '\0');
  EXPECT_EQ(platform::live_blocks(), blocksBefore_ + 1);
  GlobalFree(own);
}

TEST_F(FileIoTest, WriteCreatesAndReplacesWithExactlyTheLengthGiven) {
  EXPECT_EQ(KSFX_FileWrite((dir_ / "out.bin").c_str(), "hello world", 11), 1);
  EXPECT_EQ(dir_.get("out.bin"), "hello world");
  EXPECT_EQ(KSFX_FileWrite((dir_ / "out.bin").c_str(), "bye", 3), 1);
  EXPECT_EQ(dir_.get("out.bin"), "bye");
  EXPECT_EQ(KSFX_FileWrite((dir_ / "out.bin").c_str(), "ignored", 0), 1);
  EXPECT_TRUE(std::filesystem::exists(dir_ / "out.bin"));
  EXPECT_EQ(std::filesystem::file_size(dir_ / "out.bin"), 0u);
  EXPECT_EQ(KSFX_FileWrite((dir_ / "new_empty.bin").c_str(), nullptr, 0), 1);
  EXPECT_EQ(std::filesystem::file_size(dir_ / "new_empty.bin"), 0u);
}

TEST_F(FileIoTest, WriteRefusesMissingDirectoryDirectoryNameAndNullData) {
  EXPECT_EQ(KSFX_FileWrite((dir_ / "no_dir/out.bin").c_str(), "x", 1), 0);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "no_dir"));
  EXPECT_EQ(KSFX_FileWrite(dir_.path().c_str(), "x", 1), 0);
  EXPECT_EQ(KSFX_FileWrite((dir_ / "null.bin").c_str(), nullptr, 4), 0);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "null.bin"));
  EXPECT_EQ(KSFX_FileWrite(nullptr, "x", 1), 0);
}

TEST_F(FileIoTest, SharingRulesReadersShareWritersExcludeEveryone) {
  dir_.put("shared.bin", "original");
  // Another reader: reading is allowed, writing is refused and truncates nothing.
  int reader = hold("shared.bin", LOCK_SH);
  void *block = KSFX_FileRead((dir_ / "shared.bin").c_str(), nullptr);
  EXPECT_NE(block, nullptr);
  GlobalFree(block);
  EXPECT_EQ(KSFX_FileWrite((dir_ / "shared.bin").c_str(), "new", 3), 0);
  EXPECT_EQ(dir_.get("shared.bin"), "original");
  ::close(reader);
  // A writer: reading and writing are both refused.
  int writer = hold("shared.bin", LOCK_EX);
  EXPECT_EQ(KSFX_FileRead((dir_ / "shared.bin").c_str(), nullptr), nullptr);
  EXPECT_EQ(KSFX_FileWrite((dir_ / "shared.bin").c_str(), "new", 3), 0);
  EXPECT_EQ(dir_.get("shared.bin"), "original");
  ::close(writer);
  EXPECT_EQ(platform::live_blocks(), blocksBefore_);
  EXPECT_EQ(KSFX_FileWrite((dir_ / "shared.bin").c_str(), "new", 3), 1);
  EXPECT_EQ(dir_.get("shared.bin"), "new");
}

} // namespace
