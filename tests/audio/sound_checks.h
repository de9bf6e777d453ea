// What the audio tests share to judge the sound: an RMS level, the 16-bit samples of a WAV file
// our outputs or the tool wrote, and whether a SoundFont is installed (without one, tunes are
// silent and their level cannot be checked).
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace audio_test {

inline double rms(const std::vector<float> &v, size_t from = 0, size_t to = SIZE_MAX) {
  to = std::min(to, v.size());
  double sum = 0;
  for (size_t i = from; i < to; ++i) sum += double(v[i]) * double(v[i]);
  return std::sqrt(sum / double(to - from));
}

// Everything after a 44-byte header, as little-endian 16-bit samples.
inline std::vector<int16_t> wav_samples(const std::string &path) {
  std::ifstream file(path, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(file), {}};
  std::vector<int16_t> samples;
  for (size_t at = 44; at + 1 < bytes.size(); at += 2)
    samples.push_back(int16_t(uint8_t(bytes[at]) | uint8_t(bytes[at + 1]) << 8));
  return samples;
}

// Where the library looks (its search is internal to libwail32).
inline bool soundfont_installed() {
  const char *chosen = std::getenv("KSND_SOUNDFONT");
  for (const char *path :
       {chosen, "/usr/share/sounds/sf2/TimGM6mb.sf2", "/usr/share/sounds/sf2/FluidR3_GM.sf2",
        "/usr/share/soundfonts/default.sf2"})
    if (path && *path && std::filesystem::exists(path)) return true;
  return false;
}

} // namespace audio_test
