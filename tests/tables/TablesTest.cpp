// The analysis tables of --out: the same for any worker count and for shards, the legacy files as
// without --out, readable by R and pandas, and intervals and rankings that hold on simulated data.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>

#include "simulate/Simulate.h"
#include "support/TestSupport.h"

using namespace telvo;

namespace {

const std::vector<std::string> Quick = {"-r", "5", "-b", "300", "-g", "120", "-p", "3", "-t", "3"};
const char* const TableNames[] = {".nodes.tsv", ".contrasts.tsv", ".top.tsv", ".genes.tsv"};

// A simulated 4-node loop with a gene that is not connected and one with too few data after gene 3.
std::string MixedInput(int genes, std::vector<SimulatedGene>* truth = nullptr, double unchanged = 0,
                       uint32_t seed = 17) {
  SimulationOptions o;
  o.Genes = genes, o.Replicates = 2, o.ErrorTerm = 0.15, o.UnchangedFraction = unchanged, o.Seed = seed;
  std::ostringstream text;
  std::vector<SimulatedGene> t = SimulateFile(o, text);
  if (truth) *truth = t;
  std::vector<std::string> lines = Lines(text.str());
  if (!truth) {
    std::string lonely = "S1\t\"quoted\" name", few = "S2\tfew#";
    std::vector<std::pair<int, int>> chain = {{1, 2}, {2, 3}, {3, 4}};  // connected, but 3 ratios for 4 parameters
    for (const auto& hyb : SimulatedHybs(o)) {
      lonely += hyb == chain[0] ? "\t1.5" : "\t0";
      auto link = std::find(chain.begin(), chain.end(), hyb);
      few += link != chain.end() ? "\t1.1" : "\t0";
      if (link != chain.end()) *link = {0, 0};
    }
    lines.insert(lines.begin() + 6, {lonely, few});
  }
  std::string joined;
  for (const std::string& line : lines) joined += line + "\n";
  return joined;
}

std::string Header(const std::string& table) { return table.substr(0, table.find('\n') + 1); }
std::string Body(const std::string& table) { return table.substr(table.find('\n') + 1); }

// The run table without the lines that may differ between equal runs.
std::string SteadyRunTable(const std::string& text) {
  std::string kept;
  for (const std::string& line : Lines(text))
    if (line.rfind("threads\t", 0) && line.rfind("start_time\t", 0) && line.rfind("end_time\t", 0) &&
        line.rfind("time_used\t", 0) && line.rfind("output_prefix\t", 0) && line.rfind("result_file\t", 0))
      kept += line + "\n";
  return kept;
}

}  // namespace

