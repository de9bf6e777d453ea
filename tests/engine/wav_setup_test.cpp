// KSFX_SetupWAVsample over small WAV images built inline: sample types, unusual chunk layouts,
// and malformed images that must leave the record unchanged.
#include "engine/riff.h"
#include "ksnd32.h"

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

// The image copied into a block of exactly its size, so that ASan catches a read past it.
Bytes wave(const std::vector<Bytes> &chunks, int64_t riffLength = -1) {
  Bytes all{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
  for (const Bytes &c : chunks) all.insert(all.end(), c.begin(), c.end());
  riff::put_le32(all.data() + 4, (uint32_t)(riffLength < 0 ? (int64_t)all.size() - 8 : riffLength));
  return Bytes(all.begin(), all.end());
}

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
    Bytes image = wave({fmt(c.channels, 44100, c.bits), chunk("data", kPcm)});
    SampleRecord s = preset();
    ASSERT_EQ(KSFX_SetupWAVsample(&s, image.data()), 1);
    EXPECT_EQ(std::pair(s.format, s.flags), std::pair(c.format, c.flags)) << c.channels << c.bits;
    EXPECT_TRUE(s.rate == 44100 && s.volume == 100 && s.pan == 64 && s.image == &g_owner);
    EXPECT_EQ(s.data, image.data() + 12 + 24 + 8);
  }
}

TEST(WavSetup, OddChunkPadCapitalIdsDataBeforeFmtAndEmptyData) {
  // Odd-sized LIST (pad byte), capital identifiers, data before fmt, then a cue chunk.
  Bytes image = wave({chunk("LIST", Bytes(13, 'x')), chunk("DATA", kPcm), fmt(2, 22050, 16),
                      chunk("cue ", Bytes(28, 0))});
  SampleRecord s = preset();
  ASSERT_EQ(KSFX_SetupWAVsample(&s, image.data()), 1);
  EXPECT_EQ(s.format, 3);
  EXPECT_EQ(s.rate, 22050u);
  EXPECT_EQ(s.data, image.data() + 12 + 8 + 14 + 8);
  EXPECT_EQ(s.length, kPcm.size());
  // An empty data chunk as the last bytes of the image.
  Bytes empty = wave({fmt(1, 8000, 8), chunk("data", {})});
  ASSERT_EQ(KSFX_SetupWAVsample(&s, empty.data()), 1);
  EXPECT_EQ(s.length, 0u);
  EXPECT_EQ(s.data, empty.data() + empty.size());
}

TEST(WavSetup, MalformedImagesAreRefusedAndLeaveTheRecordUnchanged) {
  const Bytes f = fmt(1, 11025, 8), data = chunk("data", kPcm);
  std::pair<const char *, Bytes> images[] = {
      {"no data", wave({f})},
      {"no fmt", wave({data})},
      {"fmt body of 14 bytes", wave({chunk("fmt ", Bytes(14, 0)), data})},
      {"data past the end", wave({f, chunk("data", kPcm, 100)})},
      {"huge chunk before data", wave({f, chunk("junk", {}, 0xffffffff), data})},
      {"riff length below 4", wave({f, data}, 3)},
      {"riff length stops before data", wave({f, data}, 4 + 24 + 4)},
      {"identifier with a 0 byte", wave({f, chunk("dat\0", kPcm)})}};
  for (auto &[what, image] : images) {
    SampleRecord s = preset();
    EXPECT_EQ(KSFX_SetupWAVsample(&s, image.data()), 0) << what;
    EXPECT_TRUE(s.data == nullptr && s.length == 0 && s.rate == 0 && s.volume == 0 &&
                s.flags == 0xffff && s.format == 7)
        << what;
  }
}

} // namespace
