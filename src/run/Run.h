// Run control: the stages of a run wired together. Each stage lives in the folder that owns it; this
// folder only hands a gene from one to the next, in order, and ends the run.
//
// A run, step by step (RunTelvo, Driver.cpp):
//  1. Start-up: closed standard streams reopened on /dev/null, --help/--version answered
//     (FindInfoRequest), the trial allocation (IsMemoryEnough), the defaults (SetGlobals).
//  2. The input file: the banner, then the file named by the last argument (SetParametersCLI:
//     TakeLongOptions, IntroCLI) or at the prompt (SetParametersInteractive: Intro), read whole (input/).
//  3. The header rows: nodes and hybs of the design (VerifyFileHeader, input/).
//  4. The settings: flags (SetOptionsCLI) or the menu (SetOptions), then FinalizeOptions fixes the seed
//     (settings/); the run's stream is seeded and the output files are named, checked and opened
//     without emptying them (OpenOutputs: CreateOutputFiles, output/). A dry run (-q) ends here.
//  5. The gene loop (ProcessGenes, Genes.cpp; ProcessGenesParallel with -j, Parallel.cpp): each row is
//     read into a value and shown (ReadGene: ReadGeneRow, input/; its lines, output/); an estimable
//     gene is estimated (EstimateJob: MCMCIt, estimation/, its chain file and console lines leaving
//     through its sink), and its result, p-value and table rows are made (output/, tables/); every gene
//     is then committed in input order (CommitGene: its rows to every file together, "Genes Examined:",
//     the progress line).
//  6. The end: with --out the ranked contrasts, run table and report, from the rows the run holds
//     (WriteEndTables, End.cpp: tables/, report/), the files closed (Finish), "Time used:". A stop keeps
//     every committed gene (StopRun).
#pragma once

#include <chrono>
#include <csignal>
#include <ctime>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "base/Base.h"
#include "estimation/Estimation.h"
#include "input/Input.h"
#include "output/Output.h"
#include "settings/Settings.h"
#include "tables/Tables.h"

