// The ranked contrasts table: every gene's rows grouped by node pair and ranked by local false sign rate.
#include <algorithm>
#include <cmath>

#include "tables/Tables.h"

namespace telvo {

// Ranking order within a pair: lfsr ascending with NaN last, then larger |log2_ratio| (NaN last).
static bool RanksBefore(const ContrastRow& a, const ContrastRow& b) {
  bool nanA = std::isnan(a.Lfsr), nanB = std::isnan(b.Lfsr);
  if (nanA != nanB) return nanB;
  if (!nanA && a.Lfsr != b.Lfsr) return a.Lfsr < b.Lfsr;
  double sizeA = std::fabs(a.Log2Ratio), sizeB = std::fabs(b.Log2Ratio);
  if (std::isnan(sizeA) || std::isnan(sizeB)) return !std::isnan(sizeA) && std::isnan(sizeB);
  return sizeA > sizeB;
}

void RankContrasts(std::vector<ContrastRow>& rows) {
  std::stable_sort(rows.begin(), rows.end(), [](const ContrastRow& a, const ContrastRow& b) {
    return a.Pair != b.Pair ? a.Pair < b.Pair : RanksBefore(a, b);
  });
  long rank = 0;
  double lfsrSum = 0.0;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (i == 0 || rows[i].Pair != rows[i - 1].Pair) rank = 0, lfsrSum = 0.0;
    lfsrSum += rows[i].Lfsr;
    rows[i].Rank = ++rank;
    rows[i].Svalue = lfsrSum / rank;
  }
}

std::string RankedTableText(const std::vector<ContrastRow>& ranked) {
  std::string text = RankedHeader();
  text.reserve(ranked.size() * 160 + text.size());
  for (const ContrastRow& row : ranked) AppendRankedRow(text, row);
  return text;
}

}  // namespace telvo
