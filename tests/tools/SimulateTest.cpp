#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <stdexcept>

#include "run/Run.h"
#include "simulate/Simulate.h"
#include "support/TestSupport.h"

namespace {

std::string Simulate(const SimulationOptions& o) {
  std::ostringstream out;
  SimulateFile(o, out);
  return out.str();
}

}  // namespace

TEST(Simulator, SeedFixesTheBytes) {
  SimulationOptions o;
  o.MissingFraction = 0.1;
  std::string a = Simulate(o), b = Simulate(o);
  EXPECT_EQ(a, b);
  o.Seed = 2;
  EXPECT_NE(Simulate(o), a);
}

TEST(Simulator, DesignsNameTheirHybs) {
  SimulationOptions loop;
  loop.Nodes = 4, loop.Replicates = 2;
  std::vector<std::string> rows = Lines(Simulate(loop));
  std::vector<std::string> exp = Cells(rows[1]), ref = Cells(rows[2]);
  ASSERT_EQ(exp.size(), 2u + 16);
  for (size_t h = 2; h < exp.size(); ++h) EXPECT_NE(exp[h], ref[h]);
  EXPECT_EQ(exp[2] + ref[2] + exp[3] + ref[3], "N1N2N2N1");
  EXPECT_EQ(exp[9] + ref[9], "N1N4");  // the ring closes from node 4 back to node 1
  SimulationOptions reference;
  reference.Design = "reference", reference.Nodes = 5, reference.DyeSwap = false;
  rows = Lines(Simulate(reference));
  ref = Cells(rows[2]);
  ASSERT_EQ(ref.size(), 2u + 4);
  for (size_t h = 2; h < ref.size(); ++h) EXPECT_EQ(ref[h], "N1");
  EXPECT_EQ(rows.size(), 3u + 36);
}

TEST(Simulator, RatiosFollowTheModelAndTheGrammar) {
  SimulationOptions o;
  o.Model = "MC", o.Mu = {2.0, 0.5, 1.0, 0.5}, o.ErrorTerm = 0.1, o.Genes = 400, o.MissingFraction = 0.2;
  std::vector<std::string> rows = Lines(Simulate(o));
  std::vector<std::pair<int, int>> hybs = SimulatedHybs(o);
  std::vector<double> sum(hybs.size()), count(hybs.size());
  int missing = 0, total = 0;
  for (size_t g = 3; g < rows.size(); ++g) {
    std::vector<std::string> c = Cells(rows[g]);
    ASSERT_EQ(c.size(), 2 + hybs.size());
    for (size_t h = 0; h < hybs.size(); ++h) {
      double x = 0;
      ASSERT_TRUE(ParseStrictReal(c[2 + h], x)) << c[2 + h];
      ++total;
      if (x == 0) {
        ++missing;
        continue;
      }
      sum[h] += std::log(x), count[h] += 1;
    }
  }
  EXPECT_NEAR(static_cast<double>(missing) / total, 0.2, 0.02);
  for (size_t h = 0; h < hybs.size(); ++h) {
    double expected = std::log(o.Mu[hybs[h].first - 1] / o.Mu[hybs[h].second - 1]);
    // ln X - ln Y has variance (Mu_e T)^2 + (Mu_r T)^2, at most 0.08 here; 320 draws leave 0.05 of slack.
    EXPECT_NEAR(sum[h] / count[h], expected, 0.05) << h;
  }
}

TEST(Simulator, BadOptionsAreRefused) {
  auto refused = [](auto change) {
    SimulationOptions o;
    change(o);
    EXPECT_THROW(CheckSimulationOptions(o), std::invalid_argument);
  };
  refused([](SimulationOptions& o) { o.Design = "star"; });
  refused([](SimulationOptions& o) { o.Nodes = 1; });
  refused([](SimulationOptions& o) { o.Model = "XX"; });
  refused([](SimulationOptions& o) { o.Mu = {1, 2}; });
  refused([](SimulationOptions& o) { o.MissingFraction = 1; });
  refused([](SimulationOptions& o) { o.Nodes = 100, o.Replicates = 2; });  // 400 hybs
  std::string dir = ScratchDir();
  ProgramRun run = RunExecutable(TELVO_SIMULATE, dir, {"--nodes", "x", "--out", "f.txt"});
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(RunExecutable(TELVO_SIMULATE, dir, {"--bogus"}).Status, 1);
  EXPECT_EQ(RunExecutable(TELVO_SIMULATE, dir, {"--genes", "3", "--out", "f.txt", "--truth", "t.txt"}).Status, 0);
  EXPECT_EQ(Lines(ReadFile(dir + "/f.txt")).size(), 6u);
  EXPECT_EQ(Lines(ReadFile(dir + "/t.txt"))[0], "UniqueId\tMu[N1]\tMu[N2]\tMu[N3]\tMu[N4]");
}
