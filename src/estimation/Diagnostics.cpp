// Chain diagnostics of a gene's last pass: effective sample size and split R-hat of one Mu chain.
#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <numbers>
#include <vector>

#include "estimation/Estimation.h"

namespace telvo {

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr int DirectLags = 24;  // autocovariances summed lag by lag before the FFT takes over

// The twiddles of a transform of up to size points, stage by stage so that each stage reads them in
// order: the stage that joins halves of h points holds exp(-i pi k / h), k < h, at entries h - 1 .. 2h - 2.
// Kept per thread for the last size: every gene of a run has the same chain length.
const std::complex<double>* Twiddles(size_t size) {
  thread_local std::vector<std::complex<double>> table;
  if (table.size() != size - 1) {
    table.resize(size - 1);
    for (size_t half = 1; half < size; half <<= 1)
      for (size_t k = 0; k < half; ++k) table[half - 1 + k] = std::polar(1.0, -std::numbers::pi * k / half);
  }
  return table.data();
}

std::complex<double> Times(std::complex<double> a, std::complex<double> b) {
  // Spelt out: std::complex multiplication checks for Inf and NaN on every call.
  return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}

// In-place radix-2 FFT of data[0..count), count a power of two, with the twiddles of Twiddles(size),
// size >= count. A short one of our own: Debian has no header-only FFT, and the binary takes no FFT
// library for one call.
void Fft(std::complex<double>* data, size_t count, const std::complex<double>* twiddle) {
  for (size_t i = 1, j = 0; i < count; ++i) {
    size_t bit = count >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(data[i], data[j]);
  }
  for (size_t half = 1; half < count; half <<= 1) {
    const std::complex<double>* w = twiddle + half - 1;
    for (size_t start = 0; start < count; start += 2 * half)
      for (size_t k = 0; k < half; ++k) {
        std::complex<double> a = data[start + k], b = Times(data[start + half + k], w[k]);
        data[start + k] = a + b;
        data[start + half + k] = a - b;
      }
  }
}

// The transform X[0..size/2] of a real sequence x[0..size) given packed as z[n] = x[2n] + i x[2n+1]
// (n < size/2), from one complex FFT of half the size; z needs size/2 + 1 entries.
void RealFft(std::complex<double>* z, size_t size) {
  const std::complex<double>* twiddle = Twiddles(size);
  const size_t half = size / 2;
  Fft(z, half, twiddle);
  // Even samples E_k = (Z_k + conj Z_(h-k)) / 2, odd O_k = (Z_k - conj Z_(h-k)) / 2i; with
  // W^k = exp(-2 pi i k / size), X_k = E_k + W^k O_k and X_(h-k) = conj(E_k - W^k O_k).
  const std::complex<double>* w = twiddle + half - 1;
  z[half] = z[0].real() - z[0].imag();
  z[0] = z[0].real() + z[0].imag();
  for (size_t k = 1; k <= half / 2; ++k) {
    std::complex<double> a = z[k], b = std::conj(z[half - k]);
    std::complex<double> e = 0.5 * (a + b), d = 0.5 * (a - b), o(d.imag(), -d.real());
    std::complex<double> wo = Times(w[k], o);
    z[k] = e + wo;
    z[half - k] = std::conj(e - wo);
  }
}

struct MeanVariance {
  double Mean;      // sample mean
  double Variance;  // unbiased sample variance (divides by count - 1)
};

MeanVariance MeanAndVariance(const double* x, int count) {
  double sum = 0.0;
  for (int i = 0; i < count; ++i) sum += x[i];
  double mean = sum / count, squares = 0.0;
  for (int i = 0; i < count; ++i) squares += (x[i] - mean) * (x[i] - mean);
  return {mean, squares / (count - 1)};
}

// Biased autocovariances (sums divided by count) of the chain around mean: lags first .. first + 7 summed
// directly, eight lags per sweep so that the sums run side by side.
void DirectAutocovariances(const double* x, int count, double mean, int first, double* acov) {
  double sum[8] = {};
  for (int i = 0; i + first + 7 < count; ++i) {
    double a = x[i] - mean;
    for (int k = 0; k < 8; ++k) sum[k] += a * (x[i + first + k] - mean);
  }
  for (int k = 0; k < 8; ++k)  // the last few products of the shorter lags
    for (int i = std::max(0, count - first - 7); i + first + k < count; ++i)
      sum[k] += (x[i] - mean) * (x[i + first + k] - mean);
  for (int k = 0; k < 8; ++k) acov[first + k] = sum[k] / count;
}

// The biased autocovariances of the chain from the power spectrum of the centred chain, zero-padded to
// size points (a power of two, at least count): the circular products leave lags up to size - count
// exact. The spectrum P is real and even, so its forward transform is size times the autocovariance.
// Returns acov_t in the real parts for t < exact; buffer holds it.
const std::complex<double>* FftAutocovariances(const double* x, int count, double mean, size_t size,
                                               std::vector<std::complex<double>>& buffer, size_t& exact) {
  const size_t half = size / 2;
  buffer.assign(2 * (half + 1), 0.0);  // the chain's transform, then the spectrum's
  std::complex<double>* chain = buffer.data();
  std::complex<double>* spectrum = chain + half + 1;
  for (int i = 0; i < count; i += 2) chain[i / 2] = {x[i] - mean, i + 1 < count ? x[i + 1] - mean : 0.0};
  RealFft(chain, size);
  auto power = [&](size_t k) { return std::norm(chain[k <= half ? k : size - k]); };
  for (size_t n = 0; n < half; ++n) spectrum[n] = {power(2 * n), power(2 * n + 1)};
  RealFft(spectrum, size);
  const double scale = 1.0 / (static_cast<double>(size) * count);
  exact = std::min(size - count, half) + 1;
  for (size_t t = 0; t < exact; ++t) spectrum[t] *= scale;
  return spectrum;
}

size_t PowerOfTwoAtLeast(size_t n) {
  size_t size = 4;
  while (size < n) size <<= 1;
  return size;
}

}  // namespace

