// The outputs as wave devices: what KSND_AUDIO lists, the capabilities they report, and the
// real-time outputs (null and WAV) rendering, ending samples and stopping on their threads.
#include "mixer_fixture.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

namespace mixer_test {
namespace {

using namespace std::chrono_literals;

// Polls `done` for up to two seconds.
template <typename Done> bool eventually(Done done) {
  for (auto until = std::chrono::steady_clock::now() + 2s;
       std::chrono::steady_clock::now() < until;) {
    if (done()) return true;
    std::this_thread::sleep_for(1ms);
  }
  return done();
}

uint32_t get_le32(const std::string &bytes, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i)
    v = v << 8 | static_cast<uint8_t>(bytes[at + static_cast<size_t>(i)]);
  return v;
}

std::string read_file(const std::string &path) {
  std::string bytes;
  if (std::FILE *f = std::fopen(path.c_str(), "rb")) {
    char chunk[4096];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) bytes.append(chunk, n);
    std::fclose(f);
  }
  return bytes;
}

std::string device_name(uint32_t device) {
  WAVEOUTCAPSA caps{};
  EXPECT_EQ(waveOutGetDevCapsA(device, &caps, sizeof caps), 0u);
  EXPECT_NE(caps.dwFormats & WAVE_FORMAT_1S08, 0u);
  return caps.szPname;
}

TEST(OutputDevices, KsndAudioChoosesTheListedOutputs) {
  const char *choices[][2] = {{"null", "null"}, {"offline", "offline"}, {"wav:/tmp/x.wav", "WAV"}};
  for (const auto &[choice, name] : choices) {
    setenv("KSND_AUDIO", choice, 1);
    EXPECT_EQ(waveOutGetNumDevs(), 1u);
    EXPECT_NE(device_name(0).find(name), std::string::npos) << choice;
  }
  unsetenv("KSND_AUDIO");
  const uint32_t count = waveOutGetNumDevs();
  EXPECT_GE(count, 1u);
  EXPECT_NE(device_name(0).find("null"), std::string::npos); // always first
  WAVEOUTCAPSA caps{};
  EXPECT_NE(waveOutGetDevCapsA(count, &caps, sizeof caps), 0u);
  EXPECT_NE(waveOutGetDevCapsA(0, nullptr, 52), 0u);
}

TEST(OutputDevices, WithoutASoundDeviceTheNullOutputOpensAndSaysSo) {
  unsetenv("KSND_AUDIO");
  if (waveOutGetNumDevs() > 1) GTEST_SKIP() << "this machine has a sound device";
  AIL_startup();
  HDIGDRIVER driver = nullptr;
  const PCMWAVEFORMAT format{1, 2, 11025, 22050, 2, 8};
  testing::internal::CaptureStderr();
  EXPECT_EQ(AIL_waveOutOpen(&driver, nullptr, 0, &format), 0);
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("no sound device"), std::string::npos);
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1);
  EXPECT_EQ(AIL_output_rate(), 48000u);
  AIL_shutdown();
}

class RealTimeOutput : public LibraryTest {
protected:
  void SetUp() override {
    LibraryTest::SetUp();
    AIL_shutdown();
    open("null");
  }
};

TEST_F(RealTimeOutput, NullOutputEndsSamplesOnTheServiceThread) {
  const std::vector<uint8_t> pcm(480, 0xC0); // 10 ms
  HSAMPLE s = voice(pcm.data(), pcm.size(), DIG_F_MONO_8, 48000);
  AIL_start_sample(s);
  EXPECT_EQ(AIL_sample_status(s), static_cast<uint32_t>(SMP_PLAYING));
  ASSERT_TRUE(eventually([&] { return ends_of(s) == 1; }));
  EXPECT_NE(ended()[0].thread, std::this_thread::get_id());
  EXPECT_EQ(AIL_sample_status(s), static_cast<uint32_t>(SMP_DONE));
}

