// What the audio tests share to judge the sound: an RMS level, a WAV file our outputs wrote, and
// whether a SoundFont is installed (without one, tunes are silent and their level cannot be
// checked).
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

// A WAV file our outputs wrote (a 44-byte header, then 16-bit samples), read whole.
struct WavFile {
  explicit WavFile(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(file), {});
  }
  // The little-endian number of `n` bytes at `at`.
  uint32_t le(size_t at, size_t n) const {
    uint32_t v = 0;
    while (n-- > 0) v = v << 8 | uint8_t(bytes.at(at + n));
    return v;
  }
  std::vector<int16_t> samples() const {
    std::vector<int16_t> out;
    for (size_t at = 44; at + 1 < bytes.size(); at += 2) out.push_back(int16_t(le(at, 2)));
    return out;
  }
  std::string bytes;
};

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
