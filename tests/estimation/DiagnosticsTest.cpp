// Effective sample size and split R-hat against chains whose true values are known.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "estimation/Estimation.h"

using namespace telvo;

namespace {

// A stationary AR(1) chain x_t = phi x_{t-1} + e_t with unit normal e; phi = 0 gives independent draws.
std::vector<double> Ar1Chain(double phi, int count, unsigned seed) {
  std::mt19937 engine(seed);
  std::normal_distribution<double> normal;
  std::vector<double> x(count);
  x[0] = normal(engine) / std::sqrt(1.0 - phi * phi);
  for (int t = 1; t < count; ++t) x[t] = phi * x[t - 1] + normal(engine);
  return x;
}

}  // namespace

TEST(Diagnostics, EffectiveSampleSizeOfIndependentAndAutocorrelatedChains) {
  // Independent draws: tau = 1. The estimated tau of 100,000 draws strays by about 0.01 (a handful of
  // lags, each rho with error 1/sqrt(S)), so 5% is a wide margin.
  const int s = 100000;
  std::vector<double> iid = Ar1Chain(0.0, s, 11);
  EXPECT_NEAR(EffectiveSampleSize(iid.data(), s), s, 0.05 * s);
  // AR(1) with phi = 0.9: tau = (1 + phi) / (1 - phi) = 19. The standard error of the estimated tau over
  // a window of M lags is about tau sqrt(2 (2M + 1) / S) (Sokal); with M near 60 and S = 400,000 that is
  // 3%, so 12% is four standard errors.
  const int n = 400000;
  std::vector<double> ar = Ar1Chain(0.9, n, 12);
  EXPECT_NEAR(EffectiveSampleSize(ar.data(), n), n * 0.1 / 1.9, 0.12 * n * 0.1 / 1.9);
  // A chain that never moved, or too short to judge, has no effective sample size.
  std::vector<double> flat(1000, 2.5);
  EXPECT_TRUE(std::isnan(EffectiveSampleSize(flat.data(), 1000)));
  EXPECT_TRUE(std::isnan(EffectiveSampleSize(iid.data(), 3)));
  // Five samples 0 0 1 2 2: acov 0.8, 0.4, -0.2, W = 1, so rho_1 = 0.25 and rho_2 = -0.5; the first pair
  // (1 + rho_1) always counts: tau = -1 + 2 * 1.25 = 1.5 and ESS = 5 / 1.5.
  const double shortChain[] = {0, 0, 1, 2, 2};
  EXPECT_NEAR(EffectiveSampleSize(shortChain, 5), 5 / 1.5, 1e-12);
}

TEST(Diagnostics, SplitRhatSeesADriftBetweenTheHalves) {
  const int s = 20000;
  std::vector<double> x = Ar1Chain(0.0, s, 21);
  EXPECT_LT(SplitRhat(x.data(), s), 1.01);
  std::vector<double> slow = Ar1Chain(0.9, s * 10, 22);
  EXPECT_LT(SplitRhat(slow.data(), s * 10), 1.01);
  // Unit variance halves whose means differ by d: R-hat^2 = (n - 1) / n + d^2 / 2, about 1.06 at d = 0.5.
  for (int t = s / 2; t < s; ++t) x[t] += 0.5;
  EXPECT_NEAR(SplitRhat(x.data(), s), std::sqrt(1.0 + 0.125), 0.01);
  // An odd count drops the middle sample, however wild it is.
  std::vector<double> odd(x.begin(), x.begin() + s / 2);
  odd.push_back(1e6);
  odd.insert(odd.end(), x.begin() + s / 2, x.end());
  EXPECT_DOUBLE_EQ(SplitRhat(odd.data(), s + 1), SplitRhat(x.data(), s));
  // Constant halves: Inf when they differ, NaN when the chain never moved.
  std::vector<double> steps(100, 1.0);
  EXPECT_TRUE(std::isnan(SplitRhat(steps.data(), 100)));
  for (int t = 50; t < 100; ++t) steps[t] = 2.0;
  EXPECT_EQ(SplitRhat(steps.data(), 100), INFINITY);
}
