// Builds the band-limited resampler's tables when the library loads. The window is Kaiser with
// beta 9 over 16 taps; the cutoff sits at half the source rate, so the
// transition band is shared evenly between what passes and what would image. Each tap's weight
// as a function of the fraction is a fitted polynomial of degree 5, which costs the vector paths
// a few multiply-adds per tap instead of table lookups.
#include "audio/kernels/sinc_table.h"

#include <cmath>
#include <numbers>
#include <utility>

namespace wail::kernels {
namespace {

constexpr double kBeta = 9.0;
constexpr int kDegree = 2 * kSincTerms - 1;
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

// Tap m's weight as a polynomial in x = 2f - 1, interpolating it at the Chebyshev points
// stretched to reach both ends, so that a whole frame's position (x = -1) weighs exactly that
// frame and nothing else: the power coefficients solve the Vandermonde system by elimination.
void fit_tap(int m, double (&power)[kDegree + 1]) {
  constexpr int n = kDegree + 1;
  double system[n][n + 1];
  for (int j = 0; j < n; ++j) {
    const double x = j == 0       ? 1.0
                     : j == n - 1 ? -1.0
                                  : std::cos(kPi * (j + 0.5) / n) / std::cos(kPi / (2 * n));
    double xk = 1.0;
    for (int k = 0; k < n; ++k, xk *= x) system[j][k] = xk;
    system[j][n] = tap(m, (x + 1) / 2);
  }
  for (int i = 0; i < n; ++i) {
    int pivot = i;
    for (int r = i + 1; r < n; ++r)
      if (std::abs(system[r][i]) > std::abs(system[pivot][i])) pivot = r;
    std::swap(system[i], system[pivot]);
    for (int r = 0; r < n; ++r) {
      if (r == i) continue;
      const double factor = system[r][i] / system[i][i];
      for (int k = i; k <= n; ++k) system[r][k] -= factor * system[i][k];
    }
  }
  for (int i = 0; i < n; ++i) power[i] = system[i][n] / system[i][i];
}

SincTables build_tables() {
  SincTables t{};
  for (int m = 0; m < kSincPairs; ++m) {
    double power[kDegree + 1];
    fit_tap(m, power);
    for (int k = 0; k < kSincTerms; ++k) {
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
