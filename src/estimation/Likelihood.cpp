// The likelihood of a parameter state: the product of one ratio density per observation.
//
// The product is kept as Mantissa * 2^Exponent. While the plain double product would stay normal,
// every partial product here is that plain product scaled by an exact power of two, so decisions and
// printed values are the same; beyond that range the scaled form follows the true value. A density
// whose exponential would underflow is computed from its logarithm instead.
#include <cfloat>
#include <cmath>

#include "estimation/Estimation.h"

namespace {

constexpr double TwoPi = 6.283185307179586476925286766559;
constexpr long double Ln2 = 0.693147180559945309417232121458176568L;
constexpr long double LogTwoPi = 1.837877066409345483560659472811235279L;
// exp(a) is a normal double for every a at or above this bound.
constexpr double ExpNormalBound = -708.0;
// Densities in this band multiply a mantissa in [2^-256, 2^256] without leaving the normal range.
constexpr double FastLow = 0x1p-700, FastHigh = 0x1p700;
constexpr double RenormLow = 0x1p-256, RenormHigh = 0x1p256;
constexpr int64_t ExponentFloor = -(int64_t{1} << 53);  // tiny beyond meaning, but still above 0

struct Scaled {
  double Mantissa;
  int64_t Exponent;
};

// A positive density known by its natural logarithm.
Scaled FromLog(long double logValue) {
  if (std::isnan(logValue) || logValue == -INFINITY) return {0.0, 0};
  long double binary = logValue / Ln2;
  if (binary < static_cast<long double>(ExponentFloor)) return {1.0, ExponentFloor};
  long double whole = std::floor(binary);
  return {static_cast<double>(std::exp2(binary - whole)), static_cast<int64_t>(whole)};
}

Scaled SplitNormal(double value) {
  int e = 0;
  double m = std::frexp(value, &e);
  return {m, e};
}

// Densities outside the fast band: the plain value when it and its exponential are normal doubles,
// otherwise the logarithm of the formula in extended precision. Undefined formulas give 0.
Scaled SlowNormalOverNormal(double r, double mx, double vx, double my, double vy) {
  if (!(vx >= 0) || !(vy >= 0)) return {0.0, 0};  // a negative variance has no density
  double t = r * r * vy + vx;
  double d = mx - r * my;
  double a = -(d * d) / (2 * t);
  if (std::exp(a) >= DBL_MIN) {  // the exponential did not underflow: the plain value stands
    double plain = NormalOverNormalPDF(r, mx, vx, my, vy);
    if (std::isnormal(plain) && plain > 0) return SplitNormal(plain);
  }
  long double tl = static_cast<long double>(r) * r * vy + vx;
  if (!(tl > 0) || std::isinf(tl)) return {0.0, 0};
  long double dl = mx - static_cast<long double>(r) * my;
  long double num = static_cast<long double>(r) * mx * vy + static_cast<long double>(vx) * my;
  if (!(num > 0)) return {0.0, 0};
  return FromLog(-(dl * dl) / (2 * tl) + std::log(num) - 0.5L * LogTwoPi - 1.5L * std::log(tl));
}

Scaled SlowLogNormalOverLogNormal(double r, double mx, double vx, double my, double vy) {
  if (!(vx >= 0) || !(vy >= 0) || !(mx > 0) || !(my > 0)) return {0.0, 0};
  double s = vy + vx;
  double z = std::log(r) - (std::log(mx) - std::log(my));
  double a = -(z * z) / (2 * s);
  if (std::exp(a) >= DBL_MIN) {
    double plain = LogNormalOverLogNormalPDF(r, mx, vx, my, vy);
    if (std::isnormal(plain) && plain > 0) return SplitNormal(plain);
  }
  long double sl = static_cast<long double>(vy) + vx;
  if (!(sl > 0) || std::isinf(sl)) return {0.0, 0};
  long double zl = std::log(static_cast<long double>(r)) -
                   (std::log(static_cast<long double>(mx)) - std::log(static_cast<long double>(my)));
  return FromLog(-(zl * zl) / (2 * sl) - std::log(static_cast<long double>(r)) - 0.5L * (LogTwoPi + std::log(sl)));
}

}  // namespace

double NormalOverNormalPDF(double r, double mx, double vx, double my, double vy) {
  if (!(r > 0)) return 1.0;
  double t = r * r * vy + vx;
  double d = mx - r * my;
  double e = std::exp(-(d * d) / (2 * t));
  return e * (r * mx * vy + vx * my) / std::sqrt(TwoPi * (t * t * t));
}

