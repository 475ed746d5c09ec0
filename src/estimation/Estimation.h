// Estimation, pure computation: the likelihood under the four error models, the MCMC sampler, the
// tuning of its step sizes and the posterior summaries. MCMCIt takes a gene's data and the settings
// and returns a GeneEstimate; what the sampler has to say while it runs (stored samples, best states,
// step changes) leaves through the SamplerSink its caller gives it. Nothing here prints or opens a file.
#pragma once

#include <array>
#include <complex>
#include <csignal>
#include <cstdint>
#include <vector>

#include "base/Base.h"
#include "input/Input.h"
#include "settings/Settings.h"

namespace telvo {

// MT19937, the random stream of a run (or of one gene with -j).
struct RandomStream {
  std::array<uint32_t, 624> State{};   // generator words
  int Index = 625;                     // next output to hand out; 625: not seeded
  std::array<uint32_t, 624> Output{};  // the tempered words of the current block
  std::array<double, 624> Unit{};      // the same as k / 32767, k = word >> 17
};

// Step sizes of the two moves, and what the carry-over between genes accumulates.
struct StepSizes {
  double MuStepSize = 0.5;            // current step of the Mu move
  double VCVStepSize = 0.5;           // current step of the error-term move
  long NumSuccesses = 0;              // genes whose tuning succeeded
  double SumOfLogMuStepSizes = 0.0;   // sum of ln |MuStepSize| over them
  double SumOfLogVCVStepSizes = 0.0;  // sum of ln |VCVStepSize| over them
};

// A likelihood kept as Mantissa * 2^Exponent, so that products of many densities neither underflow
// nor overflow. A zero Mantissa is the value 0.
struct ScaledReal {
  double Mantissa = 1.0;  // 0, or a normal double of modest magnitude
  int64_t Exponent = 0;   // binary exponent
};

// One observation as the likelihood uses it.
struct Observation {
  double Ratio;     // r, a positive ratio
  double RatioSq;   // r * r
  double LogRatio;  // ln r
  int Exp, Ref;     // node of channel 1, node of channel 2
};

// State of one tuning pass of the sampler.
struct SamplerState {
  NodeReals CurrentMu{}, CurrentVCV{};    // the chain's current state
  NodeReals ProposedMu{}, ProposedVCV{};  // the proposal of this step
  ScaledReal Likelihood;                  // likelihood of the current state
  ScaledReal ProposedLikelihood;          // likelihood of the proposal
  ScaledReal MaxLikelihood;               // best likelihood held in the pass
  bool ProposalValid = true;              // proposal inside Mu >= 0, terms >= 0
  int StepCount = 0;                      // steps since the last sample
  int TotalSteps = 0;                     // steps since sampling began
  int MuAccepts = 0, VCVAccepts = 0;      // accepted moves since sampling began
  bool Sampling = false;                  // burn-in is over
  int SampleNo = 0;                       // samples stored in this pass
  std::vector<int> GreaterCount;          // [n][m]: samples with Mu[n] > Mu[m], N x N
};

// The outcome of the tuning passes of one gene.
struct TuningState {
  int TuningDepth = 0;              // passes run
  bool MuTuned = false;             // Mu acceptance ratio reached the window
  bool VCVTuned = false;            // error-term acceptance ratio reached the window
  double MuAcceptanceRatio = 0.0;   // of the last pass
  double VCVAcceptanceRatio = 0.0;  // of the last pass
};

// Rank-normalised diagnostics and Monte-Carlo standard errors of one chain, as Vehtari, Gelman, Simpson,
// Carpenter and Buerkner define them ("Rank-normalization, folding, and localization: An improved R-hat
// for assessing convergence of MCMC", Bayesian Analysis 16(2):667-718, 2021) and the R package
// posterior computes them. A gene has one chain: like posterior with a single chain, each routine splits
// it into its first and last count / 2 draws (an odd count drops the middle draw) and treats the halves
// as two chains. Where a value cannot be had the routines return what posterior returns: NaN for its NA,
// Inf where its value is Inf.
//
// Common to all: NaN when the chain has fewer than 4 draws (ESS and MCSE: fewer than 6, for halves of
// at least 3 draws), or when a half holds a NaN. "Constant" below means max - min < DBL_EPSILON, as
// posterior's test has it.

// Buffers kept between chains: a run that passes the same scratch to every chain allocates only for
// its first chain of a given length. One scratch per thread.
struct ConvergenceScratch {
  std::vector<uint64_t> Keys;                // order-preserving integer keys of the split draws
  std::vector<uint64_t> Packed, PackedSwap;  // radix-sort words (key bits over position), each pass's output
  std::vector<uint32_t> Histogram;           // digit counts of every radix pass
  std::vector<uint32_t> Order;               // the split-draw positions in ascending order of the draws
  std::vector<double> Sorted;                // the split draws in ascending order
  std::vector<double> Folded;                // the split draws' distances from the median, ascending
  std::vector<uint32_t> FoldedOrder;         // the split-draw positions of Folded
  std::vector<uint32_t> RunStart;            // sorted place where each draw's run of ties starts
  std::vector<double> Scores;                // rank-normal scores, in split-draw order
  std::vector<uint64_t> Bits;                // an indicator of the split draws, a bit row per half
  std::vector<double> ScoreTable;            // rank-normal score of every rank k / 2 of ScoreDraws draws
  int ScoreDraws = 0;                        // the draw count ScoreTable holds scores for (0: none yet)
  std::vector<std::complex<double>> FftFirst, FftSecond;  // FFT work of the first and the second half
};

// What TELVO prints of a chain.
struct ChainConvergence {
  // Bulk ESS: the ESS of the rank-normalised split draws (posterior's ess_bulk). NaN when constant;
  // +-Inf draws take the outermost ranks. When the halves are each constant but differ it is about 1.
  double EssBulk;
  // Tail ESS: the smaller ESS of the indicators I(x <= q_0.05) and I(x <= q_0.95) (ess_tail). NaN
  // when any draw, the middle one too, is not finite, when the split draws are constant, or when an
  // indicator is (a tail held by one tied value: halves each constant but different, for one).
  double EssTail;
  // The larger of the rank-normalised split R-hat and that of the folded draws |x - median| (rhat), the
  // median over all draws. NaN when the split draws are constant, when the folded draws are (two
  // values an even count apart: halves each constant but different), or the median is NaN or
  // infinite; Inf when the halves are each constant and differ but an odd count's middle draw makes
  // the folded draws differ.
  double Rhat;
  double McseMean;    // as McseMean below
  double McseMedian;  // as McseQuantile(p = 0.5) below, the estimate TELVO reports being the median
};

// What the estimation of a gene works in, sized once per run; a -j worker has its own.
struct SamplerWorkspace {
  int Capacity = 0;                       // samples per node
  std::vector<double> MuFile;             // [n][s] at (n-1) * Capacity + (s-1)
  std::vector<double> VCVFile;            // same layout; row 1 only with a shared error term
  std::vector<double> Posterior;          // scratch copy of one chain row
  std::vector<double> Log2Mu;             // analysis tables: [n][s] log2 of Mu samples, row N+1 a pair's differences
  std::vector<Observation> Observations;  // the gene's likelihood terms in pair order, then slot order
  SamplerState Pass;                      // the running pass
  ConvergenceScratch Scratch;             // the diagnostics' buffers (analysis tables)
};

// The two moves of a step: Mu, then the error terms.
enum class Move { Mu, ErrorTerm };

// Where the sampler's news goes while it runs: the caller's routines, handed back its Context. A null
// routine is not called; the sampler's own work is the same either way.
struct SamplerSink {
  void* Context = nullptr;                                           // the caller's
  void (*PassBegins)(void* context) = nullptr;                       // before a tuning pass's first step
  void (*SampleStored)(void* context, const SamplerState& pass) = nullptr;  // a sample, numbered SampleNo
  void (*BestState)(void* context, const SamplerState& pass) = nullptr;     // the best likelihood of the pass so far
  void (*StepChanging)(void* context, Move move, double ratio) = nullptr;   // its ratio missed the window
  void (*PassEnds)(void* context) = nullptr;                         // after the pass was judged
  const volatile std::sig_atomic_t* Stop = nullptr;  // non-zero: the run is stopping; the pass ends at a sample
};

// What the summaries say of one node of an estimated gene.
struct NodeEstimate {
  double Mu, MuLower, MuUpper;     // median and 2.5%/97.5% order statistics of Mu (chain scale, mean 1)
  double Rel, RelLower, RelUpper;  // the same divided by the reference node's median
  double Err, ErrLower, ErrUpper;  // the node's error term
  // Of its Mu chain (analysis tables only, else NaN): Stan's single-chain ESS (Geyer), and the
  // rank-normalised R-hat and bulk and tail ESS of the chain's two halves.
  double Ess, Rhat, EssBulk, EssTail;
};

// What the summaries say of one node pair a < b of an estimated gene (analysis tables only), from the
// samples of log2(Mu_a / Mu_b).
struct ContrastEstimate {
  int A, B;                                // the nodes
  double Log2Ratio, Log2Lower, Log2Upper;  // median and 2.5%/97.5% order statistics
  double Log2Mean, Log2Sd;                 // mean and standard deviation
  double PGreater;                         // P(Mu_a > Mu_b), as in the p-value file
  double Lfsr;                             // local false sign rate: the samples on the minority side of 0
  double Log2Mcse, LfsrMcse;               // Monte-Carlo standard errors of the median and of P(log2 > 0)
  double EssBulk, EssTail;                 // rank-normalised bulk and tail ESS of the two halves
  double PAbove;                           // P(|log2| > MinLog2); NaN without a threshold
};

// Everything the estimation of one gene found.
struct GeneEstimate {
  int NumNodes = 0;                         // N
  std::vector<NodeEstimate> Nodes;          // [n], node n; entry 0 unused
  std::vector<double> PGreater;             // [i][j] at (i-1) * N + (j-1): P(Mu_i > Mu_j); NaN: no sample tells
  std::vector<ContrastEstimate> Contrasts;  // pairs a < b in node order (analysis tables only)
  TuningState Tuning;                       // passes, verdicts and acceptance ratios of the last pass
  double MuStepSize = 0, VCVStepSize = 0;   // step sizes the tuning ended with
  ScaledReal MaxLikelihood;                 // best likelihood of the last pass
  double LogMaxLikelihood = 0;              // its natural logarithm
  bool Acceptable = false;                  // the verdict
  int SampleCount = 0;                      // samples stored in the last pass
};

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
void CollectObservations(const CurrentGene& gene, std::vector<Observation>& observations);
// The densities of a state evaluated in batches (AVX2 where the CPU has it, else SSE2).
ScaledReal StateLikelihood(const std::vector<Observation>& observations, ErrorModel model, int numNodes,
                           const NodeReals& mu, const NodeReals& t);
bool ScaledGreater(const ScaledReal& a, const ScaledReal& b);  // a > b
bool MetropolisAccepts(bool valid, const ScaledReal& proposed, const ScaledReal& current, double u);
double ScaledLog(const ScaledReal& x);  // natural logarithm; -Inf for 0

// --- Sampler (Sampler.cpp) ---
// Once per run; tables: room for the contrasts of the analysis tables.
void PrepareWorkspace(SamplerWorkspace& work, int numNodes, int sampleSize, bool constrained, bool tables = false);
void RunTuningPass(const RunSettings& settings, int numNodes, const StepSizes& steps, RandomStream& stream,
                   SamplerWorkspace& work, const SamplerSink& sink);

// --- Tuning (Tuning.cpp) ---
bool InAcceptanceWindow(double ratio);  // the ratio lies inside the window
void ChangeStepSize(double ratio, double& stepSize, RandomStream& stream);
// The tuning passes of an estimable gene and the summaries of its last pass. The step sizes start
// from steps and are left as the tuning ended them.
GeneEstimate MCMCIt(const CurrentGene& gene, const RunSettings& settings, StepSizes& steps, RandomStream& stream,
                    SamplerWorkspace& work, const SamplerSink& sink);

// --- Summaries (Summaries.cpp) ---
struct OrderStatistics {
  double Lower;   // sorted sample S div 40
  double Median;  // sorted sample S div 2
  double Upper;   // sorted sample S - S div 40
};
OrderStatistics ChainOrderStatistics(const double* row, int sampleCount, std::vector<double>& scratch);
GeneEstimate SummarizeChain(const RunSettings& settings, int numNodes, const TuningState& tuning,
                            const StepSizes& steps, SamplerWorkspace& work);
// Without -j, the tuned step sizes of a well-tuned gene join the running geometric mean that the next
// gene starts from; true when they did.
bool CarryOverStepSizes(const RunSettings& settings, const GeneEstimate& estimate, StepSizes& steps);

// --- Diagnostics (Diagnostics.cpp) ---
// Effective sample size of one chain as Stan computes it for a single chain (Geyer's initial monotone
// sequence over FFT autocorrelations). NaN when the chain is constant, holds a non-finite value or has
// fewer than 4 samples: such a chain carries no measure of its own mixing, and the tables print NaN.
double EffectiveSampleSize(const double* chain, int count);

// --- Convergence (Diagnostics.cpp) ---
// All of ChainConvergence, with one sort of the draws for the ranks, the quantiles and the folding.
ChainConvergence ChainDiagnostics(const double* chain, int count, ConvergenceScratch& scratch);

// Monte-Carlo standard error of the chain's mean: the sd of all draws over the square root of the
// basic ESS of the split draws (mcse_mean). NaN when any draw is not finite or the split draws are
// constant.
double McseMean(const double* chain, int count, ConvergenceScratch& scratch);

// Monte-Carlo standard error of the p-quantile (mcse_quantile): half the distance between the order
// statistics of all draws at the 15.9% and 84.1% points of Beta(ESS p + 1, ESS (1 - p) + 1), ESS that of
// I(x <= q_p) over the split draws; 0 <= p <= 1. NaN as EssTail (for p = 1 always: the indicator is
// constant).
double McseQuantile(const double* chain, int count, double p, ConvergenceScratch& scratch);

// Monte-Carlo standard error of the share of draws above threshold: McseMean of the indicator
// I(x > threshold), as posterior's mcse_mean(x > threshold). +-Inf draws count as above or not; NaN when
// any draw is NaN or the indicator is constant over the split draws (all or none above: a share of 1 or
// 0 has no MCSE).
double McseShareAbove(const double* chain, int count, double threshold, ConvergenceScratch& scratch);

// --- Shrinkage across genes (Shrinkage.cpp) ---
// Adaptive shrinkage of one node pair's contrasts across genes (M. Stephens, "False discovery rates:
// a new deal", Biostatistics 18(2):275-294, 2017). Gene i gives b_i, the posterior mean of
// log2(Mu_a / Mu_b), and s_i, its posterior sd; b_i ~ N(beta_i, s_i^2) and beta has the prior
// g = pi0 delta_0 + sum_k pi_k N(0, sigma_k^2), fitted over all genes with a penalty that favours the
// point mass. Under g each contrast gets a posterior mean and sd, an lfdr, an lfsr and a q-value.
//
// Each node pair is fitted alone. Sharing strength between pairs (a Dirichlet pull towards one fit
// over all pairs, its strength chosen by cross-validation) was tried and dropped: on simulated runs
// of 300 genes (bench/validate) it let truly unchanged contrasts make up to 8.7% of a set's calls at
// q <= 0.05 and moved pi0 up to 0.16 from the truth, where fits per pair kept both lower with the
// same power. With few genes a pair's pi0 leans high (the null bias weighs 9 contrasts): fewer calls,
// not false ones.

// --- The grid and the penalty (Stephens 2017) ---
constexpr double GridLowFraction = 0.1;   // sigma_min = min s * this: well below every s
constexpr double GridHighFactor = 2.0;    // sigma_max = this * sqrt(max(b^2 - s^2)): above every |b|
constexpr double GridMinSpan = 8.0;       // sigma_max is at least this many sigma_min
constexpr double GridRatio = 1.4142135623730951;  // sqrt(2) between neighbouring sigma_k
constexpr int GridMostSteps = 64;         // sigma_max / sigma_min at most sqrt(2)^64 = 2^32
constexpr double NullPenalty = 10.0;      // lambda_0 of the null-biased Dirichlet penalty
constexpr double OtherPenalty = 1.0;      // lambda_k, k > 0: no penalty on the other weights

// --- The solver: SQP on the weights as in mix-SQP (Kim, Carbonetto, Stephens and Anitescu, J. Comput.
// Graph. Stat. 2020), each step followed by an EM step ---
constexpr double GapTolerance = 1e-7;     // stop once F is provably this close to its maximum, per contrast
constexpr double ArmijoShare = 0.01;      // share of the promised fall a step must deliver
constexpr double WeightFloor = 0.01;      // a step keeps at least this share of every weight
constexpr double HessianRidge = 1e-10;    // added to the curvature, times its largest diagonal entry
constexpr int MaxFitIterations = 100;     // iterations (an SQP and an EM step each) before giving up

// g = sum_k Weight[k] N(0, Sd[k]^2); Sd[0] = 0 is the point mass at 0. Empty when no contrast could
// be used, and then every posterior under it is NaN.
struct UnimodalPrior {
  std::vector<double> Sd;      // grid of component standard deviations, Sd[0] = 0
  std::vector<double> Weight;  // fitted mixture weights; Weight[0] is pi0
  double Objective;            // penalised log-likelihood at Weight of the contrasts fitted
  int Iterations;              // solver iterations used
  bool Converged;              // the stopping rule was met within MaxFitIterations
};

// One contrast's posterior under g.
struct ShrunkEffect {
  double Mean;  // posterior mean of beta
  double Sd;    // posterior standard deviation of beta
  double Lfdr;  // P(beta = 0 | b)
  double Lfsr;  // min(P(beta >= 0 | b), P(beta <= 0 | b)): the point mass counts as the wrong sign
};

// Fits g to count contrasts by penalised maximum likelihood; no iteration lowers the objective.
// Contrasts with a non-finite b, or an s that is not positive and finite, are left out. maxIterations
// below MaxFitIterations stops the fit early (to follow its progress).
UnimodalPrior FitUnimodalPrior(const double* b, const double* s, size_t count,
                               int maxIterations = MaxFitIterations);

// Posterior of one contrast under g; NaN everywhere for a contrast the fit would leave out.
ShrunkEffect ShrinkEffect(const UnimodalPrior& g, double b, double s);

// The mean value of the entries whose key is at most each entry's key: with keys and values both the
// lfdr, the q-value of each contrast. Equal keys share the mean at the last of them; a NaN key takes no
// part and gets NaN.
void RunningMeans(const double* keys, const double* values, size_t count, double* means);

// One prior per node pair, each fitted to its own contrasts: b[p][i], s[p][i] for contrast i of pair
// p. A pair with no usable contrast gets an empty one. Throws std::invalid_argument when b and s
// differ in shape.
std::vector<UnimodalPrior> FitPairPriors(const std::vector<std::vector<double>>& b,
                                         const std::vector<std::vector<double>>& s);

// --- Tests across genes (GeneTests.cpp) ---
// m' S^-1 m for the k means and their k x k covariance (row-major); NaN when the covariance is not
// positive definite.
double WaldStatistic(const double* mean, const double* cov, int k);
double ChiSquareSurvival(double x, int df);  // P(chi-square with df degrees of freedom > x)
// Benjamini-Hochberg adjusted p-values (Benjamini and Hochberg, JRSS B 57:289-300, 1995); NaN p take
// no part and get NaN.
void BenjaminiHochberg(const double* p, size_t count, double* q);

}  // namespace telvo
