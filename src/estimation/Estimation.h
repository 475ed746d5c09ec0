// Estimation: the likelihood, the MCMC sampler, step-size tuning and the posterior summaries.
#pragma once

#include <cstdint>

#include "run/RunState.h"

namespace telvo {

// --- Random stream (Random.cpp) ---
void SeedRandom(RandomStream& stream, uint32_t seed);  // MT19937 init_genrand
uint32_t NextRandom(RandomStream& stream);             // next 32-bit output
uint32_t Random(RandomStream& stream, uint32_t n);     // floor(x * n / 2^32), 0..n-1
int Rnd(RandomStream& stream, int lo, int hi);         // uniform integer lo..hi
double Rnd0To1(RandomStream& stream);                  // k / 32767, k = 0..32767
uint32_t GeneSeed(uint32_t runSeed, long gene);        // seed of gene number `gene` with -j

// --- Exp and Log (FastMath.cpp): the same bits on every machine ---
double Exp(double x);  // within 1 ulp, whole double range
double Log(double x);  // within 1 ulp

// --- Likelihood (Likelihood.cpp) and scaled arithmetic (Scaled.cpp) ---
// The densities of a state evaluated in batches (AVX2 where the CPU has it, else SSE2).
ScaledReal StateLikelihood(const CurrentGene& gene, int errorModelNum, int numNodes, const NodeReals& mu,
                           const NodeReals& t);
bool ScaledGreater(const ScaledReal& a, const ScaledReal& b);  // a > b
bool MetropolisAccepts(bool valid, const ScaledReal& proposed, const ScaledReal& current, double u);
double ScaledLog(const ScaledReal& x);  // natural logarithm; -Inf for 0

// --- Sampler (Sampler.cpp) ---
// Once per run; tables: room for the contrasts of the analysis tables.
void PrepareChains(GeneWork& work, int numNodes, int sampleSize, bool constrained, bool tables = false);
void RunTuningPass(const InputDesign& design, const RunSettings& settings, GeneWork& work);

// --- Tuning (Tuning.cpp) ---
// Acceptance window test and step change; returns true when the ratio lies inside the window.
bool InAcceptanceWindow(double ratio);
void ChangeStepSize(double ratio, double& stepSize, RandomStream& stream);
void MCMCIt(const InputDesign& design, const RunSettings& settings, GeneWork& work);

// --- Summaries (Summaries.cpp) ---
struct OrderStatistics {
  double Lower;   // sorted sample S div 40
  double Median;  // sorted sample S div 2
  double Upper;   // sorted sample S - S div 40
};
OrderStatistics ChainOrderStatistics(const double* row, int sampleCount, std::vector<double>& scratch);
void SummarizeChain(const InputDesign& design, const RunSettings& settings, GeneWork& work);
// With the analysis tables: summary stores sized once per run, and the node pairs of a gene.
void PrepareSummaries(GeneSummary& summary, int numNodes);
void SummarizeContrasts(const InputDesign& design, GeneWork& work);
void CarryOverStepSizes(const RunSettings& settings, GeneWork& work);

// --- Diagnostics (Diagnostics.cpp) ---
// Effective sample size of one chain as Stan computes it for a single chain (Geyer's initial monotone
// sequence over FFT autocorrelations). NaN when the chain is constant, holds a non-finite value or has
// fewer than 4 samples: such a chain carries no measure of its own mixing, and the tables print NaN.
double EffectiveSampleSize(const double* chain, int count);
// Split R-hat: the Gelman-Rubin potential scale reduction of the chain's two halves (the middle sample
// dropped when count is odd), not rank-normalised. Inf when both halves are constant but differ; NaN when
// the whole chain is constant, holds a non-finite value or has fewer than 4 samples.
double SplitRhat(const double* chain, int count);

}  // namespace telvo
