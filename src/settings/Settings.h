// Run settings: the defaults, the command-line flags, the settings menu, and the step that fixes them
// for the run. Settings read the design (node count and names) and print their dialogue; they open no
// file and draw no random number.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/Base.h"
#include "input/Input.h"

namespace telvo {

// The error model: how small errors act (Additive or Multiplicative) and which error term is
// estimated (a Variance or a Coefficient of variation). The value is the model's number.
enum class ErrorModel : uint8_t { AV = 1, AC = 2, MV = 3, MC = 4 };
std::string ModelCode(ErrorModel model);    // "AV", "AC", "MV" or "MC"
const char* EpsilonType(ErrorModel model);  // "Additive" or "Multiplicative"
constexpr int ModelNumber(ErrorModel model) { return static_cast<int>(model); }  // 1..4
constexpr bool IsAdditive(ErrorModel model) {  // AV, AC: the ratio of two normals
  return model == ErrorModel::AV || model == ErrorModel::AC;
}
constexpr bool IsCoefficientOfVariation(ErrorModel model) {  // AC, MC: the term scales with Mu
  return model == ErrorModel::AC || model == ErrorModel::MC;
}

// When the progress line is shown on standard error (--progress, --no-progress).
enum class ProgressChoice { Terminal, Always, Never };

// Run settings, as defaulted, flagged or chosen in the menu.
struct RunSettings {
  ErrorModel Model = ErrorModel::AC;                    // the error model
  std::string VarCoefVar = "Coefficient of Variation";  // name of the error term, as the road that set it spells it
  bool ConstrainedVCV = true;                           // one error term shared by all nodes
  NodeReals InitialMu = AtEveryNode(1.0);               // starting Mu per node
  NodeReals InitialVCV = AtEveryNode(0.2);              // starting error term; entry 0: shared term as entered
  double MuStepSize = 0.5;                              // starting step of the Mu move
  double VCVStepSize = 0.5;                             // starting step of the error-term move
  int BurnIn = 20000;                                   // steps before the first sample
  int SamplingPeriod = 20;                              // steps between samples
  int ChainSampleSize = 10000;                          // samples stored per node
  int MaxTuningDepth = 8;                               // most tuning passes per gene
  bool FullOutput = false;                              // chain files and diagnostics
  uint32_t TelvoRandomSeed = 0;                         // 0: seed from the clock
  uint32_t SeedUsed = 0;                                // the seed actually given to the stream
  std::string ResultFileName;                           // empty: derived from the input name
  int Threads = 0;                                      // -j worker count; 0: one stream for the run
  long FirstGene = 1;                                   // number of the first gene row of the file (shards)
  bool DryRun = false;                                  // -q: stop once the output files are open
  bool Resume = false;                                  // --resume: go on with a run that stopped
  bool Quiet = false;                                   // --quiet: nothing on standard output
  std::string OutPrefix;                                // --out: outputs named from it; empty: from the input
  bool Tables = false;                                  // --out: the analysis tables are written
  double Fdr = 0.05;                                    // --fdr: the level of the calls
  double MinLog2 = -1;                                  // --min-log2: the size a call needs; below 0: off
  ProgressChoice Progress = ProgressChoice::Terminal;   // the progress line: on a terminal, always or never
};

// --- Defaults and finishing (Defaults.cpp) ---
void SetGlobals(RunSettings& settings);  // every default of a run
// The seed of the run (the clock's when none was given), with the lines "Model N" and "Random seed: S".
void FinalizeOptions(Console& con, RunSettings& settings);
// Why separate error terms are refused for this design.
std::string TooFewHybsMessage(const InputDesign& design, const RunSettings& settings);
void SetErrorModelFirst(RunSettings& settings, char letter);  // A or M
void SetErrorModelSecond(RunSettings& settings, char letter, const char* coefficientText);  // V or C

// --- Command-line flags (Flags.cpp) ---
enum class InfoRequest { None, Help, Version };  // what a command line may ask instead of a run
InfoRequest FindInfoRequest(const std::vector<std::string>& args);  // -h, --help or --version anywhere
bool HasLongOption(const std::vector<std::string>& args, const char* name);  // --name anywhere, not as a value
// Takes the --name options out of the arguments, wherever they stand; the input file must remain.
void TakeLongOptions(RunSettings& settings, std::vector<std::string>& args);
// The one-letter flags before the last argument (the input file), once the design is known.
void SetOptionsCLI(RunSettings& settings, const InputDesign& design, const std::vector<std::string>& args);
// A whole integer value: blanks, sign, decimal digits or $, 0x, x, %, & prefixed digits; false
// when the text does not read completely or lies outside [lower, upper].
bool ParseFlagInteger(std::string_view text, int64_t lower, int64_t upper, int64_t& value);
bool ParseFlagReal(std::string_view text, double& value);  // blanks, then a decimal real, nothing after
std::string ListField(const std::string& list, int index, bool& present);  // index-th comma field, from 1

// --- Usage (Usage.cpp) ---
std::string_view UsageText();  // the --help text
std::string_view UsageLine();  // the reminder after a bad command line

// --- Interactive menu (Menu.cpp) ---
void SetOptions(Console& con, RunSettings& settings, const InputDesign& design);

}  // namespace telvo
