// The result file and the p-value files: creation, header block, rows and closing.
#include <sys/stat.h>

#include <array>
#include <filesystem>

#include "output/Output.h"
#include "report/Report.h"
#include "tables/Tables.h"
#include "run/Run.h"

namespace telvo {

std::string ResultHeader(const InputDesign& d, const RunSettings& s) {
  int n = d.NumExpressionNodes;
  const auto& names = d.ExpressionNodeNameList;
  std::string h = d.Notes1 + "\n";
  h += "Error Model: " + s.EpsilonType + " errors, estimating/constraining " + s.VarCoefVar + " terms\n";
  h += "Constrained " + s.VarCoefVar + ": " + BoolToString(s.ConstrainedVCV) + "\n";
  for (int i = 1; i <= n; ++i)
    h += "Initial Mu[" + names[i] + "] := " + Fixed(s.InitialMu[i], 4, 4) + " " + "Initial " + s.VarCoefVar + "[" +
         names[i] + "] := " + Fixed(s.InitialVCV[i], 6, 4) + " ";
  h += "Initial Mu step size: " + Fixed(s.MuStepSize, 4, 2) + "\n";
  h += "Initial Variance/CV step size: " + Fixed(s.VCVStepSize, 5, 3) + "\n";
  h += "Burn in # generations: " + IntegerToString(s.BurnIn) + "\n";
  h += "Period of sampling from the Markov chain: " + IntegerToString(s.SamplingPeriod) + "\n";
  h += "Generations to be sampled: " + IntegerToString(s.ChainSampleSize) + "\n";
  h += "Full output of the chain: " + BoolToString(s.FullOutput) + "\n";
  h += "Tuning depth maximum: " + IntegerToString(s.MaxTuningDepth) + "\n";
  h += "\n";
  h += d.Notes2 + "\n";
  h += "Unique ID\tCommon Name";
  for (int i = 1; i <= n; ++i) h += "\t" + names[i];
  for (int i = 1; i <= n; ++i) h += "\t(-)97.5%[" + names[i] + "]";
  for (int i = 1; i <= n; ++i) h += "\t(+)97.5%[" + names[i] + "]";
  for (int i = 1; i <= n; ++i) h += "\t" + s.VarCoefVar + "[" + names[i] + "]";
  for (int i = 1; i <= n; ++i) h += "\t" + s.VarCoefVar + "(-)97.5%[" + names[i] + "]";
  for (int i = 1; i <= n; ++i) h += "\t" + s.VarCoefVar + "(+)97.5%[" + names[i] + "]";
  h += "\tMu Acceptance Ratio\t" + s.VarCoefVar + " Acceptance Ratio\tAcceptable?\tLn Density of Likelihood\n";
  return h;
}

std::string PValueHeader(const InputDesign& d, int i) {
  std::string header = "Unique ID\tCommon Name";
  for (int j = 1; j <= d.NumExpressionNodes; ++j)
    if (j != i) header += "\tP(" + d.ExpressionNodeNameList[i] + ">" + d.ExpressionNodeNameList[j] + ")";
  return header + "\n";
}

static void MakeDirectoriesFor(const std::string& prefix) {
  std::filesystem::path folder = std::filesystem::path(prefix).parent_path();
  std::error_code error;
  if (!folder.empty()) std::filesystem::create_directories(folder, error);
  if (error) Oops("T.E.L.V.O. could not create the folder\n" + folder.string() + "\nfor its output files.");
}

static bool FileExistsOnDisk(const std::string& name) {
  struct stat st;
  return lstat(name.c_str(), &st) == 0;
}

// Result files of another error model beside the input: the p-value files they go with would be
// replaced by this run's, since p-value names carry no model.
static void RefuseMixedModels(const RunState& run) {
  const InputDesign& d = run.Design;
  const OutputFiles& out = run.Output;
  for (const char* model : {"AV", "AC", "MV", "MC"}) {
    if (model == run.Settings.ErrorModel) continue;
    std::string other = TruncatedFileName(d.FileName, "_", model, ".TER");
    if (!FileExistsOnDisk(other) || SameFile(other, run.Settings.ResultFileName)) continue;
    for (size_t i = 1; i < out.PValue.size(); ++i)
      if (FileExistsOnDisk(out.PValue[i].Name))
        Oops("T.E.L.V.O. will not replace the p-value file\n" + out.PValue[i].Name +
             "\nof the result file of error model " + model + "\n" + other +
             "\nTo keep both, remove or rename those files first, or name this run's outputs with --out PREFIX.");
  }
}

std::string DerivedFileName(const InputDesign& d, const RunSettings& s, const std::string& label,
                            const std::string& extension) {
  return s.OutPrefix.empty() ? TruncatedFileName(d.FileName, "_", label, extension)
                             : PrefixedFileName(s.OutPrefix, label, extension);
}

// The analysis tables of --out, in the order they are named and checked.
static std::array<OutputFile*, 5> TableFiles(OutputFiles& out) {
  return {&out.Nodes, &out.Contrasts, &out.Top, &out.RunTable, &out.Report};
}
constexpr const char* TableExtensions[5] = {".nodes.tsv", ".contrasts.tsv", ".top.tsv", ".run.tsv", ".report.html"};

void CreateOutputFiles(RunState& run) {
  InputDesign& d = run.Design;
  RunSettings& s = run.Settings;
  OutputFiles& out = run.Output;
  int n = d.NumExpressionNodes;

  // Every name is settled and checked before the first file is opened, so a refusal touches nothing.
  bool given = !s.ResultFileName.empty();
  if (given) RefuseUnsafeOutput(s.ResultFileName);
  if (!given)
    s.ResultFileName = s.OutPrefix.empty() ? TruncatedFileName(d.FileName, "_", s.ErrorModel, ".TER") : s.OutPrefix + ".TER";
  if (SameFile(s.ResultFileName, d.FileName))
    Oops("T.E.L.V.O. will not write the result file over its own input file\n" + d.FileName +
         "\nPlease choose another result file name.");
  out.UsedNames.clear();
  std::vector<std::string> names(n + 1);
  for (int i = 1; i <= n; ++i) {
    std::string derived = DerivedFileName(d, s, d.ExpressionNodeNameList[i], ".pvalue");
    names[i] = derived;
    for (int copy = 2; out.UsedNames.count(OutputKey(names[i])); ++copy) names[i] = WithCopyNumber(derived, copy);
    if (SameFile(names[i], d.FileName))
      Oops("T.E.L.V.O. will not write the p-value file of node " + d.ExpressionNodeNameList[i] +
           " over its own input file\n" + d.FileName);
    out.UsedNames.insert(OutputKey(names[i]));
  }
  std::vector<std::string> all = {s.ResultFileName};
  all.insert(all.end(), names.begin() + 1, names.end());
  if (s.Tables)
    for (const char* extension : TableExtensions) all.push_back(s.OutPrefix + extension);
  for (size_t a = 0; a < all.size(); ++a) {
    out.UsedNames.insert(OutputKey(all[a]));
    RefuseUnsafeOutput(all[a]);
    if (a > static_cast<size_t>(n) && SameFile(all[a], d.FileName))
      Oops("T.E.L.V.O. will not write an analysis table over its own input file\n" + d.FileName);
    for (size_t b = a + 1; b < all.size(); ++b)
      if (SameFile(all[a], all[b]))
        Oops("T.E.L.V.O. will not write two of its output files into one file:\n" + all[a] + "\n" + all[b] +
             (a == 0 && given ? "\nPlease choose another result file name." : ""));
  }
  out.PValue.assign(n + 1, OutputFile{});
  for (int i = 1; i <= n; ++i) out.PValue[i].Name = names[i];
  if (s.OutPrefix.empty()) RefuseMixedModels(run);
  if (s.Tables) MakeDirectoriesFor(s.OutPrefix);

  OpenOutputFile(out.Result, s.ResultFileName, "");
  for (int i = 1; i <= n; ++i) OpenOutputFile(out.PValue[i], names[i], PValueHeader(d, i));
  if (s.Tables) {
    const std::string headers[5] = {NodesTableHeader(), ContrastsTableHeader(), "", "", ""};
    for (int t = 0; t < 5; ++t) OpenOutputFile(*TableFiles(out)[t], all[n + 1 + t], headers[t]);
  }
  run.Work.Out.ResultData = ResultHeader(d, s);
}

void WriteGeneRows(RunState& run, GeneWork& work) {
  OutputFiles& out = run.Output;
  static const std::string nothing;
  out.Pending.clear();
  out.Pending.push_back({&out.Result, &work.Out.ResultData});
  for (size_t i = 1; i < out.PValue.size(); ++i) out.Pending.push_back({&out.PValue[i], &work.Out.PValueRows[i]});
  if (run.Settings.Tables) {
    out.Pending.push_back({&out.Nodes, &work.Out.NodeRows});
    out.Pending.push_back({&out.Contrasts, &work.Out.ContrastRows});
    out.Pending.push_back({&out.Top, &nothing});  // an earlier run's ranking goes with its other rows
    out.Pending.push_back({&out.RunTable, &nothing});
    out.Pending.push_back({&out.Report, &nothing});
  }
  WriteRowsTogether(out.Pending);
  work.Out.ResultData.clear();
  for (std::string& row : work.Out.PValueRows) row.clear();
  work.Out.NodeRows.clear();
  work.Out.ContrastRows.clear();
}

void WriteEndTables(RunState& run, double secondsUsed) {
  OutputFiles& out = run.Output;
  std::string runTable = RunTableText(run, secondsUsed);
  std::string contrasts, nodes, ranked, page, error;
  std::string problem = ReadWholeFile(out.Contrasts.Name, contrasts);
  if (problem.empty()) problem = ReadWholeFile(out.Nodes.Name, nodes);
  if (!problem.empty()) OopsBecause("T.E.L.V.O. could not read back its analysis tables beside\n" + out.Contrasts.Name, problem);
  if (!RankContrasts({TableSource{out.Contrasts.Name, contrasts}}, ranked, error))
    Oops("T.E.L.V.O. could not rank the contrasts table: " + error);
  // The page is drawn from the tables' text, as telvo-rank draws it for shards.
  if (!ReportFromTables({{out.Nodes.Name, nodes}}, {out.Top.Name, ranked}, {{out.RunTable.Name, runTable}}, page, error))
    Oops("T.E.L.V.O. could not draw the report: " + error);
  WriteRowsTogether({{&out.Top, &ranked}, {&out.RunTable, &runTable}, {&out.Report, &page}});
}

void CloseOutputFiles(RunState& run) {
  OutputFiles& out = run.Output;
  bool failed = false;
  for (size_t i = 1; i < out.PValue.size(); ++i) failed |= !CloseOutputFile(out.PValue[i]);
  failed |= !CloseOutputFile(out.Result);
  for (int t = 0; t < 5; ++t) failed |= !CloseOutputFile(*TableFiles(out)[t]);
  if (failed) Oops("T.E.L.V.O. could not finish writing its output files.");
}

}  // namespace telvo
