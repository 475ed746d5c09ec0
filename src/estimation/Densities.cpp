// The two ratio densities one at a time: the plain values, and the values outside the fast band of
// the batched likelihood, carried as Mantissa * 2^Exponent.
#include <cfloat>
#include <cmath>

#include "estimation/DensityKernel.h"

namespace telvo {

namespace {

constexpr long double Ln2 = 0.693147180559945309417232121458176568L;
constexpr long double LogTwoPi = 1.837877066409345483560659472811235279L;
constexpr int64_t ExponentFloor = -(int64_t{1} << 53);  // tiny beyond meaning, but still above 0

// A positive density known by its natural logarithm.
ScaledReal FromLog(long double logValue) {
  if (std::isnan(logValue) || logValue == -INFINITY) return {0.0};
  long double binary = logValue / Ln2;
  if (binary < static_cast<long double>(ExponentFloor)) return {1.0, ExponentFloor};
  long double whole = std::floor(binary);
  return {static_cast<double>(std::exp2(binary - whole)), static_cast<int64_t>(whole)};
}

ScaledReal SplitNormal(double value) {
  int e;
  double m = std::frexp(value, &e);
  return {m, e};
}

double FullExp(double x) { return Exp(x); }

}  // namespace

double NormalOverNormalPDF(double r, double mx, double vx, double my, double vy) {
  if (!(r > 0)) return 1.0;
  double a;
  return RatioDensity<true>(r, r * r, 0.0, mx, vx, my, vy, 0.0, 0.0, a, FullExp);
}

double LogNormalOverLogNormalPDF(double r, double mx, double vx, double my, double vy) {
  if (!(r > 0)) return 1.0;
  double a;
  return RatioDensity<false>(r, 0.0, Log(r), 0.0, vx, 0.0, vy, Log(mx), Log(my), a, FullExp);
}

// Outside the fast band: the plain value when it and its exponential are normal doubles, otherwise
// the logarithm of the formula in extended precision. Undefined formulas give 0.
ScaledReal SlowNormalOverNormal(double r, double mx, double vx, double my, double vy) {
  if (!(vx >= 0) || !(vy >= 0)) return {0.0};  // a negative variance has no density
  double a;
  double plain = RatioDensity<true>(r, r * r, 0.0, mx, vx, my, vy, 0.0, 0.0, a, FullExp);
  if (!(r > 0)) plain = 1.0;
  // The exponential did not underflow: the plain value stands.
  if (Exp(a) >= DBL_MIN && std::isnormal(plain) && plain > 0) return SplitNormal(plain);
  long double tl = static_cast<long double>(r) * r * vy + vx;
  if (!(tl > 0) || std::isinf(tl)) return {0.0};
  long double dl = mx - static_cast<long double>(r) * my;
  long double num = static_cast<long double>(r) * mx * vy + static_cast<long double>(vx) * my;
  if (!(num > 0)) return {0.0};
  return FromLog(-(dl * dl) / (2 * tl) + std::log(num) - 0.5L * LogTwoPi - 1.5L * std::log(tl));
}

ScaledReal SlowLogNormalOverLogNormal(double r, double mx, double vx, double my, double vy) {
  if (!(vx >= 0) || !(vy >= 0) || !(mx > 0) || !(my > 0)) return {0.0};
  double a;
  double plain = RatioDensity<false>(r, 0.0, Log(r), 0.0, vx, 0.0, vy, Log(mx), Log(my), a, FullExp);
  if (!(r > 0)) plain = 1.0;
  if (Exp(a) >= DBL_MIN && std::isnormal(plain) && plain > 0) return SplitNormal(plain);
  long double sl = static_cast<long double>(vy) + vx;
  if (!(sl > 0) || std::isinf(sl)) return {0.0};
  long double zl = std::log(static_cast<long double>(r)) -
                   (std::log(static_cast<long double>(mx)) - std::log(static_cast<long double>(my)));
  return FromLog(-(zl * zl) / (2 * sl) - std::log(static_cast<long double>(r)) - 0.5L * (LogTwoPi + std::log(sl)));
}

}  // namespace telvo
