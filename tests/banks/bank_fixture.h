// Shared by the bank tests: a byte builder, WAV images, a recording message box, and a fixture
// with the samples "s8.wav" and "s16.wav" in its virtual path and a live-block count.
#pragma once

#include "banks/package_table.h"
#include "files/virtual_path.h"
#include "ksnd32.h"
#include "platform/memory.h"
#include "platform/message_box.h"
#include "support/fake_wail.h"
#include "tools/ksfx/posix_shims.h"

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
  Builder &u16(uint32_t v) { return raw({(uint8_t)v, (uint8_t)(v >> 8)}); }
  Builder &u32(uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
  Builder &text(const std::string &s) { return raw(Bytes(s.begin(), s.end())); }
  Builder &zeros(std::size_t count) { return raw(Bytes(count, 0)); }
  Builder &raw(const Bytes &b) {
    bytes.insert(bytes.end(), b.begin(), b.end());
    return *this;
  }
};

inline Bytes le32(uint32_t v) { return Builder{}.u32(v).bytes; }

inline Bytes from(const Bytes &b, std::size_t at, std::size_t count = SIZE_MAX) {
  return Bytes(b.begin() + (long)at, b.begin() + (long)(at + std::min(b.size() - at, count)));
}

inline Bytes wav_image(uint16_t channels, uint16_t bits, uint32_t rate, uint32_t pcm) {
  Builder b;
  b.text("RIFF").u32(36 + pcm).text("WAVEfmt ").u32(16).u16(1).u16(channels).u32(rate);
  b.u32(rate * channels * bits / 8).u16(channels * bits / 8).u16(bits).text("data").u32(pcm);
  return b.zeros(pcm).bytes;
}

inline Bytes read_bytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

inline std::vector<std::string> g_boxes; // message boxes shown, each as "caption|text|style"
inline int32_t record_box(const char *text, const char *caption, uint32_t style) {
  g_boxes.push_back(std::string(caption) + "|" + text + "|" + std::to_string(style));
  return 1;
}
inline int g_callbackCalls = 0;
inline int32_t give_up(const char *) { return ++g_callbackCalls, 0; }

// With KSND_BANK_CORPUS naming a directory, compile() and seed() also write their banks there:
// that is how the importer fuzzer's seed corpus is made.
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
    g_callbackCalls = 0;
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
    std::filesystem::remove_all(dir_);
  }
  long leaked() const { return platform::live_blocks() - baseline_; }
  std::string path(const std::string &name) const { return dir_ + name; }
  void put(const std::string &name, const Bytes &bytes) const {
    std::ofstream(path(name), std::ios::binary) << std::string(bytes.begin(), bytes.end());
  }
  // Writes a hand-built bank for import, and into the seed corpus when one is named.
  std::string seed(const std::string &name, const Bytes &bytes) const {
    if (const char *corpus = std::getenv("KSND_BANK_CORPUS"))
      std::ofstream(std::string(corpus) + "/" + name, std::ios::binary)
          << std::string(bytes.begin(), bytes.end());
    put(name, bytes);
    return path(name);
  }
  // Compiles a bank file with CompileSFXpackage's arguments after the name; returns its bytes.
  template <class... Args> Bytes compile(const std::string &name, Args... args) {
    const char *corpus = std::getenv("KSND_BANK_CORPUS");
    out_ = corpus ? std::string(corpus) + "/" + name : path(name);
    EXPECT_EQ(CompileSFXpackage(out_.c_str(), args...), 1);
    return read_bytes(out_);
  }
  // A bank of `n` plain sounds naming the given samples: its path.
  std::string bank_of(const std::vector<const char *> &names, uint16_t n = 1,
                      const std::string &file = "b.kfx") {
    std::vector<SampleRecord> s(names.size());
    std::vector<SoundRecord> r(n);
    for (SoundRecord &record : r) record.rate = record.volume = record.pan = -1;
    const uint16_t m = (uint16_t)s.size();
    EXPECT_EQ(
        CompileSFXpackage(path(file).c_str(), r.data(), nullptr, n, s.data(), names.data(), m), 1);
    return path(file);
  }
  int32_t import(const std::vector<const char *> &names) {
    return ImportSFXpackage(bank_of(names).c_str());
  }

  std::string dir_, out_;
  long baseline_ = 0;
};

} // namespace bank_test
