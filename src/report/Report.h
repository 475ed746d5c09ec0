// Report: the one-file HTML page of a run with --out (volcano and forest plots of the node-pair
// contrasts, sampler diagnostics), drawn from the text of its tables so that telvo and telvo-rank
// (over shards) make the same page.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tables/Tables.h"

namespace telvo {

// A row of the nodes table, the cells the page uses.
struct ReportNode {
  std::string GeneId, GeneName, Node;  // text cells, unquoted
  bool Estimated = false;              // status "estimated"
  bool Acceptable = false;             // the gene's verdict
  double Ess = 0, Rhat = 0;            // effective sample size and split R-hat of the node's Mu
  double MuAccept = 0, ErrAccept = 0;  // the gene's acceptance ratios of Mu and error-term moves
};

// A row of the ranked contrasts table.
struct ReportContrast {
  std::string GeneId, GeneName, NodeA, NodeB;     // text cells, unquoted
  double Log2 = 0, Log2Lower = 0, Log2Upper = 0;  // median and 95% interval of log2(Mu_a / Mu_b)
  double Lfsr = 0, Svalue = 0;                    // local false sign rate; mean lfsr of the rows ranked so far
  bool Acceptable = false;                        // the gene's verdict
};

using RunRows = std::vector<std::pair<std::string, std::string>>;  // the run table's key/value rows, in order

// Everything the page is drawn from.
struct ReportTables {
  std::vector<ReportNode> Nodes;       // nodes tables, shards in order
  std::vector<ReportContrast> Ranked;  // the ranked contrasts (grouped by pair, best first)
  RunRows Run;                         // run table, shards combined
};

// --- Reading the tables (ReportTables.cpp); on a bad table false and a "file:line: reason" error ---
bool ReadNodesTable(const TableSource& source, std::vector<ReportNode>& nodes, std::string& error);  // appends
bool ReadRankedTable(const TableSource& source, std::vector<ReportContrast>& ranked, std::string& error);
bool ReadRunTable(const TableSource& source, RunRows& run, std::string& error);
// The run tables of shards in order as one: counts summed, times from first to last (time used summed),
// input files listed when they differ, every setting from the first; a setting that differs is an error.
bool CombineRunTables(const std::vector<RunRows>& shards, RunRows& combined, std::string& error);
std::string RunValue(const RunRows& run, std::string_view key);  // "" when the key is missing

// --- The page (ReportPage.cpp) ---
std::string ReportPage(const ReportTables& tables);
// The page of one run or of its shards in order: their nodes tables, the ranking of their contrasts
// (RankContrasts' text) and their run tables.
bool ReportFromTables(const std::vector<TableSource>& nodes, const TableSource& ranked,
                      const std::vector<TableSource>& runs, std::string& page, std::string& error);

// --- Drawing (ReportSvg.cpp) ---
// Text for the page: valid UTF-8 kept, other bytes and control characters as U+FFFD, & < > " ' escaped.
std::string PageText(std::string_view text);
std::string ClippedText(std::string_view text, size_t most);  // at most that many characters, "…" when cut
std::string Num(double x);                                    // a coordinate, to a tenth of a pixel

// A data range drawn onto a pixel range.
struct Axis {
  double Lo, Hi;    // data range
  double From, To;  // pixels of Lo and Hi
};
double Place(const Axis& axis, double value);  // pixel of a value
// About `count` round tick values (1, 2 or 5 times a power of ten apart) within [lo, hi].
std::vector<double> Ticks(double lo, double hi, int count);
std::string TickLabel(double value, const std::vector<double>& ticks);  // as many decimals as the step needs

// A plot area and the svg around it.
struct Plot {
  Axis X, Y;             // Y.From is the bottom of the plot area
  double Width, Height;  // whole svg
};
// The svg's start tag with its class, extra attributes (already page text) and a title heading.
std::string SvgStart(const Plot& plot, const char* cls, const std::string& attributes, const std::string& title);
// Axis lines, ticks with labels and the axis titles; yLabel empty leaves the y axis out.
std::string Frame(const Plot& plot, const std::string& xLabel, const std::string& yLabel);
std::string VerticalLine(const Plot& plot, double x, const char* cls);  // across the plot area at a data x

}  // namespace telvo
