// Adaptive shrinkage of a whole file: the priors of 6 node pairs from 20,000 genes each, then every
// contrast's posterior and each pair's q-values. Must stay under one second.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "estimation/Estimation.h"

static void BM_ShrinkPairs(benchmark::State& state) {
  const int pairs = 6, genes = 20000;
  std::mt19937 engine(17);
  std::uniform_real_distribution<double> uniform(0, 1), sd(0.1, 0.5);
  std::normal_distribution<double> normal;
  std::vector<std::vector<double>> b(pairs), s(pairs);
  for (int p = 0; p < pairs; ++p)
    for (int i = 0; i < genes; ++i) {
      double beta = uniform(engine) < 0.2 + 0.1 * p ? 0 : normal(engine);  // pi0 0.2 to 0.7
      s[p].push_back(sd(engine));
      b[p].push_back(beta + s[p].back() * normal(engine));
    }
  std::vector<telvo::ShrunkEffect> effect(genes);
  std::vector<double> lfdr(genes), q(genes);
  std::vector<telvo::UnimodalPrior> priors;
  for (auto _ : state) {
    priors = telvo::FitPairPriors(b, s);
    for (int p = 0; p < pairs; ++p) {
      for (int i = 0; i < genes; ++i) {
        effect[i] = telvo::ShrinkEffect(priors[p], b[p][i], s[p][i]);
        lfdr[i] = effect[i].Lfdr;
      }
      telvo::RunningMeans(lfdr.data(), lfdr.data(), genes, q.data());
      benchmark::DoNotOptimize(q.data());
    }
  }
  std::string label = "pi0";
  for (const auto& g : priors) label += " " + std::to_string(g.Weight[0]).substr(0, 5);
  state.SetLabel(label);
}
BENCHMARK(BM_ShrinkPairs)->Unit(benchmark::kMillisecond);
