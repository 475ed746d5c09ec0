#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "estimation/EstimationInternal.h"
#include "input/Input.h"

namespace {

constexpr double Pi = 3.14159265358979323846;

// A gene whose observations are the given (exp, ref, ratio) triples, in pair order.
CurrentGene GeneWith(int nodes, const std::vector<std::tuple<int, int, double>>& ratios) {
  CurrentGene g;
  PrepareGene(g, nodes, static_cast<int>(ratios.size()));
  for (auto [e, r, x] : ratios) {
    int k = 1;
    while (g.HybArr[HybSlot(g, e, r, k)] != 0) ++k;
    g.HybArr[HybSlot(g, e, r, k)] = x;
    g.PairCount[(e - 1) * nodes + (r - 1)]++;
  }
  CollectObservations(g);
  return g;
}

double PlainProduct(const CurrentGene& g, int model, const NodeReals& mu, const NodeReals& t) {
  double l = 1.0;
  for (const Observation& o : g.Observations) {
    int i = o.Exp, j = o.Ref;
    double vi = model % 2 == 0 ? mu[i] * mu[i] * t[i] * t[i] : t[i];
    double vj = model % 2 == 0 ? mu[j] * mu[j] * t[j] * t[j] : t[j];
    double d = model <= 2 ? NormalOverNormalPDF(o.Ratio, mu[i], vi, mu[j], vj)
                          : LogNormalOverLogNormalPDF(o.Ratio, mu[i], vi, mu[j], vj);
    l = d * l;
  }
  return l;
}

}  // namespace

TEST(Likelihood, DensityClosedForms) {
  EXPECT_EQ(NormalOverNormalPDF(0, 1, 1, 1, 1), 1.0);
  EXPECT_EQ(LogNormalOverLogNormalPDF(-1, 1, 1, 1, 1), 1.0);
  double s = 0.3;
  EXPECT_DOUBLE_EQ(LogNormalOverLogNormalPDF(1, 1, s / 2, 1, s / 2), 1 / std::sqrt(2 * Pi * s));
  double mu = 1.7, v = 0.09;
  EXPECT_DOUBLE_EQ(NormalOverNormalPDF(1, mu, v, mu, v), 2 * mu * v / std::sqrt(2 * Pi * std::pow(2 * v, 3)));
  // The log-normal ratio density integrates to 1 over r.
  double sum = 0, h = 1e-3;
  for (double r = h / 2; r < 40; r += h) sum += LogNormalOverLogNormalPDF(r, 2, 0.1, 1, 0.05) * h;
  EXPECT_NEAR(sum, 1.0, 1e-6);
}

TEST(Likelihood, ProductFollowsThePairListsAndTheModel) {
  // A negative ratio ends its pair's list: only 1.2 of (1,2) counts, then (2,1) with 0.8.
  CurrentGene g = GeneWith(2, {{1, 2, 1.2}, {1, 2, -0.5}, {1, 2, 0.9}, {2, 1, 0.8}});
  ASSERT_EQ(g.Observations.size(), 2u);
  NodeReals mu{}, t{};
  mu[1] = 1.3, mu[2] = 0.7, t[1] = 0.2, t[2] = 0.25;
  for (int model = 1; model <= 4; ++model) {
    ScaledReal l = StateLikelihood(g, model, 2, mu, t);
    EXPECT_EQ(ScaledToDouble(l), PlainProduct(g, model, mu, t)) << model;
  }
  double vx = mu[1] * mu[1] * t[1] * t[1], vy = mu[2] * mu[2] * t[2] * t[2];
  double expected = NormalOverNormalPDF(0.8, mu[2], vy, mu[1], vx) * NormalOverNormalPDF(1.2, mu[1], vx, mu[2], vy);
  EXPECT_EQ(ScaledToDouble(StateLikelihood(g, 2, 2, mu, t)), expected);
  // Mu of 0 under a coefficient model means variance 0: an undefined density, taken as 0.
  mu[2] = 0;
  EXPECT_EQ(StateLikelihood(g, 2, 2, mu, t).Mantissa, 0.0);
  EXPECT_EQ(StateLikelihood(g, 4, 2, mu, t).Mantissa, 0.0);
}

