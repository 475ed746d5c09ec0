// The number and truth-value cells of the tables.
#include <cmath>
#include <cstdio>

#include "tables/Tables.h"

std::string TableReal(double x) {
  if (std::isnan(x)) return "NaN";
  if (std::isinf(x)) return x > 0 ? "Inf" : "-Inf";
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.10g", x);
  return buffer;
}

std::string TableBool(bool flag) { return flag ? "TRUE" : "FALSE"; }
