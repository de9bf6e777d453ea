// Builds the band-limited resampler's tables when the library loads. The window is Kaiser with
// beta 9 (stopband near -90 dB) over 16 taps; the cutoff sits at half the source rate, so the
// transition band is shared evenly between what passes and what would image. Each tap's weight
// as a function of the fraction is fitted by Chebyshev interpolation at 8 points, exact to
// about 2e-7, which costs the vector paths a few multiply-adds instead of table lookups.
#include "audio/kernels/sinc_table.h"

#include <cmath>
#include <numbers>

namespace wail::kernels {
namespace {

constexpr double kBeta = 9.0;
constexpr int kDegree = 7;
constexpr double kPi = std::numbers::pi;

// The modified Bessel function of order 0, by its power series (converges fast for x <= 9).
double bessel_i0(double x) {
  double sum = 1.0, term = 1.0;
  for (int k = 1; k < 64 && term > 1e-20 * sum; ++k) {
    const double half = x / (2.0 * k);
    term *= half * half;
    sum += term;
  }
  return sum;
}

// The windowed sinc at t source frames from the output position: exactly 1 at 0 and 0 at every
// other whole frame.
double windowed_sinc(double t) {
  if (std::abs(t) >= kSincHalf) return 0.0;
  if (t == std::round(t)) return t == 0.0 ? 1.0 : 0.0;
  const double r = t / kSincHalf;
  return std::sin(kPi * t) / (kPi * t) * bessel_i0(kBeta * std::sqrt(1.0 - r * r)) /
         bessel_i0(kBeta);
}

// Tap m's weight at fraction f, the taps scaled to sum to 1 so that no fraction changes the level.
double tap(int m, double f) {
  double sum = 0.0;
  for (int k = 0; k < kSincTaps; ++k) sum += windowed_sinc(k - (kSincHalf - 1) - f);
  return windowed_sinc(m - (kSincHalf - 1) - f) / sum;
}

// Tap m's weight as a polynomial in x = 2f - 1: interpolation at the Chebyshev points, then
// the Chebyshev series turned into powers of x.
void fit_tap(int m, double (&power)[kDegree + 1]) {
  constexpr int n = kDegree + 1;
  double series[n] = {};
  for (int j = 0; j < n; ++j) {
    const double angle = kPi * (j + 0.5) / n;
    const double value = tap(m, (std::cos(angle) + 1) / 2);
    for (int k = 0; k < n; ++k) series[k] += 2.0 / n * value * std::cos(k * angle);
  }
  series[0] /= 2;
  double chebyshev[n][n] = {}; // chebyshev[k][i]: the x^i coefficient of T_k
  chebyshev[0][0] = 1;
  chebyshev[1][1] = 1;
  for (int k = 2; k < n; ++k)
    for (int i = 0; i < n; ++i)
      chebyshev[k][i] = (i > 0 ? 2 * chebyshev[k - 1][i - 1] : 0) - chebyshev[k - 2][i];
  for (int i = 0; i < n; ++i) {
    power[i] = 0;
    for (int k = 0; k < n; ++k) power[i] += series[k] * chebyshev[k][i];
  }
}

SincTables build_tables() {
  SincTables t{};
  for (int m = 0; m < kSincPairs; ++m) {
    double power[kDegree + 1];
    fit_tap(m, power);
    for (int k = 0; k < 4; ++k) {
      t.even[k][m] = static_cast<float>(power[2 * k]);
      t.odd[k][m] = static_cast<float>(power[2 * k + 1]);
      for (float &lane : t.spread[0][k][m]) lane = t.even[k][m];
      for (float &lane : t.spread[1][k][m]) lane = t.odd[k][m];
    }
  }
  for (int j = 0; j < kCurvePoints; ++j)
    t.curve[j] =
        static_cast<float>(windowed_sinc(static_cast<double>(j) / kCurvePerFrame - kSincHalf));
  for (int j = 0; j + 1 < kCurvePoints; ++j) t.slope[j] = t.curve[j + 1] - t.curve[j];
  return t;
}

} // namespace

const SincTables kSincTables = build_tables();

} // namespace wail::kernels
