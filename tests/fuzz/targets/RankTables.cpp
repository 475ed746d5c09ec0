// Fuzz target: telvo-rank's reading of contrasts tables and the calls made over what it read. The input
// is one contrasts table, or two (the shards of one run, in order) joined by a form feed. The tables are
// ranked at two levels, without and with a --min-log2 threshold, as telvo-rank may be asked to.
#include <cmath>

#include "FuzzSupport.h"
#include "TableText.h"

namespace telvo {
namespace {

// A probability of the tables: within [0, 1], or NaN where it does not apply.
void CheckShare(const char* what, double x, const std::string& gene) {
  if (!std::isnan(x) && !(x >= 0 && x <= 1)) Finding(std::string(what) + " of gene " + gene + " is " + TableReal(x));
}

// Where each shard's rows end: one mark per source, in order, the last at the last row.
void CheckEnds(const std::vector<size_t>& ends, size_t sources, size_t rows) {
  if (ends.size() != sources || ends.back() != rows) Finding("the shards' ends do not match their rows");
  for (size_t k = 1; k < ends.size(); ++k)
    if (ends[k] < ends[k - 1]) Finding("the shards' ends go back");
}

// The calls of one level: every row ranked once, probabilities that stay probabilities, the tables' text.
void Rank(const std::vector<ContrastRow>& rows, double fdr, double minLog2) {
  std::vector<ContrastRow> ranked = rows;
  std::vector<PairCalls> pairs = CallContrasts(ranked, fdr, minLog2);
  if (ranked.size() != rows.size()) Finding("the calls lost or added contrasts");
  for (const ContrastRow& c : ranked) {
    if (c.Pair >= pairs.size()) Finding("a contrast's pair has no calls");
    const std::string gene = std::to_string(c.GeneNumber);
    CheckShare("lfdr", c.Lfdr, gene), CheckShare("eb_lfsr", c.EbLfsr, gene), CheckShare("qvalue", c.Qvalue, gene);
    CheckShare("svalue", c.Svalue, gene), CheckShare("above_rate", c.AboveRate, gene);
    if (c.EbSd < 0) Finding("eb_sd of gene " + gene + " is " + TableReal(c.EbSd));
  }
  for (const PairCalls& p : pairs) CheckShare("pi0", p.Pi0, p.NodeA + "/" + p.NodeB);
  std::vector<GeneRow> genes = CallGenes(ranked, fdr);
  for (const GeneRow& g : genes) {
    CheckShare("p_any", g.PAny, std::to_string(g.GeneNumber)),
        CheckShare("q_any", g.QAny, std::to_string(g.GeneNumber));
    if (g.Chisq < 0) Finding("chisq of gene " + std::to_string(g.GeneNumber) + " is " + TableReal(g.Chisq));
  }
  RankedTableText(ranked);
  GenesTableText(genes);
}

void RankTables(std::string_view data) {
  std::vector<TableSource> sources;
  for (std::string& text : SplitFiles(data, 2))
    sources.push_back({"shard" + std::to_string(sources.size() + 1) + ".contrasts.tsv", std::move(text)});
  std::vector<ContrastRow> rows;
  std::vector<size_t> ends;
  try {
    ReadContrastsTables(sources, rows, &ends);
  } catch (const RunStop&) {
    return;  // telvo-rank's answer to tables it cannot rank
  }
  CheckEnds(ends, sources.size(), rows.size());
  CheckReadsBack("contrasts table", rows, ContrastsText, ReadContrasts);
  Rank(rows, 0.05, -1);
  Rank(rows, 0.2, 0.5);
}

}  // namespace
}  // namespace telvo

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  telvo::RankTables(telvo::AsText(data, size));
  return 0;
}
