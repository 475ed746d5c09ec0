// The run state: every datum of a run, grouped by who writes it. Nodes, hybs and replicate slots
// are numbered from 1 as the user sees them; entry 0 of node-indexed arrays is unused unless noted.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/Base.h"

namespace telvo {

// The input file, held in memory and read front to back.
struct InputFile {
  std::string Bytes;   // whole content, byte for byte
  size_t Pos = 0;      // read position
};

struct HybRecord {
  std::string ExpName;  // node in channel 1 (experimental)
  int ExpNode = 0;      // its node number
  std::string RefName;  // node in channel 2 (reference)
  int RefNode = 0;      // its node number
};

// The design of the experiment, read once from the header rows.
struct InputDesign {
  std::string FileName;                         // input file name as given
  InputFile DatFile;                            // the input file
  std::string Notes1, Notes2;                   // cell 1 of header rows 2 and 3
  std::string Channel1, Channel2;               // cell 2 of header rows 2 and 3
  int NumHybs = 0;                              // data columns, 2..250
  int NumExpressionNodes = 0;                   // distinct node names, 2..100
  std::vector<std::string> ExpressionNodeNameList = std::vector<std::string>(MaxNodes + 1);
  std::vector<HybRecord> HybList = std::vector<HybRecord>(MaxHybs + 1);
};

// One observation as the likelihood uses it.
struct Observation {
  double Ratio;     // r, a positive ratio
  double RatioSq;   // r * r
  double LogRatio;  // ln r
  int Exp, Ref;     // node of channel 1, node of channel 2
};

// The gene row being processed.
struct CurrentGene {
  std::string GeneUniqueID;                   // first cell of the row
  std::string GeneCommonName;                 // second cell of the row
  int NumNodes = 0;                           // N the arrays below are sized for
  std::vector<double> HybArr;                 // ratios by (exp node, ref node, slot); see HybSlot
  std::vector<int> PairCount;                 // filled slots per ordered pair
  std::vector<bool> NodeConnected;            // marks of the connectivity search
  bool IrreducibleMatrix = false;             // observed pairs connect every node
  bool EnoughData = false;                    // at least one positive ratio per parameter
  int PositiveRatios = 0;                     // P, positive ratios of the row
  std::vector<Observation> Observations;      // likelihood terms in pair order, then slot order
};

// When the progress line is shown on standard error (--progress, --no-progress).
enum class ProgressChoice { Terminal, Always, Never };

// Run settings, as defaulted, flagged or chosen in the menu.
struct RunSettings {
  std::string ErrorModel = "AC";                       // AV, AC, MV or MC
  int ErrorModelNum = 2;                               // 1..4, derived from ErrorModel
  std::string EpsilonType = "Additive";                // Additive or Multiplicative
  std::string VarCoefVar = "Coefficient of Variation"; // name of the error term
  bool ConstrainedVCV = true;                          // one error term shared by all nodes
  NodeReals InitialMu = AtEveryNode(1.0);              // starting Mu per node
  NodeReals InitialVCV = AtEveryNode(0.2);             // starting error term; entry 0: shared term as entered
  double MuStepSize = 0.5;                             // starting step of the Mu move
  double VCVStepSize = 0.5;                            // starting step of the error-term move
  int BurnIn = 20000;                                  // steps before the first sample
  int SamplingPeriod = 20;                             // steps between samples
  int ChainSampleSize = 10000;                         // samples stored per node
  int MaxTuningDepth = 8;                              // most tuning passes per gene
  bool FullOutput = false;                             // chain files and diagnostics
  uint32_t TelvoRandomSeed = 0;                        // 0: seed from the clock
  uint32_t SeedUsed = 0;                               // the seed actually given to the stream
  std::string ResultFileName;                          // empty: derived from FileName
  int Threads = 0;                                     // -j worker count; 0: one stream for the run
  long FirstGene = 1;                                  // number of the first gene row of the file (shards)
  std::string OutPrefix;                               // --out: outputs named from it; empty: from the input
  bool Tables = false;                                 // --out: the analysis tables are written
  ProgressChoice Progress = ProgressChoice::Terminal;  // progress line: with a terminal standard error, always or never
};

// MT19937, the run's random stream.
struct RandomStream {
  std::array<uint32_t, 624> State{};  // generator words
  int Index = 625;                    // next output to hand out; 625: not seeded
  std::array<uint32_t, 624> Output{}; // the tempered words of the current block
  std::array<double, 624> Unit{};     // the same as k / 32767, k = word >> 17
};

// Step sizes and what the carry-over between genes accumulates.
struct StepSizes {
  double MuStepSize = 0.5;           // current step of the Mu move
  double VCVStepSize = 0.5;          // current step of the error-term move
  long NumSuccesses = 0;             // genes whose tuning succeeded
  double SumOfLogMuStepSizes = 0.0;  // sum of ln |MuStepSize| over them
  double SumOfLogVCVStepSizes = 0.0; // sum of ln |VCVStepSize| over them
};

// A likelihood kept as Mantissa * 2^Exponent, so that products of many densities neither underflow
// nor overflow. A zero Mantissa is the value 0.
struct ScaledReal {
  double Mantissa = 1.0;  // 0, or a normal double of modest magnitude
  int64_t Exponent = 0;   // binary exponent
};

// State of one tuning pass of the sampler.
struct SamplerState {
  NodeReals CurrentMu{}, CurrentVCV{};    // the chain's current state
  NodeReals ProposedMu{}, ProposedVCV{};  // the proposal of this step
  ScaledReal Likelihood;                  // likelihood of the current state
  ScaledReal ProposedLikelihood;          // likelihood of the proposal
  ScaledReal MaxLikelihood;               // best likelihood held in the pass
  bool ProposalValid = true;              // proposal inside Mu >= 0, terms >= 0
  int StepCount = 0;                      // steps since the last sample
  int TotalSteps = 0;                     // steps since sampling began
  int MuAccepts = 0, VCVAccepts = 0;      // accepted moves since sampling began
  bool Sampling = false;                  // burn-in is over
  int SampleNo = 0;                       // samples stored in this pass
  std::vector<int> GreaterCount;          // [n][m]: samples with Mu[n] > Mu[m], N x N
};

// The outcome of the tuning passes of one gene.
struct TuningState {
  int TuningDepth = 0;              // passes run
  bool MuTuned = false;             // Mu acceptance ratio reached the window
  bool VCVTuned = false;            // error-term acceptance ratio reached the window
  double MuAcceptanceRatio = 0.0;   // of the last pass
  double VCVAcceptanceRatio = 0.0;  // of the last pass
};

// Sample stores, sized once per run for N nodes and ChainSampleSize samples.
struct ChainStore {
  int Capacity = 0;                // samples per node
  std::vector<double> MuFile;      // [n][s] at (n-1) * Capacity + (s-1)
  std::vector<double> VCVFile;     // same layout; row 1 only with a shared error term
  std::vector<double> Posterior;   // scratch copy of one chain row
  std::vector<double> Log2Mu;      // analysis tables: [n][s] log2 of Mu samples, row N+1 a pair's differences
};

// What the analysis tables (--out) say of one node of an estimated gene.
struct NodeSummary {
  double Mu, MuLower, MuUpper;     // median and 2.5%/97.5% order statistics of Mu (chain scale, mean 1)
  double Rel, RelLower, RelUpper;  // the same relative to the reference node's median
  double Err, ErrLower, ErrUpper;  // the node's error term
  double Ess;                      // effective sample size of its Mu chain
  double Rhat;                     // split R-hat of its Mu chain
};

// What the analysis tables say of one node pair a < b of an estimated gene.
struct ContrastSummary {
  int A, B;                                   // the nodes
  double Log2Ratio, Log2Lower, Log2Upper;     // order statistics of log2(Mu_a / Mu_b) over the samples
  double PGreater;                            // P(Mu_a > Mu_b), as in the p-value file
  double Lfsr;                                // local false sign rate
};

// Summaries of an estimated gene for the analysis tables.
struct GeneSummary {
  std::vector<NodeSummary> Nodes;          // [n], node n
  std::vector<ContrastSummary> Contrasts;  // pairs in node order
  bool Acceptable = false;                 // the verdict
  double LogMaxLikelihood = 0.0;           // ln of the best likelihood
};

// Text a gene produces for the result file, the p-value files and the analysis tables.
struct GeneOutput {
  std::string ResultData;               // result-file text waiting to be written
  std::vector<std::string> PValueRows;  // [i]: pending text of node i's p-value file
  std::string NodeRows;                 // rows of the nodes table (--out)
  std::string ContrastRows;             // rows of the contrasts table (--out)
};

// Everything the estimation of one gene owns; a worker of the parallel mode has one of these.
struct GeneWork {
  CurrentGene Gene;          // the gene's data
  ChainStore Chains;         // its samples
  SamplerState Pass;         // the running pass
  TuningState Tuning;        // tuning outcome
  RandomStream Random;       // the stream its draws come from
  StepSizes Steps;           // step sizes it starts from and leaves
  bool CarryOverSteps = true;// average tuned step sizes into the next gene
  GeneOutput Out;            // its rows
  GeneSummary Summary;       // its numbers for the analysis tables (--out)
  Console Con;               // its console text
  std::string ChainFileName; // chain file of the gene (full output)
  std::FILE* ChainFile = nullptr;  // open during a pass
};

// An output file written a gene at a time. It is opened without emptying, so that a run that stops
// before its first gene leaves an earlier run's file as it was; it is emptied when the run writes
// its first gene, and cut back to its last complete row when a write fails.
struct OutputFile {
  std::string Name;      // as given or derived
  int Fd = -1;           // open for writing; -1: not open
  bool Emptied = false;  // holds only this run's text (a new file, or an old one emptied)
  std::string Header;    // written before the first row when the file held an earlier run's text
  long long End = 0;     // length up to the end of the last complete row
};

// One text to append to one output file.
struct RowText {
  OutputFile* File;         // the file
  const std::string* Text;  // its complete rows
};

// Output files of the run.
struct OutputFiles {
  OutputFile Result;                   // the result file
  std::vector<OutputFile> PValue;      // [i], node i's p-value file
  OutputFile Nodes, Contrasts;         // analysis tables written a gene at a time (--out)
  OutputFile Top, RunTable, Report;    // ranked pairs, run table and report page, at the normal end (--out)
  std::set<std::string> UsedNames;     // output names of the run (as OutputKey), for distinct names
  std::vector<RowText> Pending;        // a gene's texts, written together
};

// Run-wide counters of the driver.
struct RunCounters {
  long Tally = 0;                                     // genes examined
  long Estimated = 0, Acceptable = 0;                 // genes sampled, and those with the verdict True
  long NotConnected = 0, TooFewData = 0;              // genes not sampled, by reason
  std::time_t StartClock = 0;                         // wall-clock start, for the run table
  std::chrono::steady_clock::time_point StartTime;    // start of the run
};

// The progress line on standard error: genes committed of the file's gene rows.
struct ProgressMeter {
  bool On = false;                                   // shown in this run
  long Total = 0;                                    // gene rows of the file
  std::chrono::steady_clock::time_point Start;       // the first gene began
  std::chrono::steady_clock::time_point LastDrawn;   // the line was last written
};

struct RunState {
  bool InteractiveFlag = true;     // a person answers at the keyboard
  std::vector<std::string> Args;   // command-line arguments, program name excluded
  InputDesign Design;              // the experiment's design
  RunSettings Settings;            // the settings
  OutputFiles Output;              // result and p-value files
  RunCounters Counters;            // driver counters
  ProgressMeter Progress;          // the progress line
  Console Con;                     // the run's console
  GeneWork Work;                   // the gene in hand (single-stream mode)
};

}  // namespace telvo
