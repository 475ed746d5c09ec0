// Effective sample size against chains whose true values are known; the rank-normalised
// diagnostics and MCSEs against the same and against the R package posterior.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "estimation/Estimation.h"
#include "support/TestSupport.h"

using namespace telvo;

namespace {

// A stationary AR(1) chain x_t = phi x_{t-1} + e_t with unit normal e; phi = 0 gives independent draws.
std::vector<double> Ar1Chain(double phi, int count, unsigned seed) {
  std::mt19937 engine(seed);
  std::normal_distribution<double> normal;
  std::vector<double> x(count);
  x[0] = normal(engine) / std::sqrt(1.0 - phi * phi);
  for (int t = 1; t < count; ++t) x[t] = phi * x[t - 1] + normal(engine);
  return x;
}

// A draw as R reads it back exactly.
std::string RText(double x) {
  if (std::isnan(x)) return "NaN";
  if (std::isinf(x)) return x > 0 ? "Inf" : "-Inf";
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", x);
  return text;
}

// Our six figures of a chain in posterior's order: ess_bulk, ess_tail, rhat, mcse_mean,
// mcse_quantile(0.5) and mcse_mean(x > 0).
std::vector<double> OurFigures(const std::vector<double>& x, telvo::ConvergenceScratch& scratch) {
  const int n = static_cast<int>(x.size());
  telvo::ChainConvergence c = telvo::ChainDiagnostics(x.data(), n, scratch);
  EXPECT_TRUE(std::isnan(c.McseMean) ? std::isnan(telvo::McseMean(x.data(), n, scratch))
                                     : c.McseMean == telvo::McseMean(x.data(), n, scratch));
  EXPECT_TRUE(std::isnan(c.McseMedian) ? std::isnan(telvo::McseQuantile(x.data(), n, 0.5, scratch))
                                       : c.McseMedian == telvo::McseQuantile(x.data(), n, 0.5, scratch));
  return {c.EssBulk, c.EssTail, c.Rhat, c.McseMean, c.McseMedian, telvo::McseShareAbove(x.data(), n, 0.0, scratch)};
}

}  // namespace

TEST(Diagnostics, EffectiveSampleSizeOfIndependentAndAutocorrelatedChains) {
  // Independent draws: tau = 1. The estimated tau of 100,000 draws strays by about 0.01 (a handful of
  // lags, each rho with error 1/sqrt(S)), so 5% is a wide margin.
  const int s = 100000;
  std::vector<double> iid = Ar1Chain(0.0, s, 11);
  EXPECT_NEAR(EffectiveSampleSize(iid.data(), s), s, 0.05 * s);
  // AR(1) with phi = 0.9: tau = (1 + phi) / (1 - phi) = 19. The standard error of the estimated tau over
  // a window of M lags is about tau sqrt(2 (2M + 1) / S) (Sokal); with M near 60 and S = 400,000 that is
  // 3%, so 12% is four standard errors.
  const int n = 400000;
  std::vector<double> ar = Ar1Chain(0.9, n, 12);
  EXPECT_NEAR(EffectiveSampleSize(ar.data(), n), n * 0.1 / 1.9, 0.12 * n * 0.1 / 1.9);
  // A chain that never moved, or too short to judge, has no effective sample size.
  std::vector<double> flat(1000, 2.5);
  EXPECT_TRUE(std::isnan(EffectiveSampleSize(flat.data(), 1000)));
  EXPECT_TRUE(std::isnan(EffectiveSampleSize(iid.data(), 3)));
  // Five samples 0 0 1 2 2: acov 0.8, 0.4, -0.2, W = 1, so rho_1 = 0.25 and rho_2 = -0.5; the first pair
  // (1 + rho_1) always counts: tau = -1 + 2 * 1.25 = 1.5 and ESS = 5 / 1.5.
  const double shortChain[] = {0, 0, 1, 2, 2};
  EXPECT_NEAR(EffectiveSampleSize(shortChain, 5), 5 / 1.5, 1e-12);
}