double LogNormalOverLogNormalPDF(double r, double mx, double vx, double my, double vy) {
  if (!(r > 0)) return 1.0;
  double d = std::log(mx) - std::log(my);
  double s = vy + vx;
  double z = std::log(r) - d;
  return std::exp(-(z * z) / (2 * s)) / (r * std::sqrt(TwoPi * s));
}

ScaledReal StateLikelihood(const CurrentGene& gene, int model, int numNodes, const NodeReals& mu, const NodeReals& t) {
  // Per-node terms are computed once per state: the same expressions, so the same bits, as per ratio.
  NodeReals variance, logMu;
  bool coefficient = model == 2 || model == 4;
  for (int n = 1; n <= numNodes; ++n) variance[n] = coefficient ? mu[n] * mu[n] * t[n] * t[n] : t[n];
  bool additive = model == 1 || model == 2;
  if (!additive)
    for (int n = 1; n <= numNodes; ++n) logMu[n] = std::log(mu[n]);

  double m = 1.0;
  int64_t exponent = 0;
  for (const Observation& o : gene.Observations) {
    double mx = mu[o.Exp], vx = variance[o.Exp], my = mu[o.Ref], vy = variance[o.Ref];
    double a, density;
    if (additive) {
      double tt = o.RatioSq * vy + vx;
      double d = mx - o.Ratio * my;
      a = -(d * d) / (2 * tt);
      density = std::exp(a) * (o.Ratio * mx * vy + vx * my) / std::sqrt(TwoPi * (tt * tt * tt));
    } else {
      double s = vy + vx;
      double z = o.LogRatio - (logMu[o.Exp] - logMu[o.Ref]);
      a = -(z * z) / (2 * s);
      density = std::exp(a) / (o.Ratio * std::sqrt(TwoPi * s));
    }
    if (a >= ExpNormalBound && density >= FastLow && density <= FastHigh) {
      m = density * m;
    } else {
      Scaled slow = additive ? SlowNormalOverNormal(o.Ratio, mx, vx, my, vy)
                             : SlowLogNormalOverLogNormal(o.Ratio, mx, vx, my, vy);
      if (slow.Mantissa == 0) return {0.0, 0};
      m = slow.Mantissa * m;
      exponent += slow.Exponent;
    }
    if (m < RenormLow || m > RenormHigh) {
      int shift = 0;
      m = std::frexp(m, &shift);
      exponent += shift;
    }
  }
  return {m, exponent};
}

// Normalised binary form m * 2^e with m in [0.5, 1).
static void Normalise(const ScaledReal& x, double& m, int64_t& e) {
  int shift = 0;
  m = std::frexp(x.Mantissa, &shift);
  e = x.Exponent + shift;
}

bool ScaledGreater(const ScaledReal& a, const ScaledReal& b) {
  if (a.Mantissa == 0) return false;
  if (b.Mantissa == 0) return a.Mantissa > 0;
  double ma, mb;
  int64_t ea, eb;
  Normalise(a, ma, ea);
  Normalise(b, mb, eb);
  return ea != eb ? ea > eb : ma > mb;
}

bool MetropolisAccepts(bool valid, const ScaledReal& proposed, const ScaledReal& current, double u) {
  if (!valid) return false;
  if (current.Mantissa == 0) return proposed.Mantissa > 0;
  if (proposed.Mantissa == 0) return 0.0 > u;
  int64_t shift = proposed.Exponent - current.Exponent;
  if (shift > 4096) shift = 4096;
  if (shift < -4096) shift = -4096;
  return std::ldexp(proposed.Mantissa / current.Mantissa, static_cast<int>(shift)) > u;
}

double ScaledToDouble(const ScaledReal& x) {
  if (x.Mantissa == 0) return 0.0;
  double m;
  int64_t e;
  Normalise(x, m, e);
  if (e > 1100) return INFINITY;
  if (e < -1100) return 0.0;
  return std::ldexp(m, static_cast<int>(e));
}

double ScaledLog(const ScaledReal& x) {
  if (x.Mantissa == 0) return -INFINITY;
  double m;
  int64_t e;
  Normalise(x, m, e);
  if (e >= DBL_MIN_EXP && e <= DBL_MAX_EXP) return std::log(std::ldexp(m, static_cast<int>(e)));
  return static_cast<double>(std::log(static_cast<long double>(m)) + static_cast<long double>(e) * Ln2);
}
