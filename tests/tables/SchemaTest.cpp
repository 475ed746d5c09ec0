// The tables' text: what is written reads back as it was, whatever the names hold, and a table that
// is not what its columns say is refused at its first bad cell, naming the file and the line.
#include <gtest/gtest.h>

#include <cmath>

#include "support/TestSupport.h"
#include "tables/Tables.h"

using namespace telvo;

namespace {

// A contrasts row of gene number, pair, log2 ratio and lfsr; the other cells ordinary.
std::string Row(long gene, const std::string& a, const std::string& b, const std::string& log2 = "1",
                const std::string& lfsr = "0.1", const std::string& acceptable = "TRUE") {
  return "g" + std::to_string(gene) + "\tname\t" + a + "\t" + b + "\t" + log2 + "\t-1\t1\t0.5\t" + lfsr + "\t" +
         acceptable + "\t1\t0.5\t0.01\t0.02\t900\t800\tNA\t" + std::to_string(gene) + "\n";
}

// Gene number g with its three pairs of N1, N2, N3.
std::string Gene(long g) { return Row(g, "N1", "N2") + Row(g, "N1", "N3") + Row(g, "N2", "N3"); }

}  // namespace

TEST(Schema, TextsAndNumbersReadBackAsWritten) {
  // Names with a TAB, line ends, quotes, a NUL, bytes that are not UTF-8 and U+FFFE; numbers of every kind.
  const std::string names[] = {"tab\there", "line\nend\r\n", "\"quoted\" name", std::string("nul\0byte", 8),
                               "latin1 \xe9t\xe9", "\xef\xbf\xbe", "NA", ""};
  std::vector<ContrastRow> written;
  std::string text = ContrastsHeader();
  long gene = 0;
  for (const std::string& name : names) {
    ++gene;
    for (auto [a, b] : {std::pair{"N1", "N2"}, {"N1", "N3"}, {"N2", "N3"}}) {
      ContrastRow row;
      row.GeneId = "id " + name, row.GeneName = name, row.NodeA = a, row.NodeB = b, row.GeneNumber = gene;
      row.Log2Ratio = -1.0 / 3, row.Log2Lower = -INFINITY, row.Log2Upper = 2098, row.Log2Mean = NAN;
      row.PGreater = 0.25, row.Lfsr = 0.125, row.PAbove = NAN, row.Acceptable = gene % 2;
      written.push_back(row);
      AppendContrastRow(text, row);
    }
  }
  for (const std::string& crlf : {std::string(""), std::string("\r")}) {
    std::string copy;  // the same table saved with CR LF line ends: every LF outside quotes after a CR
    bool quoted = false;
    for (char c : text) {
      quoted ^= c == '"';
      copy += c == '\n' && !quoted ? crlf + "\n" : std::string(1, c);
    }
    std::vector<ContrastRow> read;
    ReadContrastsTables({{"t.tsv", copy}}, read);
    ASSERT_EQ(read.size(), written.size());
    for (size_t k = 0; k < read.size(); ++k) {
      EXPECT_EQ(read[k].GeneName, WithValidUtf8(written[k].GeneName)) << k;
      EXPECT_EQ(read[k].GeneId, WithValidUtf8(written[k].GeneId)) << k;
      EXPECT_EQ(read[k].Log2Ratio, AsPrinted(-1.0 / 3));
      EXPECT_EQ(read[k].Log2Lower, -INFINITY);
      EXPECT_EQ(read[k].Log2Upper, 2098);
      EXPECT_TRUE(std::isnan(read[k].Log2Mean) && std::isnan(read[k].PAbove));
      EXPECT_EQ(read[k].Acceptable, written[k].Acceptable);
      EXPECT_EQ(read[k].Pair, k % 3);
    }
  }
  // What no reader takes as text becomes U+FFFD; TAB, line ends and quotes are quoted, quotes doubled.
  EXPECT_EQ(TableText(std::string("a\0b\xff", 4)), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
  EXPECT_EQ(TableText("say \"hi\"\tthere"), "\"say \"\"hi\"\"\tthere\"");
  EXPECT_EQ(TableText("plain"), "plain");
}

TEST(Schema, RefusalsNameTheFileAndLine) {
  const std::string header = ContrastsHeader(), good = header + Gene(1);
  struct Case {
    std::string Text, Error;  // the second table, and the message it gets
  };
  const std::vector<Case> cases = {
      {"gene_id\tgene_name\n", "bad.tsv:1: not the header of a contrasts table"},
      {"", "bad.tsv:1: not the header of a contrasts table"},
      {header + Row(2, "N1", "N2").substr(0, 20) + "\n", "bad.tsv:2: 7 cells where the header has 18"},
      {header + Row(2, "N1", "N2", "x"), "bad.tsv:2: log2_ratio 'x' is not a number"},
      {header + Row(2, "N1", "N2", "-2101"), "bad.tsv:2: log2_ratio '-2101' is not in the column's range"},
      {header + Row(2, "N1", "N2", "1", "low"), "bad.tsv:2: lfsr 'low' is not a number"},
      {header + Row(2, "N1", "N2", "1", "-Inf"), "bad.tsv:2: lfsr '-Inf' is not in the column's range"},
      {header + Row(2, "N1", "N2", "1", "-1"), "bad.tsv:2: lfsr '-1' is not in the column's range"},
      {header + Row(2, "N1", "N2", "1", "7"), "bad.tsv:2: lfsr '7' is not in the column's range"},
      {header + Row(2, "N1", "N2", "1", "NaN"), "bad.tsv:2: lfsr 'NaN' is not in the column's range"},
      {header + Row(2, "N1", "N2", "1", "0.1", "TR"), "bad.tsv:2: acceptable 'TR' is not TRUE or FALSE"},
      {header + "\"open\tname\n", "bad.tsv:2: 1 cells where the header has 18"},
      {header + Row(2, "N1", "N2") + Row(2, "N2", "N3"), "bad.tsv:3: node pair N2/N3 where the genes have N1/N3"},
      {header + Row(2, "N1", "N2") + Row(3, "N1", "N3"),
       "bad.tsv:3: gene 3 (g3/name) begins before gene 2 has all its 3 node pairs"},
      {header + Row(2, "N1", "N2"), "bad.tsv:2: the file ends inside gene 2, after 1 of its 3 node pairs"},
      {header + Gene(1), "bad.tsv:2: gene 1 (g1/name) appears twice"},
      {header + Gene(2) + Gene(2), "bad.tsv:5: gene 2 (g2/name) appears twice"},
      {header + Gene(3) + Gene(2), "bad.tsv:5: gene 2 (g2/name) comes after gene 3"},
  };
  for (const Case& c : cases) {
    std::vector<ContrastRow> rows;
    EXPECT_EQ(Refusal([&] { ReadContrastsTables({{"good.tsv", good}, {"bad.tsv", c.Text}}, rows); }), c.Error);
  }
  // A pair seen twice in the first gene, where the pairs are learnt.
  std::vector<ContrastRow> rows;
  EXPECT_EQ(Refusal([&] { ReadContrastsTables({{"t.tsv", header + Row(1, "N1", "N2") + Row(1, "N1", "N2")}}, rows); }),
            "t.tsv:3: node pair N1/N2 appears twice in gene 1 (g1/name)");
}
