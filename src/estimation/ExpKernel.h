// The kernel of Exp that the scalar form, the batch form and the fused likelihood loop share, so that
// all of them give the same bits.
#pragma once

#include <cstdint>

extern const double ExpTable[128][2];  // 2^(j/128) = Hi + Lo, j = 0..127

constexpr double InvLn2N = 0x1.71547652b82fep+7;  // 128 / ln 2
constexpr double Ln2NHi = 0x1.62e42fef80000p-8;   // ln 2 / 128, trailing bits zero: k * Ln2NHi is exact
constexpr double Ln2NLo = 0x1.1cf79abc9e3b4p-43;  // the rest of ln 2 / 128
constexpr double Shifter = 0x1.8p52;              // adding it rounds to an integer held in the low bits
constexpr double C3 = 1.0 / 6, C4 = 1.0 / 24, C5 = 1.0 / 120;
constexpr double BatchLow = -708.4, BatchHigh = 709.0;  // batch arguments are clamped here

#if defined(__x86_64__)
#include <immintrin.h>

// ExpForBatch of four lanes with AVX2: the same operations as the scalar form.
__attribute__((target("avx2"))) inline __m256d Exp4(__m256d v) {
  const __m256d shifter = _mm256_set1_pd(Shifter);
  v = _mm256_min_pd(_mm256_max_pd(v, _mm256_set1_pd(BatchLow)), _mm256_set1_pd(BatchHigh));
  __m256d kd = _mm256_add_pd(_mm256_mul_pd(v, _mm256_set1_pd(InvLn2N)), shifter);
  __m256i k = _mm256_sub_epi64(_mm256_castpd_si256(kd), _mm256_castpd_si256(shifter));
  kd = _mm256_sub_pd(kd, shifter);
  __m256d r = _mm256_sub_pd(_mm256_sub_pd(v, _mm256_mul_pd(kd, _mm256_set1_pd(Ln2NHi))),
                            _mm256_mul_pd(kd, _mm256_set1_pd(Ln2NLo)));
  __m256d r2 = _mm256_mul_pd(r, r);
  __m256d q = _mm256_add_pd(_mm256_set1_pd(C4), _mm256_mul_pd(r, _mm256_set1_pd(C5)));
  q = _mm256_add_pd(_mm256_set1_pd(C3), _mm256_mul_pd(r, q));
  q = _mm256_add_pd(_mm256_set1_pd(0.5), _mm256_mul_pd(r, q));
  __m256d p = _mm256_add_pd(r, _mm256_mul_pd(r2, q));
  __m256i j = _mm256_slli_epi64(_mm256_and_si256(k, _mm256_set1_epi64x(127)), 1);
  __m256d hi = _mm256_i64gather_pd(&ExpTable[0][0], j, 8);
  __m256d lo = _mm256_i64gather_pd(&ExpTable[0][1], j, 8);
  __m256d t = _mm256_add_pd(hi, _mm256_add_pd(_mm256_mul_pd(hi, p), lo));
  // e = k >> 7, arithmetic: k is at least -90,700 here, so adding 2^27 first keeps the shift logical.
  __m256i e = _mm256_sub_epi64(_mm256_srli_epi64(_mm256_add_epi64(k, _mm256_set1_epi64x(int64_t{1} << 27)), 7),
                               _mm256_set1_epi64x(int64_t{1} << 20));
  __m256i scale = _mm256_slli_epi64(_mm256_add_epi64(e, _mm256_set1_epi64x(1023)), 52);
  return _mm256_mul_pd(t, _mm256_castsi256_pd(scale));
}
#endif
