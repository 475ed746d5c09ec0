// One tuning pass at the default settings, against the same number of likelihood evaluations alone.
#include <benchmark/benchmark.h>

#include "BenchDesigns.h"
#include "estimation/Estimation.h"

using namespace telvo;

namespace {

void Setup(BenchGene& g, int which) {
  if (which == 0) MakeBenchGene(g, "loop", 4, 2, 2, 3);        // 16 hybs
  if (which == 1) MakeBenchGene(g, "reference", 20, 1, 2, 3);  // 38 hybs
  if (which == 2) MakeBenchGene(g, "loop", 100, 1, 2, 3);      // 200 hybs
}

const char* Names[] = {"4-node loop, dye swaps, 16 hybs", "20-node reference, 38 hybs", "100-node loop, 200 hybs"};

}  // namespace

static void BM_TuningPass(benchmark::State& state) {
  BenchGene g;
  Setup(g, static_cast<int>(state.range(0)));
  for (auto _ : state) {
    RunTuningPass(g.Settings, g.Design.NumExpressionNodes, g.Steps, g.Random, g.Work, SamplerSink{});
    benchmark::DoNotOptimize(g.Work.Pass.SampleNo);
  }
  state.SetLabel(Names[state.range(0)]);
}
BENCHMARK(BM_TuningPass)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

// The evaluations a pass makes (at most one per step, 219,980 at the defaults), on states like the chain's.
static void BM_PassEvaluationsOnly(benchmark::State& state) {
  BenchGene g;
  Setup(g, static_cast<int>(state.range(0)));
  const RunSettings& s = g.Settings;
  int steps = s.BurnIn + (s.ChainSampleSize - 1) * s.SamplingPeriod;
  int n = g.Design.NumExpressionNodes;
  NodeReals mu{}, t{};
  for (int i = 1; i <= n; ++i) mu[i] = 1.0, t[i] = 0.2;
  for (auto _ : state) {
    for (int k = 0; k < steps; ++k) {
      mu[1 + k % n] += 1e-9;
      benchmark::DoNotOptimize(StateLikelihood(g.Work.Observations, s.Model, n, mu, t));
    }
  }
  state.SetLabel(Names[state.range(0)]);
}
BENCHMARK(BM_PassEvaluationsOnly)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
