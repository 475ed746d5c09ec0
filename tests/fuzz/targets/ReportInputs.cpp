// Fuzz target: what the report is drawn from, read as telvo-rank reads it. The input is a nodes table, a
// contrasts table and one or more run tables (the shards', in order), joined by form feeds; the run
// tables are joined, the contrasts ranked at the level the run names, and the page made. The page must
// parse as XML, as it says it does, where libxml2 is there to check it.
#include <cfloat>
#include <cmath>

#include "FuzzSupport.h"
#include "TableText.h"
#include "report/Report.h"

#ifdef TELVO_FUZZ_XML
#include <libxml/parser.h>
#endif

namespace telvo {
namespace {

constexpr size_t MostFiles = 5;  // the nodes table, the contrasts table and up to three run tables

// The files of one input: what telvo-rank reads beside each other.
struct ReportFiles {
  std::vector<NodeRow> Nodes;          // the nodes table's rows
  std::vector<ContrastRow> Contrasts;  // the contrasts table's rows
  std::vector<RunRows> Runs;           // every run table's rows, in shard order
};

// Reads every file of the input; a RunStop on the way is telvo-rank's refusal and passes on.
ReportFiles ReadFiles(std::string_view data) {
  std::vector<std::string> files = SplitFiles(data, MostFiles);
  ReportFiles in;
  ReadNodesTable({"x.nodes.tsv", files[0]}, in.Nodes);
  if (files.size() > 1) ReadContrastsTables({{"x.contrasts.tsv", files[1]}}, in.Contrasts);
  for (size_t k = 2; k < files.size(); ++k) in.Runs.push_back(ReadRunTable({"x.run.tsv", files[k]}));
  return in;
}

// A level or threshold as telvo-rank takes it from the run table: missing or NA is the default, a value
// outside [low, high) is refused (false).
bool RunSetting(const RunRows& run, const char* key, double low, double high, double& value) {
  const std::string text = RunValue(run, key);
  if (text.empty() || text == "NA") return true;
  return ParseStrictReal(text, value) && value >= low && value < high;
}

void CheckPageParses(const std::string& page) {
#ifdef TELVO_FUZZ_XML
  xmlDocPtr doc = xmlReadMemory(page.data(), static_cast<int>(page.size()), "report.html", nullptr,
                                XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  if (!doc) {
    const xmlError* error = xmlGetLastError();
    Finding("the report page does not parse as XML: line " + std::to_string(error ? error->line : 0) + ": " +
            (error && error->message ? error->message : "no reason given"));
  }
  xmlFreeDoc(doc);
#else
  (void)page;
#endif
}

void MakeReport(std::string_view data) {
  ReportFiles in;
  RunRows run;
  try {
    in = ReadFiles(data);
    if (!in.Runs.empty()) run = CombineRunTables(in.Runs);
  } catch (const RunStop&) {
    return;  // telvo-rank's answer to tables it cannot join
  }
  CheckReadsBack("nodes table", in.Nodes, NodesText, ReadNodes);
  double fdr = 0.05, minLog2 = -1;
  if (!RunSetting(run, "fdr", DBL_MIN, 1, fdr) || !RunSetting(run, "min_log2", 0, INFINITY, minLog2)) return;
  std::vector<ContrastRow> ranked = in.Contrasts;
  std::vector<PairCalls> pairs = CallContrasts(ranked, fdr, minLog2);
  std::vector<GeneRow> genes = CallGenes(ranked, fdr);
  RunRows calls = CallRows(pairs, genes, NotConverged(in.Nodes, in.Contrasts));
  run.insert(run.end(), calls.begin(), calls.end());
  CheckReadsBack("run table", run, RunTableText, ReadRunTable);  // as telvo-rank --run-table writes it
  CheckPageParses(ReportPage(in.Nodes, ranked, run));
}

}  // namespace
}  // namespace telvo

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  telvo::MakeReport(telvo::AsText(data, size));
  return 0;
}
