// Adaptive shrinkage across genes (Stephens 2017): the grid, the penalised maximum-likelihood fit of
// the mixture weights (SQP with EM steps), the posteriors under the fitted prior and q-values.
#include "estimation/Estimation.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <stdexcept>

namespace telvo {

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double LogTwoPi = 1.8378770664093454836;
constexpr size_t RowBlock = 512;  // rows whose scaled likelihoods stay in cache while the curvature is summed

// The contrasts the fit can use: a finite estimate with a positive, finite sd.
bool Usable(double b, double s) { return std::isfinite(b) && std::isfinite(s) && s > 0; }

// ln N(x; 0, variance): the marginal density of b under one component, variance = s^2 + sigma_k^2.
double NormalLogDensity(double x, double variance) { return -0.5 * (LogTwoPi + std::log(variance) + x * x / variance); }

double NormalCdf(double x) { return 0.5 * std::erfc(-x * 0.70710678118654752440); }

// The usable contrasts, in their order, and how far the grid must reach to cover them.
struct Contrasts {
  std::vector<double> B;            // estimates
  std::vector<double> S;            // their standard deviations
  double MinS = INFINITY;           // the smallest s
  double MaxExcess = -INFINITY;     // the largest b^2 - s^2
};

void AddContrasts(const double* b, const double* s, size_t count, Contrasts& c) {
  for (size_t i = 0; i < count; ++i) {
    if (!Usable(b[i], s[i])) continue;
    c.B.push_back(b[i]);
    c.S.push_back(s[i]);
    c.MinS = std::min(c.MinS, s[i]);
    c.MaxExcess = std::max(c.MaxExcess, b[i] * b[i] - s[i] * s[i]);
  }
}

// 0, then sigma_min to sigma_max by factors of sqrt(2) (Stephens 2017). At most GridMostSteps steps: a
// wider span (an s of 1e-300 beside a |b| of 10) raises sigma_min, as the fit's cost grows with the
// cube of the grid.
std::vector<double> SdGrid(const Contrasts& c) {
  double low = GridLowFraction * c.MinS;
  double high = std::max(GridHighFactor * std::sqrt(std::max(c.MaxExcess, 0.0)), GridMinSpan * low);
  if (!std::isfinite(high)) high = std::numeric_limits<double>::max();
  low = std::max(low, high / std::pow(GridRatio, GridMostSteps));
  int steps = static_cast<int>(std::ceil(std::log(high / low) / std::log(GridRatio) - 1e-9));
  std::vector<double> grid{0.0};
  for (int j = 0; j <= steps; ++j) grid.push_back(low * std::pow(GridRatio, j));
  return grid;
}

// L[k][i] = N(b_i; 0, s_i^2 + sigma_k^2) / max_k of the same, column by column; the scale keeps the
// densities of far contrasts from underflowing.
struct LikelihoodMatrix {
  size_t Rows = 0, Cols = 0;         // contrasts, components
  std::vector<double> Value;         // L[k][i] at k * Rows + i
  std::vector<double> RowLogScale;   // ln of what row i was divided by
};

LikelihoodMatrix BuildLikelihood(const Contrasts& c, const std::vector<double>& grid) {
  LikelihoodMatrix m{c.B.size(), grid.size(), {}, {}};
  m.Value.resize(m.Rows * m.Cols);
  m.RowLogScale.assign(m.Rows, -INFINITY);
  for (size_t k = 0; k < m.Cols; ++k)
    for (size_t i = 0; i < m.Rows; ++i) {
      double v = NormalLogDensity(c.B[i], c.S[i] * c.S[i] + grid[k] * grid[k]);
      m.Value[k * m.Rows + i] = v;
      m.RowLogScale[i] = std::max(m.RowLogScale[i], v);
    }
  for (size_t k = 0; k < m.Cols; ++k)
    for (size_t i = 0; i < m.Rows; ++i) m.Value[k * m.Rows + i] = std::exp(m.Value[k * m.Rows + i] - m.RowLogScale[i]);
  return m;
}

// lambda_k - 1 of the null-biased Dirichlet penalty (Stephens 2017).
std::vector<double> NullBiasedPenalty(size_t cols) {
  std::vector<double> p(cols, OtherPenalty - 1.0);
  p[0] = NullPenalty - 1.0;
  return p;
}

// F(x) = sum_i ln sum_k x_k L[k][i] + sum_k (lambda_k - 1) ln x_k, the penalised log-likelihood (the
// density of each row is left in density); -Inf where a penalised weight is 0.
double PenalisedObjective(const LikelihoodMatrix& m, const std::vector<double>& penalty, const std::vector<double>& x,
                          std::vector<double>& density) {
  density.resize(m.Rows);
  std::fill(density.begin(), density.end(), 0.0);
  for (size_t k = 0; k < m.Cols; ++k) {
    const double* col = &m.Value[k * m.Rows];
    for (size_t i = 0; i < m.Rows; ++i) density[i] += x[k] * col[i];
  }
  double f = 0;
  for (size_t i = 0; i < m.Rows; ++i) f += std::log(density[i]) + m.RowLogScale[i];
  for (size_t k = 0; k < m.Cols; ++k)
    if (penalty[k] > 0) f += x[k] > 0 ? penalty[k] * std::log(x[k]) : -INFINITY;
  return f;
}

// mu = rows + sum_k (lambda_k - 1): the weight of the simplex constraint in the relaxed problem.
double SimplexMultiplier(const LikelihoodMatrix& m, const std::vector<double>& penalty) {
  return static_cast<double>(m.Rows) + std::accumulate(penalty.begin(), penalty.end(), 0.0);
}

double Dot(const double* x, const double* y, size_t n) {  // four running sums: no chain of dependent adds
  double s[4] = {0, 0, 0, 0};
  size_t i = 0;
  for (; i + 4 <= n; i += 4)
    for (int j = 0; j < 4; ++j) s[j] += x[i + j] * y[i + j];
  for (; i < n; ++i) s[0] += x[i] * y[i];
  return (s[0] + s[1]) + (s[2] + s[3]);
}

// The quadratic model of the relaxed objective f(x) = mu sum_k x_k - F(x) at x (Kim, Carbonetto,
// Stephens and Anitescu 2020, mix-SQP): its maximum over x >= 0 lies on the simplex, where f = mu - F.
struct LocalModel {
  double Objective;               // F at x
  std::vector<double> Gradient;   // df/dx_k = mu - sum_i L[k][i] / d_i - (lambda_k - 1) / x_k
  std::vector<double> Hessian;    // sum_i L[k][i] L[j][i] / d_i^2 + (lambda_k - 1) / x_k^2 [k = j], k * K + j
};

// Adds one block of rows (first .. first + count - 1) to the sums of the gradient and the curvature:
// each row's L[k][i] / d_i is formed once, in a buffer small enough to stay in cache.
void AddRowBlock(const LikelihoodMatrix& m, const std::vector<double>& density, size_t first, size_t count,
                 std::vector<double>& scaled, LocalModel& q) {
  const size_t K = m.Cols;
  double inverse[RowBlock];
  for (size_t i = 0; i < count; ++i) inverse[i] = 1.0 / density[first + i];
  for (size_t k = 0; k < K; ++k) {
    const double* col = &m.Value[k * m.Rows + first];
    double* out = &scaled[k * count];
    for (size_t i = 0; i < count; ++i) out[i] = col[i] * inverse[i];
    q.Gradient[k] -= std::accumulate(out, out + count, 0.0);
    for (size_t j = 0; j <= k; ++j) q.Hessian[k * K + j] += Dot(out, &scaled[j * count], count);
  }
}

LocalModel Expand(const LikelihoodMatrix& m, const std::vector<double>& penalty, const std::vector<double>& x,
                  std::vector<double>& density) {
  const size_t K = m.Cols;
  std::vector<double> scaled(K * RowBlock);
  LocalModel q{PenalisedObjective(m, penalty, x, density), std::vector<double>(K, 0.0),
               std::vector<double>(K * K, 0.0)};
  for (size_t first = 0; first < m.Rows; first += RowBlock)
    AddRowBlock(m, density, first, std::min(RowBlock, m.Rows - first), scaled, q);
  double mu = SimplexMultiplier(m, penalty), ridge = 0;
  for (size_t k = 0; k < K; ++k) {
    for (size_t j = 0; j < k; ++j) q.Hessian[j * K + k] = q.Hessian[k * K + j];
    q.Gradient[k] += mu - (penalty[k] > 0 ? penalty[k] / x[k] : 0);
    if (penalty[k] > 0) q.Hessian[k * K + k] += penalty[k] / (x[k] * x[k]);
    ridge = std::max(ridge, q.Hessian[k * K + k]);
  }
  for (size_t k = 0; k < K; ++k) q.Hessian[k * K + k] += HessianRidge * ridge;  // near-equal columns
  return q;
}

// z minimising 1/2 z' H z + c' z with z_k = 0 off the free set, by Cholesky of H restricted to it.
std::vector<double> SolveFree(const std::vector<double>& h, const std::vector<double>& c,
                              const std::vector<bool>& free) {
  const size_t K = c.size();
  std::vector<size_t> idx;
  for (size_t k = 0; k < K; ++k)
    if (free[k]) idx.push_back(k);
  const size_t f = idx.size();
  std::vector<double> l(f * f, 0.0), z(K, 0.0), y(f);
  for (size_t a = 0; a < f; ++a)
    for (size_t b = 0; b <= a; ++b) {
      double v = h[idx[a] * K + idx[b]];
      for (size_t t = 0; t < b; ++t) v -= l[a * f + t] * l[b * f + t];
      l[a * f + b] = a == b ? std::sqrt(std::max(v, 1e-300)) : v / l[b * f + b];
    }
  for (size_t a = 0; a < f; ++a) {
    double v = -c[idx[a]];
    for (size_t t = 0; t < a; ++t) v -= l[a * f + t] * y[t];
    y[a] = v / l[a * f + a];
  }
  for (size_t a = f; a-- > 0;) {
    double v = y[a];
    for (size_t t = a + 1; t < f; ++t) v -= l[t * f + a] * z[idx[t]];
    z[idx[a]] = v / l[a * f + a];
  }
  return z;
}

// min 1/2 y' H y + c' y over y >= 0 by a primal active-set method (Nocedal and Wright, section 16.5),
// from the feasible y.
std::vector<double> NonNegativeQuadratic(const std::vector<double>& h, const std::vector<double>& c,
                                         std::vector<double> y) {
  const size_t K = c.size();
  std::vector<bool> free(K);
  for (size_t k = 0; k < K; ++k) free[k] = y[k] > 0;
  double scale = 0;
  for (double v : c) scale = std::max(scale, std::fabs(v));
  for (size_t step = 0; step < 10 * K; ++step) {
    std::vector<double> z = SolveFree(h, c, free);
    double alpha = 1;
    for (size_t k = 0; k < K; ++k)
      if (free[k] && z[k] <= 0) alpha = std::min(alpha, y[k] / (y[k] - z[k]));
    for (size_t k = 0; k < K; ++k) y[k] += alpha * (z[k] - y[k]);
    if (alpha < 1) {  // a bound blocked the step: those weights leave the free set
      for (size_t k = 0; k < K; ++k)
        if (free[k] && y[k] <= 1e-300 * scale) free[k] = false, y[k] = 0;
      continue;
    }
    size_t enter = K;
    double steepest = -1e-12 * scale;
    for (size_t k = 0; k < K; ++k) {
      if (free[k]) continue;
      double g = c[k] + Dot(&h[k * K], y.data(), K);
      if (g < steepest) steepest = g, enter = k;
    }
    if (enter == K) break;
    free[enter] = true;
  }
  return y;
}

struct WeightFit {
  std::vector<double> Weight;  // the weights reached
  double Objective;            // the penalised log-likelihood there
  int Iterations;              // iterations taken (an SQP step and an EM step each)
  bool Converged;              // the gap to the maximum fell below GapTolerance
};

// The SQP step: the model's minimum over x + p >= 0, then backtracking until the relaxed objective f
// falls by the Armijo share of what the model promised. The point is put back on the simplex, which
// only lowers f (and there f = mu - F). No fall found: x itself.
std::vector<double> NewtonStep(const LikelihoodMatrix& m, const std::vector<double>& penalty,
                               const std::vector<double>& x, const LocalModel& q, std::vector<double>& density) {
  const size_t K = x.size();
  std::vector<double> c(K);  // the model in y = x + p: c = g - H x
  for (size_t k = 0; k < K; ++k) c[k] = q.Gradient[k] - Dot(&q.Hessian[k * K], x.data(), K);
  std::vector<double> p = NonNegativeQuadratic(q.Hessian, c, x), trial(K);
  for (size_t k = 0; k < K; ++k) p[k] -= x[k];
  const double mu = SimplexMultiplier(m, penalty), slope = Dot(q.Gradient.data(), p.data(), K);
  double longest = 1;  // no weight falls below WeightFloor of itself: it can still come back
  for (size_t k = 0; k < K; ++k)
    if (p[k] < 0) longest = std::min(longest, (1 - WeightFloor) * x[k] / -p[k]);
  for (double a = longest; a > 1e-10 && slope < 0; a /= 2) {
    for (size_t k = 0; k < K; ++k) trial[k] = x[k] + a * p[k];
    double sum = std::accumulate(trial.begin(), trial.end(), 0.0);
    if (mu * sum - PenalisedObjective(m, penalty, trial, density) <= mu - q.Objective + ArmijoShare * a * slope) {
      for (double& v : trial) v /= sum;
      return trial;
    }
  }
  return x;
}

// The EM step from x: x_k (dF/dx_k) / mu = (x_k sum_i L[k][i] / d_i + lambda_k - 1) / mu. Never
// lowers F; it scales a weight that a Newton step left near 0 straight back up (the quadratic model of
// ln d_i is poor there) and lifts a penalised weight to at least (lambda_k - 1) / mu, its least value
// at the maximum, so that the penalty's barrier never holds the fit back.
std::vector<double> EmStep(const LikelihoodMatrix& m, const std::vector<double>& penalty, const std::vector<double>& x,
                           std::vector<double>& density) {
  PenalisedObjective(m, penalty, x, density);
  for (double& d : density) d = 1.0 / d;
  const double mu = SimplexMultiplier(m, penalty);
  std::vector<double> next(x.size());
  for (size_t k = 0; k < x.size(); ++k)
    next[k] = (x[k] * Dot(&m.Value[k * m.Rows], density.data(), m.Rows) + penalty[k]) / mu;
  double sum = std::accumulate(next.begin(), next.end(), 0.0);
  for (double& v : next) v /= sum;  // 1 but for rounding
  return next;
}

// Penalised maximum likelihood of the weights: from uniform weights, an SQP step then an EM step at
// each iteration, neither of which lowers F (but for rounding, near the maximum). Stops once the
// duality gap bound F(x*) - F(x) <= max_k dF/dx_k - mu = -min_k g_k (F concave, sum_k x_k dF/dx_k =
// mu) is below GapTolerance per contrast.
WeightFit FitWeights(const LikelihoodMatrix& m, const std::vector<double>& penalty, int maxIterations) {
  WeightFit f{std::vector<double>(m.Cols, 1.0 / static_cast<double>(m.Cols)), 0.0, 0, false};
  std::vector<double> density(m.Rows);  // one buffer for every pass: no fresh pages each time
  for (;; ++f.Iterations) {
    LocalModel q = Expand(m, penalty, f.Weight, density);
    f.Objective = q.Objective;
    double gap = -*std::min_element(q.Gradient.begin(), q.Gradient.end());
    f.Converged = gap < GapTolerance * SimplexMultiplier(m, penalty);
    if (f.Converged || f.Iterations >= maxIterations) break;
    f.Weight = EmStep(m, penalty, NewtonStep(m, penalty, f.Weight, q, density), density);
  }
  return f;
}

}  // namespace

