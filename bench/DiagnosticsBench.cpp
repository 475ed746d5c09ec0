// ESS as a gene pays for it: every node's chain of one default pass (10,000 samples),
// on the genes of BM_TuningPass; and one chain of a slowly mixing AR(1), the FFT road. Then the same for
// the rank-normalised diagnostics and MCSEs, on every node's Mu chain and every
// contrast's chain of log2(Mu_a / Mu_b).
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
      smallest = std::min(smallest, ess);
    }
  state.SetLabel(std::to_string(n) + " nodes, smallest ESS " + std::to_string(static_cast<int>(smallest)));
}
BENCHMARK(BM_GeneDiagnostics)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

static std::vector<double> SlowChain(int count) {
  std::mt19937 engine(7);
  std::normal_distribution<double> normal;
  std::vector<double> chain(count);
  chain[0] = normal(engine);
  for (int t = 1; t < count; ++t) chain[t] = 0.99 * chain[t - 1] + normal(engine);
  return chain;
}

static void BM_SlowChainDiagnostics(benchmark::State& state) {
  const int count = 10000;
  std::vector<double> chain = SlowChain(count);
  for (auto _ : state) {
    benchmark::DoNotOptimize(EffectiveSampleSize(chain.data(), count));
  }
  state.SetLabel("one chain, AR(1) phi 0.99");
}
BENCHMARK(BM_SlowChainDiagnostics)->Unit(benchmark::kMicrosecond);

// Everything TELVO prints of a gene's chains: ChainDiagnostics of each node's Mu chain and each
// contrast's chain, and the MCSE of P(log2 ratio > 0) of each contrast. per_chain is the time of one chain.
static void BM_GeneConvergence(benchmark::State& state) {
  BenchGene g;
  if (state.range(0) == 0) MakeBenchGene(g, "loop", 4, 2, 2, 3);
  if (state.range(0) == 1) MakeBenchGene(g, "reference", 20, 1, 2, 3);
  RunTuningPass(g.Settings, g.Design.NumExpressionNodes, g.Steps, g.Random, g.Work, SamplerSink{});
  const SamplerWorkspace& c = g.Work;
  const int n = g.Design.NumExpressionNodes, count = g.Work.Pass.SampleNo;
  auto mu = [&](int i) { return &c.MuFile[static_cast<size_t>(i - 1) * c.Capacity]; };
  std::vector<std::vector<double>> contrasts;
  for (int a = 1; a <= n; ++a)
    for (int b = a + 1; b <= n; ++b) {
      std::vector<double>& d = contrasts.emplace_back(count);
      for (int s = 0; s < count; ++s) d[s] = std::log2(mu(a)[s] / mu(b)[s]);
    }
  telvo::ConvergenceScratch scratch;
  double smallest = INFINITY;
  for (auto _ : state) {
    for (int i = 1; i <= n; ++i) smallest = std::min(smallest, telvo::ChainDiagnostics(mu(i), count, scratch).EssBulk);
    for (const std::vector<double>& d : contrasts) {
      benchmark::DoNotOptimize(telvo::ChainDiagnostics(d.data(), count, scratch));
      benchmark::DoNotOptimize(telvo::McseShareAbove(d.data(), count, 0.0, scratch));
    }
  }
  const double chains = n + static_cast<double>(contrasts.size());
  state.counters["per_chain"] =
      benchmark::Counter(chains, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.SetLabel(std::to_string(n) + " nodes, " + std::to_string(contrasts.size()) + " contrasts, smallest bulk ESS " +
                 std::to_string(static_cast<int>(smallest)));
}
BENCHMARK(BM_GeneConvergence)->DenseRange(0, 1)->Unit(benchmark::kMicrosecond);

static void BM_SlowChainConvergence(benchmark::State& state) {
  const int count = 10000;
  std::vector<double> chain = SlowChain(count);
  telvo::ConvergenceScratch scratch;
  for (auto _ : state) benchmark::DoNotOptimize(telvo::ChainDiagnostics(chain.data(), count, scratch));
  state.SetLabel("one chain, AR(1) phi 0.99");
}
BENCHMARK(BM_SlowChainConvergence)->Unit(benchmark::kMicrosecond);
