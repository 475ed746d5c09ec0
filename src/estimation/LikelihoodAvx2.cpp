// The four-lane instances of the Exp and density kernels and the P(i > j) count, compiled for AVX2; the rest of the
// program stays plain x86-64 and calls these only where the CPU has AVX2.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "estimation/EstimationInternal.h"

#if defined(__x86_64__)
#include <immintrin.h>

#pragma GCC push_options
#pragma GCC target("avx2")
#include "estimation/DensityKernel.h"

namespace telvo {

int DensitiesAvx2(const std::vector<Observation>& observations, const NodeReals& mu, const NodeTerms& nt,
                  double* density, bool& inBand) {
  return DensitiesOf<Lanes4>(observations, 0, mu, nt, density, inBand);
}

int ExpBatchAvx2(const double* x, double* y, int count) {
  int i = 0;
  for (; i + 4 <= count; i += 4) _mm256_storeu_pd(y + i, ExpClamped<Lanes4>(_mm256_loadu_pd(x + i)));
  return i;
}
void CountGreaterAvx2(const double* mu, int n, int* counts) {
  for (int a = 0; a < n; ++a) {
    int* row = counts + static_cast<size_t>(a) * n;
    const __m256d mine = _mm256_set1_pd(mu[a]);
    int b = 0;
    for (; b + 8 <= n; b += 8) {
      __m256 low = _mm256_castpd_ps(_mm256_cmp_pd(mine, _mm256_loadu_pd(mu + b), _CMP_GT_OQ));
      __m256 high = _mm256_castpd_ps(_mm256_cmp_pd(mine, _mm256_loadu_pd(mu + b + 4), _CMP_GT_OQ));
      // One 32-bit lane of each 64-bit mask, back in node order; a set mask is -1.
      __m256i mask = _mm256_permute4x64_epi64(_mm256_castps_si256(_mm256_shuffle_ps(low, high, 0xdd)), 0xd8);
      __m256i* slot = reinterpret_cast<__m256i*>(row + b);
      _mm256_storeu_si256(slot, _mm256_sub_epi32(_mm256_loadu_si256(slot), mask));
    }
    for (; b < n; ++b) row[b] += mu[a] > mu[b];
  }
}
}  // namespace telvo
#pragma GCC pop_options
#endif
