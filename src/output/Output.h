// Output: names and layouts of the result file, the p-value files and the chain files.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "run/RunState.h"

namespace telvo {

// --- Names (FileNames.cpp) ---
std::string TruncatedFileName(const std::string& base, const std::string& separator, const std::string& label,
                              const std::string& extension);
std::string PrefixedFileName(const std::string& prefix, const std::string& label, const std::string& extension);
std::string WithCopyNumber(const std::string& name, int copy);  // "x_2.ext" for copy 2, within 255 characters
std::string NameTag(std::string_view name);                     // 6 hex digits of the FNV-1a hash of name
std::string OutputKey(const std::string& name);                 // the absolute path a name stands for
bool SameFile(const std::string& a, const std::string& b);      // one path, or one file on disk

// --- Output files written a gene at a time (OutputFile.cpp) ---
void RefuseUnsafeOutput(const std::string& name);  // stops at a symbolic link or a name over 255 characters
// Opens without emptying; a new file gets header at once, an old one with its first rows.
void OpenOutputFile(OutputFile& file, const std::string& name, const std::string& header);
// Appends each text to its file; when a write fails, every file is cut back to its last complete row
// and the run stops.
void WriteRowsTogether(const std::vector<RowText>& rows);
bool CloseOutputFile(OutputFile& file);  // false when the system reports a failure

// --- Result and p-value files, analysis tables (ResultFiles.cpp) ---
// Name of a p-value or chain file: from the input name, or from the --out prefix.
std::string DerivedFileName(const InputDesign& design, const RunSettings& settings, const std::string& label,
                            const std::string& extension);
void CreateOutputFiles(RunState& run);                 // names, checks, creates; header into ResultData
std::string ResultHeader(const InputDesign& design, const RunSettings& settings);
std::string PValueHeader(const InputDesign& design, int node);
void WriteGeneRows(RunState& run, GeneWork& work);     // the finished gene's rows, all files together
void WriteEndTables(RunState& run, double secondsUsed);  // normal end with --out: ranked pairs, run table, report
void CloseOutputFiles(RunState& run);                  // p-value files in node order, then the result file

// --- Chain files (ChainFiles.cpp) ---
void AssignChainFileName(RunState& run, GeneWork& work);  // derived name, made distinct within the run
void OpenChainFile(const InputDesign& design, const RunSettings& settings, GeneWork& work);
void WriteChainRow(const InputDesign& design, GeneWork& work);  // the current state as sample SampleNo
void CloseChainFile(GeneWork& work);

}  // namespace telvo
