// The calls across genes: the table order, q-values, s-values and calls of the ranked set, the rows
// outside it, the threshold on the size, and the genes' test of "does any node differ?".
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "tables/Tables.h"

using namespace telvo;

namespace {

// Genes of three nodes (pairs N1/N2, N1/N3, N2/N3) whose log2 Mu are drawn: a share unchanged, the rest
// spread (the gene's name says which); every pair's log2 mean is the difference plus noise of sd s, its
// sd s. Every tenth gene is not acceptable.
std::vector<ContrastRow> Contrasts(int genes, double unchanged, unsigned seed) {
  std::mt19937 engine(seed);
  std::uniform_real_distribution<double> unit;
  std::normal_distribution<double> normal;
  std::vector<ContrastRow> rows;
  for (int g = 1; g <= genes; ++g) {
    double x[3] = {0, 0, 0};
    const bool changed = unit(engine) >= unchanged;
    if (changed)
      for (double& v : x) v = 2 * normal(engine);
    const double s = 0.1 + 0.2 * unit(engine);
    size_t pair = 0;
    for (int a = 0; a < 3; ++a)
      for (int b = a + 1; b < 3; ++b) {
        ContrastRow row;
        row.GeneId = "g" + std::to_string(g), row.GeneName = changed ? "changed" : "unchanged";
        row.GeneNumber = g, row.Pair = pair++;
        row.NodeA = "N" + std::to_string(a + 1), row.NodeB = "N" + std::to_string(b + 1);
        row.Log2Mean = row.Log2Ratio = x[a] - x[b] + s * normal(engine), row.Log2Sd = s;
        row.Lfsr = 0.5 * std::erfc(std::fabs(row.Log2Mean) / s / std::sqrt(2.0));
        row.PAbove = 0.5 * std::erfc((1 - std::fabs(row.Log2Mean)) / s / std::sqrt(2.0));
        row.Acceptable = g % 10 != 0;
        rows.push_back(row);
      }
  }
  return rows;
}

}  // namespace

TEST(Calls, RankedSetFirstByLfdrWithQvaluesSvaluesAndCalls) {
  for (double minLog2 : {-1.0, 1.0}) {
    std::vector<ContrastRow> rows = Contrasts(300, 0.4, 9);
    std::vector<PairCalls> pairs = CallContrasts(rows, 0.05, minLog2);
    ASSERT_EQ(pairs.size(), 3u);
    size_t first = 0;
    for (const PairCalls& p : pairs) {
      EXPECT_NEAR(p.Pi0, 0.4, 0.1) << p.NodeA << p.NodeB;
      size_t last = first;
      while (last < rows.size() && rows[last].NodeA == p.NodeA && rows[last].NodeB == p.NodeB) ++last;
      ASSERT_EQ(last - first, 300u);
      // The ranked set first, by lfdr; its q-values are running means of lfdr, ties sharing the last;
      // its s-values running means of lfsr in lfsr order; the rest after it with no rank or q-value.
      double lfdrSum = 0, lfsrSum = 0, notAbove = 0;
      long called = 0, ranked = 0;
      std::vector<double> lfsr;
      for (size_t k = first; k < last; ++k) {
        const ContrastRow& r = rows[k];
        if (!r.Ranked) {
          EXPECT_FALSE(r.Acceptable);
          EXPECT_TRUE(std::isnan(r.Qvalue) && std::isnan(r.Svalue) && std::isnan(r.Rank) && !r.Called);
          continue;
        }
        ASSERT_EQ(ranked, static_cast<long>(k - first)) << "an unranked row before a ranked one";
        ++ranked, lfdrSum += r.Lfdr, notAbove += 1 - r.PAbove;
        if (k + 1 < last && rows[k + 1].Ranked) {
          EXPECT_LE(r.Lfdr, rows[k + 1].Lfdr);
        }
        EXPECT_EQ(r.Rank, ranked);
        const bool lastOfTie = k + 1 == last || !rows[k + 1].Ranked || rows[k + 1].Lfdr != r.Lfdr;
        if (lastOfTie) {
          EXPECT_DOUBLE_EQ(r.Qvalue, lfdrSum / ranked);
        }
        if (minLog2 < 0) {
          EXPECT_TRUE(std::isnan(r.AboveRate));
        } else if (lastOfTie) {
          EXPECT_DOUBLE_EQ(r.AboveRate, notAbove / ranked);
        }
        EXPECT_EQ(r.Called, r.Qvalue <= 0.05 && (minLog2 < 0 || r.AboveRate <= 0.05));
        called += r.Called;
        lfsr.push_back(r.Lfsr);
      }
      std::sort(lfsr.begin(), lfsr.end());
      for (size_t k = first; k < last; ++k) {
        if (!rows[k].Ranked) continue;
        size_t at = std::upper_bound(lfsr.begin(), lfsr.end(), rows[k].Lfsr) - lfsr.begin();
        lfsrSum = 0;
        for (size_t i = 0; i < at; ++i) lfsrSum += lfsr[i];
        EXPECT_NEAR(rows[k].Svalue, lfsrSum / at, 1e-12) << "rows tied in lfsr may share at most their order";
      }
      EXPECT_EQ(ranked, 270);
      EXPECT_EQ(p.Called, called);
      EXPECT_GT(called, minLog2 < 0 ? 120 : 60);
      first = last;
    }
  }
}

