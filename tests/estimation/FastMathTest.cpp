// Our Exp and Log against extended-precision references, and the batch path against the scalar one.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <random>

#include "estimation/EstimationInternal.h"
#include "input/Input.h"

namespace {

// Error of x in units in the last place of the reference value.
double UlpError(double x, long double reference) {
  if (reference == 0) return x == 0 ? 0 : INFINITY;
  int e = 0;
  std::frexp(static_cast<double>(reference), &e);
  long double ulp = std::ldexp(1.0L, std::max(e - 53, -1074));
  return static_cast<double>(std::fabs(static_cast<long double>(x) - reference) / ulp);
}

constexpr double Pi = 3.14159265358979323846;

}  // namespace

TEST(FastMath, ExpWithinOneUlpOverTheWholeRange) {
  std::mt19937_64 gen(1);
  std::uniform_real_distribution<double> wide(-745.0, 709.7), sampler(-708.0, 0.0), small(-1e-3, 1e-3);
  double worst = 0;
  for (int i = 0; i < 300000; ++i) {
    double x = i % 3 == 0 ? wide(gen) : i % 3 == 1 ? sampler(gen) : small(gen);
    worst = std::max(worst, UlpError(Exp(x), std::exp(static_cast<long double>(x))));
  }
  EXPECT_LT(worst, 1.0);
  EXPECT_EQ(Exp(0.0), 1.0);
  EXPECT_EQ(Exp(-0.0), 1.0);
  EXPECT_EQ(Exp(1e-300), 1.0);
  EXPECT_EQ(Exp(-800), 0.0);
  EXPECT_EQ(Exp(-INFINITY), 0.0);
  EXPECT_EQ(Exp(710), INFINITY);
  EXPECT_TRUE(std::isnan(Exp(NAN)));
  EXPECT_GT(Exp(-744.0), 0.0);  // subnormal results are kept
  EXPECT_LT(UlpError(Exp(-740.0), std::exp(-740.0L)), 1.0);
  EXPECT_EQ(Exp(-708.0), ExpForBatch(-708.0));
}

TEST(FastMath, LogWithinOneUlp) {
  std::mt19937_64 gen(2);
  std::uniform_real_distribution<double> mantissa(1.0, 2.0), nearOne(0.9, 1.1);
  std::uniform_int_distribution<int> exponent(-1070, 1023);
  double worst = 0;
  for (int i = 0; i < 300000; ++i) {
    double x = i % 2 ? std::ldexp(mantissa(gen), exponent(gen)) : nearOne(gen);
    worst = std::max(worst, UlpError(Log(x), std::log(static_cast<long double>(x))));
  }
  EXPECT_LT(worst, 1.0);
  EXPECT_EQ(Log(1.0), 0.0);
  EXPECT_EQ(Log(0.0), -INFINITY);
  EXPECT_TRUE(std::isnan(Log(-1.0)));
  EXPECT_EQ(Log(INFINITY), INFINITY);
  double tiny = 4.9e-324;
  EXPECT_LT(UlpError(Log(tiny), std::log(static_cast<long double>(tiny))), 1.0);
}

TEST(FastMath, BatchExpGivesTheScalarBits) {
  std::mt19937_64 gen(3);
  std::uniform_real_distribution<double> range(-720.0, 20.0);
  std::vector<double> x(1001), batch(1001), sse2(1001);
  for (double& v : x) v = range(gen);
  x[5] = NAN, x[6] = -INFINITY, x[7] = 1e6;
  ExpBatch(x.data(), batch.data(), static_cast<int>(x.size()));
  ExpBatchSse2(x.data(), sse2.data(), static_cast<int>(x.size()));
  for (size_t i = 0; i < x.size(); ++i) {
    double scalar = ExpForBatch(x[i]);
    EXPECT_EQ(std::memcmp(&batch[i], &scalar, sizeof(double)), 0) << x[i];
    EXPECT_EQ(std::memcmp(&sse2[i], &scalar, sizeof(double)), 0) << x[i];
    if (x[i] >= -708.4 && x[i] <= 709) {
      EXPECT_EQ(batch[i], Exp(x[i])) << x[i];
    }
  }
}