TEST(Tables, SameForAnyWorkerCountForShardsAndBesideUnchangedLegacyFiles) {
  std::string dir = ScratchDir();
  std::string input = MixedInput(10);
  WriteFile(dir + "/x.txt", input);
  std::map<std::string, std::string> first;
  for (const char* j : {"1", "2", "3"}) {
    ProgramRun run = RunProgram(dir, With(Quick, {"-j", j, "--out", std::string("j") + j + "/all", "x.txt"}));
    ASSERT_EQ(run.Status, 0) << run.Out;
    std::string prefix = dir + "/j" + j + "/all";
    for (const char* t : TableNames) {
      std::string table = ReadFile(prefix + t);
      if (first.count(t)) {
        EXPECT_EQ(table, first[t]) << t << " with -j " << j;
      }
      first.emplace(t, table);
    }
    std::string runTable = SteadyRunTable(ReadFile(prefix + ".run.tsv"));
    if (first.count("run")) {
      EXPECT_EQ(runTable, first["run"]);
    }
    first.emplace("run", runTable);
  }
  EXPECT_NE(first["run"].find("genes_read\t12\nestimated\t10\nacceptable\t"), std::string::npos) << first["run"];
  EXPECT_NE(first["run"].find("not_connected\t1\ntoo_few_data\t1\n"), std::string::npos);
  EXPECT_NE(first[".nodes.tsv"].find("S1\t\"\"\"quoted\"\" name\"\tN1\tnot_connected\tFALSE\tNA"), std::string::npos);
  EXPECT_NE(first[".nodes.tsv"].find("S2\tfew#\tN4\ttoo_few_data\tFALSE\tNA\t"), std::string::npos);

  // Without --out the legacy files hold the same bytes as the result and p-value files of --out.
  ASSERT_EQ(RunProgram(dir, With(Quick, {"-j", "2", "x.txt"})).Status, 0);
  EXPECT_EQ(ReadFile(dir + "/x.txt_AC.TER"), ReadFile(dir + "/j2/all.TER"));
  EXPECT_EQ(ReadFile(dir + "/x.txt_N3.pvalue"), ReadFile(dir + "/j2/all_N3.pvalue"));

  // Three shards numbered with -n: their rows, joined, are the one-file rows, and telvo-rank over
  // their contrasts writes the one-file ranking.
  std::vector<std::string> lines = Lines(input);
  std::string head = lines[0] + "\n" + lines[1] + "\n" + lines[2] + "\n";
  std::string nodes = Header(first[".nodes.tsv"]), contrasts = Header(first[".contrasts.tsv"]);
  std::string results, pvalues;
  std::vector<std::string> rankArgs = {"-o", "ranked.tsv", "--genes", "genes.tsv"};
  for (int shard = 0, row = 3; row < static_cast<int>(lines.size()); ++shard, row += 5) {
    std::string text = head, name = "s" + std::to_string(shard);
    for (int k = row; k < row + 5 && k < static_cast<int>(lines.size()); ++k) text += lines[k] + "\n";
    WriteFile(dir + "/" + name + ".txt", text);
    ProgramRun run = RunProgram(
        dir, With(Quick, {"-j", "2", "-n", std::to_string(row - 2), "--out", name + "/" + name, name + ".txt"}));
    ASSERT_EQ(run.Status, 0) << run.Out;
    std::string result = ReadFile(dir + "/" + name + "/" + name + ".TER");
    for (int line = 0; line < 13; ++line) result = Body(result);  // after the header block
    results += result;
    pvalues += Body(ReadFile(dir + "/" + name + "/" + name + "_N2.pvalue"));
    nodes += Body(ReadFile(dir + "/" + name + "/" + name + ".nodes.tsv"));
    contrasts += Body(ReadFile(dir + "/" + name + "/" + name + ".contrasts.tsv"));
    rankArgs.push_back(name + "/" + name + ".contrasts.tsv");
  }
  std::string whole = ReadFile(dir + "/j2/all.TER");
  for (int line = 0; line < 13; ++line) whole = Body(whole);
  EXPECT_EQ(results, whole);
  EXPECT_EQ(pvalues, Body(ReadFile(dir + "/j2/all_N2.pvalue")));
  EXPECT_EQ(nodes, first[".nodes.tsv"]);
  EXPECT_EQ(contrasts, first[".contrasts.tsv"]);
  ASSERT_EQ(RunExecutable(TELVO_RANK_BINARY, dir, rankArgs).Status, 0);
  EXPECT_EQ(ReadFile(dir + "/ranked.tsv"), first[".top.tsv"]);
  EXPECT_EQ(ReadFile(dir + "/genes.tsv"), first[".genes.tsv"]);
  std::filesystem::remove_all(dir);
}

