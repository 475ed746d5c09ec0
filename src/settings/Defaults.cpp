// Defaults of every setting, the error models, and the step that fixes the settings for the run.
#include <ctime>

#include "settings/Settings.h"

namespace telvo {

// The defaults are those of a new settings record, written once in its declaration.
void SetGlobals(RunSettings& s) { s = RunSettings{}; }

std::string ModelCode(ErrorModel model) {
  static const char* const codes[] = {"AV", "AC", "MV", "MC"};
  return codes[ModelNumber(model) - 1];
}

const char* EpsilonType(ErrorModel model) { return IsAdditive(model) ? "Additive" : "Multiplicative"; }

// The first letter of the code names the kind of small errors, the second the error term.
static ErrorModel ModelOf(bool additive, bool coefficient) {
  return additive ? (coefficient ? ErrorModel::AC : ErrorModel::AV) : (coefficient ? ErrorModel::MC : ErrorModel::MV);
}

void SetErrorModelFirst(RunSettings& s, char letter) {
  s.Model = ModelOf(letter == 'A', IsCoefficientOfVariation(s.Model));
}

void SetErrorModelSecond(RunSettings& s, char letter, const char* coefficientText) {
  s.Model = ModelOf(IsAdditive(s.Model), letter == 'C');
  s.VarCoefVar = letter == 'V' ? "Variance" : coefficientText;
}

std::string TooFewHybsMessage(const InputDesign& d, const RunSettings& s) {
  int n = d.NumExpressionNodes;
  return "With less than " + StringFromInt(2 * n - 1) + " hybs for " + StringFromInt(n) + "expression nodes,\n" +
         "T.E.L.V.O. cannot separately estimate " + s.VarCoefVar + " terms.";
}

void FinalizeOptions(Console& con, RunSettings& s) {
  s.SeedUsed = s.TelvoRandomSeed != 0 ? s.TelvoRandomSeed : static_cast<uint32_t>(std::time(nullptr));
  WriteLine(con, "Model " + IntegerToString(ModelNumber(s.Model)));
  WriteLine(con, "Random seed: " + std::to_string(s.SeedUsed));
}

}  // namespace telvo
