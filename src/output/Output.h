// Output: the result file, the p-value files and the chain files, from their names to their bytes, and
// the console lines of a gene. Each format is made here once, from the gene's data and its estimate;
// the files are written a gene at a time without ever losing what a user already has.
#pragma once

#include <csignal>
#include <cstdio>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "base/Base.h"
#include "estimation/Estimation.h"
#include "input/Input.h"
#include "settings/Settings.h"

namespace telvo {

// An output file written a gene at a time. It is opened without emptying, so that a run that stops
// before its first gene leaves an earlier run's file as it was; it is emptied when the run writes
// its first gene, and cut back to its last complete row when a write fails.
struct OutputFile {
  std::string Name;      // as given or derived
  int Fd = -1;           // open for writing; -1: not open
  bool Emptied = false;  // holds only this run's text (a new file, or an old one emptied)
  std::string Header;    // written before the first row, where it is not in the file yet
  long long End = 0;     // length up to the end of the last complete row
};

// One text to append to one output file.
struct RowText {
  OutputFile* File;         // the file
  const std::string* Text;  // its complete rows
};

// An output beside the result and p-value files, named from the --out prefix (the analysis tables).
struct ExtraOutput {
  std::string Extension;  // after the prefix, as ".nodes.tsv"
  std::string Header;     // written when the file is created; empty: none
  bool AtEnd = false;     // written whole at the normal end of a run; absent until then
};

// The output files of a run.
struct OutputFiles {
  OutputFile Result;                // the result file
  std::vector<OutputFile> PValue;   // [i], node i's p-value file
  std::vector<OutputFile> Extra;    // the extra outputs, in the order they were asked for; not open when AtEnd
  std::vector<std::string> Stale;   // p-value files of an earlier run beside them, of other nodes (--out)
  std::set<std::string> UsedNames;  // output names of the run (as OutputKey), for distinct names
  std::vector<RowText> Pending;     // a gene's texts, written together
};

// A gene's rows of the result file and of the p-value files.
struct GeneRows {
  std::string Result;              // its result row
  std::vector<std::string> PValue; // [i]: its row of node i's p-value file
};

// The chain file of one sampled gene (-f), open during a tuning pass.
struct ChainFile {
  std::string Name;             // made distinct within the run
  std::FILE* File = nullptr;    // open during a pass
};

// What the sampler's news of one gene needs to reach its chain file and its console.
struct GeneSinkContext {
  const InputDesign* Design;   // node names and notes
  const RunSettings* Settings; // full output, the error term's name
  Console* Con;                // the gene's console
  ChainFile* Chain;            // its chain file
  const volatile std::sig_atomic_t* Stop;  // non-zero: the run is stopping (SamplerSink::Stop)
};

// --- Names (FileNames.cpp) ---
std::string TruncatedFileName(const std::string& base, const std::string& separator, const std::string& label,
                              const std::string& extension);
std::string PrefixedFileName(const std::string& prefix, const std::string& label, const std::string& extension);
// "x_2.ext" for copy 2, within 255 characters (the whole path, or its last part).
std::string WithCopyNumber(const std::string& name, int copy, bool wholePath = true);
std::string NameTag(std::string_view name);                     // 6 hex digits of the FNV-1a hash of name
std::string OutputKey(const std::string& name);                 // the absolute path a name stands for
bool SameFile(const std::string& a, const std::string& b);      // one path, or one file on disk
// Name of a p-value or chain file: from the input name, or from the --out prefix.
std::string DerivedFileName(const InputDesign& design, const RunSettings& settings, const std::string& label,
                            const std::string& extension);

// --- Files written a gene at a time (OutputFile.cpp) ---
// Stops at a symbolic link, a folder, or a name over 255 characters (the whole path, or its last part).
void RefuseUnsafeOutput(const std::string& name, bool wholePath);
// Stops when another run holds a lock on one of the files there are; before anything is created.
void RefuseOutputsInUse(const std::vector<std::string>& names);
// Opens without emptying and takes a lock on it, which another run's start meets. A new file gets its
// header at once, or with its first rows when headerLater; an earlier run's file gets it with the first rows.
void OpenOutputFile(OutputFile& file, const std::string& name, const std::string& header, bool headerLater = false);
// Appends each text to its file, in order: the last one commits the gene. Every file of an earlier run
// is emptied before any is written, the last one first. When a write fails, every file is cut back to
// its last complete row and the run stops.
void WriteRowsTogether(const std::vector<RowText>& rows);
bool CloseOutputFile(OutputFile& file);  // false when the system reports a failure
// A resumed run: what the open file holds (read through its own descriptor, which keeps its lock), and
// the file cut to length, which holds this run's text only.
std::string ReadOutputFile(const OutputFile& file);
void CutOutputFile(OutputFile& file, long long length);
// A whole file at once: a temporary beside it renamed over it (keeping its mode), so that a reader never
// sees half of it and a failure leaves nothing behind; a FIFO or a device is written into; a read-only
// file is not replaced. "" or why it could not be written.
std::string WriteWholeFile(const std::string& name, const std::string& text);
std::string WriteAllOut(int fd, const std::string& text);  // to standard output; "" or why not

// --- The result and p-value files of a run (ResultFiles.cpp) ---
// Names every output, checks them all, then creates them; the result file's header waits for the first gene.
void CreateOutputFiles(const InputDesign& design, RunSettings& settings, const std::vector<ExtraOutput>& extra,
                       OutputFiles& out);
std::string ResultHeader(const InputDesign& design, const RunSettings& settings);
std::string PValueHeader(const InputDesign& design, int node);
// The rows of a gene; estimate null for a gene that was not estimated (its short rows).
void FormatGeneRows(const CurrentGene& gene, const GeneEstimate* estimate, GeneRows& rows);
void CloseOutputFiles(OutputFiles& out);  // p-value files in node order, then the result file, then the rest
// An earlier run's outputs that are written at the end: removed when this run writes its first gene.
void RemoveEndOutputs(OutputFiles& out);

// --- Console lines of a gene (GeneConsole.cpp) ---
void WriteGeneOpening(Console& con, const CurrentGene& gene, bool fullOutput, RowStage reached);  // "\nID(name)"
void WriteComparisonMatrix(Console& con, const InputDesign& design, const CurrentGene& gene);
void WriteGeneVerdict(Console& con, const CurrentGene& gene);  // why a gene cannot be estimated
// After the passes: acceptance ratios, step sizes, every node's estimate and the best likelihood.
void WriteEstimateLines(Console& con, const InputDesign& design, const RunSettings& settings, const CurrentGene& gene,
                        const GeneEstimate& estimate);
void WriteCarryOverLines(Console& con, const StepSizes& steps);  // the running geometric mean of the step sizes
void WriteSampledLine(Console& con, const GeneEstimate& estimate);

// --- Chain files and the sampler's news (ChainFiles.cpp) ---
void AssignChainFileName(const InputDesign& design, const RunSettings& settings, OutputFiles& out,
                         const CurrentGene& gene, ChainFile& chain);  // derived, made distinct within the run
// The sink of a gene's estimation: step changes on its console; with -f also best states there and
// every stored sample in its chain file.
SamplerSink GeneSink(GeneSinkContext& context);
void CloseChainFile(ChainFile& chain);  // stops the run when the system reports a failure
void AbandonChainFile(ChainFile& chain);  // after a stop: closed, whatever it holds

}  // namespace telvo
