// The two ratio densities of the batched likelihood, written once for any number of lanes (see
// ExpKernel.h): each lane is one observation, and every width gives the bits of the one-lane form.
#pragma once

#include "estimation/EstimationInternal.h"
#include "estimation/ExpKernel.h"

namespace telvo {

namespace {

constexpr double TwoPi = 6.283185307179586476925286766559;

template <class V>
inline V Splat(double x) {
  return V{} + x;
}

// The ratio density of each lane, with `exp` for the exponential; a: its argument. Normal ratio
// (AV, AC): rr = r * r; log-normal ratio (MV, MC): lr, lmx, lmy are ln r, ln mx, ln my.
template <bool Additive, class V, class ExpFn>
inline V RatioDensity(V r, V rr, V lr, V mx, V vx, V my, V vy, V lmx, V lmy, V& a, ExpFn exp) {
  if constexpr (Additive) {
    V tt = rr * vy + vx;
    V d = mx - r * my;
    a = -(d * d) / (2.0 * tt);
    return exp(a) * (r * mx * vy + vx * my) / Sqrt(TwoPi * (tt * tt * tt));
  } else {
    V s = vy + vx;
    V z = lr - (lmx - lmy);
    a = -(z * z) / (2.0 * s);
    return exp(a) / (r * Sqrt(TwoPi * s));
  }
}

// Density of the observations o[0 .. lanes-1] of a state.
template <class V, bool Additive>
inline V DensityLanes(const Observation* o, const NodeReals& mu, const NodeTerms& nt, V& a) {
  auto lanes = [&](auto value) { return Build<V>([&](int i) { return value(o[i]); }); };
  V r = lanes([](const Observation& x) { return x.Ratio; });
  V vx = lanes([&](const Observation& x) { return nt.Variance[x.Exp]; });
  V vy = lanes([&](const Observation& x) { return nt.Variance[x.Ref]; });
  if constexpr (Additive) {
    V mx = lanes([&](const Observation& x) { return mu[x.Exp]; });
    V my = lanes([&](const Observation& x) { return mu[x.Ref]; });
    V rr = lanes([](const Observation& x) { return x.RatioSq; });
    return RatioDensity<true>(r, rr, V{}, mx, vx, my, vy, V{}, V{}, a, ClampedExp{});
  } else {
    V lr = lanes([](const Observation& x) { return x.LogRatio; });
    V lmx = lanes([&](const Observation& x) { return nt.LogMu[x.Exp]; });
    V lmy = lanes([&](const Observation& x) { return nt.LogMu[x.Ref]; });
    return RatioDensity<false>(r, V{}, lr, V{}, vx, V{}, vy, lmx, lmy, a, ClampedExp{});
  }
}

// True when the density can join the product as it is: its exponential is a normal double and it
// lies in the band where a multiply cannot leave the normal range (see Likelihood.cpp).
template <class V>
inline auto FastLanes(V a, V d) {
  return (a >= Splat<V>(ExpNormalBound)) & (d >= Splat<V>(FastLow)) & (d <= Splat<V>(FastHigh));
}

// Densities of observations k, k + 1, ... in groups of the lanes of V while a whole group fits;
// clears inBand when one of them is outside the fast band. Returns the first observation left.
template <class V, bool Additive>
inline int DensityGroups(const std::vector<Observation>& observations, int k, const NodeReals& mu, const NodeTerms& nt,
                         double* density, bool& inBand) {
  constexpr int W = LaneCount<V>;
  const int count = static_cast<int>(observations.size());
  const Observation* o = observations.data();
  auto fast = FastLanes<V>(V{}, Splat<V>(1.0));  // all lanes set
  for (; k + W <= count; k += W) {
    V a;
    V d = DensityLanes<V, Additive>(o + k, mu, nt, a);
    std::memcpy(density + k, &d, sizeof d);
    fast &= FastLanes(a, d);
  }
  if constexpr (W == 1) {
    inBand = inBand && fast;
  } else {
    for (int i = 0; i < W; ++i) inBand = inBand && fast[i] != 0;
  }
  return k;
}

template <class V>
inline int DensitiesOf(const std::vector<Observation>& observations, int k, const NodeReals& mu, const NodeTerms& nt,
                       double* density, bool& inBand) {
  return nt.Additive ? DensityGroups<V, true>(observations, k, mu, nt, density, inBand)
                     : DensityGroups<V, false>(observations, k, mu, nt, density, inBand);
}

}  // namespace

}  // namespace telvo
