// The likelihood: its three vector widths agree bit for bit, its scaled product is the plain product
// while that is a normal double and follows the true value beyond, and the Metropolis test.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "estimation/EstimationInternal.h"
#include "input/Input.h"

using namespace telvo;

namespace {

constexpr double Pi = 3.14159265358979323846;

using Observations = std::vector<Observation>;

// The observations of a gene of n nodes holding the given (exp, ref, ratio) triples.
Observations GeneWith(int n, const std::vector<std::tuple<int, int, double>>& ratios) {
  CurrentGene g;
  PrepareGene(g, n);
  for (auto [e, r, x] : ratios) {
    int& count = g.PairCount[(e - 1) * n + r - 1];
    if (count < MaxReplicates) g.HybArr[HybSlot(g, e, r, ++count)] = x;
  }
  Observations observations;
  CollectObservations(g, observations);
  return observations;
}

double PlainProduct(const Observations& g, int model, const NodeReals& mu, const NodeReals& t) {
  double l = 1.0;
  for (const Observation& o : g) {
    int i = o.Exp, j = o.Ref;
    double vi = model % 2 == 0 ? mu[i] * mu[i] * t[i] * t[i] : t[i];
    double vj = model % 2 == 0 ? mu[j] * mu[j] * t[j] * t[j] : t[j];
    l = (model <= 2 ? NormalOverNormalPDF(o.Ratio, mu[i], vi, mu[j], vj)
                    : LogNormalOverLogNormalPDF(o.Ratio, mu[i], vi, mu[j], vj)) * l;
  }
  return l;
}

bool SameBits(const ScaledReal& a, const ScaledReal& b) {
  return std::memcmp(&a.Mantissa, &b.Mantissa, sizeof(double)) == 0 && a.Exponent == b.Exponent;
}

}  // namespace

TEST(Likelihood, PathsAgreeBitForBitAndEqualThePlainProduct) {
  std::mt19937 gen(5);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  int compared = 0;
  for (int trial = 0; trial < 4000; ++trial) {
    // Regimes: ordinary states; tiny error terms (densities beyond the fast band, exponentials that
    // underflow); ratios far from the state; many ratios whose product leaves the double range.
    int regime = trial % 4, n = 2 + trial % 5, obs = regime == 3 ? 150 : 1 + trial % 31;
    std::vector<std::tuple<int, int, double>> ratios;
    for (int k = 0; k < obs; ++k) {
      double x = regime == 2 ? std::exp(40 * unit(gen) - 20) : 0.01 + 30 * unit(gen);
      ratios.push_back({1 + k % n, 1 + (k + 1 + trial) % n, x});
    }
    Observations g = GeneWith(n, ratios);
    NodeReals mu{}, t{};
    for (int i = 1; i <= n; ++i) mu[i] = 3 * unit(gen), t[i] = 0.8 * unit(gen) * (regime == 1 ? 1e-3 : 1);
    int model = 1 + trial / 4 % 4;
    ScaledReal scalar = StateLikelihoodScalar(g, static_cast<ErrorModel>(model), n, mu, t);
    ASSERT_TRUE(SameBits(StateLikelihood(g, static_cast<ErrorModel>(model), n, mu, t), scalar)) << trial;
    ASSERT_TRUE(SameBits(StateLikelihoodSse2(g, static_cast<ErrorModel>(model), n, mu, t), scalar)) << trial;
    double plain = PlainProduct(g, model, mu, t);
    if (std::isnormal(plain)) {
      ++compared;
      ASSERT_EQ(ScaledToDouble(scalar), plain) << trial;
    }
  }
  EXPECT_GT(compared, 1200);
}

