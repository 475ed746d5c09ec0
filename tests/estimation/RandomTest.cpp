#include <gtest/gtest.h>

#include <random>

#include "estimation/Estimation.h"

TEST(Random, MersenneTwisterMatchesTheReferenceStream) {
  // std::mt19937 is the reference generator with the same seeding.
  for (uint32_t seed : {1u, 5489u, 12345u, 4294967295u}) {
    RandomStream rs;
    SeedRandom(rs, seed);
    std::mt19937 reference(seed);
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(NextRandom(rs), reference()) << seed << " draw " << i;
  }
  RandomStream rs;
  SeedRandom(rs, 5489u);
  EXPECT_EQ(NextRandom(rs), 3499211612u);
}

TEST(Random, DrawsMapTheWordOntoTheirRange) {
  RandomStream a, b;
  SeedRandom(a, 99);
  SeedRandom(b, 99);
  for (int i = 0; i < 5000; ++i) {
    uint32_t x = NextRandom(b);
    uint32_t k = Random(a, 32768);
    EXPECT_EQ(k, static_cast<uint32_t>((uint64_t{x} * 32768) >> 32));
  }
  int lowHits = 0, highHits = 0;
  bool zero = false, one = false;
  for (int i = 0; i < 200000; ++i) {
    int n = Rnd(a, 1, 4);
    ASSERT_GE(n, 1);
    ASSERT_LE(n, 4);
    lowHits += n == 1, highHits += n == 4;
    double u = Rnd0To1(a);
    ASSERT_GE(u, 0.0);
    ASSERT_LE(u, 1.0);
    double k = u * 32767;
    ASSERT_NEAR(k, std::round(k), 1e-9);
    zero |= u == 0.0, one |= u == 1.0;
  }
  EXPECT_NEAR(lowHits / 200000.0, 0.25, 0.01);
  EXPECT_NEAR(highHits / 200000.0, 0.25, 0.01);
  EXPECT_TRUE(zero);
  EXPECT_TRUE(one);
}
