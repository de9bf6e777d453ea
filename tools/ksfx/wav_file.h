// WAV images: the check that a sample file is plain PCM in a shape the library plays, and the
// encoder for the 16-bit files the tool writes.
#pragma once

#include "riff.h"

#include <cstdint>
#include <span>
#include <vector>

namespace ksfx {

struct WavShape {
  uint16_t channels = 0;
  uint16_t bits = 0;
  uint32_t rate = 0;
  uint32_t dataBytes = 0;
};

// Checks a RIFF WAVE image: a PCM "fmt " chunk (format tag 1) of mono or stereo, 8 or 16 bits,
// and a "data" chunk, both inside the image. Throws ToolError saying what is wrong.
WavShape check_pcm_wav(Bytes image);

// A 16-bit PCM WAV image of interleaved samples.
std::vector<uint8_t> encode_wav16(std::span<const int16_t> samples, uint16_t channels,
                                  uint32_t rate);

// Float samples (nominally -1..1) to 16-bit, clipped and rounded the same way on every run.
std::vector<int16_t> to_pcm16(std::span<const float> samples);

} // namespace ksfx
