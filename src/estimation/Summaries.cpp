// Posterior summaries of a gene's last pass: estimates, bounds, verdict, probabilities, carry-over.
#include <algorithm>
#include <cmath>

#include "estimation/Estimation.h"
#include "run/Run.h"

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

// P(Mu_i > Mu_j) over the stored samples; NaN when no sample separates the two.
static double ProbabilityGreater(const SamplerState& p, int n, int i, int j) {
  double greater = p.GreaterCount[static_cast<size_t>(i - 1) * n + (j - 1)];
  double smaller = p.GreaterCount[static_cast<size_t>(j - 1) * n + (i - 1)];
  return greater / (greater + smaller);
}

static void AppendColumn(std::string& row, double value) {
  row += '\t';
  row += Fixed(value, 7, 5);
}

void SummarizeChain(const InputDesign& d, const RunSettings& s, GeneWork& w) {
  const int n = d.NumExpressionNodes;
  const SamplerState& p = w.Pass;
  ChainStore& c = w.Chains;
  std::string& row = w.Out.ResultData;
  NodeReals lower{}, median{}, upper{};
  for (int i = 1; i <= n; ++i) {
    OrderStatistics o = ChainOrderStatistics(&c.MuFile[static_cast<size_t>(i - 1) * c.Capacity], p.SampleNo, c.Posterior);
    lower[i] = o.Lower, median[i] = o.Median, upper[i] = o.Upper;
  }
  int reference = 1;
  for (int i = 2; i <= n; ++i)
    if (median[i] < median[reference]) reference = i;
  double referenceMedian = median[reference];
  GeneSummary& sum = w.Summary;
  if (s.Tables)
    for (int i = 1; i <= n; ++i) {
      NodeSummary& ns = sum.Nodes[i];
      ns.Mu = median[i], ns.MuLower = lower[i], ns.MuUpper = upper[i];
      const double* chain = &c.MuFile[static_cast<size_t>(i - 1) * c.Capacity];
      ns.Ess = EffectiveSampleSize(chain, p.SampleNo);
      ns.Rhat = SplitRhat(chain, p.SampleNo);
    }
  for (int i = 1; i <= n; ++i) {
    median[i] = median[i] / referenceMedian;
    AppendColumn(row, median[i]);
  }
  for (int i = 1; i <= n; ++i) {
    lower[i] = lower[i] / referenceMedian;
    AppendColumn(row, median[i] - lower[i]);
  }
  for (int i = 1; i <= n; ++i) {
    upper[i] = upper[i] / referenceMedian;
    AppendColumn(row, upper[i] - median[i]);
  }
  for (int i = 1; i <= n; ++i)
    WriteLine(w.Con, w.Gene.GeneUniqueID + "(" + w.Gene.GeneCommonName + "), \t" + d.ExpressionNodeNameList[i] + ": " +
                         Fixed(median[i] - lower[i], 4, 2) + "\t" + Fixed(median[i], 4, 2) + "\t" +
                         Fixed(upper[i] - median[i], 4, 2));
  WriteLine(w.Con, "Density of Best Likelihood:" + SciScaled(p.MaxLikelihood.Mantissa, p.MaxLikelihood.Exponent));

  NodeReals termLower{}, termMedian{}, termUpper{};
  if (s.ConstrainedVCV) {
    OrderStatistics o = ChainOrderStatistics(&c.VCVFile[0], p.SampleNo, c.Posterior);
    for (int i = 1; i <= n; ++i) termLower[i] = o.Lower, termMedian[i] = o.Median, termUpper[i] = o.Upper;
  } else {
    for (int i = 1; i <= n; ++i) {
      OrderStatistics o =
          ChainOrderStatistics(&c.VCVFile[static_cast<size_t>(i - 1) * c.Capacity], p.SampleNo, c.Posterior);
      termLower[i] = o.Lower, termMedian[i] = o.Median, termUpper[i] = o.Upper;
    }
  }
  if (s.Tables)
    for (int i = 1; i <= n; ++i) {
      NodeSummary& ns = sum.Nodes[i];
      ns.Rel = median[i], ns.RelLower = lower[i], ns.RelUpper = upper[i];
      ns.Err = termMedian[i], ns.ErrLower = termLower[i], ns.ErrUpper = termUpper[i];
    }
  for (int i = 1; i <= n; ++i) AppendColumn(row, termMedian[i]);
  for (int i = 1; i <= n; ++i) AppendColumn(row, termMedian[i] - termLower[i]);
  for (int i = 1; i <= n; ++i) AppendColumn(row, termUpper[i] - termMedian[i]);

  const TuningState& t = w.Tuning;
  row += "\t" + Fixed(t.MuAcceptanceRatio, 4, 2);
  row += "\t" + Fixed(t.VCVAcceptanceRatio, 4, 2);
  sum.Acceptable = t.MuTuned && t.VCVTuned && w.Gene.IrreducibleMatrix;
  sum.LogMaxLikelihood = ScaledLog(p.MaxLikelihood);
  row += "\t" + BoolToString(sum.Acceptable);
  AppendColumn(row, sum.LogMaxLikelihood);
  row += "\n";

  for (int i = 1; i <= n; ++i) {
    std::string& pRow = w.Out.PValueRows[i];
    for (int j = 1; j <= n; ++j) {
      if (j == i) continue;
      AppendColumn(pRow, ProbabilityGreater(p, n, i, j));
    }
    pRow += "\n";
  }
  if (s.Tables) SummarizeContrasts(d, w);
  CarryOverStepSizes(s, w);
}

