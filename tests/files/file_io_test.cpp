// Whole-file read and write on real files: blocks, caller's buffers, replacement, and refusal
// while another program holds the file for writing.
#include "ksnd32.h"
#include "platform/memory.h"
#include "support/file_holder.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

namespace {

TEST(FileIo, ReadGivesExactlyTheFileInAnOwnOrTheCallersBlockUnlessMissingOrHeld) {
  TempDir dir;
  const std::string file = dir / "data.bin";
  long before = platform::live_blocks();
  EXPECT_EQ(KSFX_FileRead(file.c_str(), nullptr), nullptr);
  const std::string bytes("RIFF\0\x01\x02\xff tail", 13);
  dir.put("data.bin", bytes);
  auto *block = static_cast<char *>(KSFX_FileRead(file.c_str(), nullptr));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(platform::block_size(block), bytes.size());
  EXPECT_EQ(std::string(block, bytes.size()), bytes);
  platform::global_free(block);
  // Another program holding the file for writing refuses the read.
  char buffer[16] = "xxxxxxxxxxxxxxx";
  {
    FileHeldForWriting writer(file);
    ASSERT_TRUE(writer.held());
    EXPECT_EQ(KSFX_FileRead(file.c_str(), buffer), nullptr);
    EXPECT_EQ(std::string(buffer), "xxxxxxxxxxxxxxx");
  }
  EXPECT_EQ(KSFX_FileRead(file.c_str(), buffer), buffer);
  EXPECT_EQ(std::string(buffer, 15), bytes + "xx"); // the rest of the buffer untouched
  EXPECT_EQ(platform::live_blocks(), before);
}

TEST(FileIo, WriteCreatesOrReplacesWithExactlyTheLengthGivenButNeedsTheDirectory) {
  TempDir dir;
  const std::string file = dir / "data.bin";
  const std::pair<const char *, uint32_t> writes[] = {{"hello world", 11}, {"bye!", 3}, {"x", 0}};
  for (auto [data, length] : writes) {
    EXPECT_EQ(KSFX_FileWrite(file.c_str(), data, length), 1);
    std::ifstream in(file, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), std::string(data, length));
  }
  EXPECT_TRUE(std::filesystem::exists(file)); // zero length still leaves the file
  EXPECT_EQ(KSFX_FileWrite((dir / "no_dir/out.bin").c_str(), "x", 1), 0);
  EXPECT_FALSE(std::filesystem::exists(dir / "no_dir"));
}

} // namespace
