// WAV checks and writing, and the demo's synthesised samples.
#include "error.h"
#include "file_util.h"
#include "riff.h"
#include "wav_file.h"
#include "wav_synth.h"
#include "wav_writer.h"

#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>

namespace ksfx {
namespace {

std::string wav_problem(const std::vector<uint8_t> &bytes) {
  try {
    check_pcm_wav(bytes);
  } catch (const ToolError &e) {
    return e.what();
  }
  return "accepted";
}

TEST(WavFile, ChecksFormatTagShapeAndChunks) {
  const std::vector<int16_t> pcm = {0, 1000, -1000, 0};
  const std::vector<uint8_t> good = encode_wav16(pcm, 1, 22050);
  WavShape shape = check_pcm_wav(good);
  EXPECT_EQ(shape.channels, 1);
  EXPECT_EQ(shape.bits, 16);
  EXPECT_EQ(shape.rate, 22050u);
  EXPECT_EQ(shape.dataBytes, 8u);

  // An odd-sized chunk before "fmt " is stepped over with its pad byte.
  std::vector<uint8_t> padded(good.begin(), good.begin() + 12);
  padded.insert(padded.end(), {'L', 'I', 'S', 'T', 3, 0, 0, 0, 'a', 'b', 'c', 0});
  padded.insert(padded.end(), good.begin() + 12, good.end());
  padded[4] = static_cast<uint8_t>(padded.size() - 8);
  EXPECT_EQ(wav_problem(padded), "accepted");

  std::vector<uint8_t> floats = good, wide = good, noData = good;
  floats[20] = 3; // IEEE float
  wide[34] = 24;
  noData[36] = 'x';
  const std::pair<std::vector<uint8_t>, std::string> bad[] = {
      {floats, "not PCM (format tag 3)"},
      {wide, "24 bits"},
      {std::vector<uint8_t>(good.begin(), good.end() - 2), "runs past the end"},
      {noData, "no \"data\""},
      {{'R', 'I', 'F', 'F'}, "not a WAV"},
  };
  for (const auto &[image, expected] : bad)
    EXPECT_NE(wav_problem(image).find(expected), std::string::npos) << wav_problem(image);
}

TEST(WavFile, ConvertsFloatsClippedAndRounded) {
  std::vector<float> in = {0.0f, 0.5f, -1.0f, 2.0f, -3.0f, NAN};
  EXPECT_EQ(to_pcm16(in), (std::vector<int16_t>{0, 16384, -32767, 32767, -32767, 0}));
}

TEST(WavWriter, CompletesTheHeaderOnlyWhenFinished) {
  auto path = std::filesystem::temp_directory_path() / "ksfx_writer_test.wav";
  {
    WavWriter unfinished(path, 2, 48000);
    unfinished.write(std::vector<float>{0.1f, 0.2f});
  }
  EXPECT_FALSE(std::filesystem::exists(path));
  WavWriter writer(path, 2, 48000);
  writer.write(std::vector<float>(10, 0.25f));
  EXPECT_EQ(writer.frames(), 5u);
  writer.finish();
  std::vector<uint8_t> bytes = read_file(path);
  EXPECT_EQ(check_pcm_wav(bytes).dataBytes, 20u);
  EXPECT_EQ(get_le32(bytes, 4), bytes.size() - 8);
  std::filesystem::remove(path);
}

TEST(DemoContent, SamplesAreAudibleRepeatableAndTheLoopsJoin) {
  std::vector<SynthSample> first = synth_demo_samples(), second = synth_demo_samples();
  ASSERT_EQ(first.size(), second.size());
  for (size_t i = 0; i < first.size(); ++i) {
    EXPECT_EQ(first[i].pcm, second[i].pcm) << first[i].name;
    int peak = 0;
    for (int16_t s : first[i].pcm) peak = std::max(peak, std::abs(int(s)));
    EXPECT_GT(peak, 10000) << first[i].name;
    if (first[i].name == "engine" || first[i].name == "wind") { // looped: no click at the join
      EXPECT_LT(std::abs(first[i].pcm.front() - first[i].pcm.back()), 2000) << first[i].name;
    }
  }
}

} // namespace
} // namespace ksfx
