// Convergence diagnostics and Monte-Carlo standard errors of one chain, as Vehtari, Gelman, Simpson,
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
#pragma once

#include <complex>
#include <cstdint>
#include <vector>

namespace telvo {

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

}  // namespace telvo