TEST(Likelihood, ManyObservationsNeitherUnderflowNorFreeze) {
  // 220 ratios far from the state: the plain product underflows to 0, the scaled one does not.
  std::vector<std::tuple<int, int, double>> obs(120, {1, 2, 3.0});
  obs.insert(obs.end(), 100, {2, 1, 0.3});
  Observations g = GeneWith(2, obs);
  NodeReals mu{}, t{}, better{};
  mu[1] = mu[2] = 1, t[1] = t[2] = 0.2;
  better[1] = 1.6, better[2] = 0.4;
  EXPECT_EQ(PlainProduct(g, 2, mu, t), 0.0);
  ScaledReal l = StateLikelihood(g, ErrorModel::AC, 2, mu, t), lb = StateLikelihood(g, ErrorModel::AC, 2, better, t);
  double logSum = 0, v = 0.04;
  for (const Observation& o : g) {
    double tt = o.Ratio * o.Ratio * v + v, d = 1 - o.Ratio;
    logSum += -(d * d) / (2 * tt) + std::log(o.Ratio * v + v) - 0.5 * std::log(2 * Pi * tt * tt * tt);
  }
  EXPECT_NEAR(ScaledLog(l), logSum, 1e-9 * std::fabs(logSum));
  // A better state is accepted however small both values are.
  EXPECT_TRUE(ScaledGreater(lb, l));
  EXPECT_FALSE(ScaledGreater(l, lb));
  EXPECT_TRUE(MetropolisAccepts(true, lb, l, 1.0));
  EXPECT_FALSE(MetropolisAccepts(true, l, lb, 0.5));
  // A single density whose exponential underflows is carried by its logarithm, in both families.
  Observations far = GeneWith(2, {{1, 2, 50.0}});
  t[1] = t[2] = 0.01;
  double tt = 2500 * 1e-4 + 1e-4, s = 2e-4, z = std::log(50.0);
  EXPECT_NEAR(ScaledLog(StateLikelihood(far, ErrorModel::AC, 2, mu, t)),
              -(49.0 * 49.0) / (2 * tt) + std::log(51e-4) - 0.5 * std::log(2 * Pi * tt * tt * tt), 1e-9);
  EXPECT_NEAR(ScaledLog(StateLikelihood(far, ErrorModel::MC, 2, mu, t)),
              -(z * z) / (2 * s) - z - 0.5 * std::log(2 * Pi * s), 1e-9);
  // Mu of 0 under a coefficient model means variance 0: an undefined density, taken as 0.
  mu[2] = 0;
  EXPECT_EQ(StateLikelihood(far, ErrorModel::AC, 2, mu, t).Mantissa, 0.0);
  EXPECT_EQ(StateLikelihood(far, ErrorModel::MC, 2, mu, t).Mantissa, 0.0);
  // In the range of a double the careful densities give the plain ones.
  for (double v : {0.04, 0.7, 3.0}) {
    EXPECT_EQ(ScaledToDouble(SlowNormalOverNormal(1.2, 1.1, v, 0.9, v)), NormalOverNormalPDF(1.2, 1.1, v, 0.9, v)) << v;
    EXPECT_EQ(ScaledToDouble(SlowLogNormalOverLogNormal(1.2, 1.1, v, 0.9, v)),
              LogNormalOverLogNormalPDF(1.2, 1.1, v, 0.9, v))
        << v;
  }
  // A ratio of 0 or below is no observation: the plain densities give it 1.
  for (double r : {0.0, -1.0}) {
    EXPECT_EQ(NormalOverNormalPDF(r, 1.1, 0.2, 0.9, 0.2), 1.0) << r;
    EXPECT_EQ(LogNormalOverLogNormalPDF(r, 1.1, 0.2, 0.9, 0.2), 1.0) << r;
  }
  // A negative variance on either side, or a Mu of 0 in the log-normal model, has no density.
  for (auto [vx, vy] : {std::pair{-0.1, 0.2}, {0.2, -0.1}}) {
    EXPECT_EQ(SlowNormalOverNormal(1.2, 1.1, vx, 0.9, vy).Mantissa, 0.0) << vx << " " << vy;
    EXPECT_EQ(SlowLogNormalOverLogNormal(1.2, 1.1, vx, 0.9, vy).Mantissa, 0.0) << vx << " " << vy;
  }
  EXPECT_EQ(SlowLogNormalOverLogNormal(1.2, 0.0, 0.2, 0.9, 0.2).Mantissa, 0.0);
  EXPECT_EQ(SlowLogNormalOverLogNormal(1.2, 1.1, 0.2, 0.0, 0.2).Mantissa, 0.0);
}

TEST(Likelihood, AcceptanceAtZeroAndTies) {
  ScaledReal zero{0.0, 0}, half{0.5, 0}, one{1.0, 0};
  struct Case { bool valid; ScaledReal proposed, current; double u; bool accepted; };
  for (const Case& c : std::vector<Case>{
           {true, half, zero, 1.0, true},            // anything positive beats 0
           {true, zero, zero, 0.0, false},           // 0 never replaces 0
           {true, zero, half, 0.0, false},
           {false, one, half, 0.0, false},           // invalid proposals are always rejected
           {true, half, half, 32766.0 / 32767, true},
           {true, half, half, 1.0, false},           // an equal state loses only to u = 1
           {true, half, one, 0.49, true},
           {true, half, one, 0.5, false},
           {true, {0.5, -5000}, {1.0, -5000}, 0.49, true},  // the same ratio whatever the common scale
           {true, {0.5, -5000}, {1.0, -5000}, 0.5, false},
           {true, {1.0, 0}, {1.0, -2000}, 1.0, true},     // far above beats u = 1
           {true, {1.0, -2000}, {1.0, 0}, 0.0, false}}) {  // so far below it rounds to 0: not above u = 0
    EXPECT_EQ(MetropolisAccepts(c.valid, c.proposed, c.current, c.u), c.accepted)
        << c.proposed.Mantissa << "p" << c.proposed.Exponent << " vs " << c.current.Mantissa << " u " << c.u;
  }
  // The best state so far: 0 is above nothing, whatever exponent it carries.
  for (auto [a, b, greater] : {std::tuple{zero, ScaledReal{0.5, -10}, false}, {zero, zero, false},
                               {ScaledReal{0.5, -10}, zero, true}, {one, half, true}, {half, one, false}})
    EXPECT_EQ(ScaledGreater(a, b), greater) << a.Mantissa << "p" << a.Exponent << " > " << b.Mantissa;
  EXPECT_EQ(ScaledLog(zero), -INFINITY);
  EXPECT_EQ(ScaledLog({0.75, 3}), std::log(6.0));
  EXPECT_EQ(ScaledLog({1.0, 0}), 0.0);
  EXPECT_NEAR(ScaledLog({0.75, 5000}), std::log(0.75) + 5000 * std::log(2.0), 1e-9);
}
