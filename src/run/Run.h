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

namespace telvo {

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

// --- Progress line (Progress.cpp) ---
void StartProgress(RunState& run);    // decides whether it is shown, counts the gene rows, first line
void AdvanceProgress(RunState& run);  // after a committed gene; redrawn at most four times a second

// --- Start-up dialogue (Startup.cpp) ---
void WriteTelvoBanner(Console& con);
void Intro(RunState& run);     // banner, file-name prompt, open the input file
void IntroCLI(RunState& run);  // banner, file name from the last argument, open the input file
std::string IOErrorMessage();

// --- The stop as the user meets it, the header check's pause (Console.cpp) ---
void VerifyOrQuit(RunState& run);
void ReportStop(RunState& run, const RunStop& stop);  // prints a stop; pauses when interactive
void ReportFailure(const RunStop& stop);  // the "telvo: " line (and the usage line) on standard error
std::string ConsoleFailedMessage(long genes);         // the stop after a console failure

}  // namespace telvo
