// Run settings: defaults, the command-line flags, the menu and the finishing step.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "run/RunState.h"

namespace telvo {

// --- Defaults and finishing (Defaults.cpp) ---
void SetGlobals(RunSettings& settings);    // every default of a run
void FinalizeOptions(RunState& run);       // seeds the stream, derives the model number, opens the outputs
std::string TooFewHybsMessage(const RunState& run);  // why separate error terms are refused
void SetErrorModelFirst(RunSettings& settings, char letter);  // A or M
void SetErrorModelSecond(RunSettings& settings, char letter, const char* coefficientText);  // V or C

// --- Command-line flags (Flags.cpp) ---
enum class InfoRequest { None, Help, Version };  // what a command line may ask instead of a run
InfoRequest FindInfoRequest(const std::vector<std::string>& args);  // -h, --help or --version anywhere
void TakeLongOptions(RunState& run);  // takes the --name options out of the arguments, wherever they stand
void SetOptionsCLI(RunState& run);
// A whole integer value: blanks, sign, decimal digits or $, 0x, x, %, & prefixed digits; false
// when the text does not read completely or lies outside [lower, upper].
bool ParseFlagInteger(std::string_view text, int64_t lower, int64_t upper, int64_t& value);
bool ParseFlagReal(std::string_view text, double& value);  // blanks, then a decimal real, nothing after
std::string ListField(const std::string& list, int index, bool& present);  // index-th comma field, from 1

// --- Usage (Usage.cpp) ---
std::string_view UsageText();  // the --help text
std::string_view UsageLine();  // the reminder after a bad command line

// --- Interactive menu (Menu.cpp) ---
void SetOptions(RunState& run);

}  // namespace telvo
