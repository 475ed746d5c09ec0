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

// A row of the nodes table: one node of one gene. A gene that was not estimated is not acceptable and
// has NA in the columns of its estimate.
struct NodeRow {
  std::string GeneId, GeneName, Node;       // gene identifier and name, node name
  GeneStatus Status = GeneStatus::Estimated;  // estimated, or why not
  bool Acceptable = false;                  // the gene's verdict
  double Mu = 0, MuLower = 0, MuUpper = 0;  // median and 95% interval of Mu (chain scale, mean 1)
  double Rel = 0, RelLower = 0, RelUpper = 0;  // the result file's relative estimate and bounds
  double Err = 0, ErrLower = 0, ErrUpper = 0;  // the error term
  double Ess = 0;                           // Stan's single-chain ESS of the Mu chain (Geyer)
  double Rhat = 0;                          // rank-normalised R-hat of the Mu chain's two halves
  double EssBulk = 0, EssTail = 0;          // rank-normalised bulk and tail ESS of the same
  long Passes = 0;                          // tuning passes of the gene
  double MuAccept = 0, ErrAccept = 0;       // the gene's acceptance ratios of Mu and error-term moves
  double LogMaxLikelihood = 0;              // ln of the best likelihood
  long GeneNumber = 0;                      // the gene's position among the file's gene rows (-n)
};

// A row of the contrasts table: one node pair a < b of one estimated gene, from the samples of
// log2(Mu_a / Mu_b); the ranked table adds what the calls across genes say of it.
struct ContrastRow {
  std::string GeneId, GeneName, NodeA, NodeB;  // gene identifier and name, the two nodes
  double Log2Ratio = 0, Log2Lower = 0, Log2Upper = 0;  // median and 95% interval
  double PGreater = 0;                         // P(Mu_a > Mu_b), as in the p-value file
  double Lfsr = 0;                             // local false sign rate: samples on the minority side of 0
  bool Acceptable = false;                     // the gene's verdict
  double Log2Mean = 0, Log2Sd = 0;             // mean and standard deviation
  double Log2Mcse = 0, LfsrMcse = 0;           // Monte-Carlo standard errors of the median and of P(log2 > 0)
  double EssBulk = 0, EssTail = 0;             // rank-normalised bulk and tail ESS of the difference chain
  double PAbove = 0;                           // P(|log2| > the --min-log2 threshold); NaN without one
  long GeneNumber = 0;                         // the gene's position among the file's gene rows (-n)
  size_t Pair = 0;                             // position of its node pair in a gene's pairs (not a column)
  // The ranked table (CallContrasts):
  bool Ranked = false;                         // in the set the calls are made over: the gene is acceptable
  double EbMean = 0, EbSd = 0;                 // posterior mean and sd of the true log2 ratio under the prior
  double Lfdr = 0;                             // P(no change): the posterior mass at log2 ratio 0
  double EbLfsr = 0;                           // the same prior's local false sign rate, the mass at 0 counted wrong
  double Rank = 0;                             // 1, 2, ... by lfdr within the pair; NaN outside the ranked set
  double Qvalue = 0;                           // mean lfdr of the ranked rows up to it (ties share); NaN outside
  double AboveRate = 0;                        // mean 1 - p_above of the same rows; NaN without a threshold
  double Svalue = 0;                           // mean lfsr of the ranked rows up to it in lfsr order; NaN outside
  bool Called = false;                         // qvalue, and the rate above the threshold, at most the level
};

// A row of the genes table: one estimated gene, its pairs' calls brought together, and the test of
// "does any node differ?".
struct GeneRow {
  std::string GeneId, GeneName;    // gene identifier and name
  long GeneNumber = 0;             // its position among the file's gene rows
  bool Ranked = false;             // acceptable: in the set the calls are made over
  long PairsCalled = 0;            // node pairs called
  double LargestEbMean = 0;        // the eb_mean of largest size over its pairs
  std::string LargestA, LargestB;  // that pair's nodes
  double Chisq = 0;                // Wald statistic of "every node alike": m' S^-1 m of the log2 ratios to node 1
  long Df = 0;                     // its degrees of freedom: nodes - 1
  double PAny = 0;                 // P(chi-square with Df > Chisq): the p-value of "every node alike"
  double QAny = 0;                 // Benjamini-Hochberg adjusted PAny over the ranked genes; NaN outside
  bool Called = false;             // QAny at most the level: some node differs
};

// What the calls across genes found for one node pair.
struct PairCalls {
  std::string NodeA, NodeB;  // the pair
  double Pi0 = 0;            // the fitted share of genes without change
  long Called = 0;           // contrasts called
};

using RunRows = std::vector<std::pair<std::string, std::string>>;  // the run table's key/value rows, in order

