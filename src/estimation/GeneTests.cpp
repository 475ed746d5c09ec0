// The test of "does any node differ?" across genes: a Wald statistic against chi-square, and the
// Benjamini-Hochberg adjustment of the p-values.
#include <algorithm>
#include <cmath>
#include <vector>

#include "estimation/Estimation.h"

namespace telvo {

double WaldStatistic(const double* mean, const double* cov, int k) {
  // Cholesky factor L of cov (row-major, k x k), then W = |L^-1 m|^2 by forward substitution.
  std::vector<double> l(static_cast<size_t>(k) * k, 0.0), z(k);
  for (int i = 0; i < k; ++i)
    for (int j = 0; j <= i; ++j) {
      double sum = cov[i * k + j];
      for (int m = 0; m < j; ++m) sum -= l[i * k + m] * l[j * k + m];
      if (i == j) {
        if (!(sum > 0)) return NAN;  // not positive definite: the posterior does not tell these apart
        l[i * k + i] = std::sqrt(sum);
      } else {
        l[i * k + j] = sum / l[j * k + j];
      }
    }
  double w = 0;
  for (int i = 0; i < k; ++i) {
    double sum = mean[i];
    for (int m = 0; m < i; ++m) sum -= l[i * k + m] * z[m];
    z[i] = sum / l[i * k + i];
    w += z[i] * z[i];
  }
  return w;
}

// Q(df / 2, x / 2), the regularised upper incomplete gamma function at half-integer and integer
// arguments: from Q(1/2, y) = erfc(sqrt y) or Q(1, y) = exp(-y), then Q(a + 1, y) = Q(a, y) +
// y^a exp(-y) / Gamma(a + 1) (Abramowitz and Stegun 6.5.21), the terms in logarithms.
double ChiSquareSurvival(double x, int df) {
  if (std::isnan(x) || df < 1) return NAN;
  if (x <= 0) return 1.0;
  const double y = x / 2;
  double a = df % 2 ? 0.5 : 1.0;
  double q = df % 2 ? std::erfc(std::sqrt(y)) : std::exp(-y);
  for (; a < df / 2.0; a += 1.0) q += std::exp(a * std::log(y) - y - std::lgamma(a + 1));
  return std::min(q, 1.0);
}

void BenjaminiHochberg(const double* p, size_t count, double* q) {
  std::vector<size_t> order;
  for (size_t i = 0; i < count; ++i) {
    q[i] = NAN;
    if (!std::isnan(p[i])) order.push_back(i);
  }
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return p[a] < p[b]; });
  const double m = static_cast<double>(order.size());
  double running = 1.0;  // the smallest m p / rank from the largest p down
  for (size_t r = order.size(); r-- > 0;) {
    running = std::min(running, p[order[r]] * m / static_cast<double>(r + 1));
    q[order[r]] = running;
  }
}

}  // namespace telvo