TEST(Likelihood, ScaledProductEqualsThePlainProductBitForBit) {
  std::mt19937 gen(11);
  std::uniform_real_distribution<double> ratio(0.2, 5), level(0.3, 2.5), term(0.05, 0.6);
  int compared = 0;
  for (int trial = 0; trial < 400; ++trial) {
    std::vector<std::tuple<int, int, double>> obs;
    for (int k = 0; k < 12; ++k) obs.push_back({1 + k % 3, 1 + (k + 1) % 3, ratio(gen)});
    std::sort(obs.begin(), obs.end(), [](auto& a, auto& b) { return std::get<0>(a) * 10 + std::get<1>(a) < std::get<0>(b) * 10 + std::get<1>(b); });
    CurrentGene g = GeneWith(3, obs);
    NodeReals mu{}, t{};
    for (int n = 1; n <= 3; ++n) mu[n] = level(gen), t[n] = term(gen);
    int model = 1 + trial % 4;
    double plain = PlainProduct(g, model, mu, t);
    if (!std::isnormal(plain)) continue;  // beyond the double range the scaled form follows the true value
    ++compared;
    EXPECT_EQ(ScaledToDouble(StateLikelihood(g, model, 3, mu, t)), plain) << trial;
  }
  EXPECT_GT(compared, 300);
}

TEST(Likelihood, ManyObservationsNeitherUnderflowNorFreeze) {
  // 240 ratios far from the state: the plain product underflows to 0, the scaled one does not.
  std::vector<std::tuple<int, int, double>> obs;
  for (int k = 0; k < 120; ++k) obs.push_back({1, 2, 3.0});
  for (int k = 0; k < 100; ++k) obs.push_back({2, 1, 0.3});
  CurrentGene g = GeneWith(2, obs);
  NodeReals mu{}, t{};
  mu[1] = 1, mu[2] = 1, t[1] = t[2] = 0.2;
  EXPECT_EQ(PlainProduct(g, 2, mu, t), 0.0);
  ScaledReal l = StateLikelihood(g, 2, 2, mu, t);
  ASSERT_GT(l.Mantissa, 0);
  double logSum = 0;
  double v = 0.04;
  for (const Observation& o : g.Observations) {
    double tt = o.Ratio * o.Ratio * v + v, d = 1 - o.Ratio;
    logSum += -(d * d) / (2 * tt) + std::log(o.Ratio * v + v) - 0.5 * std::log(2 * Pi * tt * tt * tt);
  }
  EXPECT_NEAR(ScaledLog(l), logSum, 1e-9 * std::fabs(logSum));
  // A better state is more likely and is accepted however small both values are.
  NodeReals better = mu;
  better[1] = 1.6, better[2] = 0.4;
  ScaledReal lb = StateLikelihood(g, 2, 2, better, t);
  EXPECT_TRUE(ScaledGreater(lb, l));
  EXPECT_TRUE(MetropolisAccepts(true, lb, l, 1.0));
  EXPECT_FALSE(MetropolisAccepts(true, l, lb, 0.5));
  // A density whose exponential underflows is carried by its logarithm.
  CurrentGene far = GeneWith(2, {{1, 2, 50.0}});
  t[1] = t[2] = 0.01;
  ScaledReal lf = StateLikelihood(far, 2, 2, mu, t);
  ASSERT_GT(lf.Mantissa, 0);
  double tt = 2500 * 1e-4 + 1e-4;
  EXPECT_NEAR(ScaledLog(lf), -(49.0 * 49.0) / (2 * tt) + std::log(51e-4) - 0.5 * std::log(2 * Pi * tt * tt * tt), 1e-9);
}

TEST(Likelihood, AcceptanceAtZeroAndTies) {
  ScaledReal zero{0.0, 0}, half{0.5, 0}, one{1.0, 0};
  EXPECT_TRUE(MetropolisAccepts(true, half, zero, 1.0));   // anything positive beats 0
  EXPECT_FALSE(MetropolisAccepts(true, zero, zero, 0.0));  // 0 never replaces 0
  EXPECT_FALSE(MetropolisAccepts(true, zero, half, 0.0));
  EXPECT_FALSE(MetropolisAccepts(false, one, half, 0.0));  // invalid proposals are always rejected
  EXPECT_TRUE(MetropolisAccepts(true, half, half, 32766.0 / 32767));
  EXPECT_FALSE(MetropolisAccepts(true, half, half, 1.0));  // an equal state loses only to u = 1
  EXPECT_TRUE(MetropolisAccepts(true, half, one, 0.49));
  EXPECT_FALSE(MetropolisAccepts(true, half, one, 0.5));
  // Scaling is exact: the same ratio whatever the common power of two.
  EXPECT_TRUE(MetropolisAccepts(true, {0.5, -5000}, {1.0, -5000}, 0.49));
  EXPECT_FALSE(MetropolisAccepts(true, {0.5, -5000}, {1.0, -5000}, 0.5));
  EXPECT_EQ(ScaledLog(zero), -INFINITY);
  EXPECT_EQ(ScaledLog({0.75, 3}), std::log(6.0));
}