// Genes of a run, by what became of them.
struct GeneCounts {
  long Read = 0;          // gene rows examined
  long Estimated = 0;     // sampled
  long Acceptable = 0;    // sampled with the verdict True
  long NotConnected = 0;  // not sampled: the design falls apart
  long TooFewData = 0;    // not sampled: fewer ratios than parameters
  long NegativeRatios = 0;  // ratio cells below 0 among them: log ratios given by mistake?
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
// A text cell: as valid UTF-8 (WithValidUtf8), and quoted, its quotes doubled, when it holds a TAB, a
// line end or a quote, as R's and pandas' writers do.
std::string TableText(const std::string& text);
// The next row of a table's text, its cells unquoted; a quoted cell may hold TABs and line ends, and a
// CR before a row's LF is dropped. rest moves past the row, lines counts the lines it took; false at the end.
bool NextTableRow(std::string_view& rest, std::vector<std::string>& cells, size_t& lines);

// --- The tables' text, made and read back by one schema (Schema.cpp) ---
std::string NodesHeader();     // header lines, with their LF
std::string ContrastsHeader();
std::string RankedHeader();
std::string GenesHeader();
void AppendNodeRow(std::string& text, const NodeRow& row);
void AppendContrastRow(std::string& text, const ContrastRow& row);
void AppendRankedRow(std::string& text, const ContrastRow& row);
void AppendGeneRow(std::string& text, const GeneRow& row);
// Reading stops the program at the first bad cell or row with "file:line: reason".
void ReadNodesTable(const TableSource& source, std::vector<NodeRow>& rows);  // appends
// The contrasts tables of shards in order: genes by increasing number, each once and with the node pairs
// of the first gene, in its order, once each. ends: the rows read when each table was done.
void ReadContrastsTables(const std::vector<TableSource>& sources, std::vector<ContrastRow>& rows,
                         std::vector<size_t>* ends = nullptr);
RunRows ReadRunTable(const TableSource& source);
// The length of a table's text through its header and its first rows rows; stops when it has fewer.
size_t TableLengthOfRows(const TableSource& source, size_t rows);

// --- A gene's rows (GeneTables.cpp); estimate null when it was not estimated. Their numbers are as the
// cells print them, so that the end of a run ranks what telvo-rank reads back from the same rows. ---
GeneStatus StatusOf(const CurrentGene& gene);
void GeneTableRows(const InputDesign& design, const CurrentGene& gene, long number, const GeneEstimate* estimate,
                   std::vector<NodeRow>& nodes, std::vector<ContrastRow>& contrasts);

// --- The calls across genes (Calls.cpp) ---
// The empirical-Bayes layer over the contrasts of all genes, pair by pair (the prior of estimation's
// FitPairPriors, fitted to the log2 means and sds of the ranked set, the contrasts of acceptable genes):
// every row's posterior under it, then rows grouped by node pair in pair order, the ranked set first in
// order of lfdr (ties: larger |eb_mean|, then input order), the rest after it in the same order. The
// ranked set alone gets ranks, q-values, s-values (today's: mean lfsr in lfsr order), the rate above
// the threshold (minLog2 >= 0) and calls at the level fdr.
std::vector<PairCalls> CallContrasts(std::vector<ContrastRow>& rows, double fdr, double minLog2);
// The genes of the ranked rows in gene order. "Does any node differ?" is tested by the Wald statistic of
// the log2 ratios of every node to the first, from their posterior means and the covariance the pairs'
// posterior sds give, against chi-square with nodes - 1 degrees of freedom; a gene is called when its
// Benjamini-Hochberg adjusted p-value over the acceptable genes is at most fdr.
std::vector<GeneRow> CallGenes(const std::vector<ContrastRow>& ranked, double fdr);
std::string RankedTableText(const std::vector<ContrastRow>& ranked);
std::string GenesTableText(const std::vector<GeneRow>& genes);
// Genes whose chains a statistician would not trust: a node or pair with bulk or tail ESS below
// EssNeeded, or a node with R-hat above RhatLimit.
constexpr double EssNeeded = 400, RhatLimit = 1.01;
long NotConverged(const std::vector<NodeRow>& nodes, const std::vector<ContrastRow>& contrasts);

// --- The run table (RunTable.cpp) ---
RunRows RunSettingsRows(const InputDesign& design, const RunSettings& settings);  // the run table's first part
RunRows RunTableRows(const InputDesign& design, const RunSettings& settings, const GeneCounts& counts,
                     std::time_t start, std::time_t end, double secondsUsed);
// What the calls add to the run table: genes called, genes not converged, every pair's pi0 and calls.
RunRows CallRows(const std::vector<PairCalls>& pairs, const std::vector<GeneRow>& genes, long notConverged);
std::string RunTableText(const RunRows& run);
// The run tables of shards in order as one run's: counts summed, the earliest start and the latest end,
// time used summed, every setting from the first (a setting that differs stops), and the number of
// shards; the rows of the calls are left out, as the calls are made again over all shards. The whole run's input and
// output prefix, when given, name it; else the shards' inputs are listed when they differ.
RunRows CombineRunTables(const std::vector<RunRows>& shards, const std::string& input = "",
                         const std::string& prefix = "");
std::string RunValue(const RunRows& run, std::string_view key);  // "" when the key is missing

}  // namespace telvo
