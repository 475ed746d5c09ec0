// Output: names and layouts of the result file, the p-value files and the chain files.
#pragma once

#include <string>

#include "run/RunState.h"

// --- Names (FileNames.cpp) ---
std::string TruncatedFileName(const std::string& base, const std::string& separator, const std::string& label,
                              const std::string& extension);
std::string WithCopyNumber(const std::string& name, int copy);  // "x_2.ext" for copy 2
bool SameFile(const std::string& a, const std::string& b);      // equal names, or one file on disk

// --- Result and p-value files (ResultFiles.cpp) ---
void CreateOutputFiles(RunState& run);                 // names, checks, creates; header into ResultData
std::string ResultHeader(const InputDesign& design, const RunSettings& settings);
void WriteGeneRows(RunState& run, GeneWork& work);     // the finished gene's rows, flushed
void WritePendingRows(RunState& run, GeneWork& work);  // after a fatal stop: what a gene had written
void CloseOutputFiles(RunState& run);                  // p-value files in node order, then the result file

// --- Chain files (ChainFiles.cpp) ---
void AssignChainFileName(RunState& run, GeneWork& work);  // derived name, made distinct within the run
void OpenChainFile(const InputDesign& design, const RunSettings& settings, GeneWork& work);
void WriteChainRow(const InputDesign& design, GeneWork& work);  // the current state as sample SampleNo
void CloseChainFile(GeneWork& work);
