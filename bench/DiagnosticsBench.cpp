// ESS and split R-hat as a gene pays for them: every node's chain of one default pass (10,000 samples),
// on the genes of BM_TuningPass; and one chain of a slowly mixing AR(1), the FFT road.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "BenchDesigns.h"
#include "estimation/Estimation.h"

using namespace telvo;

static void BM_GeneDiagnostics(benchmark::State& state) {
  BenchGene g;
  if (state.range(0) == 0) MakeBenchGene(g, "loop", 4, 2, 2, 3);
  if (state.range(0) == 1) MakeBenchGene(g, "reference", 20, 1, 2, 3);
  if (state.range(0) == 2) MakeBenchGene(g, "loop", 100, 1, 2, 3);
  RunTuningPass(g.Settings, g.Design.NumExpressionNodes, g.Steps, g.Random, g.Work, SamplerSink{});
  const SamplerWorkspace& c = g.Work;
  const int n = g.Design.NumExpressionNodes, count = g.Work.Pass.SampleNo;
  double smallest = INFINITY;
  for (auto _ : state)
    for (int i = 1; i <= n; ++i) {
      const double* chain = &c.MuFile[static_cast<size_t>(i - 1) * c.Capacity];
      double ess = EffectiveSampleSize(chain, count);
      benchmark::DoNotOptimize(SplitRhat(chain, count));
      smallest = std::min(smallest, ess);
    }
  state.SetLabel(std::to_string(n) + " nodes, smallest ESS " + std::to_string(static_cast<int>(smallest)));
}
BENCHMARK(BM_GeneDiagnostics)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

static void BM_SlowChainDiagnostics(benchmark::State& state) {
  const int count = 10000;
  std::mt19937 engine(7);
  std::normal_distribution<double> normal;
  std::vector<double> chain(count);
  chain[0] = normal(engine);
  for (int t = 1; t < count; ++t) chain[t] = 0.99 * chain[t - 1] + normal(engine);
  for (auto _ : state) {
    benchmark::DoNotOptimize(EffectiveSampleSize(chain.data(), count));
    benchmark::DoNotOptimize(SplitRhat(chain.data(), count));
  }
  state.SetLabel("one chain, AR(1) phi 0.99");
}
BENCHMARK(BM_SlowChainDiagnostics)->Unit(benchmark::kMicrosecond);
