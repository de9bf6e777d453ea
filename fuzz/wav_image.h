// The small PCM WAV images the fuzzers write as samples for their seed banks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fuzzing {

inline void put_le(std::vector<uint8_t> &out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back((uint8_t)(value >> (8 * i)));
}

// A WAV image whose PCM is never silence (8-bit unsigned 0x90, 16-bit 0x1010).
inline std::vector<uint8_t> wav(uint16_t channels, uint16_t bits, uint32_t rate, uint32_t pcm) {
  std::vector<uint8_t> out{'R', 'I', 'F', 'F'};
  put_le(out, 36 + pcm, 4);
  for (char c : std::string("WAVEfmt ")) out.push_back((uint8_t)c);
  put_le(out, 16, 4);
  put_le(out, 1, 2);
  put_le(out, channels, 2);
  put_le(out, rate, 4);
  put_le(out, rate * channels * bits / 8, 4);
  put_le(out, channels * bits / 8, 2);
  put_le(out, bits, 2);
  for (char c : std::string("data")) out.push_back((uint8_t)c);
  put_le(out, pcm, 4);
  out.insert(out.end(), pcm, bits == 8 ? 0x90 : 0x10);
  return out;
}

} // namespace fuzzing
