// Invariants of a tuning pass, the step-size arithmetic and the order statistics.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>

#include "estimation/Estimation.h"
#include "input/Input.h"
#include "run/Run.h"
#include "settings/Settings.h"

namespace {

// A design of n nodes in a loop with dye swaps, and one gene with the given ratios per hyb.
struct Fixture {
  InputDesign Design;
  RunSettings Settings;
  GeneWork Work;
};

void SetUpFixture(Fixture& f, int n, const std::vector<double>& mu, bool constrained, int model) {
  InputDesign& d = f.Design;
  d.NumExpressionNodes = n;
  for (int i = 1; i <= n; ++i) d.ExpressionNodeNameList[i] = "N" + std::to_string(i);
  for (int i = 1; i <= n; ++i) {
    int j = i % n + 1;
    d.HybList[++d.NumHybs] = {"", i, "", j};
    d.HybList[++d.NumHybs] = {"", j, "", i};
  }
  SetGlobals(f.Settings);
  f.Settings.ConstrainedVCV = constrained;
  f.Settings.ErrorModelNum = model;
  f.Settings.BurnIn = 300;
  f.Settings.SamplingPeriod = 3;
  f.Settings.ChainSampleSize = 400;
  f.Settings.MaxTuningDepth = 3;
  GeneWork& w = f.Work;
  w.Con.Buffered = true;
  SeedRandom(w.Random, 2024);
  PrepareGene(w.Gene, n, d.NumHybs);
  PrepareChains(w, n, f.Settings.ChainSampleSize, constrained);
  w.Steps = {0.5, 0.5, 0, 0, 0};
  w.Out.PValueRows.assign(n + 1, "");
  for (int h = 1; h <= d.NumHybs; ++h) {
    const HybRecord& hyb = d.HybList[h];
    double wobble = 1 + 0.05 * ((h % 3) - 1);
    w.Gene.HybArr[HybSlot(w.Gene, hyb.ExpNode, hyb.RefNode, 1)] = mu[hyb.ExpNode - 1] / mu[hyb.RefNode - 1] * wobble;
    w.Gene.PairCount[(hyb.ExpNode - 1) * n + hyb.RefNode - 1] = 1;
  }
  w.Gene.IrreducibleMatrix = w.Gene.EnoughData = true;
  CollectObservations(w.Gene);
}

}  // namespace

TEST(Sampler, PassInvariants) {
  for (bool constrained : {true, false}) {
    Fixture f;
    SetUpFixture(f, 4, {1.0, 2.0, 0.5, 1.5}, constrained, constrained ? 2 : 3);
    RunTuningPass(f.Design, f.Settings, f.Work);
    const SamplerState& p = f.Work.Pass;
    const int n = 4, s = f.Settings.ChainSampleSize;
    EXPECT_EQ(p.SampleNo, s);
    // Counters cover the sampling phase only: (S - 1) spacings of min(BurnIn, SamplingPeriod) steps.
    EXPECT_EQ(p.TotalSteps, (s - 1) * 3);
    EXPECT_LE(p.MuAccepts + p.VCVAccepts, p.TotalSteps);
    EXPECT_GT(p.MuAccepts, 0);
    EXPECT_GT(p.VCVAccepts, 0);
    for (int a = 0; a < n; ++a) {
      EXPECT_EQ(p.GreaterCount[a * n + a], 0);
      for (int b = 0; b < n; ++b) {
        int ties = 0;
        for (int k = 0; k < s; ++k)
          ties += f.Work.Chains.MuFile[a * s + k] == f.Work.Chains.MuFile[b * s + k];
        if (a != b) {
          EXPECT_EQ(p.GreaterCount[a * n + b] + p.GreaterCount[b * n + a], s - ties);
        }
      }
    }
    // Every stored state averages 1 (a Mu move was accepted long before the first sample).
    for (int k = 0; k < s; ++k) {
      double sum = 0;
      for (int a = 0; a < n; ++a) sum += f.Work.Chains.MuFile[a * s + k];
      EXPECT_NEAR(sum / n, 1.0, 1e-12);
    }
    EXPECT_FALSE(ScaledGreater(p.Likelihood, p.MaxLikelihood));
  }
}

TEST(Sampler, SharedErrorTermMovesAsOne) {
  Fixture f;
  SetUpFixture(f, 3, {1.0, 1.0, 1.0}, true, 2);
  f.Settings.InitialVCV[2] = 0.7;  // separate starting terms become one after the first accepted move
  RunTuningPass(f.Design, f.Settings, f.Work);
  EXPECT_EQ(f.Work.Pass.CurrentVCV[1], f.Work.Pass.CurrentVCV[2]);
  EXPECT_EQ(f.Work.Pass.CurrentVCV[1], f.Work.Pass.CurrentVCV[3]);
  EXPECT_EQ(f.Work.Chains.VCVFile.size(), static_cast<size_t>(f.Settings.ChainSampleSize));
}