TEST(Calls, GenesTestThatSomeNodeDiffers) {
  std::vector<ContrastRow> rows = Contrasts(400, 0.5, 21);
  CallContrasts(rows, 0.05, -1);
  std::vector<GeneRow> genes = CallGenes(rows, 0.05);
  ASSERT_EQ(genes.size(), 400u);
  int nullCalled = 0, nulls = 0, calledGenes = 0;
  std::vector<double> p;
  for (size_t k = 0; k < genes.size(); ++k) {
    const GeneRow& g = genes[k];
    EXPECT_EQ(g.GeneNumber, static_cast<long>(k + 1));
    EXPECT_EQ(g.Df, 2);
    // The rows' own log2 means are the truth plus noise: an unchanged gene's Wald statistic is
    // chi-square with 2 degrees of freedom. Recompute it from the pairs N1/N2 and N1/N3 alone.
    const ContrastRow *a = nullptr, *b = nullptr, *c = nullptr;
    for (const ContrastRow& r : rows)
      if (r.GeneNumber == g.GeneNumber) (r.Pair == 0 ? a : r.Pair == 1 ? b : c) = &r;
    double v1 = a->Log2Sd * a->Log2Sd, v2 = b->Log2Sd * b->Log2Sd, v12 = c->Log2Sd * c->Log2Sd;
    double cov = (v1 + v2 - v12) / 2, det = v1 * v2 - cov * cov;
    double m1 = a->Log2Mean, m2 = b->Log2Mean, w = (m1 * m1 * v2 - 2 * m1 * m2 * cov + m2 * m2 * v1) / det;
    EXPECT_NEAR(g.Chisq, w, 1e-8 * (1 + w));
    EXPECT_NEAR(g.PAny, std::exp(-w / 2), 1e-9);  // chi-square with 2 degrees of freedom
    EXPECT_EQ(g.Ranked, g.GeneNumber % 10 != 0);
    if (!g.Ranked) {
      EXPECT_TRUE(std::isnan(g.QAny) && !g.Called);
    }
    if (g.Ranked) p.push_back(g.PAny);
    bool unchanged = g.GeneName == "unchanged";
    nulls += unchanged, nullCalled += unchanged && g.Called, calledGenes += g.Called;
  }
  // Benjamini-Hochberg: the largest rank whose p is at most rank / m times the level decides.
  std::sort(p.begin(), p.end());
  size_t cut = 0;
  for (size_t r = 0; r < p.size(); ++r)
    if (p[r] <= 0.05 * (r + 1) / p.size()) cut = r + 1;
  EXPECT_EQ(calledGenes, static_cast<int>(cut));
  EXPECT_LE(nullCalled, 0.05 * nulls + 2);
  EXPECT_NEAR(ChiSquareSurvival(7.814727903, 3), 0.05, 1e-9);  // the table's 95% point of chi-square(3)
  EXPECT_NEAR(ChiSquareSurvival(3.841458821, 1), 0.05, 1e-9);
}
