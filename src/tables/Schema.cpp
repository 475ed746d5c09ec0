// Every column of the tables, named once with the cell it holds: the writer makes the text from these,
// the readers of telvo-rank find the cells by these names.
#include <cmath>
#include <string>

#include "tables/Tables.h"

namespace telvo {
namespace {

enum class CellType { Text, Real, Flag, Count, Status };

// One column of a table of Row: its name and the member its cell holds.
template <class Row>
struct Column {
  const char* Name;                   // header name
  CellType Type;                      // what the cell holds
  std::string Row::*Text = nullptr;   // Text: the member
  double Row::*Real = nullptr;        // Real: the member
  bool Row::*Flag = nullptr;          // Flag: the member
  long Row::*Count = nullptr;         // Count: the member
  GeneStatus Row::*Status = nullptr;  // Status: the member
  bool Estimate = false;              // NA in the row of a gene that was not estimated
  double Low = -INFINITY, High = INFINITY;  // Real: the range of its values
  bool NaN = true;                          // Real: NaN belongs to it
  bool Infinite = false;                    // Real: -Inf and Inf belong to it, whatever the range
  bool Missing = false;                     // Real: NaN means "does not apply" and is written NA
};

template <class Row>
Column<Row> Cell(const char* name, std::string Row::*m) {
  Column<Row> c{name, CellType::Text};
  c.Text = m;
  return c;
}
template <class Row>
Column<Row> Cell(const char* name, double Row::*m) {
  Column<Row> c{name, CellType::Real};
  c.Real = m;
  return c;
}
template <class Row>
Column<Row> Cell(const char* name, bool Row::*m) {
  Column<Row> c{name, CellType::Flag};
  c.Flag = m;
  return c;
}
template <class Row>
Column<Row> Cell(const char* name, long Row::*m) {
  Column<Row> c{name, CellType::Count};
  c.Count = m;
  return c;
}
template <class Row>
Column<Row> Cell(const char* name, GeneStatus Row::*m) {
  Column<Row> c{name, CellType::Status};
  c.Status = m;
  return c;
}
template <class Row>
Column<Row> Estimate(Column<Row> c) {
  c.Estimate = true;
  return c;
}
// A number column's range; nan: NaN (written NaN or NA) belongs to it.
template <class Row>
Column<Row> Within(Column<Row> c, double low, double high, bool nan) {
  c.Low = low, c.High = high, c.NaN = nan;
  return c;
}
template <class Row>
Column<Row> Share(Column<Row> c, bool nan = false) {  // a probability or a share of samples
  return Within(c, 0, 1, nan);
}
template <class Row>
Column<Row> Missing(Column<Row> c) {
  c.Missing = c.NaN = true;
  return c;
}
// A log2 ratio of two positive doubles lies within +-2098, or is infinite when a sample of Mu is 0: a
// finite cell past that came from no run.
constexpr double Log2Reach = 2100;
template <class Row>
Column<Row> Log2(Column<Row> c) {
  c = Within(c, -Log2Reach, Log2Reach, true);
  c.Infinite = true;
  return c;
}
template <class Row>
Column<Row> Ess(Column<Row> c) {  // an effective sample size: NaN when the chain cannot tell
  return Within(c, 0, INFINITY, true);
}

// Function-local, so that the columns are there whenever a table is first made, even during start-up.
const std::vector<Column<NodeRow>>& NodeColumns() {
  static const std::vector<Column<NodeRow>> columns = {
      Cell("gene_id", &NodeRow::GeneId),
      Cell("gene_name", &NodeRow::GeneName),
      Cell("node", &NodeRow::Node),
      Cell("status", &NodeRow::Status),
      Cell("acceptable", &NodeRow::Acceptable),
      Estimate(Within(Cell("mu", &NodeRow::Mu), 0, INFINITY, false)),
      Estimate(Within(Cell("mu_lower", &NodeRow::MuLower), 0, INFINITY, false)),
      Estimate(Within(Cell("mu_upper", &NodeRow::MuUpper), 0, INFINITY, false)),
      Estimate(Within(Cell("rel", &NodeRow::Rel), 0, INFINITY, true)),
      Estimate(Within(Cell("rel_lower", &NodeRow::RelLower), 0, INFINITY, true)),
      Estimate(Within(Cell("rel_upper", &NodeRow::RelUpper), 0, INFINITY, true)),
      Estimate(Within(Cell("err", &NodeRow::Err), 0, INFINITY, false)),
      Estimate(Within(Cell("err_lower", &NodeRow::ErrLower), 0, INFINITY, false)),
      Estimate(Within(Cell("err_upper", &NodeRow::ErrUpper), 0, INFINITY, false)),
      Estimate(Ess(Cell("ess", &NodeRow::Ess))),
      Estimate(Within(Cell("rhat", &NodeRow::Rhat), 0, INFINITY, true)),
      Estimate(Cell("passes", &NodeRow::Passes)),
      Estimate(Share(Cell("mu_accept", &NodeRow::MuAccept))),
      Estimate(Share(Cell("err_accept", &NodeRow::ErrAccept))),
      Estimate(Cell("log_max_likelihood", &NodeRow::LogMaxLikelihood)),
      Estimate(Ess(Cell("ess_bulk", &NodeRow::EssBulk))),
      Estimate(Ess(Cell("ess_tail", &NodeRow::EssTail))),
      Cell("gene_number", &NodeRow::GeneNumber),
  };
  return columns;
}

const std::vector<Column<ContrastRow>>& ContrastColumns() {
  static const std::vector<Column<ContrastRow>> columns = {
      Cell("gene_id", &ContrastRow::GeneId),
      Cell("gene_name", &ContrastRow::GeneName),
      Cell("node_a", &ContrastRow::NodeA),
      Cell("node_b", &ContrastRow::NodeB),
      Log2(Cell("log2_ratio", &ContrastRow::Log2Ratio)),
      Log2(Cell("log2_lower", &ContrastRow::Log2Lower)),
      Log2(Cell("log2_upper", &ContrastRow::Log2Upper)),
      Share(Cell("p_greater", &ContrastRow::PGreater), true),
      Share(Cell("lfsr", &ContrastRow::Lfsr)),
      Cell("acceptable", &ContrastRow::Acceptable),
      Log2(Cell("log2_mean", &ContrastRow::Log2Mean)),
      Within(Cell("log2_sd", &ContrastRow::Log2Sd), 0, 2 * Log2Reach, true),
      Within(Cell("log2_mcse", &ContrastRow::Log2Mcse), 0, 2 * Log2Reach, true),
      Within(Cell("lfsr_mcse", &ContrastRow::LfsrMcse), 0, INFINITY, true),
      Ess(Cell("ess_bulk", &ContrastRow::EssBulk)),
      Ess(Cell("ess_tail", &ContrastRow::EssTail)),
      Missing(Share(Cell("p_above", &ContrastRow::PAbove))),
      Cell("gene_number", &ContrastRow::GeneNumber),
  };
  return columns;
}

// What the ranking adds after the contrasts' columns.
const std::vector<Column<ContrastRow>>& RankColumns() {
  static const std::vector<Column<ContrastRow>> columns = {
      Missing(Within(Cell("rank", &ContrastRow::Rank), 1, INFINITY, true)),
      Missing(Share(Cell("svalue", &ContrastRow::Svalue))),
      Cell("eb_mean", &ContrastRow::EbMean),
      Within(Cell("eb_sd", &ContrastRow::EbSd), 0, INFINITY, true),
      Share(Cell("lfdr", &ContrastRow::Lfdr), true),
      Share(Cell("eb_lfsr", &ContrastRow::EbLfsr), true),
      Missing(Share(Cell("qvalue", &ContrastRow::Qvalue))),
      Missing(Share(Cell("above_rate", &ContrastRow::AboveRate))),
      Cell("called", &ContrastRow::Called),
  };
  return columns;
}

const std::vector<Column<GeneRow>>& GeneColumns() {
  static const std::vector<Column<GeneRow>> columns = {
      Cell("gene_id", &GeneRow::GeneId),
      Cell("gene_name", &GeneRow::GeneName),
      Cell("gene_number", &GeneRow::GeneNumber),
      Cell("pairs_called", &GeneRow::PairsCalled),
      Cell("largest_eb_mean", &GeneRow::LargestEbMean),
      Cell("largest_node_a", &GeneRow::LargestA),
      Cell("largest_node_b", &GeneRow::LargestB),
      Within(Cell("chisq", &GeneRow::Chisq), 0, INFINITY, true),
      Cell("df", &GeneRow::Df),
      Share(Cell("p_any", &GeneRow::PAny), true),
      Missing(Share(Cell("q_any", &GeneRow::QAny))),
      Cell("called", &GeneRow::Called),
  };
  return columns;
}

const char* const StatusTexts[] = {"estimated", "not_connected", "too_few_data"};

template <class Row>
std::string HeaderOf(const std::vector<Column<Row>>& columns) {
  std::string line;
  for (const Column<Row>& c : columns) line += (line.empty() ? "" : "\t") + std::string(c.Name);
  return line;
}

template <class Row>
void AppendCells(std::string& text, const std::vector<Column<Row>>& columns, const Row& row, bool estimated) {
  for (size_t k = 0; k < columns.size(); ++k) {
    const Column<Row>& c = columns[k];
    if (k > 0) text += '\t';
    if (c.Estimate && !estimated) {
      text += "NA";
      continue;
    }
    switch (c.Type) {
      case CellType::Text: text += TableText(row.*c.Text); break;
      case CellType::Real: text += c.Missing && std::isnan(row.*c.Real) ? "NA" : TableReal(row.*c.Real); break;
      case CellType::Flag: text += TableBool(row.*c.Flag); break;
      case CellType::Count: text += std::to_string(row.*c.Count); break;
      case CellType::Status: text += StatusTexts[static_cast<int>(row.*c.Status)]; break;
    }
  }
}

// --- Reading ---

// A table being read: its header and the current row's cells.
struct TableReader {
  const TableSource* Source = nullptr;  // the table
  std::string_view Rest;                // text not yet read
  size_t Lines = 0;                     // lines read so far
  size_t LineNo = 0;                    // first line of the current row
  std::vector<std::string> Header;      // the header's names
  std::vector<std::string> Cells;       // the current row, unquoted
};

[[noreturn]] void Fail(const TableReader& t, const std::string& reason) {
  Refuse(t.Source->Name + ":" + std::to_string(t.LineNo) + ": " + reason);
}

// Opens the table at its header.
TableReader OpenTable(const TableSource& source) {
  TableReader t;
  t.Source = &source;
  t.Rest = source.Text;
  t.LineNo = 1;
  NextTableRow(t.Rest, t.Header, t.Lines);
  return t;
}

bool NextRow(TableReader& t) {
  t.LineNo = t.Lines + 1;
  if (!NextTableRow(t.Rest, t.Cells, t.Lines)) return false;
  if (t.Cells.size() != t.Header.size())
    Fail(t, std::to_string(t.Cells.size()) + " cells where the header has " + std::to_string(t.Header.size()));
  return true;
}

// Position of each column in the header; a table without one of them is not such a table.
template <class Row>
std::vector<size_t> Positions(const TableReader& t, const std::vector<Column<Row>>& columns, const char* what) {
  std::vector<size_t> at;
  for (const Column<Row>& c : columns) {
    size_t k = 0;
    while (k < t.Header.size() && t.Header[k] != c.Name) ++k;
    if (k == t.Header.size()) Fail(t, std::string("not the header of ") + what);
    at.push_back(k);
  }
  return at;
}

[[noreturn]] void BadCell(const TableReader& t, const char* column, const std::string& cell, const char* what) {
  Fail(t, std::string(column) + " '" + cell + "' is not " + what);
}

GeneStatus ParseStatus(const TableReader& t, const std::string& cell) {
  for (int k = 0; k < 3; ++k)
    if (cell == StatusTexts[k]) return static_cast<GeneStatus>(k);
  BadCell(t, "status", cell, "a status");
}

template <class Row>
void ReadCell(const TableReader& t, const Column<Row>& c, const std::string& cell, Row& row) {
  switch (c.Type) {
    case CellType::Text: row.*c.Text = cell; return;
    case CellType::Real: {
      double& x = row.*c.Real;
      if (!ParseTableReal(cell, x)) BadCell(t, c.Name, cell, "a number");
      bool inRange = std::isnan(x) ? c.NaN : (std::isinf(x) && c.Infinite) || (x >= c.Low && x <= c.High);
      if (!inRange) BadCell(t, c.Name, cell, "in the column's range");
      return;
    }
    case CellType::Flag:
      if (cell != "TRUE" && cell != "FALSE") BadCell(t, c.Name, cell, "TRUE or FALSE");
      row.*c.Flag = cell == "TRUE";
      return;
    case CellType::Count: {
      double whole = -1;
      if (!ParseStrictReal(cell, whole) || whole < 0 || whole > 1e15 || whole != std::floor(whole))
        BadCell(t, c.Name, cell, "a count");
      row.*c.Count = static_cast<long>(whole);
      return;
    }
    case CellType::Status: row.*c.Status = ParseStatus(t, cell); return;
  }
}

// Every row of one table, its cells found by the columns' names; lines: where each row begins.
template <class Row>
void ReadRows(const TableSource& source, const std::vector<Column<Row>>& columns, const char* what,
              std::vector<Row>& rows, std::vector<size_t>* lines = nullptr) {
  TableReader t = OpenTable(source);
  std::vector<size_t> at = Positions(t, columns, what);
  while (NextRow(t)) {
    Row row;
    bool estimated = true;  // the cells of a gene that was not estimated are NA
    for (size_t k = 0; k < columns.size(); ++k) {
      const std::string& cell = t.Cells[at[k]];
      if (columns[k].Estimate && !estimated && cell == "NA") continue;
      ReadCell(t, columns[k], cell, row);
      if (columns[k].Type == CellType::Status) estimated = row.*columns[k].Status == GeneStatus::Estimated;
    }
    rows.push_back(std::move(row));
    if (lines) lines->push_back(t.LineNo);
  }
}

// Where the reading stands in the genes of the contrasts tables: genes follow each other by number,
// each with the node pairs of the first gene, in its order, once each.
struct GeneCursor {
  std::vector<std::string> Pairs;  // "node_a/node_b" of the first gene, in order
  bool Learning = true;            // still reading the first gene
  size_t Position = 0;             // rows of the current gene read so far
  long Gene = 0;                   // number of the current gene; 0 before the first
};

std::string GeneText(const ContrastRow& row) {
  return std::to_string(row.GeneNumber) + " (" + row.GeneId + "/" + row.GeneName + ")";
}

// The reason a row starting a new gene cannot stand there, or "".
std::string NewGeneProblem(const GeneCursor& c, const ContrastRow& row) {
  if (c.Gene != 0 && !c.Learning && c.Position != c.Pairs.size())
    return "gene " + GeneText(row) + " begins before gene " + std::to_string(c.Gene) + " has all its " +
           std::to_string(c.Pairs.size()) + " node pairs";
  if (row.GeneNumber < c.Gene) return "gene " + GeneText(row) + " comes after gene " + std::to_string(c.Gene);
  return "";
}

// Places the row in its gene and sets its pair position; on a break of the sequence the reason.
std::string PlaceRow(GeneCursor& c, ContrastRow& row) {
  const std::string pair = row.NodeA + "/" + row.NodeB;
  if (row.GeneNumber != c.Gene) {
    std::string problem = NewGeneProblem(c, row);
    if (!problem.empty()) return problem;
    if (c.Gene != 0) c.Learning = false;
    c.Gene = row.GeneNumber, c.Position = 0;
  } else if (!c.Learning && c.Position == c.Pairs.size()) {
    return "gene " + GeneText(row) + " appears twice";
  }
  if (c.Learning) {
    for (const std::string& seen : c.Pairs)
      if (seen == pair) return "node pair " + pair + " appears twice in gene " + GeneText(row);
    c.Pairs.push_back(pair);
  } else if (pair != c.Pairs[c.Position]) {
    return "node pair " + pair + " where the genes have " + c.Pairs[c.Position];
  }
  row.Pair = c.Position++;
  return "";
}

}  // namespace

std::string NodesHeader() { return HeaderOf(NodeColumns()) + "\n"; }
std::string ContrastsHeader() { return HeaderOf(ContrastColumns()) + "\n"; }
std::string RankedHeader() { return HeaderOf(ContrastColumns()) + "\t" + HeaderOf(RankColumns()) + "\n"; }
std::string GenesHeader() { return HeaderOf(GeneColumns()) + "\n"; }

void AppendNodeRow(std::string& text, const NodeRow& row) {
  AppendCells(text, NodeColumns(), row, row.Status == GeneStatus::Estimated);
  text += '\n';
}

void AppendContrastRow(std::string& text, const ContrastRow& row) {
  AppendCells(text, ContrastColumns(), row, true);
  text += '\n';
}

void AppendRankedRow(std::string& text, const ContrastRow& row) {
  AppendCells(text, ContrastColumns(), row, true);
  text += '\t';
  AppendCells(text, RankColumns(), row, true);
  text += '\n';
}

void AppendGeneRow(std::string& text, const GeneRow& row) {
  AppendCells(text, GeneColumns(), row, true);
  text += '\n';
}

void ReadContrastsTables(const std::vector<TableSource>& sources, std::vector<ContrastRow>& rows,
                         std::vector<size_t>* ends) {
  GeneCursor cursor;
  for (const TableSource& source : sources) {
    const size_t first = rows.size();
    std::vector<size_t> lines;
    ReadRows(source, ContrastColumns(), "a contrasts table", rows, &lines);
    auto fail = [&](size_t line, const std::string& reason) {
      Refuse(source.Name + ":" + std::to_string(line) + ": " + reason);
    };
    for (size_t k = first; k < rows.size(); ++k) {
      std::string reason = PlaceRow(cursor, rows[k]);
      if (!reason.empty()) fail(lines[k - first], reason);
    }
    // A gene does not run on into the next source.
    if (cursor.Learning && cursor.Position > 0) cursor.Learning = false;
    if (!cursor.Learning && cursor.Position != cursor.Pairs.size())
      fail(lines.empty() ? 1 : lines.back(), "the file ends inside gene " + std::to_string(cursor.Gene) + ", after " +
                                                  std::to_string(cursor.Position) + " of its " +
                                                  std::to_string(cursor.Pairs.size()) + " node pairs");
    if (ends) ends->push_back(rows.size());
  }
}

void ReadNodesTable(const TableSource& source, std::vector<NodeRow>& rows) {
  ReadRows(source, NodeColumns(), "a nodes table", rows);
}

size_t TableLengthOfRows(const TableSource& source, size_t rows) {
  TableReader t = OpenTable(source);
  for (size_t row = 0; row < rows; ++row)
    if (t.Rest.empty() || !NextTableRow(t.Rest, t.Cells, t.Lines))
      Fail(t,
           "the table ends after " + std::to_string(row) + " of the " + std::to_string(rows) + " rows it should hold");
  return source.Text.size() - t.Rest.size();
}

RunRows ReadRunTable(const TableSource& source) {
  struct KeyValue {
    std::string Key, Value;  // a row of the run table
  };
  const std::vector<Column<KeyValue>> columns = {Cell("key", &KeyValue::Key), Cell("value", &KeyValue::Value)};
  std::vector<KeyValue> rows;
  ReadRows(source, columns, "a run table", rows);
  RunRows run;
  for (KeyValue& row : rows) run.emplace_back(std::move(row.Key), std::move(row.Value));
  return run;
}

}  // namespace telvo
