// Every column of the tables, named once with the cell it holds: the writer makes the text from these,
// the readers of telvo-rank find the cells by these names.
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

// Function-local, so that the columns are there whenever a table is first made, even during start-up.
const std::vector<Column<NodeRow>>& NodeColumns() {
  static const std::vector<Column<NodeRow>> columns = {
    Cell("gene_id", &NodeRow::GeneId),
    Cell("gene_name", &NodeRow::GeneName),
    Cell("node", &NodeRow::Node),
    Cell("status", &NodeRow::Status),
    Estimate(Cell("acceptable", &NodeRow::Acceptable)),
    Estimate(Cell("mu", &NodeRow::Mu)),
    Estimate(Cell("mu_lower", &NodeRow::MuLower)),
    Estimate(Cell("mu_upper", &NodeRow::MuUpper)),
    Estimate(Cell("rel", &NodeRow::Rel)),
    Estimate(Cell("rel_lower", &NodeRow::RelLower)),
    Estimate(Cell("rel_upper", &NodeRow::RelUpper)),
    Estimate(Cell("err", &NodeRow::Err)),
    Estimate(Cell("err_lower", &NodeRow::ErrLower)),
    Estimate(Cell("err_upper", &NodeRow::ErrUpper)),
    Estimate(Cell("ess", &NodeRow::Ess)),
    Estimate(Cell("rhat", &NodeRow::Rhat)),
    Estimate(Cell("passes", &NodeRow::Passes)),
    Estimate(Cell("mu_accept", &NodeRow::MuAccept)),
    Estimate(Cell("err_accept", &NodeRow::ErrAccept)),
    Estimate(Cell("log_max_likelihood", &NodeRow::LogMaxLikelihood)),
  };
  return columns;
}

const std::vector<Column<ContrastRow>>& ContrastColumns() {
  static const std::vector<Column<ContrastRow>> columns = {
    Cell("gene_id", &ContrastRow::GeneId),
    Cell("gene_name", &ContrastRow::GeneName),
    Cell("node_a", &ContrastRow::NodeA),
    Cell("node_b", &ContrastRow::NodeB),
    Cell("log2_ratio", &ContrastRow::Log2Ratio),
    Cell("log2_lower", &ContrastRow::Log2Lower),
    Cell("log2_upper", &ContrastRow::Log2Upper),
    Cell("p_greater", &ContrastRow::PGreater),
    Cell("lfsr", &ContrastRow::Lfsr),
    Cell("acceptable", &ContrastRow::Acceptable),
  };
  return columns;
}

// What the ranking adds after the contrasts' columns.
const std::vector<Column<ContrastRow>>& RankColumns() {
  static const std::vector<Column<ContrastRow>> columns = {
      Cell("rank", &ContrastRow::Rank),
      Cell("svalue", &ContrastRow::Svalue),
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
      case CellType::Real: text += TableReal(row.*c.Real); break;
      case CellType::Flag: text += TableBool(row.*c.Flag); break;
      case CellType::Count: text += std::to_string(row.*c.Count); break;
      case CellType::Status: text += StatusTexts[static_cast<int>(row.*c.Status)]; break;
    }
  }
}

// --- Reading ---

// A table being read: its header and the current row's cells.
struct TableReader {
  const TableSource* Source = nullptr;     // the table
  std::string_view Rest;                   // text not yet read
  size_t LineNo = 0;                       // line of the current row
  std::vector<std::string> Header;         // the header's names
  std::vector<std::string_view> Cells;     // the current row
};

[[noreturn]] void Fail(const TableReader& t, const std::string& reason) {
  Refuse(t.Source->Name + ":" + std::to_string(t.LineNo) + ": " + reason);
}

bool NextLine(TableReader& t, std::string_view& line) {
  if (t.Rest.empty() && t.LineNo > 0) return false;
  size_t end = t.Rest.find('\n');
  line = t.Rest.substr(0, end);
  t.Rest.remove_prefix(end == std::string_view::npos ? t.Rest.size() : end + 1);
  ++t.LineNo;
  return true;
}

// Opens the table at its header; what names a missing column stops the reading with.
TableReader OpenTable(const TableSource& source) {
  TableReader t;
  t.Source = &source;
  t.Rest = source.Text;
  std::string_view line;
  NextLine(t, line);
  SplitTableCells(line, t.Cells);
  for (std::string_view name : t.Cells) t.Header.emplace_back(name);
  return t;
}

