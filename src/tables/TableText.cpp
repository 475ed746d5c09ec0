// The number and truth-value cells of the tables.
#include <cmath>
#include <cstdio>
#include <limits>

#include "run/Run.h"
#include "tables/Tables.h"

namespace telvo {

std::string TableReal(double x) {
  if (std::isnan(x)) return "NaN";
  if (std::isinf(x)) return x > 0 ? "Inf" : "-Inf";
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.10g", x);
  return buffer;
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

}  // namespace telvo
