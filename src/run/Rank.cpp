// telvo-rank: ranks the node-pair contrasts of one or more contrasts tables (the shards of one run, in
// order) as the run itself would, and draws their report page.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "report/Report.h"
#include "run/Run.h"

namespace telvo {
namespace {

const char RankUsageLine[] =
    "Usage: telvo-rank [-o FILE] [--report FILE.html] CONTRASTS.tsv...   (telvo-rank --help for more)";

const char HelpText[] =
    "Usage: telvo-rank [-o FILE] [--report FILE.html] [--run-table FILE] CONTRASTS.tsv...\n"
    "Ranks the node-pair contrasts of telvo contrasts tables (PREFIX.contrasts.tsv). Give the tables of\n"
    "the shards of one run in shard order. The rows are grouped by node pair and ranked within a pair by\n"
    "local false sign rate (lfsr), then by larger |log2_ratio|, then by input order. Two columns follow:\n"
    "  rank     1, 2, ... within the node pair\n"
    "  svalue   mean lfsr of the rows ranked so far: the expected share of wrong-sign calls among them\n"
    "Options:\n"
    "  -o FILE      write the ranked table to FILE (whole, or not at all) instead of standard output\n"
    "  --report FILE.html\n"
    "               also write the report page of the run, drawn from the ranking and from the nodes and\n"
    "               run tables beside each contrasts table (PREFIX.nodes.tsv, PREFIX.run.tsv)\n"
    "  --run-table FILE\n"
    "               also write the run tables beside the contrasts tables joined as one run's: counts and\n"
    "               times summed, the earliest start, the latest end, the number of shards\n"
    "  --input NAME, --prefix PREFIX\n"
    "               the whole run's input file and output prefix, for the joined run table and the report\n"
    "  -h, --help   this text\n"
    "  --version    the version\n";

// What the command line asks for.
struct RankRequest {
  std::string Out;                  // -o: the ranked table's file; empty: standard output
  std::string Report;               // --report: the page's file; empty: no page
  std::string RunTable;             // --run-table: the joined run table's file; empty: none
  std::string Input, Prefix;        // --input, --prefix: the whole run's names; empty: the shards'
  std::vector<std::string> Inputs;  // the contrasts tables, in shard order
  bool Answered = false;            // --help or --version was answered
};

RankRequest ReadArguments(int argc, char** argv) {
  RankRequest r;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") return std::fputs(HelpText, stdout), r.Answered = true, r;
    if (arg == "--version") return std::printf("telvo-rank %s\n", TELVO_VERSION), r.Answered = true, r;
    std::string* value = arg == "-o"            ? &r.Out
                         : arg == "--report"    ? &r.Report
                         : arg == "--run-table" ? &r.RunTable
                         : arg == "--input"     ? &r.Input
                         : arg == "--prefix"    ? &r.Prefix
                                                : nullptr;
    if (value) {
      if (++i == argc) throw RunStop{"", 1, arg + " needs a " + (arg == "--prefix" ? "prefix" : "file name"), true};
      *value = argv[i];
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw RunStop{"", 1, "unknown option " + arg, true};
    } else {
      r.Inputs.push_back(arg);
    }
  }
  if (r.Inputs.empty()) throw RunStop{"", 1, "no input file", true};
  return r;
}

// The tables beside a contrasts table that the report and the run table are drawn from.
std::string PrefixOf(const RankRequest& r, const std::string& contrasts) {
  const std::string extension = TableExtensions[ContrastsOutput];
  if (contrasts.size() <= extension.size() ||
      contrasts.compare(contrasts.size() - extension.size(), extension.size(), extension))
    Refuse(std::string(r.Report.empty() ? "--run-table" : "--report") + " needs contrasts tables named PREFIX" +
           extension + ", not " + contrasts);
  return contrasts.substr(0, contrasts.size() - extension.size());
}

// No output may be a link, or replace a file read, or the other output.
void RefuseUnsafeOutputs(const RankRequest& r, const std::vector<std::string>& read) {
  const std::string outputs[] = {r.Out, r.Report, r.RunTable};
  for (size_t a = 0; a < 3; ++a)
    for (size_t b = a + 1; b < 3; ++b)
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

void Written(const std::string& problem) {
  if (!problem.empty()) Refuse(problem);
}

int Rank(const RankRequest& r) {
  std::vector<std::string> read = r.Inputs;  // every file read, which no output may replace
  if (!r.Report.empty() || !r.RunTable.empty())
    for (const std::string& name : r.Inputs) {
      std::string prefix = PrefixOf(r, name);
      read.push_back(prefix + TableExtensions[NodesOutput]);
      read.push_back(prefix + TableExtensions[RunTableOutput]);
    }
  RefuseUnsafeOutputs(r, read);
  std::vector<TableSource> sources;
  for (const std::string& name : r.Inputs) sources.push_back(ReadSource(name));
  std::vector<ContrastRow> ranked;
  ReadContrastsTables(sources, ranked);
  RankContrasts(ranked);
  std::string text = RankedTableText(ranked);
  std::vector<NodeRow> nodes;
  std::vector<RunRows> runs;
  for (size_t k = r.Inputs.size(); k < read.size(); k += 2) {
    if (!r.Report.empty()) ReadNodesTable(ReadSource(read[k]), nodes);
    runs.push_back(ReadRunTable(ReadSource(read[k + 1])));
  }
  RunRows run = runs.empty() ? RunRows{} : CombineRunTables(runs, r.Input, r.Prefix);
  if (!r.Report.empty()) Written(WriteWholeFile(r.Report, ReportPage(nodes, ranked, run)));
  if (!r.RunTable.empty()) Written(WriteWholeFile(r.RunTable, RunTableText(run)));
  Written(r.Out.empty() ? WriteAllOut(STDOUT_FILENO, text) : WriteWholeFile(r.Out, text));
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
