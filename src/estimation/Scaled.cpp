// Arithmetic on likelihoods kept as Mantissa * 2^Exponent: comparison, the Metropolis test and
// conversions.
#include <cfloat>
#include <cmath>

#include "estimation/EstimationInternal.h"
#include "estimation/ExpKernel.h"

namespace telvo {

namespace {

constexpr long double Ln2 = 0.693147180559945309417232121458176568L;

// Normalised binary form m * 2^e with m in [0.5, 1).
void Normalise(const ScaledReal& x, double& m, int64_t& e) {
  int shift;
  m = std::frexp(x.Mantissa, &shift);
  e = x.Exponent + shift;
}

}  // namespace

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
  double ratio = proposed.Mantissa / current.Mantissa;
  // Multiplying by an exact power of two rounds once, as ldexp does.
  if (shift >= -1022 && shift <= 1023) return ratio * PowerOfTwo<double>(static_cast<uint64_t>(shift)) > u;
  if (shift > 4096) shift = 4096;
  if (shift < -4096) shift = -4096;
  return std::ldexp(ratio, static_cast<int>(shift)) > u;
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
  if (e >= DBL_MIN_EXP && e <= DBL_MAX_EXP) return Log(std::ldexp(m, static_cast<int>(e)));
  return static_cast<double>(std::log(static_cast<long double>(m)) + static_cast<long double>(e) * Ln2);
}

}  // namespace telvo