double EffectiveSampleSize(const double* chain, int count) {
  if (count < 4) return NaN;
  MeanVariance mv = MeanAndVariance(chain, count);
  if (!std::isfinite(mv.Variance) || mv.Variance == 0.0) return NaN;

  // The first lags directly, which is all a well-mixing chain needs. Past them the FFT, first padded
  // to a quarter more than the chain (exact up to a lag far beyond what any usable chain reaches), and
  // only if the sum goes further, padded to twice the chain.
  double direct[DirectLags + 8];
  int known = 0;  // lags 0 .. known - 1 are in direct
  std::vector<std::complex<double>> buffer;
  const std::complex<double>* spectral = nullptr;
  size_t exact = 0;  // lags 0 .. exact - 1 are in spectral
  auto acov = [&](int t) {
    if (t >= DirectLags) {
      while (static_cast<size_t>(t) >= exact) {
        size_t size = PowerOfTwoAtLeast(static_cast<size_t>((exact == 0 ? 1.25 : 2.0) * count));
        spectral = FftAutocovariances(chain, count, mv.Mean, size, buffer, exact);
      }
      return spectral[t].real();
    }
    for (; known <= t; known += 8) DirectAutocovariances(chain, count, mv.Mean, known, direct);
    return direct[t];
  };

  // Stan's single-chain estimator: rho_t = 1 - (W - acov_t) / varPlus with W = acov_0 n / (n - 1) and
  // varPlus = acov_0; Geyer's initial positive sequence of pair sums P_k = rho_2k + rho_2k+1, cut before
  // the first non-positive pair, made monotone (each P_k no more than the one before);
  // tau = -1 + 2 sum P_k, plus rho_2k of the cut pair when positive, floored at 1 / log10(n); ESS = n / tau.
  const double w = mv.Variance, varPlus = acov(0);
  auto rho = [&](int t) { return 1.0 - (w - acov(t)) / varPlus; };
  double even = 1.0, odd = rho(1), sum = 0.0, monotone = INFINITY;
  for (int t = 1; t < count - 3 && even + odd > 0.0; t += 2) {
    monotone = std::min(monotone, even + odd);
    sum += monotone;
    even = rho(t + 1), odd = rho(t + 2);
  }
  double tau = -1.0 + 2.0 * sum + std::max(even, 0.0);
  return count / std::max(tau, 1.0 / std::log10(static_cast<double>(count)));
}

double SplitRhat(const double* chain, int count) {
  if (count < 4) return NaN;
  const int half = count / 2;  // an odd count drops the middle sample
  MeanVariance a = MeanAndVariance(chain, half), b = MeanAndVariance(chain + count - half, half);
  // Between-half variance B / n of the two half means, within-half variance W, then
  // R-hat = sqrt(((n - 1) / n W + B / n) / W).
  double between = (a.Mean - b.Mean) * (a.Mean - b.Mean) / 2.0, within = (a.Variance + b.Variance) / 2.0;
  if (!std::isfinite(between) || !std::isfinite(within)) return NaN;
  if (within == 0.0) return between == 0.0 ? NaN : std::numeric_limits<double>::infinity();
  return std::sqrt(((half - 1.0) / half * within + between) / within);
}

}  // namespace telvo
