// The likelihood of a parameter state: the product of one ratio density per observation.
//
// The product is kept as Mantissa * 2^Exponent. While the plain double product would stay normal,
// every partial product here is that plain product scaled by an exact power of two, so decisions and
// printed values are the same; beyond that range the scaled form follows the true value. A density
// whose exponential would underflow is computed from its logarithm instead.
//
// The densities of a state are independent, so they are computed in batches (four at a time with
// AVX2 where the CPU has it, else two with SSE2) before the product is taken in its fixed order;
// the scalar path computes the same operations one density at a time and gives the same bits.
#include <cfloat>
#include <cmath>

#include "estimation/Estimation.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

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
  if (Exp(a) >= DBL_MIN) {  // the exponential did not underflow: the plain value stands
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
  double z = Log(r) - (Log(mx) - Log(my));
  double a = -(z * z) / (2 * s);
  if (Exp(a) >= DBL_MIN) {
    double plain = LogNormalOverLogNormalPDF(r, mx, vx, my, vy);
    if (std::isnormal(plain) && plain > 0) return SplitNormal(plain);
  }
  long double sl = static_cast<long double>(vy) + vx;
  if (!(sl > 0) || std::isinf(sl)) return {0.0, 0};
  long double zl = std::log(static_cast<long double>(r)) -
                   (std::log(static_cast<long double>(mx)) - std::log(static_cast<long double>(my)));
  return FromLog(-(zl * zl) / (2 * sl) - std::log(static_cast<long double>(r)) - 0.5L * (LogTwoPi + std::log(sl)));
}

// Per-node terms of a state, computed once: the same expressions, so the same bits, as per ratio.
struct NodeTerms {
  NodeReals Variance;
  NodeReals LogMu;
  bool Additive;
};

NodeTerms TermsOf(int model, int n, const NodeReals& mu, const NodeReals& t) {
  NodeTerms terms;
  bool coefficient = model == 2 || model == 4;
  terms.Additive = model == 1 || model == 2;
  for (int i = 1; i <= n; ++i) {
    terms.Variance[i] = coefficient ? mu[i] * mu[i] * t[i] * t[i] : t[i];
  }
  if (!terms.Additive)
    for (int i = 1; i <= n; ++i) terms.LogMu[i] = Log(mu[i]);
  return terms;
}

// Exponent argument and density of one observation.
inline void OneDensity(const Observation& o, const NodeReals& mu, const NodeTerms& nt, double& a, double& density) {
  double mx = mu[o.Exp], vx = nt.Variance[o.Exp], my = mu[o.Ref], vy = nt.Variance[o.Ref];
  if (nt.Additive) {
    double tt = o.RatioSq * vy + vx;
    double d = mx - o.Ratio * my;
    a = -(d * d) / (2 * tt);
    double num = o.Ratio * mx * vy + vx * my;
    double den = std::sqrt(TwoPi * (tt * tt * tt));
    density = ExpForBatch(a) * num / den;
  } else {
    double s = vy + vx;
    double z = o.LogRatio - (nt.LogMu[o.Exp] - nt.LogMu[o.Ref]);
    a = -(z * z) / (2 * s);
    density = ExpForBatch(a) / (o.Ratio * std::sqrt(TwoPi * s));
  }
}

void DensitiesScalar(const CurrentGene& gene, const NodeReals& mu, const NodeTerms& nt, double* a, double* density) {
  for (size_t k = 0; k < gene.Observations.size(); ++k) OneDensity(gene.Observations[k], mu, nt, a[k], density[k]);
}