// The log-normal density is ill-conditioned in its logarithms: where one of our three logarithms
// and the library's differ by an ulp (both within an ulp of the truth), the density moves by up to
// |z| ulp(z) / s relative. Those rare cases are counted, not bounded.
TEST(FastMath, DensitiesAgreeWithTheLibraryFormula) {
  std::mt19937_64 gen(4);
  std::uniform_real_distribution<double> ratio(0.05, 20), level(0.05, 4), term(0.01, 1.0);
  double worstNormal = 0, worstLogNormal = 0;
  int compared = 0, logsDiffer = 0, beyond = 0;
  for (int i = 0; i < 200000; ++i) {
    double r = ratio(gen), mx = level(gen), my = level(gen), vx = term(gen) * mx * mx, vy = term(gen) * my * my;
    if (i % 2) {
      double t = r * r * vy + vx, d = mx - r * my;
      double library = std::exp(-(d * d) / (2 * t)) * (r * mx * vy + vx * my) / std::sqrt(2 * Pi * (t * t * t));
      if (std::isnormal(library)) worstNormal = std::max(worstNormal, UlpError(NormalOverNormalPDF(r, mx, vx, my, vy), library));
    } else {
      double s = vy + vx, z = std::log(r) - (std::log(mx) - std::log(my));
      double library = std::exp(-(z * z) / (2 * s)) / (r * std::sqrt(2 * Pi * s));
      if (!std::isnormal(library)) continue;
      ++compared;
      double error = UlpError(LogNormalOverLogNormalPDF(r, mx, vx, my, vy), library);
      if (Log(r) == std::log(r) && Log(mx) == std::log(mx) && Log(my) == std::log(my)) {
        worstLogNormal = std::max(worstLogNormal, error);
      } else {
        ++logsDiffer;
        beyond += error > 4;
      }
    }
  }
  EXPECT_LE(worstNormal, 4.0);
  EXPECT_LE(worstLogNormal, 4.0);
  EXPECT_LT(logsDiffer, compared / 500);  // our logarithm is the library's almost always
  EXPECT_LT(beyond, compared / 1000);
}

TEST(FastMath, BatchLikelihoodGivesTheScalarBits) {
  std::mt19937 gen(5);
  std::uniform_real_distribution<double> ratio(0.01, 30), level(0.0, 3), term(0.0, 0.8);
  for (int trial = 0; trial < 3000; ++trial) {
    int n = 2 + trial % 5;
    int obs = 1 + trial % 31;  // odd and even counts
    CurrentGene g;
    PrepareGene(g, n, obs);
    for (int k = 0; k < obs; ++k) {
      int e = 1 + k % n, r = 1 + (k + 1 + trial) % n;
      int& count = g.PairCount[(e - 1) * n + r - 1];
      if (count < MaxReplicates) g.HybArr[HybSlot(g, e, r, ++count)] = ratio(gen);
    }
    CollectObservations(g);
    NodeReals mu{}, t{};
    for (int i = 1; i <= n; ++i) mu[i] = level(gen), t[i] = term(gen) * (trial % 7 == 0 ? 0.01 : 1);
    int model = 1 + trial % 4;
    ScaledReal b = StateLikelihoodScalar(g, model, n, mu, t);
    for (ScaledReal a : {StateLikelihood(g, model, n, mu, t), StateLikelihoodSse2(g, model, n, mu, t)}) {
      ASSERT_EQ(std::memcmp(&a.Mantissa, &b.Mantissa, sizeof(double)), 0) << trial;
      ASSERT_EQ(a.Exponent, b.Exponent) << trial;
    }
  }
}
