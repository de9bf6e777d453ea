// WAV checks and writing, the demo's synthesis and tune, and the demo's own consistency: its
// script only names sounds its manifest defines.
#include "demo_show.h"
#include "error.h"
#include "manifest.h"
#include "midi_writer.h"
#include "riff.h"
#include "script.h"
#include "wav_file.h"
#include "wav_synth.h"
#include "wav_writer.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>

namespace ksfx {
namespace {

std::vector<uint8_t> tone_wav() {
  std::vector<int16_t> pcm = {0, 1000, -1000, 0};
  return encode_wav16(pcm, 1, 22050);
}

std::string wav_problem(const std::vector<uint8_t> &bytes) {
  try {
    check_pcm_wav(bytes);
  } catch (const ToolError &e) {
    return e.what();
  }
  return "accepted";
}

TEST(WavFile, ChecksFormatTagShapeAndChunks) {
  std::vector<uint8_t> good = tone_wav();
  WavShape shape = check_pcm_wav(good);
  EXPECT_EQ(shape.channels, 1);
  EXPECT_EQ(shape.bits, 16);
  EXPECT_EQ(shape.rate, 22050u);
  EXPECT_EQ(shape.dataBytes, 8u);

  std::vector<uint8_t> floats = good;
  floats[20] = 3; // IEEE float
  EXPECT_NE(wav_problem(floats).find("not PCM (format tag 3)"), std::string::npos);
  std::vector<uint8_t> wide = good;
  wide[34] = 24;
  EXPECT_NE(wav_problem(wide).find("24 bits"), std::string::npos);
  std::vector<uint8_t> cut(good.begin(), good.end() - 2);
  EXPECT_NE(wav_problem(cut).find("runs past the end"), std::string::npos);
  std::vector<uint8_t> noData = good;
  noData[36] = 'x';
  EXPECT_NE(wav_problem(noData).find("no \"data\""), std::string::npos);
  EXPECT_NE(wav_problem({'R', 'I', 'F', 'F'}).find("not a WAV"), std::string::npos);

  // An odd-sized chunk before "fmt " is stepped over with its pad byte.
  std::vector<uint8_t> padded(good.begin(), good.begin() + 12);
  padded.insert(padded.end(), {'L', 'I', 'S', 'T', 3, 0, 0, 0, 'a', 'b', 'c', 0});
  padded.insert(padded.end(), good.begin() + 12, good.end());
  padded[4] = static_cast<uint8_t>(padded.size() - 8);
  EXPECT_EQ(wav_problem(padded), "accepted");
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
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
  WavShape shape = check_pcm_wav(bytes);
  EXPECT_EQ(shape.dataBytes, 20u);
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
    if (first[i].name == "engine" || first[i].name == "wind") {
      int jump = std::abs(first[i].pcm.front() - first[i].pcm.back());
      EXPECT_LT(jump, 2000) << first[i].name << " clicks at its loop point";
    }
  }
}

TEST(DemoContent, TuneIsAStandardMidiFileWithWholeTrack) {
  std::vector<uint8_t> midi = demo_tune();
  ASSERT_GT(midi.size(), 22u);
  EXPECT_EQ(std::string(midi.begin(), midi.begin() + 4), "MThd");
  EXPECT_EQ(std::string(midi.begin() + 14, midi.begin() + 18), "MTrk");
  uint32_t length = (uint32_t(midi[18]) << 24) | (midi[19] << 16) | (midi[20] << 8) | midi[21];
  EXPECT_EQ(length, midi.size() - 22);
  EXPECT_EQ(std::vector<uint8_t>(midi.end() - 3, midi.end()),
            (std::vector<uint8_t>{0xFF, 0x2F, 0}));
}

TEST(DemoContent, ScriptParsesAndNamesOnlyManifestSoundsAndFiles) {
  std::vector<DemoFile> files = demo_files();
  std::set<std::string> fileNames;
  std::string manifestText;
  for (const DemoFile &f : files) {
    fileNames.insert(f.name);
    if (f.name == "demo.toml") manifestText.assign(f.bytes.begin(), f.bytes.end());
  }
  Manifest manifest = parse_manifest(manifestText, "demo.toml", "/demo");
  for (const ManifestSample &s : manifest.samples) EXPECT_TRUE(fileNames.count(s.file)) << s.file;
  std::set<std::string> sounds;
  for (const ManifestSound &s : manifest.sounds) sounds.insert(s.name);
  Script script = parse_script(demo_script(), "demo");
  EXPECT_EQ(script.channels, 3);
  EXPECT_GT(script.commands.back().time, 20.0);
  for (const ScriptCommand &c : script.commands) {
    if (!c.sound.empty()) {
      EXPECT_TRUE(sounds.count(c.sound)) << c.sound;
    }
    if (c.op == Op::Tune) {
      EXPECT_TRUE(fileNames.count(c.text)) << c.text;
    }
  }
}

} // namespace
} // namespace ksfx
