// Our Exp and Log against extended-precision references, and the batch Exp against the scalar one.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "estimation/EstimationInternal.h"

using namespace telvo;

namespace {

// Error of x in units in the last place of the reference value.
double UlpError(double x, long double reference) {
  if (reference == 0) return x == 0 ? 0 : INFINITY;
  int e = 0;
  std::frexp(static_cast<double>(reference), &e);
  return static_cast<double>(std::fabs(static_cast<long double>(x) - reference) /
                             std::ldexp(1.0L, std::max(e - 53, -1074)));
}

}  // namespace

TEST(FastMath, ExpAndLogWithinOneUlpOverTheirRanges) {
  std::mt19937_64 gen(1);
  std::uniform_real_distribution<double> wide(-745.0, 709.7), sampler(-708.0, 0.0), small(-1e-3, 1e-3),
      mantissa(1.0, 2.0), nearOne(0.9, 1.1);
  std::uniform_int_distribution<int> exponent(-1074, 1023);
  double worstExp = 0, worstLog = 0;
  for (int i = 0; i < 200000; ++i) {
    double x = i % 3 == 0 ? wide(gen) : i % 3 == 1 ? sampler(gen) : small(gen);
    worstExp = std::max(worstExp, UlpError(Exp(x), std::exp(static_cast<long double>(x))));
    double y = i % 2 ? std::ldexp(mantissa(gen), exponent(gen)) : nearOne(gen);
    worstLog = std::max(worstLog, UlpError(Log(y), std::log(static_cast<long double>(y))));
  }
  EXPECT_LT(worstExp, 1.0);
  EXPECT_LT(worstLog, 1.0);
  struct Case { double value, expected; };
  for (Case c : {Case{Exp(0.0), 1.0}, {Exp(-0.0), 1.0}, {Exp(1e-300), 1.0}, {Exp(-800), 0.0}, {Exp(-INFINITY), 0.0},
                 {Exp(710), INFINITY}, {Log(1.0), 0.0}, {Log(0.0), -INFINITY}, {Log(INFINITY), INFINITY}})
    EXPECT_EQ(c.value, c.expected);
  EXPECT_TRUE(std::isnan(Exp(NAN)));
  EXPECT_TRUE(std::isnan(Log(-1.0)));
  EXPECT_LT(UlpError(Exp(-744.0), std::exp(-744.0L)), 1.0);  // subnormal results are kept
  EXPECT_LT(UlpError(Log(4.9e-324), std::log(static_cast<long double>(4.9e-324))), 1.0);
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
      EXPECT_EQ(scalar, Exp(x[i])) << x[i];
    }
  }
}
