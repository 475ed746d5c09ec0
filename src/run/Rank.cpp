// telvo-rank: the calls, the ranking, the genes table, the run table and the report of one or more
// contrasts tables (the shards of one run, in order), made as the run itself makes them.
#include <sys/stat.h>
#include <unistd.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <set>

#include "report/Report.h"
#include "run/Run.h"

namespace telvo {
namespace {

const char RankUsageLine[] =
    "Usage: telvo-rank [-o FILE] [--report FILE.html] CONTRASTS.tsv...   (telvo-rank --help for more)";

const char HelpText[] =
    "Usage: telvo-rank [-o FILE] [--genes FILE] [--run-table FILE] [--report FILE.html] CONTRASTS.tsv...\n"
    "Makes the calls of telvo's analysis tables over one or more contrasts tables (PREFIX.contrasts.tsv),\n"
    "the shards of one run in shard order, as the run itself makes them at its end: the empirical-Bayes\n"
    "prior of each node pair, every contrast's lfdr and q-value, the ranked table (PREFIX.top.tsv), the\n"
    "genes table, the run table and the report. It reads the nodes and run tables beside each contrasts\n"
    "table (PREFIX.nodes.tsv, PREFIX.run.tsv) and refuses a table whose run did not end normally.\n"
    "Options:\n"
    "  -o FILE      write the ranked table to FILE (whole, or not at all) instead of standard output\n"
    "  --genes FILE write the genes table: one row per estimated gene, its pairs' calls brought together\n"
    "  --run-table FILE\n"
    "               write the run tables joined as one run's: counts and times summed, the earliest start,\n"
    "               the latest end, the number of shards, and the calls\n"
    "  --report FILE.html\n"
    "               write the report page\n"
    "  --input NAME, --prefix PREFIX\n"
    "               the whole run's input file and output prefix, for the joined run table and the report\n"
    "  --fdr ALPHA  the level of the calls (the runs' own, else 0.05)\n"
    "  --min-log2 T a call needs |log2 ratio| above T too (the runs' own, else none)\n"
    "  --partial    rank tables whose run did not end normally, or has no run table beside it; the\n"
    "               run table and the report then say that the ranking is partial\n"
    "  -h, --help   this text\n"
    "  --version    the version\n";

// What the command line asks for.
struct RankRequest {
  std::string Out;                  // -o: the ranked table's file; empty: standard output
  std::string Genes;                // --genes: the genes table's file; empty: none
  std::string RunTable;             // --run-table: the joined run table's file; empty: none
  std::string Report;               // --report: the page's file; empty: no page
  std::string Input, Prefix;        // --input, --prefix: the whole run's names; empty: the shards'
  std::string Fdr, MinLog2;         // --fdr, --min-log2 as given; empty: the runs' own
  bool Partial = false;             // --partial: tables of runs that did not end are ranked too
  std::vector<std::string> Inputs;  // the contrasts tables, in shard order
  bool Answered = false;            // --help or --version was answered
};

std::string* ValueOf(RankRequest& r, const std::string& option) {
  if (option == "-o") return &r.Out;
  if (option == "--genes") return &r.Genes;
  if (option == "--run-table") return &r.RunTable;
  if (option == "--report") return &r.Report;
  if (option == "--input") return &r.Input;
  if (option == "--prefix") return &r.Prefix;
  if (option == "--fdr") return &r.Fdr;
  if (option == "--min-log2") return &r.MinLog2;
  return nullptr;
}

RankRequest ReadArguments(int argc, char** argv) {
  RankRequest r;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") return std::fputs(HelpText, stdout), r.Answered = true, r;
    if (arg == "--version") return std::printf("telvo-rank %s\n", TELVO_VERSION), r.Answered = true, r;
    if (std::string* value = ValueOf(r, arg)) {
      if (++i == argc) throw RunStop{"", 1, arg + " needs a value", true};
      *value = argv[i];
    } else if (arg == "--partial") {
      r.Partial = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw RunStop{"", 1, "unknown option " + arg, true};
    } else {
      r.Inputs.push_back(arg);
    }
  }
  if (r.Inputs.empty()) throw RunStop{"", 1, "no input file", true};
  return r;
}

// The prefix of a contrasts table named PREFIX.contrasts.tsv; "" for another name.
std::string PrefixOf(const std::string& contrasts) {
  const std::string extension = TableExtensions[ContrastsOutput];
  if (contrasts.size() <= extension.size() ||
      contrasts.compare(contrasts.size() - extension.size(), extension.size(), extension))
    return "";
  return contrasts.substr(0, contrasts.size() - extension.size());
}

// No output may be a link, or replace a file read, or another output.
void RefuseUnsafeOutputs(const RankRequest& r, const std::vector<std::string>& read) {
  const std::vector<std::string> outputs = {r.Out, r.Genes, r.RunTable, r.Report};
  for (size_t a = 0; a < outputs.size(); ++a)
    for (size_t b = a + 1; b < outputs.size(); ++b)
      if (!outputs[a].empty() && !outputs[b].empty() && SameFile(outputs[a], outputs[b]))
        Refuse("will not write two outputs into one file " + outputs[a]);
  for (const std::string& out : outputs) {
    struct stat link;
    if (!out.empty() && lstat(out.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
      Refuse("will not write through the symbolic link " + out);
    for (const std::string& name : read)
      if (!out.empty() && SameFile(out, name)) Refuse("will not write over the input file " + name);
  }
}

TableSource ReadSource(const std::string& name) {
  TableSource source{name, ""};
  std::string problem = ReadWholeFile(name, source.Text);
  if (!problem.empty()) Refuse(problem);
  return source;
}

// What was read: the contrasts, and beside them the nodes and run tables of the runs that ended.
struct RankInput {
  std::vector<ContrastRow> Contrasts;  // every table's rows, in order
  std::vector<NodeRow> Nodes;          // the nodes tables beside them
  std::vector<RunRows> Runs;           // the run tables beside them
  bool Partial = false;                // a table has no run table: its run did not end normally
};

// The run table beside one contrasts table; a table without one is taken only when partial is asked.
void ReadBeside(const RankRequest& r, const std::string& name, RankInput& in) {
  std::string prefix = PrefixOf(name);
  std::string runName = prefix + TableExtensions[RunTableOutput];
  if (prefix.empty() || !FileExists(runName)) {
    if (!r.Partial)
      Refuse(name + ": its run did not end normally, or it is not named PREFIX.contrasts.tsv beside its " +
             "PREFIX.run.tsv; resume the run with telvo --resume, or rank the table anyway with --partial");
    in.Partial = true;
    return;
  }
  in.Runs.push_back(ReadRunTable(ReadSource(runName)));
  ReadNodesTable(ReadSource(prefix + TableExtensions[NodesOutput]), in.Nodes);
}

// Every table's genes are the genes its run table says were estimated.
void RefuseAMismatch(const std::string& name, const std::vector<ContrastRow>& rows, size_t first, size_t last,
                     const RunRows& run) {
  std::set<long> genes;
  for (size_t k = first; k < last; ++k) genes.insert(rows[k].GeneNumber);
  if (std::to_string(genes.size()) != RunValue(run, "estimated"))
    Refuse(name + " holds " + std::to_string(genes.size()) + " genes where its run table says " +
           RunValue(run, "estimated") + " were estimated");
}

RankInput ReadTables(const RankRequest& r) {
  RankInput in;
  std::vector<TableSource> sources;
  std::vector<int> run;  // the run table of each source; -1: none
  for (const std::string& name : r.Inputs) {
    size_t runs = in.Runs.size();
    ReadBeside(r, name, in);
    run.push_back(in.Runs.size() > runs ? static_cast<int>(runs) : -1);
    sources.push_back(ReadSource(name));
  }
  std::vector<size_t> ends;
  ReadContrastsTables(sources, in.Contrasts, &ends);
  for (size_t k = 0; k < sources.size(); ++k)
    if (run[k] >= 0) RefuseAMismatch(r.Inputs[k], in.Contrasts, k ? ends[k - 1] : 0, ends[k], in.Runs[run[k]]);
  return in;
}

// A level or threshold: the option's, else the runs' own, else the default; range says what it must be.
double Setting(const std::string& option, const char* name, const RunRows& run, double low, double high,
               double otherwise, const char* range) {
  std::string text = option.empty() ? RunValue(run, name) : option;
  double value = otherwise;
  if (text.empty() || text == "NA") return otherwise;
  if (!ParseStrictReal(text, value) || !(value >= low && value < high))
    Refuse(std::string(name) + " must be " + range + ", not '" + text + "'");
  return value;
}

void Written(const std::string& problem) {
  if (!problem.empty()) Refuse(problem);
}

int Rank(const RankRequest& r) {
  std::vector<std::string> read = r.Inputs;  // every file read, which no output may replace
  for (const std::string& name : r.Inputs) {
    std::string prefix = PrefixOf(name);
    if (!prefix.empty())
      for (int t : {NodesOutput, RunTableOutput}) read.push_back(prefix + TableExtensions[t]);
  }
  RefuseUnsafeOutputs(r, read);
  RankInput in = ReadTables(r);
  RunRows run = in.Runs.empty() ? RunRows{} : CombineRunTables(in.Runs, r.Input, r.Prefix);
  const double fdr = Setting(r.Fdr, "fdr", run, DBL_MIN, 1, 0.05, "a level above 0 and below 1");
  const double minLog2 = Setting(r.MinLog2, "min_log2", run, 0, INFINITY, -1, "a log2 ratio of 0 or more");
  std::vector<ContrastRow> ranked = in.Contrasts;
  std::vector<PairCalls> pairs = CallContrasts(ranked, fdr, minLog2);
  std::vector<GeneRow> genes = CallGenes(ranked, fdr);
  RunRows calls = CallRows(pairs, genes, NotConverged(in.Nodes, in.Contrasts));
  run.insert(run.end(), calls.begin(), calls.end());
  if (in.Partial) run.emplace_back("partial", "TRUE");
  std::string top = RankedTableText(ranked);
  if (!r.Report.empty()) Written(WriteWholeFile(r.Report, ReportPage(in.Nodes, ranked, run)));
  if (!r.Genes.empty()) Written(WriteWholeFile(r.Genes, GenesTableText(genes)));
  if (!r.RunTable.empty()) Written(WriteWholeFile(r.RunTable, RunTableText(run)));
  Written(r.Out.empty() ? WriteAllOut(STDOUT_FILENO, top) : WriteWholeFile(r.Out, top));
  if (in.Partial) std::fputs("telvo-rank: the ranking is partial: a table's run did not end normally\n", stderr);
  return 0;
}

}  // namespace

int RunTelvoRank(int argc, char** argv) {
  try {
    RankRequest request = ReadArguments(argc, argv);
    return request.Answered ? 0 : Rank(request);
  } catch (const RunStop& stop) {
    ReportFailure(stop, "telvo-rank", RankUsageLine);
    return stop.Status;
  }
}

}  // namespace telvo
