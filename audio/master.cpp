// The master stage. The limiter is stereo-linked: each frame asks for the gain that keeps its
// louder side at the ceiling; the smallest request of the look-ahead window is held, released
// towards 1 with a 80 ms time constant, and smoothed by a moving average as long as the window,
// so the gain has fully come down by the time the loud frame leaves the delay line. Material
// that stays below the ceiling leaves the stage as sum x headroom x volume, delayed, to the
// bit, once the gain has come back to 1.
#include "audio/master.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <new>

namespace wail {

namespace {

constexpr uint32_t kL = kLookaheadFrames;
constexpr double kReleaseSeconds = 0.08;
constexpr uint32_t kVolumeRampFrames = 480; // 10 ms at 48000 Hz
// A released gain this close to its target has arrived (the last step is -100 dB).
constexpr double kSnap = 1e-5;

} // namespace

struct Master {
  float delay[2 * kMasterDelay]; // the last kMasterDelay scaled frames, oldest at delayAt
  uint32_t delayAt;
  float queueGain[kL];     // gains requested in the window, increasing from the oldest: a
  uint32_t queueFrame[kL]; // monotonic queue whose front is the window's minimum
  uint32_t queueFront, queueSize;
  float box[kL]; // released gains of the window, for the moving average
  uint32_t boxAt;
  uint32_t boxReduced; // entries of `box` below 1
  double boxSum;
  double released;    // the held minimum after the release (double: its last steps towards 1
  double releaseCoef; // are finer than a float resolves); per frame
  uint32_t frame;     // frames processed, modulo 2^32
  float volume;       // current volume gain
  float volumeTarget; // where the ramp goes
  float volumeStep;
  uint32_t volumeLeft; // frames of the ramp still to go
};

namespace {

// The next volume gain of the ramp.
float next_volume(Master &m) noexcept {
  if (m.volumeLeft == 0) return m.volume;
  m.volume = --m.volumeLeft == 0 ? m.volumeTarget : m.volume + m.volumeStep;
  return m.volume;
}

// Scales the sum by headroom and volume; returns the block's peak.
float scale(Master &m, float *mix, uint32_t frames) noexcept {
  float peak = 0.0f;
  if (m.volumeLeft == 0) { // the common case, a steady volume: one gain for the block
    const float gain = kHeadroom * m.volume;
    for (uint32_t i = 0; i < 2 * frames; ++i) {
      mix[i] *= gain;
      peak = std::max(peak, std::fabs(mix[i]));
    }
    return peak;
  }
  for (uint32_t i = 0; i < frames; ++i) {
    const float gain = kHeadroom * next_volume(m);
    mix[2 * i] *= gain;
    mix[2 * i + 1] *= gain;
    peak = std::max({peak, std::fabs(mix[2 * i]), std::fabs(mix[2 * i + 1])});
  }
  return peak;
}

// True when no reduction is held, released or averaged: the gain is exactly 1.
bool at_rest(const Master &m) noexcept {
  return m.boxReduced == 0 && m.released == 1.0 && m.queueGain[m.queueFront] == 1.0f;
}

// Swaps frame i of `mix` with the delay line's oldest frame.
void through_delay(Master &m, float *frame) noexcept {
  float *slot = m.delay + 2 * m.delayAt;
  std::swap(slot[0], frame[0]);
  std::swap(slot[1], frame[1]);
  m.delayAt = m.delayAt + 1 == kMasterDelay ? 0 : m.delayAt + 1;
}

// The smallest gain requested over the window that ends with this frame's request.
float hold_minimum(Master &m, float request) noexcept {
  if (m.queueSize > 0 && m.frame - m.queueFrame[m.queueFront] >= kL) {
    m.queueFront = (m.queueFront + 1) % kL;
    --m.queueSize;
  }
  while (m.queueSize > 0 && m.queueGain[(m.queueFront + m.queueSize - 1) % kL] >= request)
    --m.queueSize;
  const uint32_t back = (m.queueFront + m.queueSize) % kL;
  m.queueGain[back] = request;
  m.queueFrame[back] = m.frame;
  ++m.queueSize;
  return m.queueGain[m.queueFront];
}

float release(Master &m, float held) noexcept {
  const double target = static_cast<double>(held);
  if (target <= m.released || target - m.released < kSnap)
    m.released = target;
  else
    m.released += (target - m.released) * m.releaseCoef;
  return static_cast<float>(m.released);
}

float moving_average(Master &m, float gain) noexcept {
  const float old = m.box[m.boxAt];
  m.box[m.boxAt] = gain;
  m.boxAt = m.boxAt + 1 == kL ? 0 : m.boxAt + 1;
  m.boxReduced = m.boxReduced + (gain < 1.0f) - (old < 1.0f);
  if (m.boxReduced == 0) {
    m.boxSum = kL;
    return 1.0f;
  }
  m.boxSum += static_cast<double>(gain) - static_cast<double>(old);
  return static_cast<float>(m.boxSum / kL);
}

void limit(Master &m, float *mix, uint32_t frames) noexcept {
  for (uint32_t i = 0; i < frames; ++i, ++m.frame) {
    float *frame = mix + 2 * i;
    const float peak = std::max(std::fabs(frame[0]), std::fabs(frame[1]));
    const float request = peak > kCeiling ? kCeiling / peak : 1.0f;
    const float gain = moving_average(m, release(m, hold_minimum(m, request)));
    through_delay(m, frame);
    frame[0] *= gain;
    frame[1] *= gain;
  }
}

// The limiter at rest with a block below the ceiling: only the delay.
void pass(Master &m, float *mix, uint32_t frames) noexcept {
  if (frames <= kMasterDelay) {
    for (uint32_t i = 0; i < frames; ++i) through_delay(m, mix + 2 * i);
  } else {
    // Whole frames at once: the block moves kMasterDelay frames on, the delay line (oldest
    // first) fills the gap, and the block's last kMasterDelay frames become the delay line.
    float held[2 * kMasterDelay];
    const uint32_t tail = frames - kMasterDelay;
    std::copy(mix + 2 * tail, mix + 2 * frames, held);
    std::copy_backward(mix, mix + 2 * tail, mix + 2 * frames);
    const uint32_t older = kMasterDelay - m.delayAt;
    std::copy(m.delay + 2 * m.delayAt, m.delay + 2 * kMasterDelay, mix);
    std::copy(m.delay, m.delay + 2 * m.delayAt, mix + 2 * older);
    std::copy(held, held + 2 * kMasterDelay, m.delay);
    m.delayAt = 0;
  }
  m.frame += frames;
  m.queueGain[m.queueFront] = 1.0f;
  m.queueFrame[m.queueFront] = m.frame - 1;
  m.queueSize = 1;
}

} // namespace

Master *create_master(uint32_t rate, float gain) {
  auto *m = new (std::nothrow) Master{};
  if (m == nullptr) return nullptr;
  std::fill(std::begin(m->box), std::end(m->box), 1.0f);
  m->boxSum = kL;
  m->queueGain[0] = 1.0f;
  m->queueSize = 1;
  m->released = 1.0;
  m->releaseCoef = 1.0 - std::exp(-1.0 / (kReleaseSeconds * std::max(rate, 1u)));
  m->volume = m->volumeTarget = gain;
  return m;
}

void destroy_master(Master *master) { delete master; }

void master_process(Master &m, float *mix, uint32_t frames) noexcept {
  const float peak = scale(m, mix, frames);
  if (peak <= kCeiling && at_rest(m))
    pass(m, mix, frames);
  else
    limit(m, mix, frames);
}

void master_set_gain(Master &m, float gain) noexcept {
  m.volumeTarget = gain;
  m.volumeLeft = kVolumeRampFrames;
  m.volumeStep = (gain - m.volume) / static_cast<float>(kVolumeRampFrames);
}

} // namespace wail
