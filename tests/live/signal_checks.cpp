// Signal measurements: plain loops over interleaved stereo frames.
#include "signal_checks.h"

#include <algorithm>
#include <cmath>

namespace live {
namespace {

constexpr int64_t kDecimation = 8;

size_t frames(Stereo s) { return s.size() / 2; }
double left(Stereo s, size_t frame) { return static_cast<double>(s[2 * frame]); }

// Unnormalised correlation of the left channels at `lag`, every `step`-th frame.
double dot_at(Stereo signal, Stereo reference, int64_t lag, int64_t step) {
  double sum = 0;
  int64_t n = static_cast<int64_t>(frames(reference)), m = static_cast<int64_t>(frames(signal));
  for (int64_t i = 0; i < n; i += step) {
    int64_t j = i + lag;
    if (j >= 0 && j < m)
      sum += left(reference, static_cast<size_t>(i)) * left(signal, static_cast<size_t>(j));
  }
  return sum;
}

} // namespace

double rms(Stereo s) {
  double sum = 0;
  for (float v : s) sum += static_cast<double>(v) * static_cast<double>(v);
  return s.empty() ? 0 : std::sqrt(sum / static_cast<double>(s.size()));
}

double correlation(Stereo a, Stereo b) {
  size_t n = std::min(frames(a), frames(b));
  double ma = 0, mb = 0;
  for (size_t i = 0; i < n; ++i) ma += left(a, i), mb += left(b, i);
  ma /= static_cast<double>(std::max<size_t>(n, 1));
  mb /= static_cast<double>(std::max<size_t>(n, 1));
  double ab = 0, aa = 0, bb = 0;
  for (size_t i = 0; i < n; ++i) {
    double x = left(a, i) - ma, y = left(b, i) - mb;
    ab += x * y, aa += x * x, bb += y * y;
  }
  return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

int64_t best_lag(Stereo signal, Stereo reference, int64_t low, int64_t high) {
  int64_t coarse = low;
  double best = -1e300;
  for (int64_t lag = low; lag <= high; lag += kDecimation) {
    double d = dot_at(signal, reference, lag, kDecimation);
    if (d > best) best = d, coarse = lag;
  }
  int64_t fine = coarse;
  best = -1e300;
  for (int64_t lag = std::max(low, coarse - 2 * kDecimation);
       lag <= std::min(high, coarse + 2 * kDecimation); ++lag) {
    double d = dot_at(signal, reference, lag, 1);
    if (d > best) best = d, fine = lag;
  }
  return fine;
}

int64_t first_above(Stereo s, size_t from, float threshold) {
  for (size_t f = from; f < frames(s); ++f)
    if (std::fabs(s[2 * f]) > threshold || std::fabs(s[2 * f + 1]) > threshold)
      return static_cast<int64_t>(f);
  return -1;
}

size_t longest_silence(Stereo s) {
  size_t longest = 0, run = 0;
  for (size_t f = 0; f < frames(s); ++f) {
    run = s[2 * f] == 0.0f && s[2 * f + 1] == 0.0f ? run + 1 : 0;
    longest = std::max(longest, run);
  }
  return longest;
}

double lowest_window_ratio(Stereo s, size_t window) {
  std::vector<double> levels;
  for (size_t f = 0; f + window <= frames(s); f += window)
    levels.push_back(rms(s.subspan(2 * f, 2 * window)));
  if (levels.empty()) return 0;
  std::vector<double> sorted = levels;
  std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2),
                   sorted.end());
  double median = sorted[sorted.size() / 2];
  return median > 0 ? *std::min_element(levels.begin(), levels.end()) / median : 0;
}

std::vector<float> slice(Stereo s, int64_t first, size_t count) {
  std::vector<float> out(2 * count, 0.0f);
  for (size_t i = 0; i < 2 * count; ++i) {
    int64_t at = 2 * first + static_cast<int64_t>(i);
    if (at >= 0 && static_cast<size_t>(at) < s.size()) out[i] = s[static_cast<size_t>(at)];
  }
  return out;
}

} // namespace live
