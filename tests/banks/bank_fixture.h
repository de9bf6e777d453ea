// Shared helpers for the bank tests: a little-endian byte builder for inline images, tiny WAV
// images, and a fixture with a temporary directory that resets the package table, the virtual
// path, the message box and the fake around every test.
#pragma once

#include "banks/package_table.h"
#include "files/virtual_path.h"
#include "ksnd32.h"
#include "platform/memory.h"
#include "platform/message_box.h"
#include "support/fake_wail.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace bank_test {

using Bytes = std::vector<uint8_t>;

struct Builder {
  Bytes bytes;
  Builder &le(uint32_t v, int width) {
    for (int i = 0; i < width; ++i) bytes.push_back((uint8_t)(v >> (8 * i)));
    return *this;
  }
  Builder &u16(uint32_t v) { return le(v, 2); }
  Builder &u32(uint32_t v) { return le(v, 4); }
  Builder &text(const std::string &s) {
    bytes.insert(bytes.end(), s.begin(), s.end());
    return *this;
  }
  Builder &zeros(std::size_t count) {
    bytes.insert(bytes.end(), count, 0);
    return *this;
  }
};

// A RIFF WAVE image: "fmt " then "data" holding `pcm` bytes.
inline Bytes wav_image(uint16_t channels, uint16_t bits, uint32_t rate, uint32_t pcm) {
  Builder b;
  b.text("RIFF").u32(36 + pcm).text("WAVEfmt ").u32(16).u16(1).u16(channels).u32(rate);
  b.u32(rate * channels * bits / 8).u16(channels * bits / 8).u16(bits).text("data").u32(pcm);
  return b.zeros(pcm).bytes;
}

struct ShownBox {
  std::string text, caption;
  uint32_t style;
};
inline std::vector<ShownBox> g_boxes;
inline int32_t record_box(const char *text, const char *caption, uint32_t style) {
  g_boxes.push_back({text, caption, style});
  return 1;
}

// "s8.wav" (mono 8-bit 11025 Hz, 100 bytes) and "s16.wav" (stereo 16-bit 22050 Hz, 64 bytes) lie
// in the virtual path. With KSND_BANK_CORPUS set, output() names files there instead (the
// fuzzer's seed corpus is written that way).
class BankTest : public ::testing::Test {
protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "ksnd_banks_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern + "/";
    fake::reset();
    files::reset_virtual_paths();
    platform::set_message_box_hook(record_box);
    g_boxes.clear();
    put("s8.wav", wav_image(1, 8, 11025, 100));
    put("s16.wav", wav_image(2, 16, 22050, 64));
    SetVirtualFilePath(dir_.c_str());
    baseline_ = platform::live_blocks();
  }
  void TearDown() override {
    for (int32_t bank = 0; bank < banks::kPackageSlots; ++bank) {
      DiscardPackageSampleBits(bank);
      DiscardSFXpackage(bank);
    }
    KSOUNDClose();
    platform::fail_nth_allocation(0);
    platform::set_message_box_hook(nullptr);
    files::reset_virtual_paths();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  long leaked() const { return platform::live_blocks() - baseline_; }
  std::string path(const std::string &name) const { return dir_ + name; }
  std::string output(const std::string &name) const {
    const char *corpus = std::getenv("KSND_BANK_CORPUS");
    return corpus ? std::string(corpus) + "/" + name : path(name);
  }
  void put(const std::string &name, const Bytes &bytes) const {
    std::ofstream(path(name), std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), (std::streamsize)bytes.size());
  }
  static Bytes get(const std::string &file) {
    std::ifstream in(file, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }

  std::string dir_;
  long baseline_ = 0;
};

} // namespace bank_test