namespace telvo {

// The outputs of --out beside the legacy files, in the order of OutputFiles::Extra: two written a gene at
// a time, the rest whole at the normal end of a run, the run table last, so that a run table marks a
// run that ended normally.
enum TableOutput {
  NodesOutput, ContrastsOutput, TopOutput, GenesOutput, ReportOutput, RunTableOutput, TableOutputCount
};
extern const char* const TableExtensions[TableOutputCount];  // ".nodes.tsv", ..., ".run.tsv"

// A gene on its way through the stages, and everything it produces.
struct GeneJob {
  CurrentGene Gene;                       // its row
  long Number = 0;                        // gene number g: its position among the gene rows, from -n
  bool Estimable = false;                 // connected, with enough data
  GeneEstimate Estimate;                  // what its estimation found
  GeneRows Rows;                          // its result and p-value rows
  std::vector<NodeRow> NodeRows;          // its rows of the nodes table (--out)
  std::vector<ContrastRow> ContrastRows;  // its rows of the contrasts table (--out)
  std::string NodeText, ContrastText;     // the same rows as text
  Console Con;                            // its console lines (collected with -j)
  ChainFile Chain;                        // its chain file (-f)
};

// The progress line on standard error: genes committed of the file's gene rows.
struct ProgressMeter {
  bool On = false;                                  // shown in this run
  long Total = 0;                                   // gene rows of the file
  long Done = 0;                                    // genes done before the progress began (a resumed run)
  std::chrono::steady_clock::time_point Start;      // the first gene began
  std::chrono::steady_clock::time_point LastDrawn;  // the line was last written
};

// What the gene rows suggest may be a mistake, told on standard error when the run ends.
struct InputNotes {
  std::string FirstNegative;      // the first gene with a ratio below 0
  std::set<std::string> Ids;      // gene identifiers read
  long Repeats = 0;               // gene rows whose identifier came before
  std::string FirstRepeat;        // the first such identifier
};

// Everything a run holds.
struct RunState {
  bool InteractiveFlag = true;                    // a person answers at the keyboard
  std::vector<std::string> Args;                  // command-line arguments, program name excluded
  InputDesign Design;                             // the experiment's design
  RunSettings Settings;                           // the settings
  OutputFiles Output;                             // result, p-value and table files
  GeneCounts Counts;                              // genes committed, by what became of them
  InputNotes Notes;                               // what may be a mistake in the gene rows
  std::time_t StartClock = 0;                     // wall-clock start, for the run table
  std::chrono::steady_clock::time_point StartTime;  // start of the run
  ProgressMeter Progress;                         // the progress line
  Console Con;                                    // the run's console
  RandomStream Random;                            // the one stream of a run without -j
  StepSizes Steps;                                // step sizes carried from gene to gene without -j
  SamplerWorkspace Work;                          // chain stores of a run without -j
  GeneJob Job;                                    // the gene in hand without -j
  std::vector<NodeRow> NodeRows;                  // every committed gene's rows, for the end (--out)
  std::vector<ContrastRow> ContrastRows;          // the same for the contrasts
};

// --- Driver (Driver.cpp) ---
int RunTelvo(int argc, char** argv);           // the whole run; returns the exit status
bool IsMemoryEnough(RunState& run);            // trial allocation; prints the memory line
void SetParametersCLI(RunState& run);          // command-line road up to the open output files
void SetParametersInteractive(RunState& run);  // dialogue road up to the open output files
void OpenOutputs(RunState& run);               // the seed fixed and sown, the output files opened
void Finish(RunState& run);                    // closes the output files, last pause

// --- Start-up dialogue (Startup.cpp) ---
void WriteTelvoBanner(Console& con);
void Intro(RunState& run);     // banner, file-name prompt, the input file read
void IntroCLI(RunState& run);  // banner, file name from the last argument, the input file read

// --- The gene loop (Genes.cpp) ---
void ProcessGenes(RunState& run);  // every gene row, in order
void PrepareJob(GeneJob& job, const RunSettings& settings, int numNodes);  // sizes a job once per run
// The next row into the job and its lines; a bad row stops the run once they are shown.
void ReadGene(RunState& run, GeneJob& job);
// An estimable gene's estimation and what is made of it; carryOver: without -j, the tuned step sizes
// join the running mean the next gene starts from.
void EstimateJob(const InputDesign& design, const RunSettings& settings, GeneJob& job, SamplerWorkspace& work,
                 RandomStream& stream, StepSizes& steps, bool carryOver);
void MakeShortRows(const InputDesign& design, const RunSettings& settings, GeneJob& job);  // a gene not estimated
void CommitGene(RunState& run, GeneJob& job);  // a finished gene to the files, the console, the progress line

// --- Independent genes on worker threads (Parallel.cpp) ---
void ProcessGenesParallel(RunState& run);

// --- Stop signals (Signals.cpp): SIGINT, SIGTERM and SIGHUP end a run after the gene being committed ---
extern volatile std::sig_atomic_t StopSignal;  // the signal that asked for the stop; 0: none
void CatchStopSignals();                        // from the gene loop on; a second signal ends the process
[[noreturn]] void StopForSignal(const RunState& run);  // the stop, status 128 + signal, what the files hold

// --- A run resumed after a stop (Resume.cpp; --resume, with -j and --out) ---
// The files brought back to the genes the result file holds, which commits a gene last, and the input
// read past them; the run goes on after the last of them and ends as an uninterrupted run would.
void ResumeRun(RunState& run);
void WriteResumeRecord(const RunState& run);   // with the first gene: what a resumed run must match
void RemoveResumeRecord(const RunState& run);  // at the normal end

// --- Progress line (Progress.cpp) ---
void StartProgress(RunState& run);    // decides whether it is shown, counts the gene rows, first line
void AdvanceProgress(RunState& run);  // after a committed gene; redrawn at most four times a second

// --- The end of a run (End.cpp) ---
void WriteEndTables(RunState& run, double secondsUsed);  // --out: ranked pairs, run table, report
void ReportStop(RunState& run, const RunStop& stop);      // prints a stop; pauses when interactive
// "program: reason" on standard error, and the usage line after a bad command line.
void ReportFailure(const RunStop& stop, const char* program, std::string_view usageLine);
std::string ConsoleFailedMessage(long genes);              // the stop after a console failure
void WarnAboutInput(const RunState& run);  // negative ratios and repeated identifiers, on standard error
void WriteSummary(const RunState& run);    // one line on standard error: the genes and the outputs

// --- telvo-rank (Rank.cpp) ---
int RunTelvoRank(int argc, char** argv);  // ranks shards' contrasts tables, draws their report

}  // namespace telvo
