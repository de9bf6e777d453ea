// The band-limited resampler's coefficients: a Kaiser-windowed sinc, as polynomials in the
// fraction for steps up to 1 and as one finely sampled curve for stretching above. Built once
// while the library loads, before any render, so no real-time thread ever builds them.
#pragma once

#include <cstdint>

namespace wail::kernels {

inline constexpr int kSincTaps = 16;            // taps at or below the output rate
inline constexpr int kSincHalf = kSincTaps / 2; // the window spans +-8 source frames
inline constexpr int kSincPairs = kSincHalf;    // taps m and 15 - m mirror each other
inline constexpr int kCurvePerFrame = 128;      // curve points per source frame
inline constexpr int kCurvePoints = kSincTaps * kCurvePerFrame + 1;
inline constexpr uint32_t kSincMaxScale = 4; // steps above this keep its cutoff (and alias)

inline constexpr int kSincTerms = 3; // powers of x^2 in each half of a tap's polynomial

struct SincTables {
  // At fraction f of the way from frame i to i + 1, with x = 2f - 1, tap m (weighing frame
  // i - 7 + m) is E(x^2) + x O(x^2) and tap 15 - m is E(x^2) - x O(x^2), for pair m < 8:
  // E = sum of even[k][m] x^2k, O = sum of odd[k][m] x^2k. Degree-5 fits to the window's taps
  // scaled to sum to 1, exact at whole frames; the response stays within 0.0003 dB up to 0.3 of
  // the source rate and below -85 dB past 0.75.
  alignas(64) float even[kSincTerms][kSincPairs];
  alignas(64) float odd[kSincTerms][kSincPairs];
  // The same, each value repeated across eight lanes for vector paths that cannot broadcast an
  // operand from memory: spread[0] even, spread[1] odd.
  alignas(64) float spread[2][kSincTerms][kSincPairs][8];
  // The window at t = j / kCurvePerFrame - 8 for every j (zero at both ends), and the
  // difference to the next point (zero after the last).
  alignas(64) float curve[kCurvePoints];
  alignas(64) float slope[kCurvePoints];
};

extern const SincTables kSincTables;

} // namespace wail::kernels
