// Posterior summaries of a gene's last pass: estimates, bounds, verdict, probabilities, and the
// carry-over of step sizes to the next gene.
#include <algorithm>
#include <cmath>

#include "estimation/Estimation.h"

namespace telvo {

OrderStatistics ChainOrderStatistics(const double* row, int count, std::vector<double>& scratch) {
  std::copy_n(row, count, scratch.begin());
  // Sorted positions S div 40, S div 2 and S - S div 40 (from 1), found by selection.
  auto first = scratch.begin();
  int median = count / 2, lower = count / 40, upper = count - count / 40;
  std::nth_element(first, first + (median - 1), first + count);
  std::nth_element(first, first + (lower - 1), first + (median - 1));
  std::nth_element(first + median, first + (upper - 1), first + count);
  return {scratch[lower - 1], scratch[median - 1], scratch[upper - 1]};
}

constexpr double Ln2 = 0.693147180559945309417232121458176568;

namespace {

// P(Mu_i > Mu_j) over the stored samples; NaN when no sample separates the two.
double ProbabilityGreater(const SamplerState& p, int n, int i, int j) {
  double greater = p.GreaterCount[static_cast<size_t>(i - 1) * n + (j - 1)];
  double smaller = p.GreaterCount[static_cast<size_t>(j - 1) * n + (i - 1)];
  return greater / (greater + smaller);
}

const double* ChainRow(const std::vector<double>& file, const SamplerWorkspace& w, int node) {
  return &file[static_cast<size_t>(node - 1) * w.Capacity];
}

// Mu of every node on the chain's scale, and relative to the node with the smallest median (the
// first such node), the reference of the result file.
void SummarizeMu(GeneEstimate& e, SamplerWorkspace& w, int n, int count) {
  for (int i = 1; i <= n; ++i) {
    OrderStatistics o = ChainOrderStatistics(ChainRow(w.MuFile, w, i), count, w.Posterior);
    e.Nodes[i].MuLower = o.Lower, e.Nodes[i].Mu = o.Median, e.Nodes[i].MuUpper = o.Upper;
  }
  int reference = 1;
  for (int i = 2; i <= n; ++i)
    if (e.Nodes[i].Mu < e.Nodes[reference].Mu) reference = i;
  const double referenceMedian = e.Nodes[reference].Mu;
  for (int i = 1; i <= n; ++i) {
    NodeEstimate& node = e.Nodes[i];
    node.Rel = node.Mu / referenceMedian;
    node.RelLower = node.MuLower / referenceMedian;
    node.RelUpper = node.MuUpper / referenceMedian;
  }
}

// The error terms: one shared chain, or one per node.
void SummarizeErrorTerms(GeneEstimate& e, SamplerWorkspace& w, int n, int count, bool constrained) {
  OrderStatistics o{};
  for (int i = 1; i <= n; ++i) {
    if (i == 1 || !constrained) o = ChainOrderStatistics(ChainRow(w.VCVFile, w, i), count, w.Posterior);
    e.Nodes[i].ErrLower = o.Lower, e.Nodes[i].Err = o.Median, e.Nodes[i].ErrUpper = o.Upper;
  }
}

// Mean and standard deviation (divided by count - 1) of the samples.
void MeanAndSd(const double* x, int count, double& mean, double& sd) {
  double sum = 0.0;
  for (int k = 0; k < count; ++k) sum += x[k];
  mean = sum / count;
  double squares = 0.0;
  for (int k = 0; k < count; ++k) squares += (x[k] - mean) * (x[k] - mean);
  sd = std::sqrt(squares / (count - 1));
}

// The share of samples farther from 0 than threshold; NaN without one.
double ShareAbove(const double* x, int count, double threshold) {
  if (threshold < 0) return NAN;
  int above = 0;
  for (int k = 0; k < count; ++k) above += std::fabs(x[k]) > threshold;
  return static_cast<double>(above) / count;
}

// The node pairs a < b of the analysis tables: statistics of the samples of log2(Mu_a / Mu_b), the
// local false sign rate (the share of samples on the minority side of 0, ties counted there) and the
// diagnostics of the difference chain.
void SummarizeContrasts(GeneEstimate& e, SamplerWorkspace& w, int n, int count, double minLog2) {
  const size_t stride = static_cast<size_t>(w.Capacity);
  for (size_t k = 0; k < static_cast<size_t>(n) * stride; ++k) w.Log2Mu[k] = Log(w.MuFile[k]) / Ln2;
  double* difference = &w.Log2Mu[static_cast<size_t>(n) * stride];
  const std::vector<int>& tally = w.Pass.GreaterCount;
  for (int a = 1; a <= n; ++a)
    for (int b = a + 1; b <= n; ++b) {
      const double* la = &w.Log2Mu[(a - 1) * stride];
      const double* lb = &w.Log2Mu[(b - 1) * stride];
      for (int k = 0; k < count; ++k) difference[k] = la[k] - lb[k];
      OrderStatistics o = ChainOrderStatistics(difference, count, w.Posterior);
      double greater = tally[static_cast<size_t>(a - 1) * n + (b - 1)];
      double smaller = tally[static_cast<size_t>(b - 1) * n + (a - 1)];
      double ties = count - greater - smaller;
      ContrastEstimate c{};
      c.A = a, c.B = b, c.Log2Ratio = o.Median, c.Log2Lower = o.Lower, c.Log2Upper = o.Upper;
      MeanAndSd(difference, count, c.Log2Mean, c.Log2Sd);
      c.PGreater = ProbabilityGreater(w.Pass, n, a, b);
      c.Lfsr = (std::min(greater, smaller) + ties) / count;
      ChainConvergence d = ChainDiagnostics(difference, count, w.Scratch);
      c.Log2Mcse = d.McseMedian, c.EssBulk = d.EssBulk, c.EssTail = d.EssTail;
      c.LfsrMcse = McseShareAbove(difference, count, 0.0, w.Scratch);
      c.PAbove = ShareAbove(difference, count, minLog2);
      e.Contrasts.push_back(c);
    }
}

}  // namespace

GeneEstimate SummarizeChain(const RunSettings& s, int n, const TuningState& t, const StepSizes& steps,
                            SamplerWorkspace& w) {
  const SamplerState& p = w.Pass;
  GeneEstimate e;
  e.NumNodes = n;
  e.Nodes.assign(n + 1, NodeEstimate{});
  e.SampleCount = p.SampleNo;
  SummarizeMu(e, w, n, p.SampleNo);
  SummarizeErrorTerms(e, w, n, p.SampleNo, s.ConstrainedVCV);
  for (int i = 1; i <= n; ++i) {
    NodeEstimate& node = e.Nodes[i];
    node.Ess = node.Rhat = node.EssBulk = node.EssTail = NAN;
    if (!s.Tables) continue;  // the diagnostics cost a sort per node: only the tables print them
    const double* chain = ChainRow(w.MuFile, w, i);
    node.Ess = EffectiveSampleSize(chain, p.SampleNo);
    ChainConvergence d = ChainDiagnostics(chain, p.SampleNo, w.Scratch);
    node.Rhat = d.Rhat, node.EssBulk = d.EssBulk, node.EssTail = d.EssTail;
  }
  e.PGreater.assign(static_cast<size_t>(n) * n, NAN);
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j)
      if (j != i) e.PGreater[static_cast<size_t>(i - 1) * n + (j - 1)] = ProbabilityGreater(p, n, i, j);
  if (s.Tables) SummarizeContrasts(e, w, n, p.SampleNo, s.MinLog2);
  e.Tuning = t;
  e.MuStepSize = steps.MuStepSize, e.VCVStepSize = steps.VCVStepSize;
  e.MaxLikelihood = p.MaxLikelihood;
  e.LogMaxLikelihood = ScaledLog(p.MaxLikelihood);
  e.Acceptable = t.MuTuned && t.VCVTuned;
  return e;
}

bool CarryOverStepSizes(const RunSettings& s, const GeneEstimate& e, StepSizes& st) {
  if (s.MaxTuningDepth <= 1 || !e.Tuning.MuTuned || !e.Tuning.VCVTuned) return false;
  // Magnitudes: a negative step proposes the same symmetric moves as its positive twin.
  st.SumOfLogMuStepSizes += Log(std::fabs(st.MuStepSize));
  st.SumOfLogVCVStepSizes += Log(std::fabs(st.VCVStepSize));
  ++st.NumSuccesses;
  st.MuStepSize = Exp(st.SumOfLogMuStepSizes / st.NumSuccesses);
  st.VCVStepSize = Exp(st.SumOfLogVCVStepSizes / st.NumSuccesses);
  return true;
}

}  // namespace telvo
