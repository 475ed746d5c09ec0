// The analysis tables of a run with --out: a row per gene and node, a row per estimated gene and node
// pair, the run's settings and counts, and the ranked pairs. Rows of a gene are made when it is
// committed, so that they reach their files together with its result row.
#include <cmath>
#include <ctime>

#include "output/Output.h"
#include "run/Run.h"
#include "tables/Tables.h"

namespace telvo {

constexpr char NodesHeader[] =
    "gene_id\tgene_name\tnode\tstatus\tacceptable\tmu\tmu_lower\tmu_upper\trel\trel_lower\trel_upper\terr\terr_lower\t"
    "err_upper\tess\trhat\tpasses\tmu_accept\terr_accept\tlog_max_likelihood";

std::string TableText(const std::string& text) {
  // Quoted only when it holds a quote, which R and pandas would otherwise take as the start of one.
  if (text.find('"') == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

std::string UntableText(std::string_view cell) {
  if (cell.size() < 2 || cell.front() != '"' || cell.back() != '"') return std::string(cell);
  std::string text;
  for (size_t i = 1; i + 1 < cell.size(); ++i) {
    text += cell[i];
    if (cell[i] == '"' && cell[i + 1] == '"') ++i;
  }
  return text;
}

std::string NodesTableHeader() { return std::string(NodesHeader) + "\n"; }
std::string ContrastsTableHeader() { return std::string(ContrastsHeader) + "\n"; }

static void Cell(std::string& row, const std::string& text) {
  row += '\t';
  row += text;
}

void AppendTableRows(const InputDesign& d, GeneWork& w) {
  const CurrentGene& g = w.Gene;
  const GeneSummary& sum = w.Summary;
  const TuningState& t = w.Tuning;
  const bool estimated = g.IrreducibleMatrix && g.EnoughData;
  const std::string gene = TableText(g.GeneUniqueID) + "\t" + TableText(g.GeneCommonName);
  const char* status = estimated ? "estimated" : !g.IrreducibleMatrix ? "not_connected" : "too_few_data";
  std::string& rows = w.Out.NodeRows;
  for (int i = 1; i <= d.NumExpressionNodes; ++i) {
    rows += gene;
    Cell(rows, TableText(d.ExpressionNodeNameList[i]));
    Cell(rows, status);
    if (!estimated) {
      for (int c = 0; c < 16; ++c) Cell(rows, "NA");
      rows += '\n';
      continue;
    }
    const NodeSummary& n = sum.Nodes[i];
    Cell(rows, TableBool(sum.Acceptable));
    for (double x : {n.Mu, n.MuLower, n.MuUpper, n.Rel, n.RelLower, n.RelUpper, n.Err, n.ErrLower, n.ErrUpper, n.Ess,
                     n.Rhat})
      Cell(rows, TableReal(x));
    Cell(rows, std::to_string(t.TuningDepth));
    for (double x : {t.MuAcceptanceRatio, t.VCVAcceptanceRatio, sum.LogMaxLikelihood}) Cell(rows, TableReal(x));
    rows += '\n';
  }
  if (!estimated) return;
  std::string& pairs = w.Out.ContrastRows;
  for (const ContrastSummary& c : sum.Contrasts) {
    pairs += gene;
    Cell(pairs, TableText(d.ExpressionNodeNameList[c.A]));
    Cell(pairs, TableText(d.ExpressionNodeNameList[c.B]));
    for (double x : {c.Log2Ratio, c.Log2Lower, c.Log2Upper, c.PGreater, c.Lfsr}) Cell(pairs, TableReal(x));
    Cell(pairs, TableBool(sum.Acceptable));
    pairs += '\n';
  }
}

static std::string LocalTime(std::time_t when) {
  char text[32];
  std::tm local{};
  localtime_r(&when, &local);
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  return text;
}

static std::string RealList(const NodeReals& values, int count) {
  std::string list;
  for (int i = 1; i <= count; ++i) list += (i > 1 ? "," : "") + TableReal(values[i]);
  return list;
}

std::string RunTableText(const RunState& run, double secondsUsed) {
  const RunSettings& s = run.Settings;
  const RunCounters& c = run.Counters;
  const int n = run.Design.NumExpressionNodes;
  const std::pair<const char*, std::string> rows[] = {
      {"program", "telvo"},
      {"version", TELVO_VERSION},
      {"input_file", run.Design.FileName},
      {"output_prefix", s.OutPrefix},
      {"result_file", s.ResultFileName},
      {"error_model", s.ErrorModel},
      {"error_terms", s.ConstrainedVCV ? "shared" : "separate"},
      {"initial_mu", RealList(s.InitialMu, n)},
      {"initial_error_terms", RealList(s.InitialVCV, n)},
      {"mu_step_size", TableReal(s.MuStepSize)},
      {"error_step_size", TableReal(s.VCVStepSize)},
      {"burn_in", std::to_string(s.BurnIn)},
      {"sampling_period", std::to_string(s.SamplingPeriod)},
      {"samples", std::to_string(s.ChainSampleSize)},
      {"max_tuning_passes", std::to_string(s.MaxTuningDepth)},
      {"full_output", TableBool(s.FullOutput)},
      {"seed", std::to_string(s.SeedUsed)},
      {"threads", s.Threads > 0 ? std::to_string(s.Threads) : "NA"},
      {"first_gene", std::to_string(s.FirstGene)},
      {"genes_read", std::to_string(c.Tally)},
      {"estimated", std::to_string(c.Estimated)},
      {"acceptable", std::to_string(c.Acceptable)},
      {"not_connected", std::to_string(c.NotConnected)},
      {"too_few_data", std::to_string(c.TooFewData)},
      {"start_time", LocalTime(c.StartClock)},
      {"end_time", LocalTime(std::time(nullptr))},
      {"time_used", ElapsedText(secondsUsed)},
  };
  std::string text = "key\tvalue\n";
  for (const auto& [key, value] : rows) text += std::string(key) + "\t" + TableText(value) + "\n";
  return text;
}

}  // namespace telvo
