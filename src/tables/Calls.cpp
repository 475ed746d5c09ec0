// The calls across genes: the empirical-Bayes prior of every node pair, every contrast's posterior under
// it, the ranking by lfdr, q-values, s-values and the calls; and the genes' calls made from their pairs.
#include <algorithm>
#include <cmath>
#include <map>

#include "tables/Tables.h"

namespace telvo {
namespace {

bool Usable(const ContrastRow& row) {
  return std::isfinite(row.Log2Mean) && row.Log2Sd > 0 && std::isfinite(row.Log2Sd);
}

// The prior of every pair, fitted to the ranked set's log2 means and sds in input order.
std::vector<UnimodalPrior> FitPriors(const std::vector<ContrastRow>& rows, size_t pairs) {
  std::vector<std::vector<double>> b(pairs), s(pairs);
  for (const ContrastRow& row : rows)
    if (row.Ranked && Usable(row)) b[row.Pair].push_back(row.Log2Mean), s[row.Pair].push_back(row.Log2Sd);
  return FitPairPriors(b, s);
}

// Table order within a pair: the ranked set first, each part by lfdr (NaN last), then larger
// |eb_mean|, then input order (the sort is stable).
bool ComesBefore(const ContrastRow& a, const ContrastRow& b) {
  if (a.Pair != b.Pair) return a.Pair < b.Pair;
  if (a.Ranked != b.Ranked) return a.Ranked;
  bool nanA = std::isnan(a.Lfdr), nanB = std::isnan(b.Lfdr);
  if (nanA != nanB) return nanB;
  if (!nanA && a.Lfdr != b.Lfdr) return a.Lfdr < b.Lfdr;
  return std::fabs(a.EbMean) > std::fabs(b.EbMean);
}

// Today's s-value order: lfsr, then larger |log2_ratio| (NaN last), then input order.
bool LfsrBefore(const ContrastRow* a, const ContrastRow* b) {
  if (a->Lfsr != b->Lfsr) return a->Lfsr < b->Lfsr;
  double sizeA = std::fabs(a->Log2Ratio), sizeB = std::fabs(b->Log2Ratio);
  if (std::isnan(sizeA) || std::isnan(sizeB)) return !std::isnan(sizeA) && std::isnan(sizeB);
  return sizeA > sizeB;
}

// The ranked rows [first, last) of one pair, in table order: ranks, q-values, the rate above the
// threshold, s-values and calls.
void RankPair(std::vector<ContrastRow>& rows, size_t first, size_t last, double fdr, double minLog2) {
  const size_t count = last - first;
  std::vector<double> lfdr(count), notAbove(count), q(count), rate(count);
  for (size_t k = 0; k < count; ++k) {
    lfdr[k] = rows[first + k].Lfdr;
    notAbove[k] = 1 - rows[first + k].PAbove;
  }
  RunningMeans(lfdr.data(), lfdr.data(), count, q.data());
  if (minLog2 >= 0) RunningMeans(lfdr.data(), notAbove.data(), count, rate.data());
  std::vector<ContrastRow*> byLfsr;
  for (size_t k = 0; k < count; ++k) {
    ContrastRow& row = rows[first + k];
    row.Rank = static_cast<double>(k + 1);
    row.Qvalue = q[k];
    row.AboveRate = minLog2 >= 0 ? rate[k] : NAN;
    row.Called = q[k] <= fdr && (minLog2 < 0 || rate[k] <= fdr);
    byLfsr.push_back(&row);
  }
  std::stable_sort(byLfsr.begin(), byLfsr.end(), LfsrBefore);
  double lfsrSum = 0;
  for (size_t k = 0; k < count; ++k) {
    lfsrSum += byLfsr[k]->Lfsr;
    byLfsr[k]->Svalue = lfsrSum / static_cast<double>(k + 1);
  }
}

}  // namespace

std::vector<PairCalls> CallContrasts(std::vector<ContrastRow>& rows, double fdr, double minLog2) {
  size_t pairs = 0;
  for (ContrastRow& row : rows) {
    pairs = std::max(pairs, row.Pair + 1);
    row.Ranked = row.Acceptable;
  }
  std::vector<UnimodalPrior> priors = FitPriors(rows, pairs);
  std::vector<PairCalls> calls(pairs);
  for (ContrastRow& row : rows) {
    ShrunkEffect e = ShrinkEffect(priors[row.Pair], row.Log2Mean, row.Log2Sd);
    row.EbMean = AsPrinted(e.Mean), row.EbSd = AsPrinted(e.Sd);
    row.Lfdr = AsPrinted(e.Lfdr), row.EbLfsr = AsPrinted(e.Lfsr);
    row.Rank = row.Qvalue = row.AboveRate = row.Svalue = NAN;
    row.Called = false;
    calls[row.Pair].NodeA = row.NodeA, calls[row.Pair].NodeB = row.NodeB;
  }
  std::stable_sort(rows.begin(), rows.end(), ComesBefore);
  for (size_t first = 0; first < rows.size();) {
    size_t last = first;
    while (last < rows.size() && rows[last].Pair == rows[first].Pair && rows[last].Ranked) ++last;
    RankPair(rows, first, last, fdr, minLog2);
    while (last < rows.size() && rows[last].Pair == rows[first].Pair) ++last;
    first = last;
  }
  for (size_t p = 0; p < pairs; ++p) calls[p].Pi0 = priors[p].Weight.empty() ? NAN : AsPrinted(priors[p].Weight[0]);
  for (const ContrastRow& row : rows) calls[row.Pair].Called += row.Called;
  return calls;
}

// The Wald test of "every node alike" from one gene's rows, by pair position: the log2 ratios of node 1
// to every other node are the first N - 1 pairs, and the covariance of two of them follows from the
// variances of the three pairs their nodes form: Cov(x1 - xi, x1 - xj) = (V1i + V1j - Vij) / 2.
void TestGene(const std::vector<const ContrastRow*>& byPair, GeneRow& g) {
  const size_t pairs = byPair.size();
  const int n = static_cast<int>(std::lround((1 + std::sqrt(1 + 8.0 * pairs)) / 2)), k = n - 1;
  g.Df = k, g.Chisq = g.PAny = NAN;
  if (pairs == 0 || static_cast<size_t>(n) * k / 2 != pairs) return;
  std::vector<double> variance(static_cast<size_t>(n) * n, 0.0), mean(k), cov(static_cast<size_t>(k) * k);
  for (int a = 0, p = 0; a < n; ++a)
    for (int b = a + 1; b < n; ++b, ++p) {
      if (!byPair[p]) return;
      variance[a * n + b] = variance[b * n + a] = byPair[p]->Log2Sd * byPair[p]->Log2Sd;
    }
  for (int i = 0; i < k; ++i) {
    mean[i] = byPair[i]->Log2Mean;
    for (int j = 0; j < k; ++j)
      cov[i * k + j] = (variance[i + 1] + variance[j + 1] - variance[(i + 1) * n + j + 1]) / 2;
  }
  g.Chisq = AsPrinted(WaldStatistic(mean.data(), cov.data(), k));
  g.PAny = AsPrinted(ChiSquareSurvival(g.Chisq, k));
}

std::vector<GeneRow> CallGenes(const std::vector<ContrastRow>& ranked, double fdr) {
  std::map<long, std::vector<const ContrastRow*>> byGene;  // gene number -> its rows by pair position
  for (const ContrastRow& row : ranked) {
    std::vector<const ContrastRow*>& rows = byGene[row.GeneNumber];
    if (rows.size() <= row.Pair) rows.resize(row.Pair + 1, nullptr);
    rows[row.Pair] = &row;
  }
  std::vector<GeneRow> genes;
  std::vector<double> p;
  for (const auto& [number, rows] : byGene) {
    GeneRow g;
    const ContrastRow& first = *rows.front();
    g.GeneId = first.GeneId, g.GeneName = first.GeneName, g.GeneNumber = number, g.Ranked = first.Ranked;
    g.LargestEbMean = NAN;
    for (const ContrastRow* row : rows) {
      if (!row) continue;
      g.PairsCalled += row->Called;
      if (std::isnan(g.LargestEbMean) || std::fabs(row->EbMean) > std::fabs(g.LargestEbMean))
        g.LargestEbMean = row->EbMean, g.LargestA = row->NodeA, g.LargestB = row->NodeB;
    }
    TestGene(rows, g);
    genes.push_back(g);
    p.push_back(g.Ranked ? g.PAny : NAN);
  }
  std::vector<double> q(genes.size());
  BenjaminiHochberg(p.data(), p.size(), q.data());
  for (size_t k = 0; k < genes.size(); ++k) {
    genes[k].QAny = AsPrinted(q[k]);
    genes[k].Called = genes[k].QAny <= fdr;
  }
  return genes;
}

std::string RankedTableText(const std::vector<ContrastRow>& ranked) {
  std::string text = RankedHeader();
  text.reserve(ranked.size() * 260 + text.size());
  for (const ContrastRow& row : ranked) AppendRankedRow(text, row);
  return text;
}

std::string GenesTableText(const std::vector<GeneRow>& genes) {
  std::string text = GenesHeader();
  for (const GeneRow& row : genes) AppendGeneRow(text, row);
  return text;
}

long NotConverged(const std::vector<NodeRow>& nodes, const std::vector<ContrastRow>& contrasts) {
  std::map<long, bool> flagged;  // gene number -> needs a look
  auto unsure = [](double ess) { return !(ess >= EssNeeded); };
  for (const NodeRow& n : nodes)
    if (n.Status == GeneStatus::Estimated)
      flagged[n.GeneNumber] |= unsure(n.EssBulk) || unsure(n.EssTail) || !(n.Rhat <= RhatLimit);
  for (const ContrastRow& c : contrasts) flagged[c.GeneNumber] |= unsure(c.EssBulk) || unsure(c.EssTail);
  long count = 0;
  for (const auto& [number, needsALook] : flagged) count += needsALook;
  return count;
}

}  // namespace telvo
