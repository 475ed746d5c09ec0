// Reading the tables the page is drawn from, by column name, and joining the run tables of shards.
#include <cmath>
#include <cstdio>
#include <map>
#include <set>

#include "report/Report.h"
#include "run/Run.h"

namespace telvo {

namespace {

// A table being read: its columns by name and the current row's cells.
struct TableReader {
  const TableSource* Source;              // the table
  std::string_view Rest;                  // text not yet read
  size_t LineNo = 0;                      // line of the current row
  std::map<std::string, size_t> Columns;  // header name -> cell position
  std::vector<std::string_view> Cells;    // the current row
};

bool Fail(const TableReader& t, const std::string& reason, std::string& error) {
  error = t.Source->Name + ":" + std::to_string(t.LineNo) + ": " + reason;
  return false;
}

bool NextLine(TableReader& t, std::string_view& line) {
  if (t.Rest.empty()) return false;
  size_t end = t.Rest.find('\n');
  line = t.Rest.substr(0, end);
  t.Rest.remove_prefix(end == std::string_view::npos ? t.Rest.size() : end + 1);
  ++t.LineNo;
  return true;
}

// Reads the header and checks that it names every column the page needs.
bool OpenTable(TableReader& t, const TableSource& source, const std::vector<const char*>& needed, std::string& error) {
  t.Source = &source;
  t.Rest = source.Text;
  std::string_view line;
  if (!NextLine(t, line)) return Fail(t, "empty table", error);
  SplitTableCells(line, t.Cells);
  for (size_t i = 0; i < t.Cells.size(); ++i) t.Columns.emplace(std::string(t.Cells[i]), i);
  for (const char* name : needed)
    if (!t.Columns.count(name)) return Fail(t, std::string("no column ") + name, error);
  return true;
}

bool NextRow(TableReader& t, std::string& error, bool& failed) {
  std::string_view line;
  failed = false;
  if (!NextLine(t, line)) return false;
  SplitTableCells(line, t.Cells);
  if (t.Cells.size() != t.Columns.size())
    return failed = true,
           Fail(t, std::to_string(t.Cells.size()) + " cells where the header has " + std::to_string(t.Columns.size()),
                error);
  return true;
}

std::string_view Cell(const TableReader& t, const char* column) { return t.Cells[t.Columns.at(column)]; }
std::string Text(const TableReader& t, const char* column) { return UntableText(Cell(t, column)); }

bool Real(const TableReader& t, const char* column, double& x, std::string& error) {
  if (ParseTableReal(Cell(t, column), x)) return true;
  return Fail(t, std::string(column) + " '" + std::string(Cell(t, column)) + "' is not a number", error);
}

// Keys of the run table that each shard has for itself; the rest are settings every shard shares.
const std::set<std::string> CountKeys = {"genes_read", "estimated", "acceptable", "not_connected", "too_few_data"};
const std::set<std::string> ShardKeys = {"input_file", "output_prefix", "result_file", "threads",
                                         "first_gene", "start_time",    "end_time",    "time_used"};

long Seconds(const std::string& hms) {
  long h = 0, m = 0, s = 0;
  return std::sscanf(hms.c_str(), "%ld:%ld:%ld", &h, &m, &s) == 3 ? h * 3600 + m * 60 + s : 0;
}

}  // namespace

bool ReadNodesTable(const TableSource& source, std::vector<ReportNode>& nodes, std::string& error) {
  TableReader t;
  if (!OpenTable(t, source,
                 {"gene_id", "gene_name", "node", "status", "acceptable", "ess", "rhat", "mu_accept", "err_accept"},
                 error))
    return false;
  bool failed;
  while (NextRow(t, error, failed)) {
    ReportNode n;
    n.GeneId = Text(t, "gene_id"), n.GeneName = Text(t, "gene_name"), n.Node = Text(t, "node");
    n.Estimated = Cell(t, "status") == "estimated";
    n.Acceptable = Cell(t, "acceptable") == "TRUE";
    if (!Real(t, "ess", n.Ess, error) || !Real(t, "rhat", n.Rhat, error) || !Real(t, "mu_accept", n.MuAccept, error) ||
        !Real(t, "err_accept", n.ErrAccept, error))
      return false;
    nodes.push_back(std::move(n));
  }
  return !failed;
}

bool ReadRankedTable(const TableSource& source, std::vector<ReportContrast>& ranked, std::string& error) {
  TableReader t;
  if (!OpenTable(t, source,
                 {"gene_id", "gene_name", "node_a", "node_b", "log2_ratio", "log2_lower", "log2_upper", "lfsr",
                  "acceptable", "svalue"},
                 error))
    return false;
  bool failed;
  while (NextRow(t, error, failed)) {
    ReportContrast c;
    c.GeneId = Text(t, "gene_id"), c.GeneName = Text(t, "gene_name");
    c.NodeA = Text(t, "node_a"), c.NodeB = Text(t, "node_b");
    c.Acceptable = Cell(t, "acceptable") == "TRUE";
    if (!Real(t, "log2_ratio", c.Log2, error) || !Real(t, "log2_lower", c.Log2Lower, error) ||
        !Real(t, "log2_upper", c.Log2Upper, error) || !Real(t, "lfsr", c.Lfsr, error) ||
        !Real(t, "svalue", c.Svalue, error))
      return false;
    ranked.push_back(std::move(c));
  }
  return !failed;
}

bool ReadRunTable(const TableSource& source, RunRows& run, std::string& error) {
  TableReader t;
  if (!OpenTable(t, source, {"key", "value"}, error)) return false;
  bool failed;
  while (NextRow(t, error, failed)) run.emplace_back(Text(t, "key"), Text(t, "value"));
  return !failed;
}

std::string RunValue(const RunRows& run, std::string_view key) {
  for (const auto& [k, value] : run)
    if (k == key) return value;
  return "";
}

bool CombineRunTables(const std::vector<RunRows>& shards, RunRows& combined, std::string& error) {
  if (shards.empty()) return error = "no run table", false;
  RunRows out = shards[0];
  for (size_t s = 1; s < shards.size(); ++s) {
    const RunRows& shard = shards[s];
    std::string which = "shard " + std::to_string(s + 1);
    if (shard.size() != out.size()) return error = which + " has other run-table keys than shard 1", false;
    for (size_t k = 0; k < out.size(); ++k) {
      auto& [key, value] = out[k];
      const std::string& other = shard[k].second;
      if (shard[k].first != key) return error = which + " has other run-table keys than shard 1", false;
      if (CountKeys.count(key)) {
        value = std::to_string(std::atol(value.c_str()) + std::atol(other.c_str()));
      } else if (key == "time_used") {
        value = ElapsedText(static_cast<double>(Seconds(value) + Seconds(other)));
      } else if (key == "end_time") {
        value = other;
      } else if (!ShardKeys.count(key) && other != value) {
        return error = "the shards were not run with the same settings: " + key + " is " + value + " in shard 1 and " +
                       other + " in " + which,
               false;
      }
    }
  }
  for (auto& [key, value] : out) {
    std::string last = RunValue(shards.back(), key);
    if (key == "input_file" && last != value)
      value += " ... " + last + " (" + std::to_string(shards.size()) + " shards)";
  }
  combined = std::move(out);
  return true;
}

}  // namespace telvo
