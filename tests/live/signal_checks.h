// Measurements on stereo float signals (left and right interleaved) for the live test: level,
// alignment by cross-correlation, onsets and gaps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace live {

using Stereo = std::span<const float>;

double rms(Stereo s);
// Pearson correlation of `a` and `b` over their common length, left channel.
double correlation(Stereo a, Stereo b);
// The offset in frames, within [low, high], at which `reference` best matches `signal` (both
// left channels): found on a decimated copy, then refined frame by frame.
int64_t best_lag(Stereo signal, Stereo reference, int64_t low, int64_t high);
// The first frame from `from` whose left or right magnitude exceeds `threshold`, or -1.
int64_t first_above(Stereo s, size_t from, float threshold);
// The longest run of frames that are exactly zero on both sides.
size_t longest_silence(Stereo s);
// The lowest RMS of consecutive windows of `window` frames, over their median.
double lowest_window_ratio(Stereo s, size_t window);
// Frames [first, first + count) of `s` (zeros past its end).
std::vector<float> slice(Stereo s, int64_t first, size_t count);

} // namespace live
