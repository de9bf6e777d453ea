// KSFX_SetupWAVsample over small WAV images built inline, each in a block of exactly its size
// from the library's allocator (as KSFX_FileRead gives them), so ASan catches a read past it:
// sample types, unusual chunk layouts, what the RIFF header may say, and images cut short.
#include "engine/riff.h"
#include "ksnd32.h"
#include "platform/memory.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// A chunk with its size field, then the body and a pad byte after an odd body.
Bytes chunk(const char *id, const Bytes &body, int64_t sizeField = -1) {
  Bytes out(8 + body.size() + (body.size() & 1), 0);
  std::memcpy(out.data(), id, 4);
  riff::put_le32(out.data() + 4, sizeField < 0 ? (uint32_t)body.size() : (uint32_t)sizeField);
  std::copy(body.begin(), body.end(), out.begin() + 8);
  return out;
}
Bytes fmt(uint16_t channels, uint32_t rate, uint16_t bits) {
  Bytes body{1, 0, (uint8_t)channels, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, (uint8_t)bits, 0};
  riff::put_le32(body.data() + 4, rate);
  return chunk("fmt ", body);
}
Bytes wave(const std::vector<Bytes> &chunks, int64_t riffLength = -1) {
  Bytes all{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
  for (const Bytes &c : chunks) all.insert(all.end(), c.begin(), c.end());
  riff::put_le32(all.data() + 4, (uint32_t)(riffLength < 0 ? (int64_t)all.size() - 8 : riffLength));
  return all;
}

// The image in a block of exactly its size (the first `size` bytes when given).
struct Block {
  explicit Block(const Bytes &image, size_t size = SIZE_MAX)
      : bytes(static_cast<uint8_t *>(platform::global_alloc(std::min(size, image.size())))) {
    std::copy_n(image.begin(), std::min(size, image.size()), bytes);
  }
  ~Block() { platform::global_free(bytes); }
  Block(const Block &) = delete;
  Block &operator=(const Block &) = delete;
  uint8_t *bytes;
};

int g_owner;
const Bytes kPcm{1, 2, 3, 4, 5, 6};
// data, image, length, rate, volume, pan, flags, format
SampleRecord preset() { return {nullptr, &g_owner, 0, 0, 0, 0, 0xffff, 7}; }

TEST(WavSetup, SampleTypeFromChannelsAndBitsOtherLayoutsKeepTheFormat) {
  struct Case {
    uint16_t channels, bits, format, flags;
  };
  for (Case c : {Case{1, 8, 0, 0}, Case{2, 16, 3, 2}, Case{1, 16, 1, 2}, Case{2, 8, 2, 0},
                 Case{1, 4, 7, 0}, Case{2, 24, 7, 0}, Case{3, 8, 7, 0}}) {
    Block image(wave({fmt(c.channels, 44100, c.bits), chunk("data", kPcm)}));
    SampleRecord s = preset();
    ASSERT_EQ(KSFX_SetupWAVsample(&s, image.bytes), 1);
    EXPECT_EQ(std::pair(s.format, s.flags), std::pair(c.format, c.flags)) << c.channels << c.bits;
    EXPECT_TRUE(s.rate == 44100 && s.volume == 100 && s.pan == 64 && s.image == &g_owner);
    EXPECT_EQ(s.data, image.bytes + 12 + 24 + 8);
  }
}

TEST(WavSetup, OddChunkPadCapitalIdsDataBeforeFmtAndEmptyData) {
  // Odd-sized LIST (pad byte), capital identifiers, data before fmt, then a cue chunk.
  Block image(wave({chunk("LIST", Bytes(13, 'x')), chunk("DATA", kPcm), fmt(2, 22050, 16),
                    chunk("cue ", Bytes(28, 0))}));
  SampleRecord s = preset();
  ASSERT_EQ(KSFX_SetupWAVsample(&s, image.bytes), 1);
  EXPECT_EQ(s.format, 3);
  EXPECT_EQ(s.rate, 22050u);
  EXPECT_EQ(s.data, image.bytes + 12 + 8 + 14 + 8);
  EXPECT_EQ(s.length, kPcm.size());
  // An empty data chunk as the last bytes of the image.
  const Bytes emptyData = wave({fmt(1, 8000, 8), chunk("data", {})});
  Block empty(emptyData);
  ASSERT_EQ(KSFX_SetupWAVsample(&s, empty.bytes), 1);
  EXPECT_EQ(s.length, 0u);
  EXPECT_EQ(s.data, empty.bytes + emptyData.size());
  // Host memory that holds both chunks is walked to them.
  Bytes host = wave({fmt(1, 8000, 16), chunk("data", kPcm)});
  ASSERT_EQ(KSFX_SetupWAVsample(&s, host.data()), 1);
  EXPECT_EQ(s.format, 1);
}

TEST(WavSetup, RiffLengthIsNotTestedAndA14ByteFmtChunkIsReadAtItsBodyOffsets) {
  const Bytes f = fmt(2, 11025, 8), data = chunk("data", kPcm);
  // The bits of a 14-byte "fmt " lie in the next chunk's identifier: 16, then a 0 byte.
  const Bytes shortFmt = chunk("fmt ", {1, 0, 2, 0, 0x11, 0x2b, 0, 0, 0, 0, 0, 0, 0, 0});
  struct Case {
    const char *what;
    Bytes image;
    uint16_t format, flags;
  };
  const Case cases[] = {{"RIFF length 0, as streaming writers leave it", wave({f, data}, 0), 2, 0},
                        {"RIFF length shorter than the data", wave({f, data}, 4 + 24), 2, 0},
                        {"RIFF length past the end", wave({f, data}, 1000), 2, 0},
                        {"14-byte fmt", wave({shortFmt, chunk("\x10\0xy", {}), data}), 3, 2}};
  for (const Case &c : cases) {
    Block image(c.image);
    SampleRecord s = preset();
    EXPECT_EQ(KSFX_SetupWAVsample(&s, image.bytes), 1) << c.what;
    EXPECT_EQ(std::pair(s.format, s.flags), std::pair(c.format, c.flags)) << c.what;
    EXPECT_EQ(s.rate, 11025u) << c.what;
    EXPECT_EQ(s.length, kPcm.size()) << c.what;
  }
}

TEST(WavSetup, InsideAKnownBlockEveryReadStaysInsideAndOnlyAMissingChunkIsRefused) {
  const Bytes f = fmt(1, 11025, 8), data = chunk("data", kPcm);
  // A missing chunk (also one whose header does not fit, or lies past a huge chunk) gives 0 and
  // changes nothing but the flags.
  const std::tuple<const char *, Bytes, size_t> missing[] = {
      {"no data", wave({f}), SIZE_MAX},
      {"no fmt", wave({data}), SIZE_MAX},
      {"identifier with a 0 byte", wave({f, chunk("dat\0", kPcm)}), SIZE_MAX},
      {"huge chunk before data", wave({f, chunk("junk", {}, 0xffffffff), data}), SIZE_MAX},
      {"data header cut", wave({f, data}), 12 + 24 + 4}};
  for (const auto &[what, bytes, size] : missing) {
    Block image(bytes, size);
    SampleRecord s = preset();
    EXPECT_EQ(KSFX_SetupWAVsample(&s, image.bytes), 0) << what;
    EXPECT_TRUE(s.data == nullptr && s.length == 0 && s.rate == 0 && s.volume == 0 &&
                s.flags == 0 && s.format == 7)
        << what;
  }
  // A data size past the block plays only the bytes that exist.
  Block longData(wave({f, chunk("data", kPcm, 1000)}));
  SampleRecord s = preset();
  ASSERT_EQ(KSFX_SetupWAVsample(&s, longData.bytes), 1);
  EXPECT_EQ(s.length, kPcm.size());
  // "fmt " as the last chunk, cut inside its body: rate present, bits outside the block (the
  // "anything else" row); cut before the rate too: rate 0.
  const Bytes tail = wave({data, fmt(2, 22050, 16)});
  for (auto [cut, rate] : {std::pair{tail.size() - 2, 22050u}, std::pair{tail.size() - 14, 0u}}) {
    Block image(tail, cut);
    s = preset();
    ASSERT_EQ(KSFX_SetupWAVsample(&s, image.bytes), 1) << cut;
    EXPECT_EQ(std::tuple(s.format, s.flags, s.rate), std::tuple(7, 0, rate)) << cut;
  }
}

} // namespace