TEST(Tables, ReadByRAndPandasWithTheirTypes) {
  bool haveR = std::system("Rscript --version >/dev/null 2>&1") == 0;
  bool havePandas = std::system("/usr/bin/python3 -c 'import pandas' >/dev/null 2>&1") == 0;
  if (!haveR && !havePandas) GTEST_SKIP() << "neither R (r-base-core) nor pandas (python3-pandas) is installed";
  std::string dir = ScratchDir();
  std::string input = MixedInput(4);
  input.replace(input.find("G0001\tgene1\t"), 12, "NA\tnan\t");  // read as missing unless read as text
  WriteFile(dir + "/x.txt", input);
  ASSERT_EQ(RunProgram(dir, With(Quick, {"--out", "t/x", "x.txt"})).Status, 0);
  // Rows and cells as the files hold them, numbers as numbers, verdicts as logicals, and no warning;
  // read as the README reads them, identifiers stay text and every other column keeps its type.
  const std::string r =
      "options(warn = 2); n <- read.delim('t/x.nodes.tsv'); c <- read.delim('t/x.contrasts.tsv');"
      "p <- read.delim('t/x.top.tsv'); k <- read.delim('t/x.run.tsv'); g <- read.delim('t/x.genes.tsv');"
      "stopifnot(nrow(n) == 24, nrow(c) == 24, nrow(p) == 24, ncol(n) == 23, ncol(c) == 18, ncol(p) == 27,"
      "  is.numeric(n$mu), is.numeric(n$rhat), is.integer(n$passes), is.logical(n$acceptable),"
      "  sum(is.na(n$mu)) == 8, n$gene_name[13] == '\"quoted\" name', n$gene_name[17] == 'few#',"
      "  is.numeric(c$log2_ratio), is.logical(c$acceptable), is.numeric(p$svalue), is.numeric(p$lfdr),"
      "  is.logical(p$called), is.logical(g$called), is.numeric(g$p_any), nrow(g) == 4,"
      "  k$value[k$key == 'genes_read'] == '6');"
      "read_telvo <- function(file) {"
      "  text <- c('gene_id', 'gene_name', 'node', 'node_a', 'node_b', 'largest_node_a', 'largest_node_b');"
      "  d <- read.delim(file, colClasses = 'character', na.strings = character(0));"
      "  for (v in setdiff(names(d), text)) d[[v]] <- type.convert(d[[v]], na.strings = 'NA', as.is = TRUE);"
      "  d };"
      "m <- read_telvo('t/x.nodes.tsv'); stopifnot(is.na(n$gene_id[1]), m$gene_id[1] == 'NA', m$gene_name[1] == 'nan',"
      "  identical(m[-(1:2)], n[-(1:2)]))";
  WriteFile(dir + "/check.R", r);
  if (haveR) {
    EXPECT_EQ(std::system(("cd '" + dir + "' && Rscript check.R").c_str()), 0);
  }
  const std::string py =
      "import warnings, pandas as pd\n"
      "warnings.simplefilter('error')\n"
      "n = pd.read_csv('t/x.nodes.tsv', sep='\\t'); c = pd.read_csv('t/x.contrasts.tsv', sep='\\t')\n"
      "p = pd.read_csv('t/x.top.tsv', sep='\\t'); g = pd.read_csv('t/x.genes.tsv', sep='\\t')\n"
      "assert n.shape == (24, 23) and c.shape == (24, 18) and p.shape == (24, 27) and g.shape == (4, 12)\n"
      "assert n['mu'].dtype == 'float64' and n['mu'].isna().sum() == 8 and n['passes'].dtype == 'float64'\n"
      "assert n['gene_name'][12] == '\"quoted\" name' and n['gene_name'][16] == 'few#'\n"
      "assert n['acceptable'].dtype == 'bool' and len(n[n.acceptable]) == 16\n"
      "assert c['acceptable'].dtype == 'bool' and p['called'].dtype == 'bool' and p['svalue'].dtype == 'float64'\n"
      "assert g['called'].dtype == 'bool' and g['p_any'].dtype == 'float64'\n"
      "text = {c: str for c in ('gene_id', 'gene_name', 'node', 'node_a', 'node_b', 'largest_node_a', "
      "'largest_node_b')}\n"
      "m = pd.read_csv('t/x.nodes.tsv', sep='\\t', converters=text)\n"
      "assert pd.isna(n.gene_id[0]) and m.gene_id[0] == 'NA' and m.gene_name[0] == 'nan'\n"
      "assert m.drop(columns=['gene_id', 'gene_name']).equals(n.drop(columns=['gene_id', 'gene_name']))\n";
  WriteFile(dir + "/check.py", py);
  if (havePandas) {
    EXPECT_EQ(std::system(("cd '" + dir + "' && /usr/bin/python3 check.py").c_str()), 0);
  }
  std::filesystem::remove_all(dir);
}

