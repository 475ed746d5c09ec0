// Cost of one density: a likelihood evaluation divided by its observations, per error model.
#include <benchmark/benchmark.h>

#include "BenchDesigns.h"
#include "estimation/Estimation.h"

static void BM_DensityPerModel(benchmark::State& state) {
  BenchGene g;
  int model = static_cast<int>(state.range(0));
  MakeBenchGene(g, "loop", 4, 2, model, 7);
  NodeReals mu{}, t{};
  for (int n = 1; n <= 4; ++n) mu[n] = 0.8 + 0.1 * n, t[n] = model % 2 ? 0.05 : 0.2;
  size_t densities = g.Work.Gene.Observations.size();
  for (auto _ : state) {
    mu[1] += 1e-12;  // a new state every time, as in the sampler
    benchmark::DoNotOptimize(StateLikelihood(g.Work.Gene, model, 4, mu, t));
  }
  state.SetItemsProcessed(state.iterations() * densities);
  state.counters["ns_per_density"] =
      benchmark::Counter(static_cast<double>(state.iterations() * densities), benchmark::Counter::kIsRate |
                                                                              benchmark::Counter::kInvert);
  state.SetLabel(std::string("model ") + "AVACMVMC"[2 * model - 2] + "AVACMVMC"[2 * model - 1]);
}
BENCHMARK(BM_DensityPerModel)->DenseRange(1, 4);
