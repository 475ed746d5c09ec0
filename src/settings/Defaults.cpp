// Defaults of every setting and the step that turns the chosen settings into a run.
#include <ctime>

#include "estimation/Estimation.h"
#include "output/Output.h"
#include "run/Run.h"
#include "settings/Settings.h"

namespace telvo {

// The defaults are those of a new settings record, written once in its declaration.
void SetGlobals(RunSettings& s) { s = RunSettings{}; }

void SetErrorModelFirst(RunSettings& s, char letter) {
  s.ErrorModel = std::string(1, letter) + s.ErrorModel.substr(1, 1);
  s.EpsilonType = letter == 'A' ? "Additive" : "Multiplicative";
}

void SetErrorModelSecond(RunSettings& s, char letter, const char* coefficientText) {
  s.ErrorModel = s.ErrorModel.substr(0, 1) + std::string(1, letter);
  s.VarCoefVar = letter == 'V' ? "Variance" : coefficientText;
}

std::string TooFewHybsMessage(const RunState& run) {
  int n = run.Design.NumExpressionNodes;
  return "With less than " + StringFromInt(2 * n - 1) + " hybs for " + StringFromInt(n) + "expression nodes,\n" +
         "T.E.L.V.O. cannot separately estimate " + run.Settings.VarCoefVar + " terms.";
}

void FinalizeOptions(RunState& run) {
  RunSettings& s = run.Settings;
  s.SeedUsed = s.TelvoRandomSeed != 0 ? s.TelvoRandomSeed : static_cast<uint32_t>(std::time(nullptr));
  SeedRandom(run.Work.Random, s.SeedUsed);
  const char* codes[] = {"AV", "AC", "MV", "MC"};
  for (int m = 0; m < 4; ++m)
    if (SameString(s.ErrorModel, codes[m])) s.ErrorModelNum = m + 1;
  WriteLine(run.Con, "Model " + IntegerToString(s.ErrorModelNum));
  WriteLine(run.Con, "Random seed: " + std::to_string(s.SeedUsed));
  CreateOutputFiles(run);
}

}  // namespace telvo
