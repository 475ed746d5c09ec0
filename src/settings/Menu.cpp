// The interactive settings menu.
#include <cstdio>

#include "settings/Settings.h"
namespace telvo {


static int ReadAnswerChar() {
  int c = ReadChar();
  if (c == EOF) Oops(EndOfInputMessage);
  DiscardRestOfLine(c);
  return c;
}

// A real number typed as the first word of a line; empty lines are passed over, and an answer that
// is not a number is asked for again.
static double ReadReal(Console& con) {
  std::string line;
  for (;;) {
    if (!ReadLine(line)) Oops(EndOfInputMessage);
    size_t start = line.find_first_not_of(" \t\r");
    if (start == std::string::npos) continue;
    size_t end = line.find_first_of(" \t\r", start);
    double value = 0;
    if (ParseStrictReal(line.substr(start, end == std::string::npos ? std::string::npos : end - start), value))
      return value;
    Write(con, "Please enter a real number (e.g. 1.0): ");
  }
}

static void ShowMenu(Console& con, const RunSettings& s, const InputDesign& d) {
  Write(con, "\n");
  WriteLine(con, "Current MCMC settings:");
  WriteLine(con, "(E)rror Model: " + std::string(EpsilonType(s.Model)) + " errors, estimating/constraining " +
                     s.VarCoefVar + " terms");
  WriteLine(con, "(C)onstrained " + s.VarCoefVar + ": " + FlagText(s.ConstrainedVCV));
  WriteLine(con, "(I)nitial values:");
  for (int n = 1; n <= d.NumExpressionNodes; ++n)
    WriteLine(con, "Mu[" + d.ExpressionNodeNameList[n] + "] := " + Fixed(s.InitialMu[n], 4, 2) + "\t" + s.VarCoefVar +
                       "[" + d.ExpressionNodeNameList[n] + "] := " + Fixed(s.InitialVCV[n], 6, 4));
  WriteLine(con, "(M)u step size: " + Fixed(s.MuStepSize, 4, 2));
  WriteLine(con, "(V)ariance/CV step size: " + Fixed(s.VCVStepSize, 5, 3));
  WriteLine(con, "(B)urn in, # generations: " + IntegerToString(s.BurnIn));
  WriteLine(con, "(P)eriod of sampling from the Markov chain: " + IntegerToString(s.SamplingPeriod));
  WriteLine(con, "(G)enerations to be sampled: " + IntegerToString(s.ChainSampleSize));
  WriteLine(con, "(F)ull output of the chain: " + FlagText(s.FullOutput));
  WriteLine(con, "(T)uning depth maximum: " + IntegerToString(s.MaxTuningDepth));
  WriteLine(con, "(R)andom seed (0 for system clock): " + std::to_string(s.TelvoRandomSeed));
  WriteLine(con, "(O)utput file name (blank for default): " + s.ResultFileName);
  Write(con, "\n");
  Write(con, "Enter a letter to change a parameter, q to quit, or RETURN to go on: ");
}

static void ErrorModelDialogue(RunSettings& s, Console& con) {
  Write(con, "Large confounding factors (e.g. spot size, heterogeneity) of the spot are always modeled by TELVO as "
             "multiplicative.\nSmall random errors may be A)dditive or M)ultiplicative: ");
  int c = ReadAnswerChar();
  if (c == 'A' || c == 'a') SetErrorModelFirst(s, 'A');
  if (c == 'M' || c == 'm') SetErrorModelFirst(s, 'M');
  Write(con, "V)ariances or C)oefficients of Variation may be estimated by the algorithm, and/or constrained: ");
  c = ReadAnswerChar();
  if (c == 'V' || c == 'v') SetErrorModelSecond(s, 'V', "Coefficient of Variation");
  if (c == 'C' || c == 'c') SetErrorModelSecond(s, 'C', "Coefficient of Variation");
}

static void InitialValuesDialogue(Console& con, RunSettings& s, const InputDesign& d) {
  const int n = d.NumExpressionNodes;
  for (;;) {
    double sum = 0;
    for (int i = 1; i <= n; ++i) {
      Write(con, "Initial mu[" + d.ExpressionNodeNameList[i] + "] := ");
      s.InitialMu[i] = ReadReal(con);
      sum += s.InitialMu[i];
      if (!s.ConstrainedVCV) {
        Write(con, "Initial " + s.VarCoefVar + "[" + d.ExpressionNodeNameList[i] + "] := ");
        s.InitialVCV[i] = ReadReal(con);
      }
    }
    if (s.ConstrainedVCV) {
      Write(con, "Initial " + s.VarCoefVar + " := ");
      s.InitialVCV[0] = ReadReal(con);
      for (int i = 1; i <= n; ++i) s.InitialVCV[i] = s.InitialVCV[0];
    }
    if (sum != 0) {
      for (int i = 1; i <= n; ++i) s.InitialMu[i] = s.InitialMu[i] / (sum / n);
      return;
    }
    WriteLine(con, "The starting Mu values add up to 0 and cannot be scaled to a mean of 1; please enter them again.");
  }
}

// One answer to the menu, in capitals; false when it ends the menu.
static bool MenuChoice(Console& con, RunSettings& s, const InputDesign& d, int letter) {
  switch (letter) {
    case 'E':
      ErrorModelDialogue(s, con);
      break;
    case 'C':
      if (s.ConstrainedVCV && d.NumHybs < 2 * d.NumExpressionNodes - 1)
        WriteLine(con, TooFewHybsMessage(d, s));
      else
        s.ConstrainedVCV = !s.ConstrainedVCV;
      break;
    case 'I':
      InitialValuesDialogue(con, s, d);
      break;
    case 'M':
      Write(con, "Mu step size: ");
      s.MuStepSize = ReadReal(con);
      break;
    case 'V':
      Write(con, s.VarCoefVar + " step size: ");
      s.VCVStepSize = ReadReal(con);
      break;
    case 'B':
      Write(con, "Burn in, # generations: ");
      s.BurnIn = ReadLong(con, 1, 500000);
      break;
    case 'P':
      Write(con, "Period of sampling from the Markov chain: ");
      s.SamplingPeriod = ReadWord(con, 1, 65532);
      break;
    case 'G':
      Write(con, "Generations to be sampled: ");
      s.ChainSampleSize = ReadLong(con, 80, MaxSamples);
      break;
    case 'T':
      Write(con, "Maximum acceptance ratio tuning depth: ");
      s.MaxTuningDepth = ReadWord(con, 1, 255);
      break;
    case 'F':
      s.FullOutput = !s.FullOutput;
      break;
    case 'R':
      s.TelvoRandomSeed = ReadWord(con, 0, 65532);
      break;
    case 'O': {
      std::string name;
      if (!ReadLine(name)) Oops(EndOfInputMessage);
      s.ResultFileName = name;
      break;
    }
    case 'Q':
      Oops("\nHave a nice day.", 0);
    default:
      return false;
  }
  return true;
}

void SetOptions(Console& con, RunSettings& s, const InputDesign& d) {
  for (;;) {
    ShowMenu(con, s, d);
    int c = ReadAnswerChar();
    if (!MenuChoice(con, s, d, c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c)) return;
  }
}

}  // namespace telvo
