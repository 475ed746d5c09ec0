#include <gtest/gtest.h>

#include <random>

#include "estimation/Estimation.h"

using namespace telvo;

TEST(Random, MersenneTwisterMatchesTheReferenceStream) {
  // std::mt19937 is the reference generator with the same seeding; several blocks of 624 words.
  for (uint32_t seed : {1u, 5489u, 4294967295u}) {
    RandomStream rs;
    SeedRandom(rs, seed);
    std::mt19937 reference(seed);
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(NextRandom(rs), reference()) << seed << " draw " << i;
  }
  // A stream never seeded draws as the reference's default one.
  RandomStream unseeded;
  std::mt19937 byDefault;
  for (int i = 0; i < 700; ++i) ASSERT_EQ(NextRandom(unseeded), byDefault()) << "unseeded draw " << i;
}
