// The four-lane instances of the Exp and density kernels, compiled for AVX2; the rest of the
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

int DensitiesAvx2(const CurrentGene& gene, const NodeReals& mu, const NodeTerms& nt, double* density, bool& inBand) {
  return DensitiesOf<Lanes4>(gene, 0, mu, nt, density, inBand);
}

int ExpBatchAvx2(const double* x, double* y, int count) {
  int i = 0;
  for (; i + 4 <= count; i += 4) _mm256_storeu_pd(y + i, ExpClamped<Lanes4>(_mm256_loadu_pd(x + i)));
  return i;
}
#pragma GCC pop_options
#endif
