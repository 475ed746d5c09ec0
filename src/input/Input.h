// Input data: the header rows of the ratio file and its gene rows.
#pragma once

#include <string>
#include <vector>

#include "run/RunState.h"

namespace telvo {

// --- Reading the file (InputFile.cpp) ---
bool AtEnd(const InputFile& file);                 // no byte left
bool AtLineEnd(const InputFile& file);             // next byte is CR or LF, or no byte left
void SkipLineEnd(InputFile& file);                 // consumes one LF, CR or CR LF
std::string ReadRestOfLine(InputFile& file);       // up to the line end, which is consumed
bool OnlyEmptyLinesLeft(const InputFile& file);    // the rest of the file is line ends alone
long CountRowsLeft(const InputFile& file);         // lines that are not empty, from the read position
bool LooksLikePlainText(const std::string& bytes);  // no UTF-16 byte-order mark, no NUL in the first row

// --- Header rows (Header.cpp) ---
std::vector<std::string> SplitHeaderRow(const std::string& row);  // trimmed cells of row 2 or 3
void VerifyFileHeader(RunState& run);        // reads rows 1 to 3 into the design

// --- Gene rows (GeneRow.cpp) ---
std::string ReadCellString(RunState& run);  // next cell of a gene row, at most 254 characters
void PrepareGene(CurrentGene& gene, int numNodes, int numHybs);  // sizes the gene arrays once per run
inline size_t HybSlot(const CurrentGene& gene, int e, int r, int k) {  // index of slot k of pair (e, r)
  return ((static_cast<size_t>(e - 1) * gene.NumNodes + (r - 1)) * MaxReplicates) + (k - 1);
}
void LoadGeneDataIntoMatrix(RunState& run, GeneWork& work);  // reads the next gene row
void ConnectNode(CurrentGene& gene, int n);                   // marks n and every node linked to it
void WriteComparisonMatrix(const InputDesign& design, const CurrentGene& gene, Console& con);
void CollectObservations(CurrentGene& gene);                  // the likelihood's list of ratios

}  // namespace telvo
