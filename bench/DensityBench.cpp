// Cost of one density, per error model: the plain scalar formula with the C library's exp and log,
// our scalar path, and the batched path the sampler uses (a likelihood evaluation divided by its
// observations).
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "BenchDesigns.h"
#include "estimation/EstimationInternal.h"

using namespace telvo;

namespace {

constexpr double TwoPi = 6.283185307179586476925286766559;

// The product of densities as first written: the library's exp and log, one density at a time.
double LibraryProduct(const std::vector<Observation>& observations, int model, const NodeReals& mu,
                      const NodeReals& t) {
  double l = 1.0;
  for (const Observation& o : observations) {
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
  size_t densities = g.Work.Observations.size();
  for (auto _ : state) {
    mu[1] += 1e-12;  // a new state every time, as in the sampler
    benchmark::DoNotOptimize(evaluate(g.Work.Observations, model, mu, t));
  }
  state.counters["ns_per_density"] = benchmark::Counter(static_cast<double>(state.iterations() * densities),
                                                        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.SetLabel(std::string("model ") + "AVACMVMC"[2 * model - 2] + "AVACMVMC"[2 * model - 1]);
}

}  // namespace

static void BM_DensityLibrary(benchmark::State& state) {
  DensityLoop(state, [](const std::vector<Observation>& g, int model, const NodeReals& mu, const NodeReals& t) {
    return LibraryProduct(g, model, mu, t);
  });
}
BENCHMARK(BM_DensityLibrary)->DenseRange(1, 4);

static void BM_DensityScalar(benchmark::State& state) {
  DensityLoop(state, [](const std::vector<Observation>& g, int model, const NodeReals& mu, const NodeReals& t) {
    return StateLikelihoodScalar(g, static_cast<ErrorModel>(model), 4, mu, t);
  });
}
BENCHMARK(BM_DensityScalar)->DenseRange(1, 4);

static void BM_DensityBatched(benchmark::State& state) {
  DensityLoop(state, [](const std::vector<Observation>& g, int model, const NodeReals& mu, const NodeReals& t) {
    return StateLikelihood(g, static_cast<ErrorModel>(model), 4, mu, t);
  });
}
BENCHMARK(BM_DensityBatched)->DenseRange(1, 4);

// The floor a density cannot go below: one exp, one square root and two divisions per density on
// contiguous inputs, four lanes with AVX2 as the batched path runs them, for the 16 densities of the
// 4-node loop and the 200 of the 100-node loop.
#if defined(__x86_64__)
#include <immintrin.h>
#pragma GCC push_options
#pragma GCC target("avx2")
#include "estimation/ExpKernel.h"

static void FloorLoop(const double* a, const double* s, const double* r, double* d, int count) {
  for (int k = 0; k + 4 <= count; k += 4) {
    Lanes4 e = ExpClamped<Lanes4>(_mm256_loadu_pd(a + k));
    _mm256_storeu_pd(d + k, e / _mm256_sqrt_pd(_mm256_loadu_pd(s + k)) / _mm256_loadu_pd(r + k));
  }
}
#pragma GCC pop_options

static void BM_DensityFloor(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  std::vector<double> a(count), s(count), r(count), d(count);
  if (!HasAvx2()) state.SkipWithError("no AVX2 on this CPU");
  for (int k = 0; k < count; ++k) a[k] = -0.3 - 0.01 * k, s[k] = 0.5 + 0.01 * k, r[k] = 0.9 + 0.02 * k;
  for (auto _ : state) {
    a[0] -= 1e-12;
    FloorLoop(a.data(), s.data(), r.data(), d.data(), count);
    benchmark::DoNotOptimize(d.data());
    benchmark::ClobberMemory();
  }
  state.counters["ns_per_density"] = benchmark::Counter(static_cast<double>(state.iterations() * count),
                                                        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_DensityFloor)->Arg(16)->Arg(200);
#endif
