// Independent genes (-j): seeds that do not depend on the neighbours, and workers that do not fit. That
// any worker count writes the same files and console is pinned by the golden run parallel.
#include <gtest/gtest.h>

#include <set>

#include "estimation/Estimation.h"
#include "support/TestSupport.h"

using namespace telvo;

TEST(Parallel, GeneSeedsAreDistinctAndNotAShiftOfTheRunSeed) {
  std::set<uint32_t> seen;
  for (uint32_t run : {1u, 2u, 12345u})
    for (long g = 1; g <= 20000; ++g) seen.insert(GeneSeed(run, g));
  EXPECT_GE(seen.size(), 60000u - 2);  // a 32-bit hash may collide once in a long while, not more
  // Neighbouring genes differ in about half of their bits.
  int bits = 0;
  for (long g = 1; g <= 1000; ++g) bits += __builtin_popcount(GeneSeed(7, g) ^ GeneSeed(7, g + 1));
  EXPECT_NEAR(bits / 1000.0, 16.0, 1.0);
  EXPECT_NE(GeneSeed(7, 2), GeneSeed(8, 1));
}

// Worker chain stores, the trial block at start-up, or worker threads that do not fit stop the run
// with a message and status 1, not a crash.
// The address sanitizer needs far more address space than the limit allows, so it sits this one out.
TEST(Parallel, WorkersThatDoNotFitInMemoryStopTheRun) {
#if defined(TELVO_SANITIZED)
  GTEST_SKIP() << "address-space limit and sanitizer do not mix";
#else
  std::string dir = ScratchDir();
  WriteFile(dir + "/d.txt", ReadFile(TELVO_SOURCE_DIR "/tests/data/inputs/mixed.txt"));
  const std::string memory = "Not enough memory. Program halt...\n";
  for (auto [limit, flags, says] : {std::tuple{"900000", " -j 256 -g 500000", memory}, {"300000", "", memory},
                                    {"900000", " -j 256", "T.E.L.V.O. could not start 256 worker threads.\n"}}) {
    std::string line = std::string("ulimit -v ") + limit + " && exec " + TELVO_BINARY + " -r 3" + flags + " d.txt";
    ProgramRun r = RunExecutable("/bin/sh", dir, {"-c", line});
    EXPECT_EQ(r.Status, 1) << flags;
    EXPECT_NE(r.Out.find(says), std::string::npos) << r.Out;
    EXPECT_EQ(r.Out.find("Genes Examined:"), std::string::npos) << flags;
  }
#endif
}
