// Run control: the driver, the start-up dialogue, the console and the text helpers.
//
// A run, step by step (RunTelvo, Driver.cpp):
//  1. Start-up: closed standard streams reopened on /dev/null, --help/--version answered
//     (FindInfoRequest), the trial allocation (IsMemoryEnough), the defaults (SetGlobals).
//  2. The input file: named by the last argument (SetParametersCLI: TakeLongOptions, IntroCLI) or at
//     the prompt (SetParametersInteractive: Intro), read whole into memory.
//  3. The header rows: nodes and hybs of the design (VerifyFileHeader, input/Input.h).
//  4. The settings: flags (SetOptionsCLI) or the menu (SetOptions), then FinalizeOptions seeds the
//     stream and opens the output files without emptying them (CreateOutputFiles, output/Output.h).
//  5. The gene loop (ProcessGenes, or ProcessGenesParallel with -j): each row is read
//     (LoadGeneDataIntoMatrix); an estimable gene is sampled and tuned (MCMCIt: RunTuningPass,
//     ChangeStepSize, estimation/Estimation.h) and summarised (SummarizeChain); every gene is then
//     committed in input order (CommitGene: WriteGeneRows writes its result, p-value and table rows
//     together; "Genes Examined:"; the progress line).
//  6. The end: the ranked contrasts, run table and report with --out (WriteEndTables), the files
//     closed (Finish), "Time used:". A fatal stop (Oops) keeps every committed gene (StopRun).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "run/RunState.h"

// --- Driver (Driver.cpp) ---
int RunTelvo(int argc, char** argv);          // the whole run; returns the exit status
bool IsMemoryEnough(RunState& run);           // trial allocation; prints the memory line
void SetParametersCLI(RunState& run);         // command-line road up to the open output files
void SetParametersInteractive(RunState& run); // dialogue road up to the open output files
void ProcessGenes(RunState& run);             // the per-gene loop
void ProcessGenesParallel(RunState& run);     // the loop with independent genes on -j workers (Parallel.cpp)
void EndShortRows(GeneWork& work, int numNodes);  // rows of a gene that is not estimated
void CommitGene(RunState& run, GeneWork& work);   // a finished gene's rows to the files, progress line
void Finish(RunState& run);                   // closes the output files, last pause
std::string ElapsedText(double seconds);      // hh:mm:ss, hours not wrapped at a day

// --- Progress line (Progress.cpp) ---
void StartProgress(RunState& run);    // decides whether it is shown, counts the gene rows, first line
void AdvanceProgress(RunState& run);  // after a committed gene; redrawn at most four times a second

// --- Start-up dialogue (Startup.cpp) ---
void WriteTelvoBanner(Console& con);
void Intro(RunState& run);     // banner, file-name prompt, open the input file
void IntroCLI(RunState& run);  // banner, file name from the last argument, open the input file
bool FileExists(const std::string& name);  // the file can be opened for reading
std::string ReadWholeFile(const std::string& name, std::string& bytes);  // "" or why it cannot be read
std::string CannotOpenReason(const std::string& name);  // "cannot open 'name': " and the system's reason
std::string IOErrorMessage();

// --- Console (Console.cpp) ---
void Write(Console& con, std::string_view text);      // text without a line end
void WriteLine(Console& con, std::string_view text);  // text and a line end
void FlushConsole();                                  // push standard output to the terminal
bool ConsoleFailed();                                 // a write to standard output failed
std::string ConsoleFailedMessage(long genes);         // the stop after a console failure
void ShowStatusLine(const std::string& text);  // a line on standard error, rewritten in place
void ClearStatusLine();                        // blanks it out; nothing when none is shown
int ReadChar();                 // one character of standard input; EOF at its end
void DiscardRestOfLine(int first);  // the rest of the line after a one-character answer first
extern const char* const EndOfInputMessage;  // the stop when the input ends at a prompt
bool ReadLine(std::string& line);  // one whole line without its line end; false at end of input
[[noreturn]] void Oops(const std::string& message, int status = 1);
[[noreturn]] void OopsBecause(const std::string& message, const std::string& reason);  // with a short reason
[[noreturn]] void OopsUsage(const std::string& message, const std::string& reason = "");  // a bad command line
std::string SystemReason(const std::string& what, const std::string& name);  // "cannot <what> 'name': " errno's words
void VerifyOrQuit(RunState& run);
uint16_t ReadWord(Console& con, uint16_t lower, uint16_t upper);
int32_t ReadLong(Console& con, int32_t lower, int32_t upper);
void ReportStop(RunState& run, const RunStop& stop);  // prints a stop; pauses when interactive
void ReportFailure(const RunStop& stop);  // the "telvo: " line (and the usage line) on standard error

// --- Text helpers (Text.cpp) ---
std::string BoolToString(bool flag);        // "True" / "False"
std::string IntegerToString(long n);        // plain decimal
std::string StringFromInt(int n);           // five zero-padded digits
bool SameString(std::string_view a, std::string_view b);
std::string Cut(std::string text, size_t max = MaxText);  // keeps the first max characters
std::string_view Trimmed(std::string_view text);          // without blanks and control characters at either end
std::string Fixed(double x, int width, int decimals);     // fixed point, right-aligned, NaN/Inf spelt out
std::string Sci(double x);                                // 22-character scientific form
std::string SciScaled(const ScaledReal& x);               // same, for a scaled likelihood
std::string FlagText(bool flag);                          // "TRUE" / "FALSE" for the console
bool IsDecimalReal(std::string_view text);  // sign, digits, fraction, exponent; nothing else
bool ParseStrictReal(std::string_view text, double& value);  // the same, and within the range of a double
