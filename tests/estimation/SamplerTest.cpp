// The acceptance window of the tuning passes and the order statistics of the summaries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "estimation/Estimation.h"
#include "estimation/EstimationInternal.h"

using namespace telvo;

TEST(Tuning, AcceptanceWindowBounds) {
  // The lower bound is 0.15 in extended precision: the double nearest 0.15 counts as too low.
  for (auto [ratio, inside] :
       {std::pair{0.15, false}, {0.1500000001, true}, {0.4999, true}, {0.5, false}, {0.0, false}})
    EXPECT_EQ(InAcceptanceWindow(ratio), inside) << ratio;
  // A ratio of exactly the double 0.15 changes the step; inside the window nothing changes or is drawn.
  for (auto [ratio, changes] : {std::pair{0.15, true}, {0.3, false}, {0.5, false}, {0.5000001, true}}) {
    RandomStream a, b;
    SeedRandom(a, 1);
    SeedRandom(b, 1);
    double step = 0.5;
    ChangeStepSize(ratio, step, a);
    EXPECT_EQ(step != 0.5, changes) << ratio;
    if (!changes) {
      EXPECT_EQ(NextRandom(a), NextRandom(b)) << ratio;
    }
  }
}

TEST(Summaries, OrderStatisticsPickTheStatedPositions) {
  for (int s : {80, 81, 1000, 10001}) {
    std::vector<double> values(s), scratch(s);
    for (int k = 0; k < s; ++k) values[k] = std::fmod(k * 7919.0, s);  // a permutation of 0..s-1
    OrderStatistics o = ChainOrderStatistics(values.data(), s, scratch);
    EXPECT_EQ(o.Lower, s / 40 - 1) << s;
    EXPECT_EQ(o.Median, s / 2 - 1) << s;
    EXPECT_EQ(o.Upper, s - s / 40 - 1) << s;
  }
  // Values in any order, many of them tied: the positions of a full sort.
  std::mt19937 draw(5);
  for (int s : {80, 97, 161, 1000})
    for (int trial = 0; trial < 40; ++trial) {
      std::vector<double> values(s), scratch(s);
      for (double& v : values) v = draw() % 60;
      OrderStatistics o = ChainOrderStatistics(values.data(), s, scratch);
      std::sort(values.begin(), values.end());
      EXPECT_EQ(o.Lower, values[s / 40 - 1]) << s;
      EXPECT_EQ(o.Median, values[s / 2 - 1]) << s;
      EXPECT_EQ(o.Upper, values[s - s / 40 - 1]) << s;
    }
  // Long runs of equal values (a chain that rarely moves) are no trouble.
  std::vector<double> flat(200000, 0.3), scratch(200000);
  flat[7] = 0.1, flat[9] = 0.9;
  OrderStatistics o = ChainOrderStatistics(flat.data(), 200000, scratch);
  EXPECT_EQ(o.Lower, 0.3);
  EXPECT_EQ(o.Median, 0.3);
  EXPECT_EQ(o.Upper, 0.3);
}

TEST(Sampler, TallyOfGreaterMuEightNodesAtATimeAndOneByOne) {
  // 19 nodes: two blocks of eight, then the rest one at a time; ties count for neither node.
  // A 20th value and a 20th row of counts stand guard: neither is read or written.
  double mu[20];
  for (int i = 0; i < 20; ++i) mu[i] = (i * 7 % 19) / 4.0;
  mu[5] = mu[12], mu[19] = 100;
  for (bool avx2 : {false, HasAvx2()}) {
    std::vector<int> counts(20 * 19, 1);
    CountGreater(mu, 19, counts.data(), avx2);
    for (int a = 0; a < 20; ++a)
      for (int b = 0; b < 19; ++b)
        EXPECT_EQ(counts[a * 19 + b], 1 + (a < 19 && mu[a] > mu[b])) << a << " " << b << " " << avx2;
  }
}
