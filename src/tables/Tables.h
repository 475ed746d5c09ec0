// The analysis tables of --out: a row per gene and node, a row per estimated gene and node pair, the
// pairs ranked, and the run's settings and counts; tab-separated, one header line, ready for R and
// pandas. The rows are values; their text is made, and read back (telvo-rank, shards), by one schema
// that names every column once.
#pragma once

#include <ctime>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Base.h"
#include "estimation/Estimation.h"
#include "input/Input.h"
#include "settings/Settings.h"

namespace telvo {

// Whether a gene was estimated, and why not.
enum class GeneStatus { Estimated, NotConnected, TooFewData };

// A row of the nodes table: one node of one gene. A gene that was not estimated has NA in every
// column after its status.
struct NodeRow {
  std::string GeneId, GeneName, Node;       // gene identifier and name, node name
  GeneStatus Status = GeneStatus::Estimated;  // estimated, or why not
  bool Acceptable = false;                  // the gene's verdict
  double Mu = 0, MuLower = 0, MuUpper = 0;  // median and 95% interval of Mu (chain scale, mean 1)
  double Rel = 0, RelLower = 0, RelUpper = 0;  // the result file's relative estimate and bounds
  double Err = 0, ErrLower = 0, ErrUpper = 0;  // the error term
  double Ess = 0, Rhat = 0;                 // effective sample size and split R-hat of the Mu chain
  long Passes = 0;                          // tuning passes of the gene
  double MuAccept = 0, ErrAccept = 0;       // the gene's acceptance ratios of Mu and error-term moves
  double LogMaxLikelihood = 0;              // ln of the best likelihood
};

// A row of the contrasts table: one node pair a < b of one estimated gene; the ranked table adds
// its rank and s-value.
struct ContrastRow {
  std::string GeneId, GeneName, NodeA, NodeB;  // gene identifier and name, the two nodes
  double Log2Ratio = 0, Log2Lower = 0, Log2Upper = 0;  // median and 95% interval of log2(Mu_a / Mu_b)
  double PGreater = 0;                         // P(Mu_a > Mu_b), as in the p-value file
  double Lfsr = 0;                             // local false sign rate
  bool Acceptable = false;                     // the gene's verdict
  size_t Pair = 0;                             // position of its node pair in a gene's pairs (not a column)
  long Rank = 0;                               // ranked table: 1, 2, ... within the node pair
  double Svalue = 0;                           // ranked table: mean lfsr of the rows ranked so far
};

using RunRows = std::vector<std::pair<std::string, std::string>>;  // the run table's key/value rows, in order

// Genes of a run, by what became of them.
struct GeneCounts {
  long Read = 0;          // gene rows examined
  long Estimated = 0;     // sampled
  long Acceptable = 0;    // sampled with the verdict True
  long NotConnected = 0;  // not sampled: the design falls apart
  long TooFewData = 0;    // not sampled: fewer ratios than parameters
};

// A table as read from a file: its name for messages and its whole content.
struct TableSource {
  std::string Name;  // file name, as given
  std::string Text;  // whole content, byte for byte
};

// --- Cells (Cells.cpp) ---
// A number cell: printf "%.10g" (ten significant digits, enough to tell any two estimates of a chain
// apart, plain decimals for ordinary values), and Inf, -Inf, NaN for the non-finite values.
std::string TableReal(double x);
double AsPrinted(double x);                             // the value its cell reads back as
std::string TableBool(bool flag);                       // TRUE / FALSE
bool ParseTableReal(std::string_view cell, double& x);  // a number cell back; NA (missing) reads as NaN
void SplitTableCells(std::string_view line, std::vector<std::string_view>& cells);  // cells of a row
std::string TableText(const std::string& text);  // a text cell; quoted (quotes doubled) only when it holds a quote
std::string UntableText(std::string_view cell);  // a text cell back to its text

// --- The tables' text, made and read back by one schema (Schema.cpp) ---
std::string NodesHeader();     // header lines, with their LF
std::string ContrastsHeader();
std::string RankedHeader();
void AppendNodeRow(std::string& text, const NodeRow& row);
void AppendContrastRow(std::string& text, const ContrastRow& row);
void AppendRankedRow(std::string& text, const ContrastRow& row);
// Reading stops the program at the first bad cell or row with "file:line: reason".
void ReadNodesTable(const TableSource& source, std::vector<NodeRow>& rows);  // appends
// The contrasts tables of shards in order: each gene has the node pairs of the first, in its order.
void ReadContrastsTables(const std::vector<TableSource>& sources, std::vector<ContrastRow>& rows);
RunRows ReadRunTable(const TableSource& source);

// --- A gene's rows (GeneTables.cpp); estimate null when it was not estimated. Their numbers are as the
// cells print them, so that the end of a run ranks what telvo-rank reads back from the same rows. ---
GeneStatus StatusOf(const CurrentGene& gene);
void GeneTableRows(const InputDesign& design, const CurrentGene& gene, const GeneEstimate* estimate,
                   std::vector<NodeRow>& nodes, std::vector<ContrastRow>& contrasts);

// --- The ranking (Rank.cpp) ---
// Rows grouped by node pair in pair order, ranked within a pair by lfsr (NaN last), then larger
// |log2_ratio| (NaN last), then input order; the s-value of a row is the mean lfsr of the rows
// ranked up to it, the expected share of wrong-sign calls among them.
void RankContrasts(std::vector<ContrastRow>& rows);
std::string RankedTableText(const std::vector<ContrastRow>& ranked);

// --- The run table (RunTable.cpp) ---
RunRows RunTableRows(const InputDesign& design, const RunSettings& settings, const GeneCounts& counts,
                     std::time_t start, std::time_t end, double secondsUsed);
std::string RunTableText(const RunRows& run);
// The run tables of shards in order as one run's: counts summed, the earliest start and the latest end,
// time used summed, every setting from the first (a setting that differs stops), and the number of
// shards. The whole run's input and output prefix, when given, name it; else the shards' inputs are
// listed when they differ.
RunRows CombineRunTables(const std::vector<RunRows>& shards, const std::string& input = "",
                         const std::string& prefix = "");
std::string RunValue(const RunRows& run, std::string_view key);  // "" when the key is missing

}  // namespace telvo