#if defined(__x86_64__)
// Four observations at a time: the same operations as the two-lane loop, so the same bits.
__attribute__((target("avx2"))) int TermsAvx2(const CurrentGene& gene, const NodeReals& mu, const NodeTerms& nt,
                                              double* a, double* num, double* den) {
  const int count = static_cast<int>(gene.Observations.size());
  const Observation* o = gene.Observations.data();
  const __m256d two = _mm256_set1_pd(2.0), twoPi = _mm256_set1_pd(TwoPi), sign = _mm256_set1_pd(-0.0);
  int k = 0;
  for (; k + 4 <= count; k += 4) {
    const Observation &o0 = o[k], &o1 = o[k + 1], &o2 = o[k + 2], &o3 = o[k + 3];
    __m256d r = _mm256_set_pd(o3.Ratio, o2.Ratio, o1.Ratio, o0.Ratio);
    __m256d vx = _mm256_set_pd(nt.Variance[o3.Exp], nt.Variance[o2.Exp], nt.Variance[o1.Exp], nt.Variance[o0.Exp]);
    __m256d vy = _mm256_set_pd(nt.Variance[o3.Ref], nt.Variance[o2.Ref], nt.Variance[o1.Ref], nt.Variance[o0.Ref]);
    if (nt.Additive) {
      __m256d mx = _mm256_set_pd(mu[o3.Exp], mu[o2.Exp], mu[o1.Exp], mu[o0.Exp]);
      __m256d my = _mm256_set_pd(mu[o3.Ref], mu[o2.Ref], mu[o1.Ref], mu[o0.Ref]);
      __m256d rr = _mm256_set_pd(o3.RatioSq, o2.RatioSq, o1.RatioSq, o0.RatioSq);
      __m256d tt = _mm256_add_pd(_mm256_mul_pd(rr, vy), vx);
      __m256d d = _mm256_sub_pd(mx, _mm256_mul_pd(r, my));
      _mm256_store_pd(a + k, _mm256_div_pd(_mm256_xor_pd(_mm256_mul_pd(d, d), sign), _mm256_mul_pd(two, tt)));
      _mm256_store_pd(num + k, _mm256_add_pd(_mm256_mul_pd(_mm256_mul_pd(r, mx), vy), _mm256_mul_pd(vx, my)));
      _mm256_store_pd(den + k, _mm256_sqrt_pd(_mm256_mul_pd(twoPi, _mm256_mul_pd(_mm256_mul_pd(tt, tt), tt))));
    } else {
      __m256d s = _mm256_add_pd(vy, vx);
      __m256d lmx = _mm256_set_pd(nt.LogMu[o3.Exp], nt.LogMu[o2.Exp], nt.LogMu[o1.Exp], nt.LogMu[o0.Exp]);
      __m256d lmy = _mm256_set_pd(nt.LogMu[o3.Ref], nt.LogMu[o2.Ref], nt.LogMu[o1.Ref], nt.LogMu[o0.Ref]);
      __m256d lr = _mm256_set_pd(o3.LogRatio, o2.LogRatio, o1.LogRatio, o0.LogRatio);
      __m256d z = _mm256_sub_pd(lr, _mm256_sub_pd(lmx, lmy));
      _mm256_store_pd(a + k, _mm256_div_pd(_mm256_xor_pd(_mm256_mul_pd(z, z), sign), _mm256_mul_pd(two, s)));
      _mm256_store_pd(den + k, _mm256_mul_pd(r, _mm256_sqrt_pd(_mm256_mul_pd(twoPi, s))));
    }
  }
  return k;
}

__attribute__((target("avx2"))) int QuotientsAvx2(bool additive, const double* e, const double* num, const double* den,
                                                  double* density, int count) {
  int i = 0;
  for (; i + 4 <= count; i += 4) {
    __m256d ev = _mm256_load_pd(e + i), dv = _mm256_load_pd(den + i);
    __m256d top = additive ? _mm256_mul_pd(ev, _mm256_load_pd(num + i)) : ev;
    _mm256_store_pd(density + i, _mm256_div_pd(top, dv));
  }
  return i;
}
#endif

// The same operations, several observations at a time: four with AVX2, else two with SSE2.
void DensitiesBatch(const CurrentGene& gene, const NodeReals& mu, const NodeTerms& nt, bool avx2, double* a,
                    double* density) {
  const int count = static_cast<int>(gene.Observations.size());
  int k = 0;
#if defined(__SSE2__)
  alignas(32) double num[MaxHybs + 1], den[MaxHybs + 1], e[MaxHybs + 1];
#if defined(__x86_64__)
  if (avx2) k = TermsAvx2(gene, mu, nt, a, num, den);
#endif
  const Observation* o = gene.Observations.data();
  const __m128d two = _mm_set1_pd(2.0), twoPi = _mm_set1_pd(TwoPi), sign = _mm_set1_pd(-0.0);
  for (; k + 2 <= count; k += 2) {
    const Observation &o0 = o[k], &o1 = o[k + 1];
    __m128d r = _mm_set_pd(o1.Ratio, o0.Ratio);
    __m128d vx = _mm_set_pd(nt.Variance[o1.Exp], nt.Variance[o0.Exp]);
    __m128d vy = _mm_set_pd(nt.Variance[o1.Ref], nt.Variance[o0.Ref]);
    if (nt.Additive) {
      __m128d mx = _mm_set_pd(mu[o1.Exp], mu[o0.Exp]), my = _mm_set_pd(mu[o1.Ref], mu[o0.Ref]);
      __m128d tt = _mm_add_pd(_mm_mul_pd(_mm_set_pd(o1.RatioSq, o0.RatioSq), vy), vx);
      __m128d d = _mm_sub_pd(mx, _mm_mul_pd(r, my));
      _mm_store_pd(a + k, _mm_div_pd(_mm_xor_pd(_mm_mul_pd(d, d), sign), _mm_mul_pd(two, tt)));
      _mm_store_pd(num + k, _mm_add_pd(_mm_mul_pd(_mm_mul_pd(r, mx), vy), _mm_mul_pd(vx, my)));
      _mm_store_pd(den + k, _mm_sqrt_pd(_mm_mul_pd(twoPi, _mm_mul_pd(_mm_mul_pd(tt, tt), tt))));
    } else {
      __m128d s = _mm_add_pd(vy, vx);
      __m128d lmx = _mm_set_pd(nt.LogMu[o1.Exp], nt.LogMu[o0.Exp]), lmy = _mm_set_pd(nt.LogMu[o1.Ref], nt.LogMu[o0.Ref]);
      __m128d z = _mm_sub_pd(_mm_set_pd(o1.LogRatio, o0.LogRatio), _mm_sub_pd(lmx, lmy));
      _mm_store_pd(a + k, _mm_div_pd(_mm_xor_pd(_mm_mul_pd(z, z), sign), _mm_mul_pd(two, s)));
      _mm_store_pd(den + k, _mm_mul_pd(r, _mm_sqrt_pd(_mm_mul_pd(twoPi, s))));
    }
  }
  if (avx2)
    ExpBatch(a, e, k);
  else
    ExpBatchSse2(a, e, k);
  int i = 0;
#if defined(__x86_64__)
  if (avx2) i = QuotientsAvx2(nt.Additive, e, num, den, density, k);
#endif
  for (; i + 2 <= k; i += 2) {
    __m128d ev = _mm_load_pd(e + i), dv = _mm_load_pd(den + i);
    __m128d top = nt.Additive ? _mm_mul_pd(ev, _mm_load_pd(num + i)) : ev;
    _mm_store_pd(density + i, _mm_div_pd(top, dv));
  }
#endif
  for (; k < count; ++k) OneDensity(gene.Observations[k], mu, nt, a[k], density[k]);  // the odd last one
}