UnimodalPrior FitUnimodalPrior(const double* b, const double* s, size_t count, int maxIterations) {
  Contrasts c;
  AddContrasts(b, s, count, c);
  if (c.B.empty()) return {{}, {}, NaN, 0, false};
  std::vector<double> grid = SdGrid(c);
  LikelihoodMatrix m = BuildLikelihood(c, grid);
  WeightFit f = FitWeights(m, NullBiasedPenalty(m.Cols), maxIterations);
  return {grid, f.Weight, f.Objective, f.Iterations, f.Converged};
}

// Each component gives a normal posterior N(m_k, v_k) with v_k = s^2 sigma_k^2 / (s^2 + sigma_k^2) and
// m_k = b sigma_k^2 / (s^2 + sigma_k^2) (the point mass: m = v = 0), weighted by pi_k N(b; 0, s^2 +
// sigma_k^2) (Stephens 2017).
ShrunkEffect ShrinkEffect(const UnimodalPrior& g, double b, double s) {
  if (g.Weight.empty() || !Usable(b, s)) return {NaN, NaN, NaN, NaN};
  size_t n = g.Weight.size();
  std::vector<double> w(n, -INFINITY), mean(n), var(n);
  double top = -INFINITY;
  for (size_t k = 0; k < n; ++k) {
    double sigma2 = g.Sd[k] * g.Sd[k], total = s * s + sigma2;
    if (g.Weight[k] > 0) w[k] = std::log(g.Weight[k]) + NormalLogDensity(b, total);
    mean[k] = b * sigma2 / total;
    var[k] = s * s * sigma2 / total;
    top = std::max(top, w[k]);
  }
  double sum = 0, postMean = 0;
  for (size_t k = 0; k < n; ++k) sum += w[k] = std::exp(w[k] - top);
  for (size_t k = 0; k < n; ++k) postMean += (w[k] /= sum) * mean[k];
  double postVar = 0, null = 0, positive = 0, negative = 0;
  for (size_t k = 0; k < n; ++k) {
    postVar += w[k] * (var[k] + (mean[k] - postMean) * (mean[k] - postMean));
    if (g.Sd[k] == 0) {
      null += w[k];
      continue;
    }
    double z = mean[k] / std::sqrt(var[k]);
    positive += w[k] * NormalCdf(z);
    negative += w[k] * NormalCdf(-z);
  }
  return {postMean, std::sqrt(postVar), null, std::min(null + positive, null + negative)};
}