TEST_F(RealTimeOutput, RestartWhileTheHostHoldsTheLockDropsTheStaleEnd) {
  const std::vector<uint8_t> pcm(480, 0xC0);
  HSAMPLE s = voice(pcm.data(), pcm.size(), DIG_F_MONO_8, 48000);
  AIL_lock();
  AIL_start_sample(s);
  // The voice runs out in the mix, but its end cannot be delivered while the lock is held.
  const bool ranOut = eventually([&] { return AIL_sample_position(s) == pcm.size(); });
  EXPECT_EQ(AIL_sample_status(s), static_cast<uint32_t>(SMP_PLAYING));
  AIL_set_sample_address(s, pcm.data(), static_cast<uint32_t>(pcm.size()));
  AIL_start_sample(s);
  AIL_unlock();
  ASSERT_TRUE(ranOut);
  ASSERT_TRUE(eventually([&] { return ends_of(s) == 1; }));
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(ends_of(s), 1);
}

TEST_F(RealTimeOutput, ShutdownUnderTheLockStopsEveryCallback) {
  const std::vector<uint8_t> pcm(48, 0xC0); // 1 ms, restarted by nobody: many voices end
  for (int i = 0; i < 32; ++i) {
    HSAMPLE s = voice(pcm.data(), pcm.size(), DIG_F_MONO_8, 48000);
    AIL_set_sample_loop_count(s, 1 + i);
    AIL_start_sample(s);
  }
  std::this_thread::sleep_for(10ms);
  AIL_lock();
  AIL_shutdown();
  AIL_unlock();
  const size_t after = ended().size();
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(ended().size(), after);
  open("null");
}

TEST_F(RealTimeOutput, WavOutputWritesAnAudibleWavWithCorrectSizes) {
  AIL_shutdown();
  setenv("KSND_AUDIO", "wav:/nonexistent-dir/x.wav", 1);
  HDIGDRIVER refused = nullptr;
  const PCMWAVEFORMAT format{1, 2, 11025, 22050, 2, 8};
  EXPECT_NE(AIL_waveOutOpen(&refused, nullptr, 0, &format), 0);
  EXPECT_NE(std::string(AIL_last_error()).find("/nonexistent-dir/x.wav"), std::string::npos);
  const std::string path = testing::TempDir() + "ksnd_output_test.wav";
  open(("wav:" + path).c_str());
  std::vector<uint8_t> square(4800);
  for (size_t i = 0; i < square.size(); ++i) square[i] = (i / 24) % 2 ? 0xE0 : 0x20;
  HSAMPLE s = voice(square.data(), square.size(), DIG_F_MONO_8, 48000);
  AIL_start_sample(s);
  ASSERT_TRUE(eventually([&] { return ends_of(s) == 1; }));
  AIL_shutdown();
  const std::string bytes = read_file(path);
  ASSERT_GE(bytes.size(), 44u + 4800 * 4);
  EXPECT_EQ(bytes.substr(0, 4), "RIFF");
  EXPECT_EQ(bytes.substr(8, 8), "WAVEfmt ");
  EXPECT_EQ(get_le32(bytes, 4), bytes.size() - 8);
  EXPECT_EQ(get_le32(bytes, 24), 48000u);
  EXPECT_EQ(get_le32(bytes, 28), 48000u * 4);
  EXPECT_EQ(bytes.substr(36, 4), "data");
  EXPECT_EQ(get_le32(bytes, 40), bytes.size() - 44);
  EXPECT_EQ(get_le32(bytes, 40) % 4, 0u);
  int loud = 0; // samples at the square's level, +-0.75 of full scale
  for (size_t at = 44; at + 1 < bytes.size(); at += 2) {
    const auto v = static_cast<int16_t>(static_cast<uint8_t>(bytes[at]) | bytes[at + 1] << 8);
    loud += v > 24000 || v < -24000;
  }
  EXPECT_GE(loud, 4800 * 2 - 200);
  std::remove(path.c_str());
  open("null");
}

} // namespace
} // namespace mixer_test
