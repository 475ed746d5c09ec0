// Posterior summaries of a gene's last pass: estimates, bounds, verdict, probabilities, carry-over.
#include <algorithm>
#include <cmath>

#include "estimation/Estimation.h"
#include "run/Run.h"

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
  WriteLine(w.Con, "Density of Best Likelihood:" + SciScaled(p.MaxLikelihood));

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
  for (int i = 1; i <= n; ++i) AppendColumn(row, termMedian[i]);
  for (int i = 1; i <= n; ++i) AppendColumn(row, termMedian[i] - termLower[i]);
  for (int i = 1; i <= n; ++i) AppendColumn(row, termUpper[i] - termMedian[i]);

  const TuningState& t = w.Tuning;
  row += "\t" + Fixed(t.MuAcceptanceRatio, 4, 2);
  row += "\t" + Fixed(t.VCVAcceptanceRatio, 4, 2);
  row += "\t" + BoolToString(t.MuTuned && t.VCVTuned && w.Gene.IrreducibleMatrix);
  AppendColumn(row, ScaledLog(p.MaxLikelihood));
  row += "\n";

  for (int i = 1; i <= n; ++i) {
    std::string& pRow = w.Out.PValueRows[i];
    for (int j = 1; j <= n; ++j) {
      if (j == i) continue;
      double greater = p.GreaterCount[static_cast<size_t>(i - 1) * n + (j - 1)];
      double smaller = p.GreaterCount[static_cast<size_t>(j - 1) * n + (i - 1)];
      AppendColumn(pRow, greater / (greater + smaller));  // NaN when no sample separates the two
    }
    pRow += "\n";
  }
  CarryOverStepSizes(s, w);
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
