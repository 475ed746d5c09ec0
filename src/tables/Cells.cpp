// The cells of the tables: numbers, truth values and texts, written and read back.
#include <cmath>
#include <cstdio>
#include <limits>

#include "tables/Tables.h"

namespace telvo {

std::string TableReal(double x) {
  if (std::isnan(x)) return "NaN";
  if (std::isinf(x)) return x > 0 ? "Inf" : "-Inf";
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.10g", x);
  return buffer;
}

double AsPrinted(double x) {
  double printed = x;
  ParseTableReal(TableReal(x), printed);
  return printed;
}

std::string TableBool(bool flag) { return flag ? "TRUE" : "FALSE"; }

bool ParseTableReal(std::string_view cell, double& x) {
  if (cell == "Inf" || cell == "-Inf") return x = cell[0] == '-' ? -INFINITY : INFINITY, true;
  if (cell == "NaN" || cell == "NA") return x = std::numeric_limits<double>::quiet_NaN(), true;
  return ParseStrictReal(cell, x);
}

std::string TableText(const std::string& text) {
  std::string valid = WithValidUtf8(text);
  if (valid.find_first_of("\t\r\n\"") == std::string::npos) return valid;
  std::string quoted = "\"";
  for (char c : valid) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

// One quoted cell from its opening quote: the text up to the closing quote, a doubled quote read as one.
static void ReadQuoted(std::string_view& rest, std::string& cell, size_t& lines) {
  rest.remove_prefix(1);
  for (;;) {
    size_t quote = rest.find('"');
    std::string_view part = rest.substr(0, quote);
    for (char c : part) lines += c == '\n';
    cell.append(part);
    rest.remove_prefix(quote == std::string_view::npos ? rest.size() : quote + 1);
    if (quote == std::string_view::npos || rest.empty() || rest.front() != '"') return;
    cell += '"';
    rest.remove_prefix(1);
  }
}

bool NextTableRow(std::string_view& rest, std::vector<std::string>& cells, size_t& lines) {
  cells.clear();
  if (rest.empty()) return false;
  ++lines;
  for (;;) {
    std::string& cell = cells.emplace_back();
    if (!rest.empty() && rest.front() == '"') ReadQuoted(rest, cell, lines);
    size_t end = rest.find_first_of("\t\n");
    std::string_view tail = rest.substr(0, end);
    bool rowEnds = end == std::string_view::npos || rest[end] == '\n';
    if (rowEnds && !tail.empty() && tail.back() == '\r') tail.remove_suffix(1);
    cell.append(tail);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    if (rowEnds) return true;
  }
}

}  // namespace telvo
