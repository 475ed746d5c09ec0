// Cost of one density, per error model: the plain scalar formula with the C library's exp and log,
// our scalar path, and the batched path the sampler uses (a likelihood evaluation divided by its
// observations).
#include <benchmark/benchmark.h>

#include <cmath>

#include "BenchDesigns.h"
#include "estimation/EstimationInternal.h"

namespace {

constexpr double TwoPi = 6.283185307179586476925286766559;

// The product of densities as first written: the library's exp and log, one density at a time.
double LibraryProduct(const CurrentGene& gene, int model, const NodeReals& mu, const NodeReals& t) {
  double l = 1.0;
  for (const Observation& o : gene.Observations) {
    int i = o.Exp, j = o.Ref;
    double vx = model % 2 == 0 ? mu[i] * mu[i] * t[i] * t[i] : t[i];
    double vy = model % 2 == 0 ? mu[j] * mu[j] * t[j] * t[j] : t[j];
    double d;
    if (model <= 2) {
      double tt = o.Ratio * o.Ratio * vy + vx, dd = mu[i] - o.Ratio * mu[j];
      d = std::exp(-(dd * dd) / (2 * tt)) * (o.Ratio * mu[i] * vy + vx * mu[j]) / std::sqrt(TwoPi * (tt * tt * tt));
    } else {
      double s = vy + vx, z = std::log(o.Ratio) - (std::log(mu[i]) - std::log(mu[j]));
      d = std::exp(-(z * z) / (2 * s)) / (o.Ratio * std::sqrt(TwoPi * s));
    }
    l = d * l;
  }
  return l;
}

template <typename Evaluate>
void DensityLoop(benchmark::State& state, Evaluate evaluate) {
  BenchGene g;
  int model = static_cast<int>(state.range(0));
  MakeBenchGene(g, "loop", 4, 2, model, 7);
  NodeReals mu{}, t{};
  for (int n = 1; n <= 4; ++n) mu[n] = 0.8 + 0.1 * n, t[n] = model % 2 ? 0.05 : 0.2;
  size_t densities = g.Work.Gene.Observations.size();
  for (auto _ : state) {
    mu[1] += 1e-12;  // a new state every time, as in the sampler
    benchmark::DoNotOptimize(evaluate(g.Work.Gene, model, mu, t));
  }
  state.counters["ns_per_density"] = benchmark::Counter(static_cast<double>(state.iterations() * densities),
                                                        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.SetLabel(std::string("model ") + "AVACMVMC"[2 * model - 2] + "AVACMVMC"[2 * model - 1]);
}

}  // namespace

static void BM_DensityLibrary(benchmark::State& state) {
  DensityLoop(state, [](const CurrentGene& g, int model, const NodeReals& mu, const NodeReals& t) {
    return LibraryProduct(g, model, mu, t);
  });
}
BENCHMARK(BM_DensityLibrary)->DenseRange(1, 4);

static void BM_DensityScalar(benchmark::State& state) {
  DensityLoop(state, [](const CurrentGene& g, int model, const NodeReals& mu, const NodeReals& t) {
    return StateLikelihoodScalar(g, model, 4, mu, t);
  });
}
BENCHMARK(BM_DensityScalar)->DenseRange(1, 4);

static void BM_DensityBatched(benchmark::State& state) {
  DensityLoop(state, [](const CurrentGene& g, int model, const NodeReals& mu, const NodeReals& t) {
    return StateLikelihood(g, model, 4, mu, t);
  });
}
BENCHMARK(BM_DensityBatched)->DenseRange(1, 4);
