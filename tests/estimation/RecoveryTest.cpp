// Statistical checks: on data simulated from known Mu the estimates recover the truth.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#include "estimation/Estimation.h"
#include "input/Input.h"
#include "settings/Settings.h"
#include "simulate/Simulate.h"
#include "support/TestSupport.h"

namespace {

struct Recovery {
  int Intervals = 0, Covered = 0;   // relative Mu intervals and how many hold the truth
  int WidePairs = 0, Confident = 0; // node pairs 2.5-fold apart and how many have P(i > j) > 0.95
  double WorstLogError = 0;         // largest |ln(estimate / truth)| of a relative Mu
  int Acceptable = 0, Rows = 0;     // verdicts
};

Recovery RunRecovery(const std::string& model, double error, uint32_t seed) {
  SimulationOptions o;
  o.Design = "loop", o.Nodes = 4, o.Replicates = 2, o.Genes = 40, o.Model = model, o.ErrorTerm = error, o.Seed = seed;
  std::string dir = ScratchDir();
  std::vector<SimulatedGene> truth;
  {
    std::ofstream out(dir + "/sim.txt", std::ios::binary);
    truth = SimulateFile(o, out);
  }
  ProgramRun run = RunProgram(dir, {"-e", model, "-b", "3000", "-p", "5", "-g", "1200", "-r", "99", "sim.txt"});
  EXPECT_EQ(run.Status, 0);
  std::vector<std::string> rows = Lines(ReadFile(dir + "/sim.txt_" + model + ".TER"));
  std::vector<std::vector<std::string>> p(5);
  for (int i = 1; i <= 4; ++i) {
    std::vector<std::string> lines = Lines(ReadFile(dir + "/sim.txt_N" + std::to_string(i) + ".pvalue"));
    p[i] = lines;
  }
  Recovery r;
  const int n = 4;
  for (size_t g = 0; g < truth.size(); ++g) {
    std::vector<std::string> c = Cells(rows[13 + g]);
    EXPECT_EQ(c[0], truth[g].UniqueId);
    if (c.size() != 6 * n + 6) {
      ADD_FAILURE() << "short row for " << c[0];
      continue;
    }
    ++r.Rows;
    r.Acceptable += c[6 * n + 4] == "True";
    int ref = 0;
    for (int i = 0; i < n; ++i)
      if (c[2 + i] == "1.00000") ref = i;
    for (int i = 0; i < n; ++i) {
      if (i == ref) continue;
      double est = std::stod(c[2 + i]), below = std::stod(c[2 + n + i]), above = std::stod(c[2 + 2 * n + i]);
      double relative = truth[g].TrueMu[i] / truth[g].TrueMu[ref];
      ++r.Intervals;
      r.Covered += est - below <= relative && relative <= est + above;
      r.WorstLogError = std::max(r.WorstLogError, std::fabs(std::log(est / relative)));
    }
    for (int i = 0; i < n; ++i) {
      std::vector<std::string> pc = Cells(p[i + 1][1 + g]);
      int col = 2;
      for (int j = 0; j < n; ++j) {
        if (j == i) continue;
        if (truth[g].TrueMu[i] > 2.5 * truth[g].TrueMu[j]) {
          ++r.WidePairs;
          r.Confident += std::stod(pc[col]) > 0.95;
        }
        ++col;
      }
    }
  }
  return r;
}

}  // namespace

// The result file's intervals are those of Mu relative to the reference node's median, a point
// estimate, so they cover the true relative Mu somewhat below the nominal rate; the calibration of
// the chain itself is checked on the samples below.
TEST(Recovery, ResultFilesRecoverTheTruth) {
  for (auto [model, seed] : {std::pair{"AC", 5u}, std::pair{"MC", 6u}}) {
    Recovery r = RunRecovery(model, 0.1, seed);
    ASSERT_EQ(r.Rows, 40) << model;
    EXPECT_GE(r.Covered, 0.65 * r.Intervals) << model << ": " << r.Covered << " of " << r.Intervals;
    EXPECT_LT(r.WorstLogError, 0.35) << model;
    EXPECT_GE(r.Confident, r.WidePairs - 1) << model;
    EXPECT_GT(r.WidePairs, 20) << model;
    EXPECT_GE(r.Acceptable, 36) << model;
  }
}

namespace {

// Reads a simulated file through the program's own header and row routines and samples every gene;
// returns how many 95% chain intervals of ln(Mu[i] / Mu[j]) hold the true value, and how many there are.
std::pair<int, int> ChainCoverage(const std::string& model, double error, uint32_t seed, int genes) {
  SimulationOptions o;
  o.Design = "loop", o.Nodes = 4, o.Replicates = 2, o.Genes = genes, o.Model = model, o.ErrorTerm = error, o.Seed = seed;
  std::ostringstream file;
  std::vector<SimulatedGene> truth = SimulateFile(o, file);
  RunState run;
  run.InteractiveFlag = false;
  run.Con.Buffered = true;
  run.Design.FileName = "sim.txt";
  run.Design.DatFile.Bytes = file.str();
  SetGlobals(run.Settings);
  run.Settings.ErrorModel = model;
  run.Settings.ErrorModelNum = model == "AC" ? 2 : 4;
  run.Settings.BurnIn = 3000, run.Settings.SamplingPeriod = 5, run.Settings.ChainSampleSize = 2000;
  VerifyFileHeader(run);
  GeneWork& w = run.Work;
  w.Con.Buffered = true;
  SeedRandom(w.Random, seed);
  PrepareGene(w.Gene, 4, run.Design.NumHybs);
  PrepareChains(w, 4, run.Settings.ChainSampleSize, true);
  w.Steps = {0.5, 0.5, 0, 0, 0};
  w.Out.PValueRows.assign(5, "");
  int covered = 0, intervals = 0;
  const int s = run.Settings.ChainSampleSize;
  std::vector<double> logRatio(s);
  for (int g = 0; g < genes; ++g) {
    LoadGeneDataIntoMatrix(run, w);
    EXPECT_EQ(w.Gene.GeneUniqueID, truth[g].UniqueId);
    MCMCIt(run.Design, run.Settings, w);
    for (int i = 0; i < 4; ++i)
      for (int j = i + 1; j < 4; ++j) {
        for (int k = 0; k < s; ++k) logRatio[k] = std::log(w.Chains.MuFile[i * s + k] / w.Chains.MuFile[j * s + k]);
        std::sort(logRatio.begin(), logRatio.end());
        double t = std::log(truth[g].TrueMu[i] / truth[g].TrueMu[j]);
        ++intervals;
        covered += logRatio[s / 40 - 1] <= t && t <= logRatio[s - s / 40 - 1];
      }
    w.Out = GeneOutput{};
    w.Out.PValueRows.assign(5, "");
  }
  return {covered, intervals};
}

}  // namespace

TEST(Recovery, ChainIntervalsCoverAtTheNominalRate) {
  for (const char* model : {"AC", "MC"}) {
    auto [covered, intervals] = ChainCoverage(model, 0.1, 17, 60);
    double rate = static_cast<double>(covered) / intervals;
    EXPECT_GT(rate, 0.88) << model << ": " << covered << " of " << intervals;
    EXPECT_LT(rate, 0.995) << model << ": " << covered << " of " << intervals;
  }
}