void RunningMeans(const double* keys, const double* values, size_t count, double* means) {
  std::vector<size_t> order;
  for (size_t i = 0; i < count; ++i) {
    means[i] = NaN;
    if (!std::isnan(keys[i])) order.push_back(i);
  }
  std::stable_sort(order.begin(), order.end(), [&](size_t x, size_t y) { return keys[x] < keys[y]; });
  double sum = 0;
  for (size_t j = 0, start = 0; j < order.size(); ++j) {
    sum += values[order[j]];
    if (j + 1 < order.size() && keys[order[j + 1]] == keys[order[j]]) continue;
    for (; start <= j; ++start) means[order[start]] = sum / static_cast<double>(j + 1);
  }
}

std::vector<UnimodalPrior> FitPairPriors(const std::vector<std::vector<double>>& b,
                                         const std::vector<std::vector<double>>& s) {
  if (b.size() != s.size()) throw std::invalid_argument("FitPairPriors: b and s hold different numbers of pairs");
  std::vector<UnimodalPrior> priors;
  for (size_t p = 0; p < b.size(); ++p) {
    if (b[p].size() != s[p].size()) throw std::invalid_argument("FitPairPriors: a pair's b and s differ in length");
    priors.push_back(FitUnimodalPrior(b[p].data(), s[p].data(), b[p].size()));
  }
  return priors;
}

}  // namespace telvo
