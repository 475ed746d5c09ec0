// Tuning passes: the step sizes change until both acceptance ratios fall inside the window.
#include "estimation/Estimation.h"

namespace telvo {

// The lower bound is the extended-precision 0.15, a little above the double nearest 0.15, so a
// ratio that comes out as that double counts as too low.
constexpr long double WindowLow = 0.15L;
constexpr double WindowHigh = 0.5;

bool InAcceptanceWindow(double ratio) { return ratio > WindowLow && ratio < WindowHigh; }

void ChangeStepSize(double ar, double& stepSize, RandomStream& rs) {
  if (ar < WindowLow) {
    double u1 = Rnd0To1(rs);
    double u2 = Rnd0To1(rs);
    double r = (u1 + u2) / 2;
    double below = 1.5 - ar;
    stepSize = stepSize / (1 + r * ((1 - ar) / 0.5) * (below * below * below));
  } else if (ar > WindowHigh) {
    double u1 = Rnd0To1(rs);
    double u2 = Rnd0To1(rs);
    double r = (u1 + u2) / 2;
    double above = (ar - 0.15) / 0.15;
    stepSize = stepSize * (1 + r * (above * above));
  }
}

// One kind of move after a pass: settle its flag or change its step size.
static void JudgeRatio(double ratio, bool& tuned, double& stepSize, Move move, const RunSettings& s, RandomStream& rs,
                       const SamplerSink& sink) {
  if (InAcceptanceWindow(ratio)) {
    tuned = true;
  } else if (s.MaxTuningDepth > 1) {
    if (sink.StepChanging) sink.StepChanging(sink.Context, move, ratio);
    ChangeStepSize(ratio, stepSize, rs);
  }
}

GeneEstimate MCMCIt(const CurrentGene& gene, const RunSettings& s, StepSizes& steps, RandomStream& rs,
                    SamplerWorkspace& w, const SamplerSink& sink) {
  const int n = gene.NumNodes;
  CollectObservations(gene, w.Observations);
  TuningState t;
  for (;;) {
    ++t.TuningDepth;
    RunTuningPass(s, n, steps, rs, w, sink);
    t.MuAcceptanceRatio = static_cast<double>(w.Pass.MuAccepts) / w.Pass.TotalSteps * 2;
    JudgeRatio(t.MuAcceptanceRatio, t.MuTuned, steps.MuStepSize, Move::Mu, s, rs, sink);
    t.VCVAcceptanceRatio = static_cast<double>(w.Pass.VCVAccepts) / w.Pass.TotalSteps * 2;
    JudgeRatio(t.VCVAcceptanceRatio, t.VCVTuned, steps.VCVStepSize, Move::ErrorTerm, s, rs, sink);
    if (sink.PassEnds) sink.PassEnds(sink.Context);
    if (t.TuningDepth == s.MaxTuningDepth) break;
    if (t.MuTuned && t.VCVTuned) break;
  }
  return SummarizeChain(s, n, t, steps, w);
}

}  // namespace telvo
