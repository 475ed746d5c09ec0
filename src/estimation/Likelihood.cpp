// The likelihood of a parameter state: the product of one ratio density per observation.
//
// The product is kept as Mantissa * 2^Exponent. While the plain double product would stay normal,
// every partial product here is that plain product scaled by an exact power of two, so decisions and
// printed values are the same; beyond that range the scaled form follows the true value. A density
// whose exponential would underflow is computed from its logarithm instead (Densities.cpp).
//
// The densities of a state are independent, so they are computed in groups (four at a time with
// AVX2 where the CPU has it, then two with SSE2, then one) before the product is taken in its fixed
// order; every width gives the same bits (DensityKernel.h).
#include <cmath>

#include "estimation/DensityKernel.h"

namespace telvo {

namespace {

constexpr double RenormLow = 0x1p-256, RenormHigh = 0x1p256;

NodeTerms TermsOf(ErrorModel model, int n, const NodeReals& mu, const NodeReals& t) {
  NodeTerms terms;
  bool coefficient = IsCoefficientOfVariation(model);
  terms.Additive = IsAdditive(model);
  for (int i = 1; i <= n; ++i) {
    terms.Variance[i] = coefficient ? mu[i] * mu[i] * t[i] * t[i] : t[i];
  }
  if (!terms.Additive)
    for (int i = 1; i <= n; ++i) terms.LogMu[i] = Log(mu[i]);
  return terms;
}

// Keeps the mantissa of the running product in [2^-256, 2^256]: an exact power of two moves to the exponent.
inline void KeepInRange(double& m, int64_t& exponent) {
  if (m < RenormLow || m > RenormHigh) {
    int shift = 0;
    m = std::frexp(m, &shift);
    exponent += shift;
  }
}

// The product in observation order. When every density is in the fast band it is a plain chain of
// multiplies; otherwise out-of-band densities take the slow path.
ScaledReal Product(const std::vector<Observation>& observations, const NodeReals& mu, const NodeTerms& nt,
                   const double* density, bool inBand) {
  double m = 1.0;
  int64_t exponent = 0;
  const size_t count = observations.size();
  if (inBand) {
    for (size_t k = 0; k < count; ++k) {
      m = density[k] * m;
      KeepInRange(m, exponent);
    }
    return {m, exponent};
  }
  for (size_t k = 0; k < count; ++k) {
    const Observation& o = observations[k];
    double a;
    double d = nt.Additive ? DensityLanes<double, true>(&o, mu, nt, a) : DensityLanes<double, false>(&o, mu, nt, a);
    if (FastLanes(a, d)) {
      m = d * m;
    } else {
      double mx = mu[o.Exp], vx = nt.Variance[o.Exp], my = mu[o.Ref], vy = nt.Variance[o.Ref];
      ScaledReal slow = nt.Additive ? SlowNormalOverNormal(o.Ratio, mx, vx, my, vy)
                                    : SlowLogNormalOverLogNormal(o.Ratio, mx, vx, my, vy);
      if (slow.Mantissa == 0) return {0.0};
      m = slow.Mantissa * m;
      exponent += slow.Exponent;
    }
    KeepInRange(m, exponent);
  }
  return {m, exponent};
}

// Lanes: 4 (AVX2, then SSE2 for what is left), 2 (SSE2) or 1.
ScaledReal LikelihoodWith(int lanes, const std::vector<Observation>& observations, ErrorModel model, int numNodes,
                          const NodeReals& mu, const NodeReals& t) {
  NodeTerms nt = TermsOf(model, numNodes, mu, t);
  double density[MaxHybs + 1];
  bool inBand = true;
  int k = 0;
#if defined(__x86_64__)
  if (lanes == 4) k = DensitiesAvx2(observations, mu, nt, density, inBand);
  if (lanes >= 2) k = DensitiesOf<Lanes2>(observations, k, mu, nt, density, inBand);
#endif
  DensitiesOf<double>(observations, k, mu, nt, density, inBand);
  return Product(observations, mu, nt, density, inBand);
}

}  // namespace

void CollectObservations(const CurrentGene& gene, std::vector<Observation>& observations) {
  observations.clear();
  for (int i = 1; i <= gene.NumNodes; ++i)
    for (int j = 1; j <= gene.NumNodes; ++j)
      for (int k = 1; k <= PairCount(gene, i, j); ++k) {
        double r = gene.HybArr[HybSlot(gene, i, j, k)];
        if (!(r > 0)) break;  // a non-positive ratio ends the pair's list
        observations.push_back({r, r * r, Log(r), i, j});
      }
}

ScaledReal StateLikelihood(const std::vector<Observation>& observations, ErrorModel model, int numNodes,
                           const NodeReals& mu, const NodeReals& t) {
  return LikelihoodWith(HasAvx2() ? 4 : 2, observations, model, numNodes, mu, t);
}

ScaledReal StateLikelihoodSse2(const std::vector<Observation>& observations, ErrorModel model, int numNodes,
                               const NodeReals& mu, const NodeReals& t) {
  return LikelihoodWith(2, observations, model, numNodes, mu, t);
}

ScaledReal StateLikelihoodScalar(const std::vector<Observation>& observations, ErrorModel model, int numNodes,
                                 const NodeReals& mu, const NodeReals& t) {
  return LikelihoodWith(1, observations, model, numNodes, mu, t);
}

}  // namespace telvo
