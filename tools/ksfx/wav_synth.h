// Sound synthesis for the demo: every sample it plays is made here, so the repository holds
// no recordings. Output is 16-bit mono PCM at kSynthRate, the same on every run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ksfx {

constexpr uint32_t kSynthRate = 22050;

struct SynthSample {
  std::string name; // also the WAV file's base name
  std::vector<int16_t> pcm;
};

// voice (a sung, vowel-like line), blaster, laser, door, step1-3, engine (loops seamlessly),
// wind (loops seamlessly).
std::vector<SynthSample> synth_demo_samples();

} // namespace ksfx
