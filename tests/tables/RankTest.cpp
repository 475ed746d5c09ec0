// The ranked contrasts table: order, rank and svalue, and refusals. The telvo-rank program is pinned
// by the golden run rank-program.
#include <gtest/gtest.h>

#include <cmath>

#include "support/TestSupport.h"
#include "tables/Tables.h"

using namespace telvo;

namespace {

// A contrasts row, its number cells as text.
std::string Row(const std::string& gene, const std::string& a, const std::string& b, const std::string& log2,
                const std::string& lfsr) {
  return gene + "\tname " + gene + "\t" + a + "\t" + b + "\t" + log2 + "\t-1\t1\t0.5\t" + lfsr + "\tTRUE\n";
}

const std::string Header = ContrastsHeader();

// One gene of three nodes: its pairs (N1,N2), (N1,N3), (N2,N3) with the given log2 ratio and lfsr cells.
std::string Gene(const std::string& gene, const std::vector<std::pair<std::string, std::string>>& cells) {
  return Row(gene, "N1", "N2", cells[0].first, cells[0].second) + Row(gene, "N1", "N3", cells[1].first, cells[1].second) +
         Row(gene, "N2", "N3", cells[2].first, cells[2].second);
}

}  // namespace

TEST(Rank, RowsGroupByPairAndRankByLfsrThenSizeThenInputOrder) {
  EXPECT_EQ(TableReal(0.1), "0.1");
  EXPECT_EQ(TableReal(-1.0 / 3.0), "-0.3333333333");
  EXPECT_EQ(TableReal(-INFINITY) + TableReal(INFINITY) + TableReal(NAN), "-InfInfNaN");
  EXPECT_EQ(TableBool(true) + TableBool(false), "TRUEFALSE");

  // Two shards; the lfsr ties of pair (N1,N2) fall to the larger |log2_ratio|, then to input order.
  std::vector<TableSource> sources = {
      {"a.tsv", Header + Gene("g1", {{"1.50", "0.02"}, {"0.1", "0.3"}, {"2", "NaN"}}) +
                    Gene("g2", {{"-3", "0.02"}, {"0.2", "0.1"}, {"1", "0.9"}})},
      {"empty.tsv", Header},
      {"b.tsv", Header + Gene("g3", {{"1.5", "0.02"}, {"Inf", "1e-05"}, {"NA", "0.4"}}) +
                    Gene("g4", {{"0", "0.5"}, {"NaN", "0.1"}, {"-1", "0.4"}})},
  };
  std::vector<ContrastRow> rows;
  ReadContrastsTables(sources, rows);
  RankContrasts(rows);
  std::string ranked = RankedTableText(rows);
  struct Expected {
    std::string Gene, Pair, Log2, Rank, Svalue;
  };
  const double s3 = (0.02 * 3 + 0.5) / 4;
  const std::vector<Expected> expected = {
      {"g2", "N1\tN2", "-3", "1", "0.02"},   {"g1", "N1\tN2", "1.5", "2", "0.02"},
      {"g3", "N1\tN2", "1.5", "3", "0.02"},  {"g4", "N1\tN2", "0", "4", TableReal(s3)},
      {"g3", "N1\tN3", "Inf", "1", "1e-05"}, {"g2", "N1\tN3", "0.2", "2", TableReal((1e-5 + 0.1) / 2)},
      {"g4", "N1\tN3", "NaN", "3", TableReal((1e-5 + 0.2) / 3)},
      {"g1", "N1\tN3", "0.1", "4", TableReal((1e-5 + 0.5) / 4)},
      {"g4", "N2\tN3", "-1", "1", "0.4"},    {"g3", "N2\tN3", "NaN", "2", "0.4"},  // a missing size goes last
      {"g2", "N2\tN3", "1", "3", TableReal(1.7 / 3)}, {"g1", "N2\tN3", "2", "4", "NaN"},
  };
  std::vector<std::string> lines = Lines(ranked);
  ASSERT_EQ(lines.size(), expected.size() + 1);
  EXPECT_EQ(lines[0] + "\n", RankedHeader());
  EXPECT_EQ(RankedHeader(), Header.substr(0, Header.size() - 1) + "\trank\tsvalue\n");
  for (size_t i = 0; i < expected.size(); ++i) {
    std::vector<std::string> cells = Cells(lines[i + 1]);
    ASSERT_EQ(cells.size(), 12u) << lines[i + 1];
    EXPECT_EQ(cells[0] + " " + cells[2] + "\t" + cells[3] + " " + cells[4] + " " + cells[10] + " " + cells[11],
              expected[i].Gene + " " + expected[i].Pair + " " + expected[i].Log2 + " " + expected[i].Rank + " " +
                  expected[i].Svalue)
        << "row " << i + 1;
  }
}

TEST(Rank, RefusalsNameTheFileAndLine) {
  const std::string good = Header + Gene("g1", {{"1", "0.1"}, {"1", "0.1"}, {"1", "0.1"}});
  struct Case {
    std::string Text, Error;  // the second source, and the message it gets
  };
  const std::vector<Case> cases = {
      {"gene_id\tgene_name\n", "bad.tsv:1: not the header of a contrasts table"},
      {"", "bad.tsv:1: not the header of a contrasts table"},
      {Header + Row("g2", "N1", "N2", "1", "0.1").substr(0, 20) + "\n", "bad.tsv:2: 6 cells where the header has 10"},
      {Header + Row("g2", "N1", "N2", "1", "low"), "bad.tsv:2: lfsr 'low' is not a number"},
      {Header + Row("g2", "N1", "N2", "x", "0.1"), "bad.tsv:2: log2_ratio 'x' is not a number"},
      {Header + Row("g2", "N1", "N2", "1", "0.1") + Row("g2", "N2", "N3", "1", "0.1"),
       "bad.tsv:3: node pair N2/N3 where the genes have N1/N3"},
      {Header + Row("g2", "N1", "N2", "1", "0.1") + Row("g3", "N1", "N3", "1", "0.1"),
       "bad.tsv:3: gene g3/name g3 begins before gene g2/name g2 has all its 3 node pairs"},
      {Header + Row("g2", "N1", "N2", "1", "0.1"), "bad.tsv:2: the file ends inside gene g2/name g2, after 1 of its 3 node pairs"}
  };
  for (const Case& c : cases) {
    std::vector<ContrastRow> rows;
    EXPECT_EQ(Refusal([&] { ReadContrastsTables({{"good.tsv", good}, {"bad.tsv", c.Text}}, rows); }), c.Error);
  }
}
