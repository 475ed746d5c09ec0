// Estimation, the parts the program does not call itself: the other paths of Exp and of the
// likelihood (for their agreement tests and the benchmarks) and what the likelihood's files share.
#pragma once

#include "estimation/Estimation.h"

namespace telvo {

// --- Exp (FastMath.cpp) ---
double ExpForBatch(double x);                              // Exp with x clamped to [-708.4, 709]
void ExpBatch(const double* x, double* y, int count);      // ExpForBatch of each, vectorised
void ExpBatchSse2(const double* x, double* y, int count);  // the same with SSE2 only
bool HasAvx2();                                            // the CPU has AVX2 (asked once)

// --- Likelihood paths (Likelihood.cpp): the same results bit for bit ---
ScaledReal StateLikelihoodSse2(const std::vector<Observation>& observations, ErrorModel model, int numNodes,
                               const NodeReals& mu, const NodeReals& t);  // two lanes
ScaledReal StateLikelihoodScalar(const std::vector<Observation>& observations, ErrorModel model, int numNodes,
                                 const NodeReals& mu, const NodeReals& t);  // one density at a time
double ScaledToDouble(const ScaledReal& x);

// exp(a) is a normal double for every a at or above this bound.
constexpr double ExpNormalBound = -708.0;
// Densities in this band multiply a mantissa in [2^-256, 2^256] without leaving the normal range.
constexpr double FastLow = 0x1p-700, FastHigh = 0x1p700;

// Per-node terms of a state, computed once: the same expressions, so the same bits, as per ratio.
struct NodeTerms {
  NodeReals Variance;  // error variance of each node's channel
  NodeReals LogMu;     // ln Mu (log-normal models only)
  bool Additive;       // normal-ratio density (AV, AC), else log-normal (MV, MC)
};

// --- Vector kernels (LikelihoodAvx2.cpp, called only where the CPU has AVX2) ---
// Densities of the observations from 0 in groups of four; clears inBand when one leaves the fast
// band. Returns the first observation left.
int DensitiesAvx2(const std::vector<Observation>& observations, const NodeReals& mu, const NodeTerms& nt,
                  double* density, bool& inBand);
int ExpBatchAvx2(const double* x, double* y, int count);  // as many as whole groups of four hold
// counts[a][b] += mu[a] > mu[b] for a, b in 0..n-1: one stored sample's P(i > j) tally.
void CountGreaterAvx2(const double* mu, int n, int* counts);
// The same tally through CountGreaterAvx2 or, without AVX2, one pair at a time (Sampler.cpp).
void CountGreater(const double* mu, int n, int* counts, bool avx2);

// --- Densities one at a time (Densities.cpp); outside the fast band as Mantissa * 2^Exponent ---
double NormalOverNormalPDF(double r, double mx, double vx, double my, double vy);
double LogNormalOverLogNormalPDF(double r, double mx, double vx, double my, double vy);
ScaledReal SlowNormalOverNormal(double r, double mx, double vx, double my, double vy);
ScaledReal SlowLogNormalOverLogNormal(double r, double mx, double vx, double my, double vy);

}  // namespace telvo