TEST(Diagnostics, ConvergenceMatchesPosterior) {
  if (std::system("Rscript -e 'library(posterior)' >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "Rscript or the R package posterior (Debian r-cran-posterior) is missing";
  std::vector<std::vector<double>> chains = {Ar1Chain(0.0, 4000, 31), Ar1Chain(0.98, 4000, 32)};  // FFT road
  std::vector<double> drift = Ar1Chain(0.3, 3000, 33);
  for (size_t t = 1500; t < 3000; ++t) drift[t] += 0.5;
  // Many ties: a sampler's repeats at rejected moves, on a grid of quarters.
  std::vector<double> ties = Ar1Chain(0.5, 3000, 34);
  for (size_t t = 0; t < ties.size(); ++t) ties[t] = t % 3 == 1 ? ties[t - 1] : std::round(4 * ties[t]) / 4;
  // Odd: the split drops a wild middle draw, which the median, the sd and the order statistics keep.
  std::vector<double> odd = Ar1Chain(0.5, 2001, 35);
  odd[1000] = 1e3;
  chains.insert(chains.end(), {drift, ties, odd, {1, 3, 2, 5, 4, 0, 7},
                               {1, 1, 1, 1, 2, 2, 2, 2},                // halves each constant, differing
                               {1, 1, 1, 1, 2, 2, 2},                   // ... and the middle draw of the first
                               {1, 2, INFINITY, 4, 5, -INFINITY, 7, 8},  // ranks, not values
                               {1e-17, 2e-17, 0, 3e-17, 1e-17, 0, 5e-17, 0, 4e-17},  // constant, but ranked
                               {1, 2, 3, NAN, 5, 6, 7},                 // the NaN is the dropped middle
                               {1, 2, NAN, 4, 5, 6, 7, 8}});            // ... and here in the first half
  for (int k = 0; k < 20; ++k) chains.push_back(Ar1Chain(0.3, 10 + k, 50 + k));  // Geyer's sum cut at its bound
  const std::string dir = ScratchDir();
  std::string text;
  for (const std::vector<double>& x : chains) {
    for (size_t t = 0; t < x.size(); ++t) text += (t ? " " : "") + RText(x[t]);
    text += "\n";
  }
  WriteFile(dir + "/chains.txt", text);
  WriteFile(dir + "/figures.R",
            "suppressMessages(library(posterior))\n"
            "figures <- sapply(readLines('chains.txt'), function(line) suppressWarnings({\n"
            "  v <- as.numeric(strsplit(line, ' ')[[1]]); x <- matrix(v, ncol = 1)\n"
            "  c(ess_bulk(x), ess_tail(x), rhat(x), mcse_mean(x), mcse_quantile(x, 0.5),\n"
            "    mcse_mean(matrix(as.numeric(v > 0), ncol = 1)))}))\n"
            "write(formatC(figures, digits = 17, format = 'g'), 'figures.txt', ncolumns = 6)\n");
  ASSERT_EQ(std::system(("cd '" + dir + "' && Rscript figures.R").c_str()), 0);
  std::istringstream figures(ReadFile(dir + "/figures.txt"));
  std::filesystem::remove_all(dir);
  telvo::ConvergenceScratch scratch;
  const char* names[] = {"ess_bulk", "ess_tail", "rhat", "mcse_mean", "mcse_quantile", "mcse of P(x > 0)"};
  for (size_t c = 0; c < chains.size(); ++c) {
    std::vector<double> ours = OurFigures(chains[c], scratch);
    for (int k = 0; k < 6; ++k) {
      std::string word;
      ASSERT_TRUE(figures >> word);
      const double theirs = word == "NA" ? NAN : std::stod(word);
      if (std::isnan(theirs) || std::isinf(theirs))
        EXPECT_EQ(std::isnan(ours[k]) ? "NaN" : RText(ours[k]), RText(theirs)) << "chain " << c << " " << names[k];
      else
        EXPECT_NEAR(ours[k], theirs, 1e-9 * std::abs(theirs)) << "chain " << c << " " << names[k];
    }
  }
}

TEST(Diagnostics, ConvergenceOfChainsWhoseAnswersAreKnown) {
  telvo::ConvergenceScratch scratch;
  // Independent normal draws: ESS S, R-hat 1; MCSE of the mean 1 / sqrt(S), of the median
  // sqrt(pi / 2) / sqrt(S) (its asymptotic sd), of P(x > 0) 0.5 / sqrt(S). The median's estimate spans
  // some 2 sqrt(S / 4) order statistics, a relative error of about 1 / sqrt(2 sqrt(S / 4)): 6% at
  // S = 100,000, so 20% is over three of them; the rest stray by about 1%.
  const int s = 100000;
  std::vector<double> iid = Ar1Chain(0.0, s, 41);
  telvo::ChainConvergence c = telvo::ChainDiagnostics(iid.data(), s, scratch);
  EXPECT_NEAR(c.EssBulk, s, 0.05 * s);
  EXPECT_NEAR(c.EssTail, s, 0.1 * s);
  EXPECT_LT(c.Rhat, 1.005);
  EXPECT_NEAR(c.McseMean * std::sqrt(s), 1.0, 0.05);
  EXPECT_NEAR(c.McseMedian * std::sqrt(s), std::sqrt(std::acos(-1.0) / 2), 0.2 * 1.2533);
  EXPECT_NEAR(telvo::McseShareAbove(iid.data(), s, 0.0, scratch) * std::sqrt(s), 0.5, 0.025);
  // Ranks, not values: a strictly increasing transform leaves the ESS as they were (not R-hat, whose
  // folded half measures distances from the median).
  std::vector<double> stretched(iid);
  for (double& x : stretched) x = std::exp(3 * x);
  telvo::ChainConvergence e = telvo::ChainDiagnostics(stretched.data(), s, scratch);
  EXPECT_EQ(e.EssBulk, c.EssBulk);
  EXPECT_EQ(e.EssTail, c.EssTail);
  // AR(1) with phi = 0.9: MCSE of the mean sd sqrt(tau / S) = 1 / ((1 - phi) sqrt(S)); 12% as above.
  const int n = 400000;
  std::vector<double> ar = Ar1Chain(0.9, n, 42);
  EXPECT_NEAR(telvo::McseMean(ar.data(), n, scratch) * 0.1 * std::sqrt(n), 1.0, 0.12);
  // Halves a unit apart: well past the 1.01 that calls a chain unmixed.
  for (int t = s / 2; t < s; ++t) iid[t] += 1.0;
  EXPECT_GT(telvo::ChainDiagnostics(iid.data(), s, scratch).Rhat, 1.1);
  // No figure of a constant chain or of one too short; R-hat from halves of two draws, ESS from three.
  std::vector<double> flat(1000, 2.5), five = {1, 3, 2, 5, 4};
  for (const telvo::ChainConvergence& d :
       {telvo::ChainDiagnostics(flat.data(), 1000, scratch), telvo::ChainDiagnostics(five.data(), 3, scratch)})
    for (double figure : {d.EssBulk, d.EssTail, d.Rhat, d.McseMean, d.McseMedian}) EXPECT_TRUE(std::isnan(figure));
  telvo::ChainConvergence d = telvo::ChainDiagnostics(five.data(), 5, scratch);
  EXPECT_TRUE(std::isfinite(d.Rhat));
  EXPECT_TRUE(std::isnan(d.EssBulk));
  // A share of one has no MCSE; infinite draws count as above.
  std::vector<double> above = {1, 2, INFINITY, 4, 5, 6, 7, 8, -1, 3};
  EXPECT_TRUE(std::isnan(telvo::McseShareAbove(above.data(), 8, 0.0, scratch)));
  EXPECT_TRUE(std::isfinite(telvo::McseShareAbove(above.data(), 10, 0.0, scratch)));
}
