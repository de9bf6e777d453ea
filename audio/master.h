// The master stage between the float sum of every voice and the tune and the output format:
// a fixed headroom, the host's master volume (ramped), then a look-ahead peak limiter whose
// ceiling stays below full scale. Offline and real-time output both pass through it.
#pragma once

#include <cstdint>

namespace wail {

// The sum is scaled by this before anything else: two full-scale voices at volume 127 sum to
// full scale without the limiter acting.
inline constexpr float kHeadroom = 0.5f;
// The limiter's ceiling: -1 dBFS. No output sample exceeds it.
inline constexpr float kCeiling = 0.8912509f;
// How far the limiter looks ahead (2 ms at 48000 Hz); every output is delayed by
// kLookaheadFrames - 1 frames.
inline constexpr uint32_t kLookaheadFrames = 96;
inline constexpr uint32_t kMasterDelay = kLookaheadFrames - 1;

struct Master;

// A master stage at `rate` frames per second whose volume starts at `gain`; null when memory
// runs out.
Master *create_master(uint32_t rate, float gain);
void destroy_master(Master *master);

// Passes `frames` stereo frames of the sum through the stage, in place.
void master_process(Master &master, float *mix, uint32_t frames) noexcept;

// Moves the stage's volume to `gain` over a short ramp.
void master_set_gain(Master &master, float gain) noexcept;

} // namespace wail
