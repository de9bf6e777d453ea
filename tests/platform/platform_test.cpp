// The platform layer on the system it was built for: the sharing rules between open files, what
// opens and what exists, and which addresses the allocator knows as its live blocks.
#include "ksnd32.h"
#include "platform/file.h"
#include "platform/memory.h"
#include "tools/ksfx/posix_shims.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN // no <mmsystem.h>: ksnd32.h came first with its own wave records
#include <windows.h>
#endif

namespace {

class PlatformFiles : public ::testing::Test {
protected:
  void SetUp() override {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "ksnd_platform_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    std::ofstream(path("data.bin"), std::ios::binary) << "twelve bytes";
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string path(const std::string &name) const { return dir_ + "/" + name; }
  std::string content(const std::string &name) const {
    std::ifstream in(path(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::string dir_;
};

TEST_F(PlatformFiles, ReadersShareAReplacementHasTheFileAloneAndARefusalChangesNothing) {
  const std::string name = path("data.bin");
  platform::File first = platform::open_shared_read(name.c_str());
  platform::File second = platform::open_shared_read(name.c_str());
  ASSERT_TRUE(first.valid() && second.valid());
  platform::Replacement refused;
  EXPECT_FALSE(platform::begin_replacement(name.c_str(), &refused));
  EXPECT_NE(platform::last_file_error(), 0u);
  EXPECT_EQ(content("data.bin"), "twelve bytes");
  uint64_t size = 0;
  EXPECT_TRUE(platform::file_size(first, &size) && size == 12);
  EXPECT_TRUE(platform::close_file(first) && platform::close_file(second));

  platform::Replacement writer;
  ASSERT_TRUE(platform::begin_replacement(name.c_str(), &writer));
  EXPECT_FALSE(platform::open_shared_read(name.c_str()).valid());
  platform::Replacement another;
  EXPECT_FALSE(platform::begin_replacement(name.c_str(), &another));
  uint32_t done = 0;
  EXPECT_TRUE(platform::write_file(writer.temp, "new", 3, &done) && done == 3);
  // Nothing changes before the commit (the size is asked by name: Windows lets no one open it).
  EXPECT_EQ(std::filesystem::file_size(name), 12u);
  EXPECT_TRUE(platform::commit_replacement(&writer));
  EXPECT_EQ(content("data.bin"), "new");
}

TEST_F(PlatformFiles, OnlyFilesOnDiskOpenAndWildcardsOrABareDriveNeverExist) {
  EXPECT_FALSE(platform::open_shared_read(dir_.c_str()).valid());
  EXPECT_FALSE(platform::open_shared_read(path("missing.bin").c_str()).valid());
#if defined(_WIN32)
  const char *devices[] = {"NUL", "CON", "nul.wav"};
#else
  const char *devices[] = {"/dev/null", "/dev/zero"};
#endif
  for (const char *device : devices) {
    EXPECT_FALSE(platform::open_shared_read(device).valid()) << device;
    platform::Replacement replacement;
    EXPECT_FALSE(platform::begin_replacement(device, &replacement)) << device;
  }

  EXPECT_TRUE(platform::name_exists(path("data.bin").c_str()));
  EXPECT_TRUE(platform::name_exists(dir_.c_str()));
  EXPECT_FALSE(platform::name_exists(path("missing.bin").c_str()));
  EXPECT_FALSE(platform::name_exists(path("*.bin").c_str()));
  EXPECT_FALSE(platform::name_exists(path("dat?.bin").c_str()));
  EXPECT_FALSE(platform::name_exists("C:"));
  EXPECT_FALSE(platform::name_exists("c:"));
#if defined(_WIN32)
  EXPECT_TRUE(platform::name_exists("C:\\")); // a drive's root directory exists
#endif
}

// Only the first byte of a live block from the allocator has a known size: never host memory,
// an address inside a block, or a block after the library released it.
TEST(PlatformMemory, KnownBlockSizeAnswersForLiveBlocksOnly) {
  long before = platform::live_blocks();
  auto *block = static_cast<unsigned char *>(platform::global_alloc(100));
  void *empty = platform::global_alloc(0);
  ASSERT_TRUE(block && empty);
  EXPECT_NE(block, empty);
  EXPECT_EQ(platform::live_blocks(), before + 2);
  std::size_t size = 7;
  EXPECT_TRUE(platform::known_block_size(block, &size) && size == 100);
  EXPECT_TRUE(platform::known_block_size(empty, &size) && size == 0);
  EXPECT_EQ(platform::block_size(empty), 0u);
  EXPECT_EQ(block[99], 0); // zero-filled
  EXPECT_FALSE(platform::known_block_size(block + 1, &size));
  int local = 0;
  void *hosts = std::malloc(100);
  EXPECT_FALSE(platform::known_block_size(&local, &size));
  EXPECT_FALSE(platform::known_block_size(hosts, &size));
  std::free(hosts);

  EXPECT_EQ(platform::global_free(block), nullptr);
  EXPECT_EQ(platform::global_free(empty), nullptr);
  EXPECT_FALSE(platform::known_block_size(block, &size));
  EXPECT_FALSE(platform::known_block_size(empty, &size));
  EXPECT_EQ(platform::live_blocks(), before);
}

#if defined(_WIN32)
// A host releases with kernel32's GlobalFree, unseen; when the heap hands the address out
// again, the new block's size replaces the old one.
TEST(PlatformMemory, AddressHandedOutAgainAfterTheHostReleasedItHasItsNewSize) {
  void *first = platform::global_alloc(100);
  ASSERT_NE(first, nullptr);
  ASSERT_EQ(GlobalFree(first), nullptr);
  void *second = platform::global_alloc(40);
  ASSERT_NE(second, nullptr);
  std::size_t size = 0;
  EXPECT_TRUE(platform::known_block_size(second, &size) && size == 40)
      << (second == first ? "at the same address" : "at another address");
  EXPECT_EQ(platform::global_free(second), nullptr);
}
#endif

} // namespace
