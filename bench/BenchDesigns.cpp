#include "BenchDesigns.h"

#include <cmath>
#include <cstring>
#include <random>

#include "estimation/Estimation.h"
#include "input/Input.h"
#include "settings/Settings.h"

using namespace telvo;

void MakeBenchGene(BenchGene& g, const char* design, int nodes, int replicates, int model, unsigned seed) {
  InputDesign& d = g.Design;
  d.NumExpressionNodes = nodes;
  d.NumHybs = 0;
  for (int i = 1; i <= nodes; ++i) d.ExpressionNodeNameList[i] = "N" + std::to_string(i);
  auto add = [&](int e, int r) {
    for (int k = 0; k < replicates; ++k) d.HybList[++d.NumHybs] = {"", e, "", r};
  };
  if (std::strcmp(design, "loop") == 0) {
    for (int i = 1; i <= nodes; ++i) add(i, i % nodes + 1), add(i % nodes + 1, i);
  } else {
    for (int i = 2; i <= nodes; ++i) add(i, 1), add(1, i);
  }
  SetGlobals(g.Settings);
  g.Settings.Model = static_cast<ErrorModel>(model);
  SeedRandom(g.Random, seed);
  PrepareGene(g.Gene, nodes);
  PrepareWorkspace(g.Work, nodes, g.Settings.ChainSampleSize, g.Settings.ConstrainedVCV);
  g.Steps = {0.5, 0.5, 0, 0, 0};
  std::mt19937 gen(seed);
  std::normal_distribution<double> noise(0.0, 0.15);
  std::vector<double> mu(nodes + 1);
  for (int i = 1; i <= nodes; ++i) mu[i] = std::exp(noise(gen) * 4);
  for (int h = 1; h <= d.NumHybs; ++h) {
    const HybRecord& hyb = d.HybList[h];
    int& count = PairCount(g.Gene, hyb.ExpNode, hyb.RefNode);
    g.Gene.HybArr[HybSlot(g.Gene, hyb.ExpNode, hyb.RefNode, ++count)] =
        mu[hyb.ExpNode] / mu[hyb.RefNode] * std::exp(noise(gen));
  }
  g.Gene.IrreducibleMatrix = g.Gene.EnoughData = true;
  CollectObservations(g.Gene, g.Work.Observations);
}
