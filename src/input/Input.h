// Input data: the ratio file, the design its three header rows give, and its gene rows, read one at a
// time into a value. Reading a row prints nothing and stops nothing: it says how far it came and what
// is wrong, and the caller shows the row and raises the stop.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/Base.h"

namespace telvo {

// The input file, held in memory and read front to back.
struct InputFile {
  std::string Bytes;  // whole content, byte for byte
  size_t Pos = 0;     // read position
};

// One data column of the file: the nodes its two channels measure.
struct HybRecord {
  std::string ExpName;  // node in channel 1 (experimental)
  int ExpNode = 0;      // its node number
  std::string RefName;  // node in channel 2 (reference)
  int RefNode = 0;      // its node number
};

// The design of the experiment, read once from the header rows.
struct InputDesign {
  std::string FileName;            // input file name as given
  InputFile DatFile;               // the input file
  std::string Notes1, Notes2;      // cell 1 of header rows 2 and 3
  std::string Channel1, Channel2;  // cell 2 of header rows 2 and 3
  int NumHybs = 0;                 // data columns, 2..250
  int NumExpressionNodes = 0;      // distinct node names, 2..100
  std::vector<std::string> ExpressionNodeNameList = std::vector<std::string>(MaxNodes + 1);  // [n], node n
  std::vector<HybRecord> HybList = std::vector<HybRecord>(MaxHybs + 1);                      // [h], hyb h
};

// One gene row: its cells, its ratios by node pair, and whether its design can be estimated.
struct CurrentGene {
  std::string GeneUniqueID;               // first cell of the row
  std::string GeneCommonName;             // second cell of the row
  int NumNodes = 0;                       // N the arrays below are sized for
  std::vector<double> HybArr;             // ratios by (exp node, ref node, slot); see HybSlot
  std::vector<int> PairCount;             // filled slots per ordered pair
  std::vector<bool> NodeConnected;        // marks of the connectivity search
  bool IrreducibleMatrix = false;         // observed pairs connect every node
  bool EnoughData = false;                // at least one positive ratio per parameter
  int PositiveRatios = 0;                 // P, positive ratios of the row
  int NegativeRatios = 0;                 // ratios below 0: log ratios given by mistake?
};

// How far a gene row was read: what its console lines can show.
enum class RowStage {
  Nothing,  // not even the identifier
  Id,       // the identifier, with more cells after it
  Name,     // the identifier and the name, with ratios after them
  Whole,    // every cell of the row
};

// The outcome of reading one gene row.
struct RowRead {
  RowStage Reached = RowStage::Nothing;  // how far it came
  std::optional<RunStop> Problem;        // why the row stops the run; none when it was read whole
};

// --- The file (InputFile.cpp) ---
bool AtEnd(const InputFile& file);                  // no byte left
bool AtLineEnd(const InputFile& file);              // next byte is CR or LF, or no byte left
void SkipLineEnd(InputFile& file);                  // consumes one LF, CR or CR LF
std::string ReadRestOfLine(InputFile& file);        // up to the line end, which is consumed
bool OnlyEmptyLinesLeft(const InputFile& file);     // the rest of the file is line ends alone
long CountRowsLeft(const InputFile& file);          // lines that are not empty, from the read position
bool LooksLikePlainText(const std::string& bytes);  // no UTF-16 byte-order mark, no NUL in the first row
// "comma" or "semicolon" when the first row has no TAB but that separator; null otherwise.
const char* OtherSeparator(const std::string& bytes);
// The file name typed at the prompt (checked, asked again when empty or too long), or given as the
// last argument; either way the file is then read whole into the design.
void PromptForInputFile(Console& con, InputDesign& design);
void TakeInputFileArgument(Console& con, InputDesign& design, const std::string& argument);

// --- Header rows (Header.cpp) ---
std::vector<std::string> SplitHeaderRow(const std::string& row);  // trimmed cells of row 2 or 3
// Reads rows 1 to 3 into the design, printing each step; an interactive run pauses to let the user check.
void VerifyFileHeader(Console& con, InputDesign& design, bool interactive);
// The header check's pause: RETURN goes on, q quits (status 0). Nothing without a person to answer.
void VerifyOrQuit(Console& con, bool interactive, const std::string& fileName);

// --- Gene rows (GeneRow.cpp) ---
void PrepareGene(CurrentGene& gene, int numNodes);  // sizes the gene arrays once per run
inline size_t HybSlot(const CurrentGene& gene, int e, int r, int k) {  // index of slot k of pair (e, r)
  return ((static_cast<size_t>(e - 1) * gene.NumNodes + (r - 1)) * MaxReplicates) + (k - 1);
}
RowRead ReadGeneRow(InputFile& file, const InputDesign& design, CurrentGene& gene);  // the next row's cells
// Connectivity and data sufficiency: one shared error term needs N + 1 positive ratios, separate terms 2N.
void JudgeGeneData(const InputDesign& design, bool sharedErrorTerm, CurrentGene& gene);
// What makes every gene of a design unestimable, read in full from its header rows: a node that no hyb
// measures (a cell of row 3 beyond the hybs of row 2), or fewer hybs than a gene needs ratios. Empty
// when a gene can be estimated.
std::vector<std::string> DesignProblems(const InputDesign& design, bool sharedErrorTerm);
void ConnectNode(CurrentGene& gene, int n);  // marks n and every node linked to it
inline int& PairCount(CurrentGene& gene, int e, int r) {  // filled slots of the ordered pair (e, r)
  return gene.PairCount[static_cast<size_t>(e - 1) * gene.NumNodes + (r - 1)];
}
inline int PairCount(const CurrentGene& gene, int e, int r) {
  return gene.PairCount[static_cast<size_t>(e - 1) * gene.NumNodes + (r - 1)];
}

}  // namespace telvo