bool NextRow(TableReader& t) {
  std::string_view line;
  if (!NextLine(t, line)) return false;
  SplitTableCells(line, t.Cells);
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

[[noreturn]] void NotANumber(const TableReader& t, const char* column, std::string_view cell) {
  Fail(t, std::string(column) + " '" + std::string(cell) + "' is not a number");
}

GeneStatus ParseStatus(const TableReader& t, std::string_view cell) {
  for (int k = 0; k < 3; ++k)
    if (cell == StatusTexts[k]) return static_cast<GeneStatus>(k);
  Fail(t, "status '" + std::string(cell) + "' is not a status");
}

template <class Row>
void ReadCell(const TableReader& t, const Column<Row>& c, std::string_view cell, Row& row) {
  switch (c.Type) {
    case CellType::Text: row.*c.Text = UntableText(cell); return;
    case CellType::Real:
      if (!ParseTableReal(cell, row.*c.Real)) NotANumber(t, c.Name, cell);
      return;
    case CellType::Flag:
      row.*c.Flag = cell == "TRUE";
      return;
    case CellType::Count: {
      double whole = 0;
      if (!ParseStrictReal(cell, whole)) NotANumber(t, c.Name, cell);
      row.*c.Count = static_cast<long>(whole);
      return;
    }
    case CellType::Status: row.*c.Status = ParseStatus(t, cell); return;
  }
}

// Every row of one table, its cells found by the columns' names.
template <class Row>
void ReadRows(const TableSource& source, const std::vector<Column<Row>>& columns, const char* what,
              std::vector<Row>& rows) {
  TableReader t = OpenTable(source);
  std::vector<size_t> at = Positions(t, columns, what);
  while (NextRow(t)) {
    Row row;
    bool estimated = true;  // the cells of a gene that was not estimated are NA
    for (size_t k = 0; k < columns.size(); ++k) {
      std::string_view cell = t.Cells[at[k]];
      if (columns[k].Estimate && !estimated && cell == "NA") continue;
      ReadCell(t, columns[k], cell, row);
      if (columns[k].Type == CellType::Status) estimated = row.*columns[k].Status == GeneStatus::Estimated;
    }
    rows.push_back(std::move(row));
  }
}

// Where the reading stands in the genes of the contrasts tables: every gene has the node pairs of the
// first gene, in its order.
struct GeneCursor {
  std::vector<std::string> Pairs;  // "node_a/node_b" of the first gene, in order
  bool Learning = true;            // still reading the first gene
  size_t Position = 0;             // rows of the current gene read so far
  std::string Gene;                // "gene_id/gene_name" of the current gene
};

// Places the row in its gene and sets its pair position; on a break of the pair sequence the reason.
std::string PlaceRow(GeneCursor& c, ContrastRow& row) {
  const std::string gene = row.GeneId + "/" + row.GeneName, pair = row.NodeA + "/" + row.NodeB;
  if (c.Learning && c.Position > 0 && (gene != c.Gene || pair == c.Pairs[0])) c.Learning = false, c.Position = 0;
  if (!c.Learning && c.Position == c.Pairs.size()) c.Position = 0;
  if (c.Position == 0) {
    c.Gene = gene;
  } else if (gene != c.Gene) {
    return "gene " + gene + " begins before gene " + c.Gene + " has all its " + std::to_string(c.Pairs.size()) +
           " node pairs";
  }
  if (c.Learning) {
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

void ReadContrastsTables(const std::vector<TableSource>& sources, std::vector<ContrastRow>& rows) {
  GeneCursor cursor;
  for (const TableSource& source : sources) {
    const size_t first = rows.size();
    ReadRows(source, ContrastColumns(), "a contrasts table", rows);
    auto fail = [&](size_t line, const std::string& reason) {
      Refuse(source.Name + ":" + std::to_string(line) + ": " + reason);
    };
    for (size_t k = first; k < rows.size(); ++k) {
      std::string reason = PlaceRow(cursor, rows[k]);
      if (!reason.empty()) fail(k - first + 2, reason);  // the header is line 1
    }
    // A gene does not run on into the next source.
    if (cursor.Learning && cursor.Position > 0) cursor.Learning = false;
    if (!cursor.Learning && cursor.Position != 0 && cursor.Position != cursor.Pairs.size())
      fail(rows.size() - first + 1, "the file ends inside gene " + cursor.Gene + ", after " +
                                        std::to_string(cursor.Position) + " of its " +
                                        std::to_string(cursor.Pairs.size()) + " node pairs");
    cursor.Position = 0;
  }
}

void ReadNodesTable(const TableSource& source, std::vector<NodeRow>& rows) {
  ReadRows(source, NodeColumns(), "a nodes table", rows);
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