TEST(Tuning, WindowAndStepArithmetic) {
  EXPECT_FALSE(InAcceptanceWindow(237.0 / 3160 * 2));  // the double nearest 0.15 is below the window
  EXPECT_TRUE(InAcceptanceWindow(0.1500000001));
  EXPECT_FALSE(InAcceptanceWindow(0.5));
  EXPECT_TRUE(InAcceptanceWindow(0.4999));
  // The change draws two numbers; with those same draws the factor is as written.
  for (double ar : {0.0, 237.0 / 3160 * 2, 0.62, 1.0}) {
    RandomStream a, b;
    SeedRandom(a, 77);
    SeedRandom(b, 77);
    double step = 0.5;
    ChangeStepSize(ar, step, a);
    double r = (Rnd0To1(b) + Rnd0To1(b)) / 2;
    if (ar < 0.5) {
      EXPECT_DOUBLE_EQ(step, 0.5 / (1 + r * 2 * (1 - ar) * std::pow(1.5 - ar, 3))) << ar;
      EXPECT_GE(step, 0.5 / 7.75);
      EXPECT_LE(step, 0.5);
    } else {
      EXPECT_DOUBLE_EQ(step, 0.5 * (1 + r * std::pow((ar - 0.15) / 0.15, 2))) << ar;
      EXPECT_LE(step, 0.5 * (1 + std::pow(0.85 / 0.15, 2)) + 1e-12);
    }
    EXPECT_EQ(NextRandom(a), NextRandom(b));  // exactly two draws were taken
  }
  RandomStream c;
  SeedRandom(c, 1);
  double step = 0.5;
  ChangeStepSize(0.3, step, c);
  EXPECT_EQ(step, 0.5);  // inside the window nothing changes and nothing is drawn
  RandomStream d;
  SeedRandom(d, 1);
  EXPECT_EQ(NextRandom(c), NextRandom(d));
}

TEST(Tuning, OnePassWithDepthOneAndCarryOverAfterSuccess) {
  Fixture f;
  SetUpFixture(f, 4, {1.0, 2.0, 0.5, 1.5}, true, 2);
  f.Settings.MaxTuningDepth = 1;
  MCMCIt(f.Design, f.Settings, f.Work);
  EXPECT_EQ(f.Work.Tuning.TuningDepth, 1);
  EXPECT_EQ(f.Work.Steps.MuStepSize, 0.5);
  EXPECT_EQ(f.Work.Con.Text.find("A.R.: "), std::string::npos);
  EXPECT_EQ(f.Work.Con.Text.find("Logmean"), std::string::npos);
  EXPECT_NE(f.Work.Con.Text.find("NumSampled: 400\n"), std::string::npos);

  Fixture g;
  SetUpFixture(g, 4, {1.0, 2.0, 0.5, 1.5}, true, 2);
  g.Settings.MaxTuningDepth = 8;
  MCMCIt(g.Design, g.Settings, g.Work);
  const TuningState& t = g.Work.Tuning;
  ASSERT_TRUE(t.MuTuned && t.VCVTuned) << g.Work.Con.Text;
  EXPECT_EQ(g.Work.Steps.NumSuccesses, 1);
  EXPECT_NE(g.Work.Con.Text.find("Logmean MuStepSize: " + Fixed(g.Work.Steps.MuStepSize, 4, 2) + "\n"), std::string::npos);
  // The result row has 6N + 4 cells after the two leading ones, and ends with a line feed.
  const std::string& row = g.Work.Out.ResultData;
  EXPECT_EQ(std::count(row.begin(), row.end(), '\t'), 6 * 4 + 4);
  EXPECT_EQ(row.back(), '\n');
  EXPECT_NE(row.find("\tTrue\t"), std::string::npos);
}

TEST(Summaries, OrderStatisticsPickTheStatedPositions) {
  for (int s : {80, 81, 1000, 10001}) {
    std::vector<double> values(s);
    for (int k = 0; k < s; ++k) values[k] = std::fmod(k * 7919.0, s);  // a permutation of 0..s-1
    std::vector<double> scratch(s);
    OrderStatistics o = ChainOrderStatistics(values.data(), s, scratch);
    EXPECT_EQ(o.Lower, s / 40 - 1) << s;
    EXPECT_EQ(o.Median, s / 2 - 1) << s;
    EXPECT_EQ(o.Upper, s - s / 40 - 1) << s;
  }
  // Long runs of equal values (a chain that rarely moves) are no trouble.
  std::vector<double> flat(500000, 0.3), scratch(500000);
  flat[7] = 0.1;
  OrderStatistics o = ChainOrderStatistics(flat.data(), 500000, scratch);
  EXPECT_EQ(o.Lower, 0.3);
  EXPECT_EQ(o.Median, 0.3);
}
