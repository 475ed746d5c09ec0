// Adaptive shrinkage: the fit against cases with a known answer, the posterior against numerical
// integration, q-values, left-out contrasts and the solver's monotone progress.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <stdexcept>
#include <vector>

#include "estimation/Estimation.h"

using namespace telvo;

namespace {

double NormalDensity(double x, double sd) { return std::exp(-0.5 * x * x / (sd * sd)) / (sd * std::sqrt(2 * M_PI)); }

// n contrasts with s = 0.02. The first nullCount have beta = 0 and b spread evenly with a variance a
// little below s^2, so that no component but the point mass fits them better; the rest have |beta|
// in [3, 6], either sign, plus noise.
void SeparatedEffects(int n, int nullCount, std::vector<double>& b, std::vector<double>& s, unsigned seed) {
  std::mt19937 engine(seed);
  std::normal_distribution<double> noise(0, 0.02);
  std::uniform_real_distribution<double> size(3, 6);
  for (int i = 0; i < n; ++i) {
    double evenly = 0.02 * std::sqrt(3.0) * 0.95 * (2 * (i + 0.5) / nullCount - 1);
    b.push_back(i < nullCount ? evenly : (i % 2 ? 1 : -1) * size(engine) + noise(engine));
    s.push_back(0.02);
  }
}

}  // namespace

TEST(Shrinkage, FitFindsTheNullShare) {
  // Every b = 0: each wider component only lowers the likelihood, so all weight goes to the point mass.
  std::vector<double> zero(200, 0.0), equal(200, 0.3);
  UnimodalPrior g = FitUnimodalPrior(zero.data(), equal.data(), zero.size());
  EXPECT_TRUE(g.Converged);
  EXPECT_GT(g.Weight[0], 0.999);
  // 30% nulls and effects 150 to 300 s away: only the nulls sit at the point mass. The wide
  // components still put a little density near 0 (lfdr of a null above 0.96), a trifle off pi0.
  std::vector<double> b, s;
  SeparatedEffects(1000, 300, b, s, 3);
  g = FitUnimodalPrior(b.data(), s.data(), b.size());
  EXPECT_TRUE(g.Converged);
  EXPECT_NEAR(g.Weight[0], 0.3, 0.01);
  EXPECT_EQ(g.Sd[0], 0.0);
  EXPECT_LE(g.Sd[1], 0.02 * 0.1 + 1e-15);  // grid from min s / 10 ...
  EXPECT_GE(g.Sd.back(), 2 * 5.5);         // ... to twice the largest |b| or so
}

TEST(Shrinkage, PosteriorMatchesNumericalIntegration) {
  const UnimodalPrior g{{0, 0.2, 0.5, 1.5}, {0.4, 0.3, 0.2, 0.1}, 0, 0, true};
  const double cases[][2] = {{0, 0.3}, {0.4, 0.3}, {-1.2, 0.5}, {3, 0.2}};
  for (const auto& c : cases) {
    const double b = c[0], s = c[1];
    // Simpson's rule over beta in [-15, 15] for the continuous part; the point mass by hand.
    const int steps = 60000;
    const double h = 30.0 / steps;
    double mass = 0, first = 0, second = 0, below = 0, above = 0;
    for (int j = 0; j <= steps; ++j) {
      double beta = -15 + j * h, prior = 0;
      for (size_t k = 1; k < g.Sd.size(); ++k) prior += g.Weight[k] * NormalDensity(beta, g.Sd[k]);
      double f = prior * NormalDensity(b - beta, s) * h / 3 * (j == 0 || j == steps ? 1 : j % 2 ? 4 : 2);
      mass += f, first += f * beta, second += f * beta * beta;
      if (j < steps / 2) below += f;
      if (j > steps / 2) above += f;
      if (j == steps / 2) below += f / 2, above += f / 2;  // Simpson's rule on each half
    }
    const double atZero = g.Weight[0] * NormalDensity(b, s), total = mass + atZero;
    const double mean = first / total, lfdr = atZero / total;
    ShrunkEffect e = ShrinkEffect(g, b, s);
    EXPECT_NEAR(e.Mean, mean, 1e-7) << b;
    EXPECT_NEAR(e.Sd, std::sqrt(second / total - mean * mean), 1e-7) << b;
    EXPECT_NEAR(e.Lfdr, lfdr, 1e-7) << b;
    EXPECT_NEAR(e.Lfsr, std::min(lfdr + below / total, lfdr + above / total), 1e-5) << b;
  }
  // At b = 0 the sign is a coin toss, and the point mass counts as wrong whichever sign is claimed.
  ShrunkEffect e = ShrinkEffect(g, 0, 0.3);
  EXPECT_NEAR(e.Lfsr, e.Lfdr + (1 - e.Lfdr) / 2, 1e-12);
}

