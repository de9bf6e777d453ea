// Whole-file read and write on real files: blocks, caller's buffers, replacement that keeps the
// old file when the write fails, and the sharing rules against another program's locks.
#include "file_size_limit.h"
#include "ksnd32.h"
#include "platform/file.h"
#include "platform/memory.h"
#include "support/file_holder.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN // no <mmsystem.h>: ksnd32.h came first with its own wave records
#endif
#include <windows.h>
#endif

namespace {

// Bytes whose write the system fails part of the way in, as a full disk would. POSIX: the
// file-size limit stops the write a quarter of the way in. Windows has no such limit: there the
// bytes lie in pages that cannot be read, and WriteFile fails with an error.
class FailingWrite {
public:
  static constexpr uint32_t kBytes = 64 * 1024;
#if defined(_WIN32)
  FailingWrite() : bytes_(VirtualAlloc(nullptr, kBytes, MEM_RESERVE | MEM_COMMIT, PAGE_NOACCESS)) {}
  ~FailingWrite() { VirtualFree(bytes_, 0, MEM_RELEASE); }
  const void *data() const { return bytes_; }

private:
  void *bytes_;
#else
  const void *data() const { return bytes_.data(); }

private:
  std::string bytes_ = std::string(kBytes, 'n');
  FileSizeLimit limit_{kBytes / 4};
#endif
};

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
    HeldFile writer(file, Hold::Writing);
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

TEST(FileIo, FailedOrRefusedWriteKeepsTheOldFileAndLeavesNoTemporary) {
  TempDir dir;
  const std::string file = dir / "data.bin", old = "the old content";
  dir.put("data.bin", old);
  auto content = [&] {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  {
    FailingWrite failing;
    EXPECT_EQ(KSFX_FileWrite(file.c_str(), failing.data(), FailingWrite::kBytes), 0);
  }
  EXPECT_EQ(content(), old);
  EXPECT_EQ(names_in(dir / ""), std::vector<std::string>{"data.bin"});
  // Nor is a file left where there was none.
  {
    FailingWrite failing;
    EXPECT_EQ(KSFX_FileWrite((dir / "new.bin").c_str(), failing.data(), FailingWrite::kBytes), 0);
  }
  EXPECT_EQ(names_in(dir / ""), std::vector<std::string>{"data.bin"});
  // Someone reading the file: the write is refused before anything changes.
  {
    HeldFile reader(file, Hold::Reading);
    ASSERT_TRUE(reader.held());
    EXPECT_EQ(KSFX_FileWrite(file.c_str(), "new", 3), 0);
  }
  EXPECT_EQ(content(), old);
  // While a replacement runs, the file cannot be read.
  platform::Replacement replacement;
  ASSERT_TRUE(platform::begin_replacement(file.c_str(), &replacement));
  EXPECT_EQ(KSFX_FileRead(file.c_str(), nullptr), nullptr);
  platform::abandon_replacement(&replacement);
  const std::string big(FailingWrite::kBytes, 'n');
  EXPECT_EQ(KSFX_FileWrite(file.c_str(), big.data(), (uint32_t)big.size()), 1);
  EXPECT_EQ(content(), big);
  EXPECT_EQ(names_in(dir / ""), std::vector<std::string>{"data.bin"});
}

} // namespace
