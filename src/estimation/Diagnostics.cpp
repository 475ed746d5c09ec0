// Chain diagnostics of a gene's last pass: the single-chain effective sample size of one Mu chain, and
// the rank-normalised diagnostics and Monte-Carlo standard errors of a chain's two halves.
#include <algorithm>
#include <bit>
#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <numbers>
#include <utility>
#include <vector>

#include "estimation/Estimation.h"

namespace telvo {
namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr int DirectLags = 96;  // autocovariances summed lag by lag before the FFT takes over

// The twiddles of a transform of up to size points, stage by stage so that each stage reads them in
// order: the stage that joins halves of h points holds exp(-i pi k / h), k < h, at entries h - 1 .. 2h - 2.
// Kept per thread and only ever grown: a table serves every smaller transform, and the whole chains and
// the halves of a run then share one.
const std::complex<double>* Twiddles(size_t size) {
  thread_local std::vector<std::complex<double>> table;
  if (table.size() < size - 1) {
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

// Four sums side by side: a single one would wait on each addition.
MeanVariance MeanAndVariance(const double* x, int count) {
  double sum[4] = {}, squares[4] = {};
  int i = 0;
  for (; i + 4 <= count; i += 4)
    for (int k = 0; k < 4; ++k) sum[k] += x[i + k];
  for (; i < count; ++i) sum[0] += x[i];
  const double mean = (sum[0] + sum[1] + sum[2] + sum[3]) / count;
  for (i = 0; i + 4 <= count; i += 4)
    for (int k = 0; k < 4; ++k) squares[k] += (x[i + k] - mean) * (x[i + k] - mean);
  for (; i < count; ++i) squares[0] += (x[i] - mean) * (x[i] - mean);
  return {mean, (squares[0] + squares[1] + squares[2] + squares[3]) / (count - 1)};
}

// Four doubles as one value (GCC's vector extension): one AVX2 register, or two SSE2 ones; and the same
// read from any double of an array.
typedef double Lanes __attribute__((vector_size(32)));
typedef double UnalignedLanes __attribute__((vector_size(32), aligned(8), may_alias));

// Biased autocovariances (sums divided by count) of the chain around mean: lags first .. first + 7 summed
// directly, eight lags per sweep in two Lanes each, and two sweeps at once so that neither waits on its
// last addition (AVX2 where the CPU has it).
__attribute__((target_clones("avx2", "default"))) void DirectAutocovariances(const double* x, int count,
                                                                            double mean, int first, double* acov) {
  Lanes low0 = {}, high0 = {}, low1 = {}, high1 = {};  // lags first .. + 3 and first + 4 .. + 7, each sweep
  int i = 0;
  for (; i + first + 8 < count; i += 2) {
    const UnalignedLanes* lagged = reinterpret_cast<const UnalignedLanes*>(x + i + first);
    const UnalignedLanes* next = reinterpret_cast<const UnalignedLanes*>(x + i + 1 + first);
    const double a0 = x[i] - mean, a1 = x[i + 1] - mean;
    low0 += Lanes{a0, a0, a0, a0} * (lagged[0] - mean), high0 += Lanes{a0, a0, a0, a0} * (lagged[1] - mean);
    low1 += Lanes{a1, a1, a1, a1} * (next[0] - mean), high1 += Lanes{a1, a1, a1, a1} * (next[1] - mean);
  }
  double total[8];
  for (int k = 0; k < 4; ++k) total[k] = low0[k] + low1[k], total[k + 4] = high0[k] + high1[k];
  for (int k = 0; k < 8; ++k)  // the last few products
    for (int j = i; j + first + k < count; ++j) total[k] += (x[j] - mean) * (x[j + first + k] - mean);
  for (int k = 0; k < 8; ++k) acov[first + k] = total[k] / count;
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

// The biased autocovariances of one chain, worked out only as far as they are asked for.
struct LazyAutocovariance {
  const double* X;                                  // the chain
  int Count;                                        // its length
  double Mean;                                      // its mean
  std::vector<std::complex<double>>* Buffer;        // FFT work, kept by the caller
  double Direct[DirectLags + 8] = {};               // lags 0 .. Known - 1, summed directly
  int Known = 0;                                    // lags in Direct
  const std::complex<double>* Spectral = nullptr;   // lags 0 .. Exact - 1 from the FFT, in the real parts
  size_t Exact = 0;                                 // lags in Spectral
};

// Lag t: the first lags directly, which is all a well-mixing chain needs. Past them the FFT, first
// padded to a quarter more than the chain (exact up to a lag far beyond what any usable chain reaches),
// and only if the sum goes further, padded to twice the chain.
double Lag(LazyAutocovariance& a, int t) {
  if (t >= DirectLags) {
    while (static_cast<size_t>(t) >= a.Exact) {
      size_t size = PowerOfTwoAtLeast(static_cast<size_t>((a.Exact == 0 ? 1.25 : 2.0) * a.Count));
      a.Spectral = FftAutocovariances(a.X, a.Count, a.Mean, size, *a.Buffer, a.Exact);
    }
    return a.Spectral[t].real();
  }
  for (; a.Known <= t; a.Known += 8) DirectAutocovariances(a.X, a.Count, a.Mean, a.Known, a.Direct);
  return a.Direct[t];
}

// Potential scale reduction of two chains of n draws (Gelman et al., Bayesian Data Analysis, 3rd ed.,
// eq. 11.4, as posterior writes it): B = n var(means), W = mean of the variances,
// R-hat = sqrt((B / W + n - 1) / n). Inf when both halves are constant but differ, NaN when neither moved.
double RhatOfHalves(MeanVariance a, MeanVariance b, int n) {
  const double centre = (a.Mean + b.Mean) / 2.0;
  const double between = n * ((a.Mean - centre) * (a.Mean - centre) + (b.Mean - centre) * (b.Mean - centre));
  const double within = (a.Variance + b.Variance) / 2.0;
  return std::sqrt((between / within + n - 1.0) / n);
}

}  // namespace

double EffectiveSampleSize(const double* chain, int count) {
  if (count < 4) return NaN;
  MeanVariance mv = MeanAndVariance(chain, count);
  if (!std::isfinite(mv.Variance) || mv.Variance == 0.0) return NaN;
  std::vector<std::complex<double>> buffer;
  LazyAutocovariance acov{chain, count, mv.Mean, &buffer};

  // Stan's single-chain estimator: rho_t = 1 - (W - acov_t) / varPlus with W = acov_0 n / (n - 1) and
  // varPlus = acov_0; Geyer's initial positive sequence of pair sums P_k = rho_2k + rho_2k+1, cut before
  // the first non-positive pair, made monotone (each P_k no more than the one before);
  // tau = -1 + 2 sum P_k, plus rho_2k of the cut pair when positive, floored at 1 / log10(n); ESS = n / tau.
  const double w = mv.Variance, varPlus = Lag(acov, 0);
  auto rho = [&](int t) { return 1.0 - (w - Lag(acov, t)) / varPlus; };
  double even = 1.0, odd = rho(1), sum = 0.0, monotone = INFINITY;
  for (int t = 1; t < count - 3 && even + odd > 0.0; t += 2) {
    monotone = std::min(monotone, even + odd);
    sum += monotone;
    even = rho(t + 1), odd = rho(t + 2);
  }
  double tau = -1.0 + 2.0 * sum + std::max(even, 0.0);
  return count / std::max(tau, 1.0 / std::log10(static_cast<double>(count)));
}

namespace {

// posterior's test of a constant draw array: max - min below the machine epsilon.
constexpr double ConstantSpread = std::numeric_limits<double>::epsilon();

// Normal quantile, Wichura's algorithm AS 241 (PPND16, Applied Statistics 37:477-484, 1988), the one R's
// qnorm uses: the rank-normal scores then match posterior's to the last bits.
double NormalQuantile(double p) {
  const double q = p - 0.5;
  if (std::abs(q) <= 0.425) {
    const double r = 0.180625 - q * q;
    return q *
           (((((((r * 2509.0809287301226727 + 33430.575583588128105) * r + 67265.770927008700853) * r +
                45921.953931549871457) * r + 13731.693765509461125) * r + 1971.5909503065514427) * r +
             133.14166789178437745) * r + 3.387132872796366608) /
           (((((((r * 5226.495278852545925 + 28729.085735721942674) * r + 39307.89580009271061) * r +
                21213.794301586595867) * r + 5394.1960214247511077) * r + 687.1870074920579083) * r +
             42.313330701600911252) * r + 1.0);
  }
  double r = std::sqrt(-std::log(q < 0.0 ? p : 1.0 - p)), value;
  if (r <= 5.0) {
    r -= 1.6;
    value = (((((((r * 7.7454501427834140764e-4 + 0.0227238449892691845833) * r + 0.24178072517745061177) * r +
                 1.27045825245236838258) * r + 3.64784832476320460504) * r + 5.7694972214606914055) * r +
              4.6303378461565452959) * r + 1.42343711074968357734) /
            (((((((r * 1.05075007164441684324e-9 + 5.475938084995344946e-4) * r + 0.0151986665636164571966) * r +
                 0.14810397642748007459) * r + 0.68976733498510000455) * r + 1.6763848301838038494) * r +
              2.05319162663775882187) * r + 1.0);
  } else {
    r -= 5.0;
    value = (((((((r * 2.01033439929228813265e-7 + 2.71155556874348757815e-5) * r + 0.0012426609473880784386) * r +
                 0.026532189526576123093) * r + 0.29656057182850489123) * r + 1.7848265399172913358) * r +
              5.4637849111641143699) * r + 6.6579046435011037772) /
            (((((((r * 2.04426310338993978564e-15 + 1.4215117583164458887e-7) * r + 1.8463183175100546818e-5) * r +
                 7.868691311456132591e-4) * r + 0.0148753612908506148525) * r + 0.13692988092273580531) * r +
              0.59983220655588793769) * r + 1.0);
  }
  return q < 0.0 ? -value : value;
}

double LogBeta(double a, double b) { return std::lgamma(a) + std::lgamma(b) - std::lgamma(a + b); }

// The continued fraction of the incomplete beta ratio (Abramowitz and Stegun 26.5.8), by the modified
// Lentz method; it converges fast for x below the mean (a + 1) / (a + b + 2).
double BetaFraction(double x, double a, double b) {
  constexpr double Tiny = 1e-300;
  auto guard = [](double v) { return std::abs(v) < Tiny ? Tiny : v; };
  double c = 1.0, d = 1.0 / guard(1.0 - (a + b) * x / (a + 1.0)), h = d;
  for (int m = 1; m <= 100000; ++m) {
    const double m2 = 2.0 * m;
    double term = m * (b - m) * x / ((a - 1.0 + m2) * (a + m2));  // the even step
    d = 1.0 / guard(1.0 + term * d), c = guard(1.0 + term / c), h *= d * c;
    term = -(a + m) * (a + b + m) * x / ((a + m2) * (a + 1.0 + m2));  // the odd step
    d = 1.0 / guard(1.0 + term * d), c = guard(1.0 + term / c);
    h *= d * c;
    if (std::abs(d * c - 1.0) < 1e-16) break;
  }
  return h;
}

// I_x(a, b), the Beta(a, b) distribution function; logBeta = LogBeta(a, b).
double BetaProbability(double x, double a, double b, double logBeta) {
  if (x <= 0.0) return 0.0;
  if (x >= 1.0) return 1.0;
  const double front = std::exp(a * std::log(x) + b * std::log1p(-x) - logBeta);
  if (x < (a + 1.0) / (a + b + 2.0)) return front * BetaFraction(x, a, b) / a;
  return 1.0 - front * BetaFraction(1.0 - x, b, a) / b;
}

// The p-quantile of Beta(a, b) (R's qbeta): Newton's method on I_x(a, b) = p from the normal
// approximation, falling back on bisection of the bracket it keeps whenever a step leaves it.
double BetaQuantile(double p, double a, double b) {
  if (!(a > 0.0 && b > 0.0)) return NaN;
  const double logBeta = LogBeta(a, b), mean = a / (a + b);
  const double sd = std::sqrt(mean * (1.0 - mean) / (a + b + 1.0));
  double low = 0.0, high = 1.0;
  double x = std::clamp(mean + NormalQuantile(p) * sd, 1e-6 * mean, 1.0 - 1e-6 * (1.0 - mean));
  for (int i = 0; i < 200 && high - low > 0.0; ++i) {
    const double excess = BetaProbability(x, a, b, logBeta) - p;
    (excess < 0.0 ? low : high) = x;
    const double density = std::exp((a - 1.0) * std::log(x) + (b - 1.0) * std::log1p(-x) - logBeta);
    double next = x - excess / density;
    if (!(next > low && next < high)) next = 0.5 * (low + high);
    if (std::abs(next - x) <= 4.0 * ConstantSpread * x) return next;
    x = next;
  }
  return x;
}

constexpr uint64_t SignBit = uint64_t{1} << 63, ExponentBits = uint64_t{0x7ff} << 52;

// Whether every draw is finite, from the bits: no exponent all ones.
bool AllFinite(const double* x, int count) {
  uint64_t infinite = 0;
  for (int i = 0; i < count; ++i) infinite |= (std::bit_cast<uint64_t>(x[i]) & ExponentBits) == ExponentBits;
  return infinite == 0;
}

bool SplitHasNaN(const double* chain, int count) {
  const int n = count / 2;
  uint64_t nan = 0;
  for (int i = 0; i < n; ++i)
    nan |= ((std::bit_cast<uint64_t>(chain[i]) & ~SignBit) > ExponentBits) |
           ((std::bit_cast<uint64_t>(chain[count - n + i]) & ~SignBit) > ExponentBits);
  return nan != 0;
}

// Monte-Carlo standard error of a mean, sd / sqrt(ESS).
double Mcse(double variance, double ess) { return std::sqrt(variance / ess); }

// Geyer's initial monotone sequence estimate of tau = 1 + 2 sum rho_t for autocorrelations rho(t) of
// chains of n draws (Geyer 1992, Statistical Science 7:473-483), as posterior's ess truncates it:
// pair sums P_k = rho_2k + rho_2k+1 while even lags stay below n - 5 and the sums positive, each no
// more than the one before; tau = -1 + 2 sum P_k + rho_2K, the even lag of the cut pair when positive
// or when that pair was kept. When the first pair already ends the sequence posterior's sum counts
// rho_0 alone, and tau is 2.
template <typename Rho>
double GeyerTau(Rho rho, int n) {
  double even = 1.0, odd = rho(1), sum = 0.0, monotone = INFINITY;
  bool kept = true;  // the last pair entered the sequence (the first always does)
  int t = 0;
  for (; t < n - 5 && even + odd > 0.0; t += 2) {
    monotone = std::min(monotone, even + odd);
    sum += monotone;
    even = rho(t + 2), odd = rho(t + 3);
    kept = even + odd >= 0.0;
  }
  if (t == 0) return 2.0;
  return -1.0 + 2.0 * sum + (even > 0.0 || kept ? even : 0.0);
}

// Effective sample size of two chains of n draws with means meanFirst and meanSecond and mean
// autocovariance acov(t), as Vehtari et al. (2021) define it and posterior's ess computes it:
// rho_t = 1 - (W - acov_t) / varPlus, W = acov_0 n / (n - 1) the mean within-chain variance and
// varPlus = W (n - 1) / n + var(chain means); ESS = 2n / tau, tau floored at 1 / log10(2n).
template <typename Acov>
double TwoChainEss(Acov acov, double meanFirst, double meanSecond, int n) {
  const double centre = (meanFirst + meanSecond) / 2.0;
  const double within = acov(0) * n / (n - 1.0);
  const double varPlus = within * (n - 1.0) / n + (meanFirst - centre) * (meanFirst - centre) +
                         (meanSecond - centre) * (meanSecond - centre);
  const double tau = GeyerTau([&](int t) { return 1.0 - (within - acov(t)) / varPlus; }, n);
  return 2.0 * n / std::max(tau, 1.0 / std::log10(2.0 * n));
}

// The means and variances of the halves of draws[0..2n), which the ESS and R-hat both take.
std::pair<MeanVariance, MeanVariance> Halves(const double* draws, int n) {
  return {MeanAndVariance(draws, n), MeanAndVariance(draws + n, n)};
}

// ESS of two halves of real draws with means and variances a and b. The caller has ruled out what
// posterior answers NA to: n < 3, non-finite draws, constant draws.
double SplitEss(const double* first, const double* second, int n, MeanVariance a, MeanVariance b,
                ConvergenceScratch& s) {
  LazyAutocovariance acovFirst{first, n, a.Mean, &s.FftFirst}, acovSecond{second, n, b.Mean, &s.FftSecond};
  auto acov = [&](int t) { return (Lag(acovFirst, t) + Lag(acovSecond, t)) / 2.0; };
  return TwoChainEss(acov, a.Mean, b.Mean, n);
}

// An indicator over one half: bit i % 64 of word i / 64 holds draw i; a zero word follows the last.
struct BitRow {
  const uint64_t* Words;  // the bits
  int Count;              // draws
  int Ones;               // draws whose bit is set
};

// Draws among the first t whose bit is set.
__attribute__((target_clones("popcnt", "default"))) int OnesBefore(const BitRow& row, int t) {
  int ones = 0;
  for (int k = 0; k < t / 64; ++k) ones += std::popcount(row.Words[k]);
  return t % 64 ? ones + std::popcount(row.Words[t / 64] & ((uint64_t{1} << t % 64) - 1)) : ones;
}

// The biased autocovariance of a 0/1 row at lag t by counting: with m = ones / n, C the pairs i, i + t
// both set, A the ones among the first n - t and B among the last n - t,
// n acov_t = sum (b_i - m)(b_(i+t) - m) = C - m (A + B) + (n - t) m^2. A word at a time: a hundred
// times the speed of the sums over doubles, for the quantile indicators of every chain.
__attribute__((target_clones("popcnt", "default"))) double BitAutocovariance(const BitRow& row, int t) {
  const int words = (row.Count + 63) / 64, skip = t / 64, shift = t % 64;
  int pairs = 0;
  for (int k = 0; k + skip < words; ++k) {
    const uint64_t* w = row.Words + k + skip;
    const uint64_t lagged = shift ? w[0] >> shift | w[1] << (64 - shift) : w[0];
    pairs += std::popcount(row.Words[k] & lagged);
  }
  const double m = static_cast<double>(row.Ones) / row.Count;
  const double ones = OnesBefore(row, row.Count - t) + (row.Ones - OnesBefore(row, t));
  return (pairs - m * ones + (row.Count - t) * m * m) / row.Count;
}

double IndicatorEss(const BitRow& first, const BitRow& second) {
  auto acov = [&](int t) { return (BitAutocovariance(first, t) + BitAutocovariance(second, t)) / 2.0; };
  return TwoChainEss(acov, static_cast<double>(first.Ones) / first.Count,
                     static_cast<double>(second.Ones) / second.Count, first.Count);
}

// Packs the indicator set(x) of the split draws into two bit rows held in s.Bits.
template <typename Predicate>
std::pair<BitRow, BitRow> SplitIndicator(const double* chain, int count, Predicate set, ConvergenceScratch& s) {
  const int n = count / 2, words = (n + 63) / 64 + 1;
  s.Bits.assign(2 * static_cast<size_t>(words), 0);
  int ones[2] = {};
  for (int half = 0; half < 2; ++half) {
    const double* x = chain + half * (count - n);
    uint64_t* row = s.Bits.data() + half * words;
    for (int i = 0; i < n; i += 64) {  // a word at a time, kept in a register
      uint64_t word = 0;
      for (int j = 0; j < std::min(64, n - i); ++j) word |= static_cast<uint64_t>(set(x[i + j])) << j;
      row[i / 64] = word;
      ones[half] += std::popcount(word);
    }
  }
  return {BitRow{s.Bits.data(), n, ones[0]}, BitRow{s.Bits.data() + words, n, ones[1]}};
}

// The indicator of the first `below` draws in sorted order, as SplitIndicator packs it: set draw by
// draw from s.Order, whichever side is the fewer, the rows flipped when that was the other side.
std::pair<BitRow, BitRow> SortedIndicator(int n, int below, ConvergenceScratch& s) {
  const int words = (n + 63) / 64 + 1;
  s.Bits.assign(2 * static_cast<size_t>(words), 0);
  const bool flip = below > n;
  int second = 0;  // bits set in the second half's row
  for (int k = flip ? below : 0; k < (flip ? 2 * n : below); ++k) {
    const int place = static_cast<int>(s.Order[k]), half = place >= n, i = place - half * n;
    s.Bits[half * words + i / 64] |= uint64_t{1} << (i % 64);
    second += half;
  }
  int ones[2] = {(flip ? 2 * n - below : below) - second, second};
  for (int half = 0; flip && half < 2; ++half) {
    uint64_t* row = s.Bits.data() + half * words;
    for (int w = 0; w < words - 1; ++w) row[w] = ~row[w];
    if (n % 64) row[n / 64] &= (uint64_t{1} << n % 64) - 1;
    ones[half] = n - ones[half];
  }
  return {BitRow{s.Bits.data(), n, ones[0]}, BitRow{s.Bits.data() + words, n, ones[1]}};
}

// Order-preserving map of a double onto an unsigned integer (-0 with +0), and back.
uint64_t SortKey(double v) {
  const uint64_t bits = std::bit_cast<uint64_t>(v + 0.0);
  return bits & SignBit ? ~bits : bits | SignBit;
}
double KeyValue(uint64_t key) { return std::bit_cast<double>(key & SignBit ? key & ~SignBit : ~key); }

constexpr int RadixBits = 11, RadixBuckets = 1 << RadixBits, RadixPasses = 2, RadixKeyBits = 22;

// Least-significant-digit radix sort of s.Packed[0..count) by bits 32 .. 53, two passes of 11 bits,
// skipping one whose digit all words share.
void RadixSortHigh(int count, ConvergenceScratch& s) {
  s.Histogram.assign(RadixPasses * RadixBuckets, 0);
  uint32_t* histogram = s.Histogram.data();
  for (int i = 0; i < count; ++i)
    for (int pass = 0; pass < RadixPasses; ++pass)
      ++histogram[pass * RadixBuckets + (s.Packed[i] >> (32 + pass * RadixBits) & (RadixBuckets - 1))];
  for (int pass = 0; pass < RadixPasses; ++pass) {
    uint32_t* bucket = histogram + pass * RadixBuckets;
    const int shift = 32 + pass * RadixBits;
    if (bucket[s.Packed[0] >> shift & (RadixBuckets - 1)] == static_cast<uint32_t>(count)) continue;
    for (uint32_t b = 0, start = 0; b < RadixBuckets; ++b) start += std::exchange(bucket[b], start);
    for (int i = 0; i < count; ++i) s.PackedSwap[bucket[s.Packed[i] >> shift & (RadixBuckets - 1)]++] = s.Packed[i];
    std::swap(s.Packed, s.PackedSwap);
  }
}

// Finishes the sort of keys[0..count), carrying order along, by insertion: after the radix passes only
// draws closer than the 22 bits resolve can be out of place, a few dozen of a chain of 10,000. Past a
// budget of moves (all draws but a few far-out ones within one 22-bit step) a comparison sort takes over.
void FinishSort(uint64_t* keys, uint32_t* order, int count) {
  long moves = 0;
  for (int i = 1; i < count; ++i) {
    if (keys[i] >= keys[i - 1]) continue;
    const uint64_t key = keys[i];
    const uint32_t place = order[i];
    int j = i;
    for (; j > 0 && keys[j - 1] > key; --j) keys[j] = keys[j - 1], order[j] = order[j - 1];
    keys[j] = key, order[j] = place;
    if ((moves += i - j) > 8L * count) {
      std::vector<std::pair<uint64_t, uint32_t>> pairs(count);
      for (int k = 0; k < count; ++k) pairs[k] = {keys[k], order[k]};
      std::sort(pairs.begin(), pairs.end());
      for (int k = 0; k < count; ++k) keys[k] = pairs[k].first, order[k] = pairs[k].second;
      return;
    }
  }
}

// Sorts the split draws (the first and last count / 2) into s.Sorted, their split positions into s.Order.
// A radix sort, linear where a comparison sort of a whole chain would cost as much as the rest of the
// diagnostics: on 22 bits, with the position packed underneath, then the rest by FinishSort. The 22 bits
// place the draw between the least and the greatest, linearly when both are finite; else they are the
// key's bits below those all draws share. Returns whether all split draws are finite.
bool SortSplitDraws(const double* chain, int count, ConvergenceScratch& s) {
  const int n = count / 2, draws = 2 * n, skip = count - draws;
  for (auto* v : {&s.Keys, &s.Packed, &s.PackedSwap}) v->resize(draws);
  for (auto* v : {&s.Order, &s.FoldedOrder, &s.RunStart}) v->resize(draws);
  for (auto* v : {&s.Sorted, &s.Folded, &s.Scores}) v->resize(draws);
  uint64_t low = ~uint64_t{0}, high = 0, infinite = 0;
  for (int i = 0; i < draws; ++i) {
    const double x = chain[i < n ? i : i + skip];
    infinite |= (std::bit_cast<uint64_t>(x) & ExponentBits) == ExponentBits;
    const uint64_t key = s.Keys[i] = SortKey(x);
    low = std::min(low, key), high = std::max(high, key);
  }
  if (infinite == 0 && high > low) {
    const double least = KeyValue(low), scale = ((1 << RadixKeyBits) - 1) / (KeyValue(high) - least);
    for (int i = 0; i < draws; ++i) {
      const double place = std::min((chain[i < n ? i : i + skip] - least) * scale, (1 << RadixKeyBits) - 1.0);
      s.Packed[i] = static_cast<uint64_t>(place) << 32 | static_cast<uint32_t>(i);
    }
  } else {
    const int shift = std::max(0, static_cast<int>(std::bit_width(high - low)) - RadixKeyBits);
    for (int i = 0; i < draws; ++i) s.Packed[i] = (s.Keys[i] - low) >> shift << 32 | static_cast<uint32_t>(i);
  }
  RadixSortHigh(draws, s);
  uint64_t* sortedKeys = s.PackedSwap.data();
  for (int i = 0; i < draws; ++i) {
    s.Order[i] = static_cast<uint32_t>(s.Packed[i]);
    sortedKeys[i] = s.Keys[s.Order[i]];
  }
  FinishSort(sortedKeys, s.Order.data(), draws);
  for (int i = 0; i < draws; ++i) s.Sorted[i] = KeyValue(sortedKeys[i]);
  return infinite == 0;
}

// The rank-normal score Phi^-1((r - 3/8) / (S + 1/4)) of every rank r = k / 2 among S draws, Blom's
// offset as posterior's z_scale has it; half ranks are the average ranks of tied draws. Made once per
// chain length.
const double* ScoreTable(int draws, ConvergenceScratch& s) {
  if (s.ScoreDraws != draws) {
    s.ScoreTable.assign(2 * static_cast<size_t>(draws) + 1, NaN);
    for (int k = 2; k <= 2 * draws; ++k) s.ScoreTable[k] = NormalQuantile((k / 2.0 - 0.375) / (draws + 0.25));
    s.ScoreDraws = draws;
  }
  return s.ScoreTable.data();
}

// Rank-normal scores of draws given in ascending order with their positions: a run of ties at sorted
// places i .. j - 1 shares the average rank (i + 1 + j) / 2. The run's start forward, its end backward,
// by masks rather than branches: a sampler's chain repeats a draw at every rejected move, and the ties
// come at random.
void RankScores(const double* sorted, const uint32_t* order, int draws, const double* table, double* scores,
                uint32_t* runStart) {
  uint32_t start = 0;
  for (int i = 1; i < draws; ++i) {
    const uint32_t newRun = -static_cast<uint32_t>(sorted[i] != sorted[i - 1]);
    runStart[i] = start ^= (start ^ i) & newRun;
  }
  runStart[0] = 0;
  uint32_t end = draws;
  for (int i = draws - 1; i >= 0; --i) {
    const uint32_t runEnds = -static_cast<uint32_t>(i + 1 == draws || sorted[i] != sorted[i + 1]);
    end ^= (end ^ (i + 1)) & runEnds;
    scores[order[i]] = table[runStart[i] + 1 + end];
  }
}

// The split draws' distances |x - median| in ascending order, into s.Folded and s.FoldedOrder, merged
// from the sorted draws: the nearest fill the front, walked out from the median, and the farthest the
// back, walked in from the extremes. Two merges side by side, each by arithmetic rather than branches:
// one alone waits on every comparison before its next load. Both put a draw below the median first on
// ties, so that they share the draws out between them.
void FoldSortedDraws(double median, int draws, ConvergenceScratch& s) {
  const double* x = s.Sorted.data();
  const uint32_t* order = s.Order.data();
  const int pivot = static_cast<int>(std::upper_bound(x, x + draws, median) - x), last = draws - 1;
  int nearBelow = pivot - 1, nearAbove = pivot, farBelow = 0, farAbove = last;
  for (int k = 0; k < draws / 2; ++k) {
    const double down = nearBelow >= 0 ? median - x[std::max(nearBelow, 0)] : INFINITY;
    const double up = nearAbove <= last ? x[std::min(nearAbove, last)] - median : INFINITY;
    const int takeDown = down <= up;
    s.Folded[k] = std::min(down, up);
    s.FoldedOrder[k] = order[std::clamp(nearAbove - takeDown * (nearAbove - nearBelow), 0, last)];
    nearBelow -= takeDown, nearAbove += 1 - takeDown;
    const double farDown = farBelow < pivot ? median - x[std::min(farBelow, last)] : -INFINITY;
    const double farUp = farAbove >= pivot ? x[farAbove] - median : -INFINITY;
    const int takeUp = farUp >= farDown;
    s.Folded[last - k] = std::max(farDown, farUp);
    s.FoldedOrder[last - k] = order[std::min(farBelow + takeUp * (farAbove - farBelow), last)];
    farAbove -= takeUp, farBelow += 1 - takeUp;
  }
}

// The k-th smallest (from 1) of all count draws, from the sorted split draws and the middle draw.
double ChainOrderStatistic(const double* chain, int count, const double* sorted, int k) {
  if (count % 2 == 0) return sorted[k - 1];
  const double middle = chain[count / 2];
  const int place = static_cast<int>(std::lower_bound(sorted, sorted + count - 1, middle) - sorted);
  return k - 1 < place ? sorted[k - 1] : k - 1 == place ? middle : sorted[k - 2];
}

// The median of all count draws; NaN when the middle draw is.
double ChainMedian(const double* chain, int count, const double* sorted) {
  if (count % 2 == 0) return (sorted[count / 2 - 1] + sorted[count / 2]) / 2.0;
  return std::isnan(chain[count / 2]) ? NaN : ChainOrderStatistic(chain, count, sorted, count / 2 + 1);
}

// The p-quantile of all count draws by linear interpolation between order statistics, R's quantile
// type 7 written as R writes it, so that a draw on the quantile falls on the same side.
double ChainQuantile(const double* chain, int count, const double* sorted, double p) {
  const double index = 1.0 + (count - 1) * p, low = std::floor(index), high = std::ceil(index);
  double q = ChainOrderStatistic(chain, count, sorted, static_cast<int>(low));
  const double above = ChainOrderStatistic(chain, count, sorted, static_cast<int>(high));
  if (index > low && above != q) {
    const double h = index - low;
    q = (1.0 - h) * q + h * above;
  }
  return q;
}

// Rank-normalised split R-hat of the folded draws |x - median|, the median over all draws; the folded
// scores replace those in s.Scores.
double FoldedRhat(const double* chain, int count, const double* table, ConvergenceScratch& s) {
  const int n = count / 2;
  const double median = ChainMedian(chain, count, s.Sorted.data());
  if (!std::isfinite(median)) return NaN;  // distances NaN, as posterior's
  FoldSortedDraws(median, 2 * n, s);
  if (s.Folded[0] == s.Folded[2 * n - 1]) return NaN;
  RankScores(s.Folded.data(), s.FoldedOrder.data(), 2 * n, table, s.Scores.data(), s.RunStart.data());
  auto [a, b] = Halves(s.Scores.data(), n);
  return RhatOfHalves(a, b, n);
}

// ESS of the indicator I(x <= q_p) over the split draws, q_p the type-7 quantile of all draws
// (ess_quantile), from the sorted split draws of a chain whose draws are all finite.
double QuantileEss(const double* chain, int count, double p, ConvergenceScratch& s) {
  const double* sorted = s.Sorted.data();
  const double least = ChainOrderStatistic(chain, count, sorted, 1);
  if (!(ChainOrderStatistic(chain, count, sorted, count) - least >= ConstantSpread)) return NaN;
  const double q = ChainQuantile(chain, count, sorted, p);
  const int below = static_cast<int>(std::upper_bound(sorted, sorted + count / 2 * 2, q) - sorted);
  if (below == 0 || below == count / 2 * 2) return NaN;
  auto [first, second] = SortedIndicator(count / 2, below, s);
  return IndicatorEss(first, second);
}

// MCSE of the p-quantile from the sorted split draws (mcse_quantile): the Beta(ESS p + 1, ESS (1 - p) + 1)
// points at Phi(-1) and Phi(1), as posterior rounds them, give the order statistics of all draws
// ceil and floor apart.
double SortedQuantileMcse(const double* chain, int count, double p, ConvergenceScratch& s) {
  const double ess = QuantileEss(chain, count, p, s);
  if (std::isnan(ess)) return NaN;
  const double low = BetaQuantile(0.1586553, ess * p + 1.0, ess * (1.0 - p) + 1.0);
  const double high = BetaQuantile(0.8413447, ess * p + 1.0, ess * (1.0 - p) + 1.0);
  const int first = std::max(static_cast<int>(std::floor(low * count)), 1);
  const int last = std::min(static_cast<int>(std::ceil(high * count)), count);
  const double* sorted = s.Sorted.data();
  return (ChainOrderStatistic(chain, count, sorted, last) - ChainOrderStatistic(chain, count, sorted, first)) / 2.0;
}

// MCSE of the mean of a chain whose draws are finite and whose split draws are not constant
// (mcse_mean): the sd of all draws over the root of the basic ESS of the split draws.
double MeanMcse(const double* chain, int count, ConvergenceScratch& s) {
  const int n = count / 2;
  const MeanVariance a = MeanAndVariance(chain, n), b = MeanAndVariance(chain + count - n, n);
  return Mcse(MeanAndVariance(chain, count).Variance, SplitEss(chain, chain + count - n, n, a, b, s));
}

}  // namespace

ChainConvergence ChainDiagnostics(const double* chain, int count, ConvergenceScratch& s) {
  ChainConvergence r{NaN, NaN, NaN, NaN, NaN};
  const int n = count / 2;
  if (n < 2) return r;
  const bool splitFinite = SortSplitDraws(chain, count, s);
  if (!splitFinite && SplitHasNaN(chain, count)) return r;
  const double* sorted = s.Sorted.data();
  if (sorted[0] == sorted[2 * n - 1]) return r;  // all tied: every score the same
  const double* table = ScoreTable(2 * n, s);
  RankScores(sorted, s.Order.data(), 2 * n, table, s.Scores.data(), s.RunStart.data());
  auto [a, b] = Halves(s.Scores.data(), n);
  if (n >= 3) r.EssBulk = SplitEss(s.Scores.data(), s.Scores.data() + n, n, a, b, s);
  const double bulkRhat = RhatOfHalves(a, b, n), foldedRhat = FoldedRhat(chain, count, table, s);
  r.Rhat = std::isnan(bulkRhat) || std::isnan(foldedRhat) ? NaN : std::max(bulkRhat, foldedRhat);
  if (n < 3 || !splitFinite || (count % 2 && !std::isfinite(chain[n]))) return r;
  const double lower = QuantileEss(chain, count, 0.05, s), upper = QuantileEss(chain, count, 0.95, s);
  r.EssTail = std::isnan(lower) || std::isnan(upper) ? NaN : std::min(lower, upper);
  r.McseMedian = SortedQuantileMcse(chain, count, 0.5, s);
  if (sorted[2 * n - 1] - sorted[0] >= ConstantSpread) r.McseMean = MeanMcse(chain, count, s);
  return r;
}

double McseMean(const double* chain, int count, ConvergenceScratch& s) {
  const int n = count / 2;
  if (n < 3 || !AllFinite(chain, count)) return NaN;
  auto [low, high] = std::minmax_element(chain, chain + n);
  auto [low2, high2] = std::minmax_element(chain + count - n, chain + count);
  if (!(std::max(*high, *high2) - std::min(*low, *low2) >= ConstantSpread)) return NaN;
  return MeanMcse(chain, count, s);
}

double McseQuantile(const double* chain, int count, double p, ConvergenceScratch& s) {
  if (count / 2 < 3 || !AllFinite(chain, count)) return NaN;
  SortSplitDraws(chain, count, s);
  return SortedQuantileMcse(chain, count, p, s);
}

double McseShareAbove(const double* chain, int count, double threshold, ConvergenceScratch& s) {
  const int n = count / 2;
  if (n < 3) return NaN;
  for (int i = 0; i < count; ++i)
    if (std::isnan(chain[i])) return NaN;
  auto [first, second] = SplitIndicator(chain, count, [threshold](double x) { return x > threshold; }, s);
  const int splitOnes = first.Ones + second.Ones;
  if (splitOnes == 0 || splitOnes == 2 * n) return NaN;
  // The share's variance over all draws, the middle one too: k ones among N give
  // (k (1 - m)^2 + (N - k) m^2) / (N - 1) with m = k / N.
  const int ones = splitOnes + (count % 2 && chain[n] > threshold ? 1 : 0);
  const double m = static_cast<double>(ones) / count;
  const double variance = (ones * (1.0 - m) * (1.0 - m) + (count - ones) * m * m) / (count - 1.0);
  return Mcse(variance, IndicatorEss(first, second));
}

}  // namespace telvo
