// Additive and noise synthesis of the demo's samples. Each sound is a small function over a
// float buffer; a fixed-seed generator keeps the noise identical between runs.
#include "wav_synth.h"

#include "wav_file.h"

#include <algorithm>
#include <cmath>

namespace ksfx {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRate = kSynthRate;

using Buffer = std::vector<float>;

size_t frames(double seconds) { return static_cast<size_t>(seconds * kRate); }

// Fixed-seed white noise in -1..1.
class Noise {
public:
  float next() {
    state_ = state_ * 1664525u + 1013904223u;
    return static_cast<float>(state_ >> 8) / 8388608.0f - 1.0f;
  }

private:
  uint32_t state_ = 12345;
};

// One-pole low-pass; `cutoff` in Hz.
class LowPass {
public:
  explicit LowPass(double cutoff) { set(cutoff); }
  void set(double cutoff) { a_ = static_cast<float>(1.0 - std::exp(-2.0 * kPi * cutoff / kRate)); }
  float step(float x) { return y_ += a_ * (x - y_); }

private:
  float a_ = 0, y_ = 0;
};

void normalise(Buffer &b, float peak) {
  float max = 0;
  for (float x : b) max = std::max(max, std::fabs(x));
  if (max > 0)
    for (float &x : b) x *= peak / max;
}

// Linear attack and release, in seconds.
float envelope(size_t i, size_t n, double attack, double release) {
  double t = static_cast<double>(i) / kRate, left = static_cast<double>(n - i) / kRate;
  return static_cast<float>(std::min({1.0, t / attack, left / release}));
}

struct Vowel {
  double f1, f2, f3;
};
constexpr Vowel kA{730, 1090, 2440}, kE{530, 1840, 2480}, kI{290, 2250, 2890}, kO{570, 840, 2410},
    kU{300, 870, 2240};

double formant_gain(double f, const Vowel &v) {
  auto peak = [f](double centre, double width) {
    double d = (f - centre) / width;
    return 1.0 / (1.0 + d * d);
  };
  return peak(v.f1, 90) + 0.7 * peak(v.f2, 110) + 0.4 * peak(v.f3, 160);
}

// A sung syllable: harmonics of `pitch` shaped by the vowel's formants, with vibrato.
void add_syllable(Buffer &out, size_t at, double seconds, double pitch, const Vowel &v) {
  size_t n = frames(seconds);
  if (out.size() < at + n) out.resize(at + n);
  double phase = 0;
  int harmonics = static_cast<int>(4000 / pitch);
  for (size_t i = 0; i < n; ++i) {
    double t = static_cast<double>(i) / kRate;
    phase += 2 * kPi * pitch * (1 + 0.012 * std::sin(2 * kPi * 5.5 * t)) / kRate;
    double sum = 0;
    for (int k = 1; k <= harmonics; ++k)
      sum += formant_gain(k * pitch, v) * std::sin(k * phase) / std::sqrt(k);
    out[at + i] += static_cast<float>(sum) * envelope(i, n, 0.03, 0.08);
  }
}

Buffer voice() {
  struct Syllable {
    double pitch, seconds;
    Vowel vowel;
  };
  const Syllable line[] = {{196, 0.35, kO}, {220, 0.3, kA},  {247, 0.3, kE},
                           {262, 0.5, kA},  {247, 0.3, kI},  {220, 0.3, kO},
                           {196, 0.45, kU}, {220, 0.35, kA}, {175, 0.6, kO}};
  Buffer out;
  size_t at = 0;
  for (const Syllable &s : line) {
    add_syllable(out, at, s.seconds, s.pitch, s.vowel);
    at += frames(s.seconds + 0.04);
  }
  out.resize(at);
  normalise(out, 0.8f);
  return out;
}

// A falling square-ish tone with a noisy crack at its start.
Buffer blaster() {
  Buffer out(frames(0.4));
  Noise noise;
  double phase = 0;
  for (size_t i = 0; i < out.size(); ++i) {
    double t = static_cast<double>(i) / kRate;
    phase += 2 * kPi * (1400 * std::exp(-t * 7) + 120) / kRate;
    float tone = static_cast<float>(std::tanh(3 * std::sin(phase)));
    float crack = noise.next() * static_cast<float>(std::exp(-t * 40));
    out[i] = (0.7f * tone + 0.5f * crack) * static_cast<float>(std::exp(-t * 5));
  }
  normalise(out, 0.9f);
  return out;
}

// A rising then falling chirp, short and bright.
Buffer laser() {
  Buffer out(frames(0.5));
  double phase = 0;
  for (size_t i = 0; i < out.size(); ++i) {
    double t = static_cast<double>(i) / kRate;
    phase += 2 * kPi * (2400 - 3600 * t) / kRate;
    out[i] = static_cast<float>(std::sin(phase) * std::exp(-t * 4)) *
             envelope(i, out.size(), 0.005, 0.05);
  }
  normalise(out, 0.7f);
  return out;
}

// A creaking hinge (an unsteady low pulse train) and a thud as the door shuts.
Buffer door() {
  Buffer out(frames(1.1));
  Noise noise;
  LowPass creakTone(1800), thudTone(180);
  double phase = 0;
  size_t creak = frames(0.75);
  for (size_t i = 0; i < out.size(); ++i) {
    double t = static_cast<double>(i) / kRate;
    if (i < creak) {
      phase +=
          (38 + 25 * std::sin(2 * kPi * 1.3 * t) + 6.0 * static_cast<double>(noise.next())) / kRate;
      float pulse = static_cast<float>(phase - std::floor(phase)) < 0.08f ? 1.0f : 0.0f;
      out[i] += creakTone.step(pulse) * envelope(i, creak, 0.05, 0.1);
    } else {
      double s = t - 0.75;
      out[i] += static_cast<float>(std::sin(2 * kPi * 70 * s) * std::exp(-s * 14)) +
                thudTone.step(noise.next()) * static_cast<float>(std::exp(-s * 20)) * 3;
    }
  }
  normalise(out, 0.9f);
  return out;
}

// A footstep: a damped knock plus a scuff of filtered noise; `tone` varies the three steps.
Buffer step(double tone, uint32_t seed) {
  Buffer out(frames(0.22));
  Noise noise;
  for (uint32_t s = 0; s < seed; ++s) noise.next();
  LowPass scuff(900 * tone);
  for (size_t i = 0; i < out.size(); ++i) {
    double t = static_cast<double>(i) / kRate;
    out[i] = static_cast<float>(std::sin(2 * kPi * 95 * tone * t) * std::exp(-t * 35)) +
             scuff.step(noise.next()) * 2.5f * static_cast<float>(std::exp(-t * 25));
  }
  normalise(out, 0.85f);
  return out;
}

// A one-second engine hum: whole cycles of every partial, so the loop joins without a click.
Buffer engine() {
  Buffer out(frames(1.0));
  for (size_t i = 0; i < out.size(); ++i) {
    double t = static_cast<double>(i) / kRate;
    double hum = std::sin(2 * kPi * 55 * t) + 0.6 * std::sin(2 * kPi * 110 * t) +
                 0.35 * std::sin(2 * kPi * 165 * t) + 0.2 * std::sin(2 * kPi * 330 * t);
    out[i] = static_cast<float>(hum * (0.75 + 0.25 * std::sin(2 * kPi * 8 * t)));
  }
  normalise(out, 0.8f);
  return out;
}

// Two seconds of gusting filtered noise; the tail is cross-faded into the head to loop.
Buffer wind() {
  size_t n = frames(2.0), fade = frames(0.25);
  Buffer raw(n + fade);
  Noise noise;
  LowPass filter(400);
  for (size_t i = 0; i < raw.size(); ++i) {
    double t = static_cast<double>(i) / kRate;
    filter.set(350 + 250 * std::sin(2 * kPi * 0.5 * t));
    raw[i] =
        filter.step(noise.next()) * static_cast<float>(0.7 + 0.3 * std::sin(2 * kPi * 0.5 * t));
  }
  Buffer out(raw.begin(), raw.begin() + static_cast<std::ptrdiff_t>(n));
  for (size_t i = 0; i < fade; ++i) {
    float w = static_cast<float>(i) / static_cast<float>(fade);
    out[i] = out[i] * w + raw[n + i] * (1 - w);
  }
  normalise(out, 0.6f);
  return out;
}

SynthSample make(const char *name, const Buffer &buffer) { return {name, to_pcm16(buffer)}; }

} // namespace

std::vector<SynthSample> synth_demo_samples() {
  return {make("voice", voice()),
          make("blaster", blaster()),
          make("laser", laser()),
          make("door", door()),
          make("step1", step(1.0, 0)),
          make("step2", step(1.25, 977)),
          make("step3", step(0.85, 2011)),
          make("engine", engine()),
          make("wind", wind())};
}

} // namespace ksfx
