// Tuning passes: the step sizes change until both acceptance ratios fall inside the window.
#include "estimation/Estimation.h"
#include "output/Output.h"
#include "run/Run.h"

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
static void JudgeRatio(double ratio, bool& tuned, double& stepSize, const char* label, const RunSettings& s,
                       GeneWork& w) {
  if (InAcceptanceWindow(ratio)) {
    tuned = true;
  } else if (s.MaxTuningDepth > 1) {
    Write(w.Con, std::string(label) + Fixed(ratio, 4, 2) + "...");
    ChangeStepSize(ratio, stepSize, w.Random);
  }
}

void MCMCIt(const InputDesign& d, const RunSettings& s, GeneWork& w) {
  TuningState& t = w.Tuning;
  t = TuningState{};
  for (;;) {
    ++t.TuningDepth;
    RunTuningPass(d, s, w);
    t.MuAcceptanceRatio = static_cast<double>(w.Pass.MuAccepts) / w.Pass.TotalSteps * 2;
    JudgeRatio(t.MuAcceptanceRatio, t.MuTuned, w.Steps.MuStepSize, "Mu A.R.: ", s, w);
    t.VCVAcceptanceRatio = static_cast<double>(w.Pass.VCVAccepts) / w.Pass.TotalSteps * 2;
    JudgeRatio(t.VCVAcceptanceRatio, t.VCVTuned, w.Steps.VCVStepSize, "V/CV A.R.: ", s, w);
    if (s.FullOutput) CloseChainFile(w);
    if (t.TuningDepth == s.MaxTuningDepth) break;
    if (t.MuTuned && t.VCVTuned) break;
  }
  Write(w.Con, "\n");
  WriteLine(w.Con, "Mu Acceptance ratio: " + Fixed(t.MuAcceptanceRatio, 4, 2) + " (" + FlagText(t.MuTuned) + ")");
  WriteLine(w.Con, s.VarCoefVar + " Acceptance ratio: " + Fixed(t.VCVAcceptanceRatio, 4, 2) + " (" +
                       FlagText(t.VCVTuned) + ")");
  WriteLine(w.Con, "Mu SS: " + Fixed(w.Steps.MuStepSize, 5, 3) + "\tV/CV SS: " + Fixed(w.Steps.VCVStepSize, 6, 4));
  SummarizeChain(d, s, w);
}

}  // namespace telvo