TEST(Shrinkage, QValuesShareTiesAndSkipNaN) {
  const double lfdr[] = {0.3, 0.1, NAN, 0.5, 0.1, 0.3};
  double q[6];
  RunningMeans(lfdr, lfdr, 6, q);
  // Ranked 0.1 0.1 0.3 0.3 0.5: running means 0.1, 0.1, 0.5/3, 0.2, 1.3/5; a tie takes its last.
  const double expected[] = {0.2, 0.1, NAN, 0.26, 0.1, 0.2};
  for (int i = 0; i < 6; ++i)
    if (std::isnan(expected[i])) EXPECT_TRUE(std::isnan(q[i]));
    else EXPECT_NEAR(q[i], expected[i], 1e-15) << i;
}

TEST(Shrinkage, UnusableContrastsAreLeftOut) {
  std::vector<double> b, s;
  SeparatedEffects(100, 60, b, s, 5);
  UnimodalPrior clean = FitUnimodalPrior(b.data(), s.data(), b.size());
  const double badB[] = {NAN, INFINITY, 1.0, 1.0, 1.0}, badS[] = {0.1, 0.1, 0.0, -0.1, NAN};
  for (int i = 0; i < 5; ++i) b.insert(b.begin() + 7 * i, badB[i]), s.insert(s.begin() + 7 * i, badS[i]);
  UnimodalPrior dirty = FitUnimodalPrior(b.data(), s.data(), b.size());
  EXPECT_EQ(dirty.Sd, clean.Sd);
  EXPECT_EQ(dirty.Weight, clean.Weight);
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(std::isnan(ShrinkEffect(clean, badB[i], badS[i]).Lfsr)) << i;
  // Nothing usable: no prior, and NaN under it.
  UnimodalPrior none = FitUnimodalPrior(badB, badS, 5);
  EXPECT_TRUE(none.Weight.empty());
  EXPECT_TRUE(std::isnan(ShrinkEffect(none, 1.0, 0.1).Mean));
}

TEST(Shrinkage, ObjectiveNeverFallsAcrossIterations) {
  std::mt19937 engine(9);
  std::normal_distribution<double> normal;
  std::uniform_real_distribution<double> uniform(0.1, 0.5);
  std::vector<double> b, s;
  for (int i = 0; i < 400; ++i) {
    s.push_back(uniform(engine));
    b.push_back((i % 3 ? 0 : 2 * normal(engine)) + s.back() * normal(engine));
  }
  double last = -INFINITY;
  for (int k = 0; k <= 30; ++k) {
    UnimodalPrior g = FitUnimodalPrior(b.data(), s.data(), b.size(), k);
    EXPECT_GE(g.Objective, last - 1e-9 * std::fabs(last)) << k;
    last = g.Objective;
  }
  // The objective reported is the penalised log-likelihood at the weights reported.
  UnimodalPrior g = FitUnimodalPrior(b.data(), s.data(), b.size());
  ASSERT_TRUE(g.Converged);
  double direct = 9 * std::log(g.Weight[0]);
  for (size_t i = 0; i < b.size(); ++i) {
    double density = 0;
    for (size_t k = 0; k < g.Sd.size(); ++k) density += g.Weight[k] * NormalDensity(b[i], std::hypot(s[i], g.Sd[k]));
    direct += std::log(density);
  }
  EXPECT_NEAR(g.Objective, direct, 1e-8 * std::fabs(direct));
  EXPECT_NEAR(last, direct, 1e-6 * std::fabs(direct));
}

TEST(Shrinkage, EachPairKeepsItsOwnPrior) {
  // Null shares of 0.2 and 0.8 side by side: each pair finds its own. With 50 genes the null bias
  // (9 contrasts' worth) lifts 0.2 to about (10 + 9) / 59 = 0.32: it errs towards unchanged. A pair
  // with nothing usable gets no prior.
  std::vector<std::vector<double>> b(4), s(4);
  SeparatedEffects(400, 80, b[0], s[0], 30);
  SeparatedEffects(400, 320, b[1], s[1], 31);
  SeparatedEffects(50, 10, b[2], s[2], 32);
  b[3] = {NAN, 1.0}, s[3] = {0.1, 0.0};
  std::vector<UnimodalPrior> g = FitPairPriors(b, s);
  EXPECT_NEAR(g[0].Weight[0], 0.2, 0.03);
  EXPECT_NEAR(g[1].Weight[0], 0.8, 0.03);
  EXPECT_NEAR(g[2].Weight[0], 19.0 / 59, 0.04);
  for (int p = 0; p < 3; ++p) EXPECT_TRUE(g[p].Converged) << p;
  EXPECT_TRUE(g[3].Weight.empty());
  EXPECT_THROW(FitPairPriors(b, {{0.1}}), std::invalid_argument);
}
