// The ranked contrasts table: every gene's rows grouped by node pair and ranked by local false sign rate.
#include <algorithm>
#include <cmath>
#include <string_view>

#include "run/Run.h"
#include "tables/Tables.h"

namespace telvo {

namespace {

constexpr size_t ContrastsColumns = 10;
constexpr size_t Log2RatioColumn = 4, LfsrColumn = 8;

struct RankedRow {
  std::string_view Line;  // the row as read, without its LF
  size_t Pair;            // position of its node pair in a gene's sequence of pairs
  double Lfsr;            // local false sign rate; NaN when missing
  double Size;            // |log2_ratio|
};

// Where the reading stands in the genes of the sources.
struct GeneCursor {
  std::vector<std::string_view> Pairs;  // "node_a TAB node_b" of the first gene, in order
  bool Learning = true;                 // still reading the first gene
  size_t Position = 0;                  // rows of the current gene read so far
  std::string_view Gene;                // "gene_id TAB gene_name" of the current gene
};

// Cells [first, last] of a row and the tabs between them, as one view.
std::string_view CellSpan(const std::vector<std::string_view>& cells, size_t first, size_t last) {
  const char* begin = cells[first].data();
  return {begin, static_cast<size_t>(cells[last].data() + cells[last].size() - begin)};
}

std::string PairText(std::string_view pair) {
  std::string text(pair);
  std::replace(text.begin(), text.end(), '\t', '/');
  return text;
}

// Places the row in its gene; on a break of the pair sequence returns the reason.
std::string PlaceRow(GeneCursor& c, std::string_view gene, std::string_view pair, size_t& position) {
  if (c.Learning && c.Position > 0 && (gene != c.Gene || pair == c.Pairs[0])) c.Learning = false, c.Position = 0;
  if (!c.Learning && c.Position == c.Pairs.size()) c.Position = 0;
  if (c.Position == 0) {
    c.Gene = gene;
  } else if (gene != c.Gene) {
    return "gene " + PairText(gene) + " begins before gene " + PairText(c.Gene) + " has all its " +
           std::to_string(c.Pairs.size()) + " node pairs";
  }
  if (c.Learning) {
    c.Pairs.push_back(pair);
  } else if (pair != c.Pairs[c.Position]) {
    return "node pair " + PairText(pair) + " where the genes have " + PairText(c.Pairs[c.Position]);
  }
  position = c.Position++;
  return "";
}

// Ranking order within a pair: lfsr ascending with NaN last, then larger |log2_ratio| (NaN last).
bool RanksBefore(const RankedRow& a, const RankedRow& b) {
  bool nanA = std::isnan(a.Lfsr), nanB = std::isnan(b.Lfsr);
  if (nanA != nanB) return nanB;
  if (!nanA && a.Lfsr != b.Lfsr) return a.Lfsr < b.Lfsr;
  if (std::isnan(a.Size) || std::isnan(b.Size)) return !std::isnan(a.Size) && std::isnan(b.Size);
  return a.Size > b.Size;
}

}  // namespace

bool RankContrasts(const std::vector<TableSource>& sources, std::string& ranked, std::string& error) {
  std::vector<RankedRow> rows;
  std::vector<std::string_view> cells;
  GeneCursor cursor;
  size_t bytes = 0;
  for (const TableSource& source : sources) {
    std::string_view text = source.Text;
    size_t lineNo = 0;
    auto fail = [&](const std::string& reason) {
      error = source.Name + ":" + std::to_string(lineNo) + ": " + reason;
      return false;
    };
    while (!text.empty() || lineNo == 0) {
      size_t end = text.find('\n');
      std::string_view line = text.substr(0, end);
      text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
      if (++lineNo == 1) {
        if (line != ContrastsHeader) return fail("not the header of a contrasts table");
        continue;
      }
      SplitTableCells(line, cells);
      if (cells.size() != ContrastsColumns)
        return fail(std::to_string(cells.size()) + " cells where a contrasts row has " +
                    std::to_string(ContrastsColumns));
      RankedRow row{line, 0, 0.0, 0.0};
      double log2Ratio = 0.0;
      if (!ParseTableReal(cells[LfsrColumn], row.Lfsr)) return fail("lfsr '" + std::string(cells[LfsrColumn]) + "' is not a number");
      if (!ParseTableReal(cells[Log2RatioColumn], log2Ratio))
        return fail("log2_ratio '" + std::string(cells[Log2RatioColumn]) + "' is not a number");
      row.Size = std::fabs(log2Ratio);
      std::string reason = PlaceRow(cursor, CellSpan(cells, 0, 1), CellSpan(cells, 2, 3), row.Pair);
      if (!reason.empty()) return fail(reason);
      rows.push_back(row);
      bytes += line.size() + 32;
    }
    // A gene does not run on into the next source.
    if (cursor.Learning && cursor.Position > 0) cursor.Learning = false;
    if (!cursor.Learning && cursor.Position != 0 && cursor.Position != cursor.Pairs.size())
      return fail("the file ends inside gene " + PairText(cursor.Gene) + ", after " +
                  std::to_string(cursor.Position) + " of its " + std::to_string(cursor.Pairs.size()) +
                  " node pairs");
    cursor.Position = 0;
  }

  std::stable_sort(rows.begin(), rows.end(), [](const RankedRow& a, const RankedRow& b) {
    return a.Pair != b.Pair ? a.Pair < b.Pair : RanksBefore(a, b);
  });
  std::string out;
  out.reserve(bytes + sizeof ContrastsHeader + 16);
  out += ContrastsHeader;
  out += "\trank\tsvalue\n";
  long rank = 0;
  double lfsrSum = 0.0;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (i == 0 || rows[i].Pair != rows[i - 1].Pair) rank = 0, lfsrSum = 0.0;
    lfsrSum += rows[i].Lfsr;
    ++rank;
    out += rows[i].Line;
    out += '\t';
    out += std::to_string(rank);
    out += '\t';
    out += TableReal(lfsrSum / rank);
    out += '\n';
  }
  ranked = std::move(out);
  return true;
}

}  // namespace telvo
