// The kernel of Exp, written once for any number of lanes: a plain double (one lane), two lanes
// (SSE2) or four (AVX2, where the including file has switched the target on). Every lane goes
// through the same IEEE operations in the same order, so all widths give the same bits.
//
// Internal linkage on purpose: a file compiled for AVX2 includes this after its target pragma and
// must not hand its copies to the linker in place of the plain ones.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace telvo {

extern const double ExpTable[128][2];  // 2^(j/128) = Hi + Lo, j = 0..127

using Lanes2 = double __attribute__((vector_size(16)));     // two doubles
using Lanes2U = uint64_t __attribute__((vector_size(16)));  // their bits
using Lanes4 = double __attribute__((vector_size(32)));     // four doubles
using Lanes4U = uint64_t __attribute__((vector_size(32)));  // their bits

namespace {

constexpr double InvLn2N = 0x1.71547652b82fep+7;  // 128 / ln 2
constexpr double Ln2NHi = 0x1.62e42fef80000p-8;   // ln 2 / 128, trailing bits zero: k * Ln2NHi is exact
constexpr double Ln2NLo = 0x1.1cf79abc9e3b4p-43;  // the rest of ln 2 / 128
constexpr double Shifter = 0x1.8p52;              // adding it rounds to an integer held in the low bits
constexpr double C3 = 1.0 / 6, C4 = 1.0 / 24, C5 = 1.0 / 120;
constexpr double BatchLow = -708.4, BatchHigh = 709.0;  // batch arguments are clamped here

// The unsigned integer lanes that hold the bits of V.
template <class V>
using BitsOf = std::conditional_t<std::is_same_v<V, double>, uint64_t,
                                  std::conditional_t<std::is_same_v<V, Lanes2>, Lanes2U, Lanes4U>>;

template <class V>
constexpr int LaneCount = sizeof(V) / sizeof(double);

template <class V>
inline BitsOf<V> ToBits(V x) {
  if constexpr (std::is_same_v<V, double>) {
    uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
  } else {
    return (BitsOf<V>)x;  // a vector cast keeps the bits
  }
}

template <class V>
inline V FromBits(BitsOf<V> b) {
  if constexpr (std::is_same_v<V, double>) {
    double x;
    std::memcpy(&x, &b, sizeof x);
    return x;
  } else {
    return (V)b;
  }
}

// Lane i of V is f(i).
template <class V, class F>
inline V Build(F f) {
  if constexpr (std::is_same_v<V, double>) {
    return f(0);
  } else {
    V v;
    for (int i = 0; i < LaneCount<V>; ++i) v[i] = f(i);
    return v;
  }
}

template <class V>
inline V Sqrt(V x) {
  if constexpr (std::is_same_v<V, double>)
    return std::sqrt(x);
  else if constexpr (std::is_same_v<V, Lanes2>)
    return _mm_sqrt_pd(x);
  else
    return _mm256_sqrt_pd(x);
}

// x > low ? x : low, as the scalar comparison does it: NaN becomes low.
template <class V>
inline V AtLeast(V x, double low) {
  if constexpr (std::is_same_v<V, double>)
    return x > low ? x : low;
  else if constexpr (std::is_same_v<V, Lanes2>)
    return _mm_max_pd(x, _mm_set1_pd(low));
  else
    return _mm256_max_pd(x, _mm256_set1_pd(low));
}

template <class V>
inline V AtMost(V x, double high) {
  if constexpr (std::is_same_v<V, double>)
    return x < high ? x : high;
  else if constexpr (std::is_same_v<V, Lanes2>)
    return _mm_min_pd(x, _mm_set1_pd(high));
  else
    return _mm256_min_pd(x, _mm256_set1_pd(high));
}

// The table entries of the lanes: each (Hi, Lo) pair is one 16-byte load, then the pairs are
// transposed, which costs less than two gathers.
template <class V>
inline void TableEntries(BitsOf<V> j, V& hi, V& lo) {
  if constexpr (std::is_same_v<V, double>) {
    hi = ExpTable[j][0];
    lo = ExpTable[j][1];
  } else if constexpr (std::is_same_v<V, Lanes2>) {
    Lanes2 p0 = _mm_loadu_pd(ExpTable[j[0]]), p1 = _mm_loadu_pd(ExpTable[j[1]]);
    hi = _mm_unpacklo_pd(p0, p1);
    lo = _mm_unpackhi_pd(p0, p1);
  } else {
    __m256d a = _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_loadu_pd(ExpTable[j[0]])),
                                     _mm_loadu_pd(ExpTable[j[2]]), 1);
    __m256d b = _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_loadu_pd(ExpTable[j[1]])),
                                     _mm_loadu_pd(ExpTable[j[3]]), 1);
    hi = _mm256_unpacklo_pd(a, b);
    lo = _mm256_unpackhi_pd(a, b);
  }
}

// exp(x) = t * 2^e with t in [1, 2), for |x| < 746; e comes back in two's complement.
// x = k ln2/128 + r, exp(x) = 2^(k/128) (1 + p(r)).
template <class V>
inline V ExpParts(V x, BitsOf<V>& e) {
  using U = BitsOf<V>;
  V kd = x * InvLn2N + Shifter;
  U k = ToBits(kd) - ToBits(Shifter);
  kd -= Shifter;
  V r = (x - kd * Ln2NHi) - kd * Ln2NLo;
  V r2 = r * r;
  V p = r + r2 * (0.5 + r * (C3 + r * (C4 + r * C5)));
  V hi, lo;
  TableEntries<V>(k & uint64_t{127}, hi, lo);
  // e = k >> 7, arithmetic: k is at least -137,800 here, so adding 2^27 first keeps the shift logical.
  e = ((k + (uint64_t{1} << 27)) >> 7) - (uint64_t{1} << 20);
  return hi + (hi * p + lo);
}

// 2^e for e in -1022..1023 (two's complement lanes).
template <class V>
inline V PowerOfTwo(BitsOf<V> e) {
  return FromBits<V>((e + uint64_t{1023}) << 52);
}

// Exp with x clamped to [BatchLow, BatchHigh], lane by lane.
template <class V>
inline V ExpClamped(V x) {
  x = AtMost(AtLeast(x, BatchLow), BatchHigh);
  BitsOf<V> e;
  V t = ExpParts(x, e);
  return t * PowerOfTwo<V>(e);
}

// ExpClamped as a callable.
struct ClampedExp {
  template <class V>
  V operator()(V x) const {
    return ExpClamped(x);
  }
};

}  // namespace

}  // namespace telvo