// The product in observation order, with the scaling and the slow path of out-of-band densities.
ScaledReal Product(const CurrentGene& gene, const NodeReals& mu, const NodeTerms& nt, const double* a,
                   const double* density) {
  double m = 1.0;
  int64_t exponent = 0;
  const size_t count = gene.Observations.size();
  for (size_t k = 0; k < count; ++k) {
    double d = density[k];
    if (a[k] >= ExpNormalBound && d >= FastLow && d <= FastHigh) {
      m = d * m;
    } else {
      const Observation& o = gene.Observations[k];
      double mx = mu[o.Exp], vx = nt.Variance[o.Exp], my = mu[o.Ref], vy = nt.Variance[o.Ref];
      Scaled slow = nt.Additive ? SlowNormalOverNormal(o.Ratio, mx, vx, my, vy)
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

}  // namespace

double NormalOverNormalPDF(double r, double mx, double vx, double my, double vy) {
  if (!(r > 0)) return 1.0;
  double t = r * r * vy + vx;
  double d = mx - r * my;
  double e = Exp(-(d * d) / (2 * t));
  return e * (r * mx * vy + vx * my) / std::sqrt(TwoPi * (t * t * t));
}

double LogNormalOverLogNormalPDF(double r, double mx, double vx, double my, double vy) {
  if (!(r > 0)) return 1.0;
  double d = Log(mx) - Log(my);
  double s = vy + vx;
  double z = Log(r) - d;
  return Exp(-(z * z) / (2 * s)) / (r * std::sqrt(TwoPi * s));
}

static ScaledReal BatchLikelihood(const CurrentGene& gene, int model, int numNodes, const NodeReals& mu,
                                  const NodeReals& t, bool avx2) {
  NodeTerms nt = TermsOf(model, numNodes, mu, t);
  alignas(32) double a[MaxHybs + 1], density[MaxHybs + 1];
  DensitiesBatch(gene, mu, nt, avx2, a, density);
  return Product(gene, mu, nt, a, density);
}

ScaledReal StateLikelihood(const CurrentGene& gene, int model, int numNodes, const NodeReals& mu, const NodeReals& t) {
  return BatchLikelihood(gene, model, numNodes, mu, t, HasAvx2());
}

ScaledReal StateLikelihoodSse2(const CurrentGene& gene, int model, int numNodes, const NodeReals& mu,
                               const NodeReals& t) {
  return BatchLikelihood(gene, model, numNodes, mu, t, false);
}

ScaledReal StateLikelihoodScalar(const CurrentGene& gene, int model, int numNodes, const NodeReals& mu,
                                 const NodeReals& t) {
  NodeTerms nt = TermsOf(model, numNodes, mu, t);
  double a[MaxHybs + 1], density[MaxHybs + 1];
  DensitiesScalar(gene, mu, nt, a, density);
  return Product(gene, mu, nt, a, density);
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
  if (e >= DBL_MIN_EXP && e <= DBL_MAX_EXP) return Log(std::ldexp(m, static_cast<int>(e)));
  return static_cast<double>(std::log(static_cast<long double>(m)) + static_cast<long double>(e) * Ln2);
}