TEST(Tables, IntervalsCoverAndCallsAreChangesOfTheRightSign) {
  // 200 genes of a 4-node loop with dye swaps, 20% of them with no change at all.
  std::string dir = ScratchDir();
  std::vector<SimulatedGene> truth;
  WriteFile(dir + "/sim.txt", MixedInput(200, &truth, 0.2, 77));
  ASSERT_EQ(RunProgram(dir, {"-j", "2", "-r", "3", "-b", "5000", "-g", "2000", "--out", "sim", "sim.txt"}).Status, 0);
  std::map<std::string, const SimulatedGene*> byId;
  for (const SimulatedGene& g : truth) byId[g.UniqueId] = &g;
  std::vector<std::string> rows = Lines(ReadFile(dir + "/sim.top.tsv"));
  std::map<std::string, size_t> at;  // columns by name
  std::vector<std::string> header = Cells(rows[0]);
  for (size_t k = 0; k < header.size(); ++k) at[header[k]] = k;
  int cases = 0, covered = 0, called = 0, wrongSign = 0, nullCases = 0, nullCalled = 0;
  for (size_t k = 1; k < rows.size(); ++k) {
    std::vector<std::string> c = Cells(rows[k]);
    const std::vector<double>& mu = byId.at(c[at["gene_id"]])->TrueMu;
    const int a = std::stoi(c[at["node_a"]].substr(1)), b = std::stoi(c[at["node_b"]].substr(1));
    double truthLog2 = std::log2(mu[a - 1] / mu[b - 1]);
    ++cases;
    covered += std::stod(c[at["log2_lower"]]) <= truthLog2 && truthLog2 <= std::stod(c[at["log2_upper"]]);
    bool isCalled = c[at["called"]] == "TRUE";
    EXPECT_EQ(isCalled, std::stod(c[at["qvalue"]]) <= 0.05);
    if (std::fabs(truthLog2) < 1e-12) {
      ++nullCases, nullCalled += isCalled;
    } else if (isCalled) {
      ++called, wrongSign += (std::stod(c[at["eb_mean"]]) > 0) != (truthLog2 > 0);
    }
  }
  ASSERT_EQ(cases, 1200);
  EXPECT_GE(covered, 0.93 * cases);
  EXPECT_LE(covered, 0.97 * cases);
  EXPECT_GT(called, 600);
  EXPECT_LE(nullCalled, 0.08 * (called + nullCalled));  // the flat prior alone called 159 of the 240
  EXPECT_LE(wrongSign, 0.02 * called);
  // Genes: of those without any change, few are called.
  int nullGenes = 0, nullGenesCalled = 0;
  for (const std::string& line : Lines(ReadFile(dir + "/sim.genes.tsv"))) {
    std::vector<std::string> c = Cells(line);
    if (c[0] == "gene_id") continue;
    const std::vector<double>& mu = byId.at(c[0])->TrueMu;
    bool unchanged = *std::max_element(mu.begin(), mu.end()) - *std::min_element(mu.begin(), mu.end()) < 1e-12;
    nullGenes += unchanged, nullGenesCalled += unchanged && c.back() == "TRUE";
  }
  EXPECT_GT(nullGenes, 20);
  EXPECT_LE(nullGenesCalled, 0.05 * nullGenes + 1);
  std::printf("coverage %d/%d, wrong sign %d/%d called, no-change contrasts called %d/%d, genes %d/%d\n", covered,
              cases, wrongSign, called, nullCalled, nullCases, nullGenesCalled, nullGenes);
  std::filesystem::remove_all(dir);
}
