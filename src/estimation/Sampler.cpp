// One tuning pass of the random-walk Metropolis chain over Mu and the error terms.
#include <algorithm>
#include <cstring>

#include "estimation/EstimationInternal.h"

namespace telvo {

void PrepareWorkspace(SamplerWorkspace& c, int numNodes, int sampleSize, bool constrained, bool tables) {
  c.Capacity = sampleSize;
  c.MuFile.assign(static_cast<size_t>(numNodes) * sampleSize, 0.0);
  // With a shared error term only row 1 is ever written.
  c.VCVFile.assign(static_cast<size_t>(constrained ? 1 : numNodes) * sampleSize, 0.0);
  c.Posterior.assign(sampleSize, 0.0);
  // The contrasts of the analysis tables: log2 of every Mu sample, and a row for a pair's differences.
  c.Log2Mu.assign(tables ? static_cast<size_t>(numNodes + 1) * sampleSize : 0, 0.0);
  c.Observations.reserve(MaxHybs);
  c.Pass.GreaterCount.assign(static_cast<size_t>(numNodes) * numNodes, 0);
}

// Proposes a shift of Mu from one node to another; false when the proposal leaves the allowed region.
static bool MuMove(SamplerState& p, int n, double stepSize, RandomStream& rs) {
  int nodeA = Rnd(rs, 1, n);
  int nodeB = Rnd(rs, 1, n);
  while (nodeB == nodeA) nodeB = Rnd(rs, 1, n);
  double u1 = Rnd0To1(rs);
  double u2 = Rnd0To1(rs);
  double delta = (u1 - u2) * stepSize;
  p.ProposedMu[nodeA] = p.CurrentMu[nodeA] + delta;
  p.ProposedMu[nodeB] = p.CurrentMu[nodeB] - delta;
  if (p.ProposedMu[nodeA] < 0 || p.ProposedMu[nodeB] < 0) return false;
  double sum = 0.0;
  for (int i = 1; i <= n; ++i) sum += p.ProposedMu[i];
  double average = sum / n;
  if (average < 0) Oops("Average Mu < 0.");
  if (average == 0) return false;  // nothing to scale to a mean of 1
  if (average != 1.0)
    for (int i = 1; i <= n; ++i) p.ProposedMu[i] /= average;
  return true;
}

static bool ErrorTermMove(SamplerState& p, int n, bool constrained, double stepSize, RandomStream& rs) {
  bool valid = true;
  if (constrained) {
    double u1 = Rnd0To1(rs);
    double u2 = Rnd0To1(rs);
    double shared = p.CurrentVCV[1] + (u1 - u2) * stepSize;
    for (int i = 1; i <= n; ++i) p.ProposedVCV[i] = shared;
    if (shared < 0) valid = false;
  } else {
    for (int i = 1; i <= n; ++i) {
      double u1 = Rnd0To1(rs);
      double u2 = Rnd0To1(rs);
      p.ProposedVCV[i] = p.CurrentVCV[i] + (u1 - u2) * stepSize;
      if (p.ProposedVCV[i] < 0) valid = false;
    }
  }
  return valid;
}

void CountGreater(const double* mu, int n, int* counts, bool avx2) {
  if (avx2) {
    CountGreaterAvx2(mu, n, counts);
    return;
  }
  for (int a = 0; a < n; ++a)
    for (int b = 0; b < n; ++b) counts[static_cast<size_t>(a) * n + b] += mu[a] > mu[b];
}

static void StoreSample(const RunSettings& s, int n, SamplerWorkspace& c, const SamplerSink& sink) {
  SamplerState& p = c.Pass;
  if (!p.Sampling) {
    p.MuAccepts = p.VCVAccepts = p.TotalSteps = 0;
    p.Sampling = true;
  }
  if (sink.Stop && *sink.Stop) throw RunStop{"", 1, "the sampler was stopped"};
  if (sink.SampleStored) sink.SampleStored(sink.Context, p);
  CountGreater(&p.CurrentMu[1], n, p.GreaterCount.data(), HasAvx2());
  // Samples are stored by SampleNo: every node's count equals it.
  for (int a = 1; a <= n; ++a) c.MuFile[static_cast<size_t>(a - 1) * c.Capacity + p.SampleNo] = p.CurrentMu[a];
  if (s.ConstrainedVCV)
    c.VCVFile[p.SampleNo] = p.CurrentVCV[1];
  else
    for (int a = 1; a <= n; ++a) c.VCVFile[static_cast<size_t>(a - 1) * c.Capacity + p.SampleNo] = p.CurrentVCV[a];
  ++p.SampleNo;
}

void RunTuningPass(const RunSettings& s, int n, const StepSizes& steps, RandomStream& rs, SamplerWorkspace& w,
                   const SamplerSink& sink) {
  SamplerState& p = w.Pass;
  if (sink.PassBegins) sink.PassBegins(sink.Context);
  for (int i = 1; i <= n; ++i) {
    p.CurrentMu[i] = s.InitialMu[i];
    p.CurrentVCV[i] = s.InitialVCV[i];
  }
  p.Likelihood = StateLikelihood(w.Observations, s.Model, n, p.CurrentMu, p.CurrentVCV);
  std::fill(p.GreaterCount.begin(), p.GreaterCount.end(), 0);
  p.MaxLikelihood = p.Likelihood;
  p.MuAccepts = p.VCVAccepts = p.TotalSteps = p.SampleNo = 0;
  p.Sampling = false;

  const size_t bytes = sizeof(double) * n;
  for (;;) {
    p.StepCount = 0;
    for (;;) {
      ++p.StepCount;
      ++p.TotalSteps;
      std::copy_n(&p.CurrentMu[1], n, &p.ProposedMu[1]);
      std::copy_n(&p.CurrentVCV[1], n, &p.ProposedVCV[1]);
      bool muStep = p.StepCount % 2 == 1;
      p.ProposalValid = muStep ? MuMove(p, n, steps.MuStepSize, rs)
                               : ErrorTermMove(p, n, s.ConstrainedVCV, steps.VCVStepSize, rs);
      p.ProposedLikelihood = ScaledReal{1.0, 0};
      if (p.ProposalValid)
        p.ProposedLikelihood = StateLikelihood(w.Observations, s.Model, n, p.ProposedMu, p.ProposedVCV);
      double u = Rnd0To1(rs);
      if (MetropolisAccepts(p.ProposalValid, p.ProposedLikelihood, p.Likelihood, u)) {
        if (muStep)
          ++p.MuAccepts;
        else
          ++p.VCVAccepts;
        p.Likelihood = p.ProposedLikelihood;
        std::memcpy(&p.CurrentMu[1], &p.ProposedMu[1], bytes);
        std::memcpy(&p.CurrentVCV[1], &p.ProposedVCV[1], bytes);
        if (ScaledGreater(p.Likelihood, p.MaxLikelihood)) {
          p.MaxLikelihood = p.Likelihood;
          if (sink.BestState) sink.BestState(sink.Context, p);
        }
      }
      if (p.StepCount == s.BurnIn || (p.Sampling && p.StepCount == s.SamplingPeriod)) break;
    }
    StoreSample(s, n, w, sink);
    if (p.SampleNo == s.ChainSampleSize) return;
  }
}

}  // namespace telvo
