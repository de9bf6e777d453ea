// KSFX_SetupWAVsample over small WAV images built inline: usual and unusual chunk layouts,
// sample types, and malformed or truncated images that must leave the record unchanged.
#include "engine/riff.h"
#include "ksnd32.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes chunk(const char *id, const Bytes &body, uint32_t sizeField) {
  Bytes out(8 + body.size() + (body.size() & 1), 0); // a pad byte after an odd body
  std::memcpy(out.data(), id, 4);
  riff::put_le32(out.data() + 4, sizeField);
  std::copy(body.begin(), body.end(), out.begin() + 8);
  return out;
}
Bytes chunk(const char *id, const Bytes &body) { return chunk(id, body, (uint32_t)body.size()); }

Bytes fmt_body(uint16_t channels, uint32_t rate, uint16_t bits) {
  Bytes b(16);
  riff::put_le16(b.data(), 1);
  riff::put_le16(b.data() + 2, channels);
  riff::put_le32(b.data() + 4, rate);
  riff::put_le16(b.data() + 14, bits);
  return b;
}

// The image in a block of exactly its size, so that a read past it is caught.
struct Image {
  std::unique_ptr<uint8_t[]> bytes;
  size_t size;
  uint8_t *at(size_t offset) const { return bytes.get() + offset; }
};

Image wave(const std::vector<Bytes> &chunks, int64_t riffLength = -1) {
  Bytes all{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
  for (const Bytes &c : chunks) all.insert(all.end(), c.begin(), c.end());
  riff::put_le32(all.data() + 4,
                 riffLength < 0 ? (uint32_t)(all.size() - 8) : (uint32_t)riffLength);
  Image image{std::make_unique<uint8_t[]>(all.size()), all.size()};
  std::memcpy(image.bytes.get(), all.data(), all.size());
  return image;
}

int g_imageOwner;

SampleRecord preset() {
  SampleRecord s{};
  s.image = &g_imageOwner;
  s.format = 7;
  s.flags = 0xffff;
  return s;
}

const Bytes kPcm{1, 2, 3, 4, 5, 6};

TEST(WavSetup, PlainMono8BitImage) {
  Image image = wave({chunk("fmt ", fmt_body(1, 11025, 8)), chunk("data", kPcm)});
  SampleRecord s = preset();
  ASSERT_EQ(KSFX_SetupWAVsample(&s, image.at(0)), 1);
  EXPECT_EQ(s.format, 0);
  EXPECT_EQ(s.flags, 0);
  EXPECT_EQ(s.rate, 11025u);
  EXPECT_EQ(s.volume, 100);
  EXPECT_EQ(s.pan, 64);
  EXPECT_EQ(s.data, image.at(12 + 24 + 8));
  EXPECT_EQ(s.length, kPcm.size());
  EXPECT_EQ(s.image, &g_imageOwner);
}

TEST(WavSetup, SampleTypeFromChannelsAndBits) {
  struct Case {
    uint16_t channels, bits, format, flags;
  };
  for (Case c : {Case{2, 16, 3, 2}, Case{1, 16, 1, 2}, Case{2, 8, 2, 0}, Case{1, 4, 7, 0},
                 Case{1, 12, 7, 0}, Case{2, 24, 7, 0}, Case{3, 8, 7, 0}}) {
    Image image = wave({chunk("fmt ", fmt_body(c.channels, 44100, c.bits)), chunk("data", kPcm)});
    SampleRecord s = preset();
    ASSERT_EQ(KSFX_SetupWAVsample(&s, image.at(0)), 1);
    EXPECT_EQ(s.format, c.format) << c.channels << "x" << c.bits;
    EXPECT_EQ(s.flags, c.flags) << c.channels << "x" << c.bits;
    EXPECT_EQ(s.rate, 44100u);
    EXPECT_EQ(s.length, kPcm.size());
  }
}

TEST(WavSetup, RealWorldChunkLayouts) {
  Bytes oddList(13, 'x');
  Bytes fact{0x10, 0, 0, 0};
  Bytes cue(28, 0);
  // Odd-sized LIST (pad byte), fact and cue chunks, capital identifiers, data before fmt.
  Image image = wave({chunk("LIST", oddList), chunk("DATA", kPcm), chunk("fact", fact),
                      chunk("FMT ", fmt_body(2, 22050, 16)), chunk("cue ", cue)});
  SampleRecord s = preset();
  ASSERT_EQ(KSFX_SetupWAVsample(&s, image.at(0)), 1);
  EXPECT_EQ(s.format, 3);
  EXPECT_EQ(s.rate, 22050u);
  EXPECT_EQ(s.data, image.at(12 + 8 + 14 + 8));
  EXPECT_EQ(s.length, kPcm.size());

  // An empty data chunk as the last bytes of the image.
  Image empty = wave({chunk("fmt ", fmt_body(1, 8000, 8)), chunk("data", {})});
  ASSERT_EQ(KSFX_SetupWAVsample(&s, empty.at(0)), 1);
  EXPECT_EQ(s.length, 0u);
  EXPECT_EQ(s.data, empty.at(empty.size));
}

TEST(WavSetup, MalformedImagesAreRefusedAndLeaveTheRecordUnchanged) {
  Bytes shortFmt(14, 0);
  Bytes fmt = chunk("fmt ", fmt_body(1, 11025, 8));
  Bytes data = chunk("data", kPcm);
  std::vector<std::pair<std::string, Image>> images;
  images.emplace_back("no data", wave({fmt}));
  images.emplace_back("no fmt", wave({data}));
  images.emplace_back("fmt body of 14 bytes", wave({chunk("fmt ", shortFmt), data}));
  images.emplace_back("data past the end", wave({fmt, chunk("data", kPcm, 100)}));
  images.emplace_back("huge chunk before data", wave({fmt, chunk("junk", {}, 0xffffffff), data}));
  images.emplace_back("riff length below 4", wave({fmt, data}, 3));
  images.emplace_back("riff length stops before data", wave({fmt, data}, 4 + 24 + 4));
  images.emplace_back("riff length cuts fmt", wave({fmt, data}, 4 + 20));
  images.emplace_back("identifier with a 0 byte", wave({fmt, chunk("dat\0", kPcm)}));
  for (const auto &[what, image] : images) {
    SampleRecord s = preset();
    EXPECT_EQ(KSFX_SetupWAVsample(&s, image.at(0)), 0) << what;
    EXPECT_TRUE(s.data == nullptr && s.image == &g_imageOwner && s.length == 0 && s.rate == 0 &&
                s.volume == 0 && s.pan == 0 && s.flags == 0xffff && s.format == 7)
        << what;
  }
}

} // namespace