void PrepareSummaries(GeneSummary& summary, int numNodes) {
  summary.Nodes.assign(numNodes + 1, NodeSummary{});
  summary.Contrasts.assign(static_cast<size_t>(numNodes) * (numNodes - 1) / 2, ContrastSummary{});
}

void SummarizeContrasts(const InputDesign& d, GeneWork& w) {
  const int n = d.NumExpressionNodes, count = w.Pass.SampleNo;
  ChainStore& c = w.Chains;
  GeneSummary& sum = w.Summary;
  const size_t stride = static_cast<size_t>(c.Capacity);
  for (size_t k = 0; k < static_cast<size_t>(n) * stride; ++k) c.Log2Mu[k] = Log(c.MuFile[k]) / Ln2;
  double* difference = &c.Log2Mu[static_cast<size_t>(n) * stride];
  size_t pair = 0;
  for (int a = 1; a <= n; ++a)
    for (int b = a + 1; b <= n; ++b) {
      const double* la = &c.Log2Mu[(a - 1) * stride];
      const double* lb = &c.Log2Mu[(b - 1) * stride];
      for (int k = 0; k < count; ++k) difference[k] = la[k] - lb[k];
      OrderStatistics o = ChainOrderStatistics(difference, count, c.Posterior);
      double greater = w.Pass.GreaterCount[static_cast<size_t>(a - 1) * n + (b - 1)];
      double smaller = w.Pass.GreaterCount[static_cast<size_t>(b - 1) * n + (a - 1)];
      double ties = count - greater - smaller;
      sum.Contrasts[pair++] = ContrastSummary{a, b, o.Median, o.Lower, o.Upper, ProbabilityGreater(w.Pass, n, a, b),
                                              (std::min(greater, smaller) + ties) / count};
    }
}

void CarryOverStepSizes(const RunSettings& s, GeneWork& w) {
  StepSizes& st = w.Steps;
  if (w.CarryOverSteps && s.MaxTuningDepth > 1 && w.Tuning.MuTuned && w.Tuning.VCVTuned) {
    // Magnitudes: a negative step proposes the same symmetric moves as its positive twin.
    st.SumOfLogMuStepSizes += Log(std::fabs(st.MuStepSize));
    st.SumOfLogVCVStepSizes += Log(std::fabs(st.VCVStepSize));
    ++st.NumSuccesses;
    st.MuStepSize = Exp(st.SumOfLogMuStepSizes / st.NumSuccesses);
    st.VCVStepSize = Exp(st.SumOfLogVCVStepSizes / st.NumSuccesses);
    WriteLine(w.Con, "Logmean MuStepSize: " + Fixed(st.MuStepSize, 4, 2));
    WriteLine(w.Con, "Logmean VCVStepSize: " + Fixed(st.VCVStepSize, 4, 2));
  }
  WriteLine(w.Con, "NumSampled: " + IntegerToString(w.Pass.SampleNo));
}

}  // namespace telvo
