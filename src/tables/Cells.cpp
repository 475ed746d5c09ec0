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

void SplitTableCells(std::string_view line, std::vector<std::string_view>& cells) {
  cells.clear();
  for (;;) {
    size_t tab = line.find('\t');
    cells.push_back(line.substr(0, tab));
    if (tab == std::string_view::npos) return;
    line.remove_prefix(tab + 1);
  }
}

std::string TableText(const std::string& text) {
  // Quoted only when it holds a quote, which R and pandas would otherwise take as the start of one.
  if (text.find('"') == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

std::string UntableText(std::string_view cell) {
  if (cell.size() < 2 || cell.front() != '"' || cell.back() != '"') return std::string(cell);
  std::string text;
  for (size_t i = 1; i + 1 < cell.size(); ++i) {
    text += cell[i];
    if (cell[i] == '"' && cell[i + 1] == '"') ++i;
  }
  return text;
}

}  // namespace telvo
