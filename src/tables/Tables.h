// Tables: the cells every tab-separated table writes, and the ranked table of node-pair contrasts.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "run/RunState.h"

namespace telvo {

// --- Cells (TableText.cpp) ---
// A number cell: printf "%.10g" (ten significant digits, enough to tell any two estimates of a chain
// apart, plain decimals for ordinary values), and Inf, -Inf, NaN for the non-finite values.
std::string TableReal(double x);
std::string TableBool(bool flag);  // TRUE / FALSE
bool ParseTableReal(std::string_view cell, double& x);  // a number cell back; NA (missing) reads as NaN
void SplitTableCells(std::string_view line, std::vector<std::string_view>& cells);  // cells of a row

// --- Contrasts and their ranking (Rank.cpp) ---
// Header line of the contrasts table (without its LF); one row per estimated gene and node pair a < b.
constexpr char ContrastsHeader[] =
    "gene_id\tgene_name\tnode_a\tnode_b\tlog2_ratio\tlog2_lower\tlog2_upper\tp_greater\tlfsr\tacceptable";

// One contrasts table as read: a file name for messages and the whole file content.
struct TableSource {
  std::string Name;  // file name, as given
  std::string Text;  // whole content, byte for byte
};

// The ranked table of the sources taken in order (shards in order): rows grouped by node pair in the
// pair order of the genes, ranked within a pair by lfsr (then larger |log2_ratio|, then input order),
// with the columns rank and svalue appended; svalue is the mean lfsr of the rows ranked so far, the
// expected share of wrong-sign calls among them. Other cells are copied byte for byte. On a bad source
// returns false with a one-line "file:line: reason" in error and leaves ranked untouched.
bool RankContrasts(const std::vector<TableSource>& sources, std::string& ranked, std::string& error);

// --- The tables of a run with --out (GeneTables.cpp) ---
std::string TableText(const std::string& text);  // a text cell; quoted (quotes doubled) only when it holds a quote
std::string UntableText(std::string_view cell);  // a text cell back to its text
std::string NodesTableHeader();                  // header line of the nodes table
std::string ContrastsTableHeader();              // header line of the contrasts table
// A committed gene's rows of the nodes table and, when it was estimated, of the contrasts table.
void AppendTableRows(const InputDesign& design, GeneWork& work);
std::string RunTableText(const RunState& run, double secondsUsed);  // the run table: settings, counts, times

}  // namespace telvo
