// The result file and the p-value files: creation, header block, rows and closing.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <set>

#include <filesystem>

#include "output/Output.h"

namespace telvo {

std::string ResultHeader(const InputDesign& d, const RunSettings& s) {
  int n = d.NumExpressionNodes;
  const auto& names = d.ExpressionNodeNameList;
  std::string h = d.Notes1 + "\n";
  h += "Error Model: " + std::string(EpsilonType(s.Model)) + " errors, estimating/constraining " + s.VarCoefVar +
       " terms\n";
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
static void RefuseMixedModels(const InputDesign& d, const RunSettings& s, const OutputFiles& out) {
  for (const char* model : {"AV", "AC", "MV", "MC"}) {
    if (model == ModelCode(s.Model)) continue;
    std::string other = TruncatedFileName(d.FileName, "_", model, ".TER");
    if (!FileExistsOnDisk(other) || SameFile(other, s.ResultFileName)) continue;
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

// Every name settled and checked before the first file is opened, so that a refusal touches nothing.
static std::vector<std::string> SettledNames(const InputDesign& d, RunSettings& s,
                                             const std::vector<ExtraOutput>& extra, OutputFiles& out) {
  const int n = d.NumExpressionNodes;
  bool given = !s.ResultFileName.empty();
  if (given) RefuseUnsafeOutput(s.ResultFileName, true);
  if (!given)
    s.ResultFileName = s.OutPrefix.empty() ? TruncatedFileName(d.FileName, "_", ModelCode(s.Model), ".TER")
                                           : s.OutPrefix + ".TER";
  if (SameFile(s.ResultFileName, d.FileName))
    Oops("T.E.L.V.O. will not write the result file over its own input file\n" + d.FileName +
         "\nPlease choose another result file name.");
  out.UsedNames.clear();
  std::vector<std::string> all = {s.ResultFileName};
  for (int i = 1; i <= n; ++i) {
    std::string derived = DerivedFileName(d, s, d.ExpressionNodeNameList[i], ".pvalue");
    std::string name = derived;
    for (int copy = 2; out.UsedNames.count(OutputKey(name)); ++copy)
      name = WithCopyNumber(derived, copy, s.OutPrefix.empty());
    if (SameFile(name, d.FileName))
      Oops("T.E.L.V.O. will not write the p-value file of node " + d.ExpressionNodeNameList[i] +
           " over its own input file\n" + d.FileName);
    out.UsedNames.insert(OutputKey(name));
    all.push_back(name);
  }
  for (const ExtraOutput& e : extra) all.push_back(s.OutPrefix + e.Extension);
  for (size_t a = 0; a < all.size(); ++a) {
    out.UsedNames.insert(OutputKey(all[a]));
    RefuseUnsafeOutput(all[a], s.OutPrefix.empty() || (a == 0 && given));
    if (a > static_cast<size_t>(n) && SameFile(all[a], d.FileName))
      Oops("T.E.L.V.O. will not write an analysis table over its own input file\n" + d.FileName);
    for (size_t b = a + 1; b < all.size(); ++b)
      if (SameFile(all[a], all[b]))
        Oops("T.E.L.V.O. will not write two of its output files into one file:\n" + all[a] + "\n" + all[b] +
             (a == 0 && given ? "\nPlease choose another result file name." : ""));
  }
  return all;
}

// P-value files named from the prefix that this run does not write: an earlier run's, of other nodes.
static std::vector<std::string> StalePValueFiles(const std::string& prefix, const std::vector<std::string>& names) {
  std::filesystem::path path(prefix);
  std::filesystem::path folder = path.parent_path().empty() ? "." : path.parent_path();
  const std::string start = path.filename().string() + "_", end = ".pvalue";
  std::set<std::string> ours;
  for (const std::string& name : names) ours.insert(OutputKey(name));
  std::vector<std::string> stale;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    std::string file = entry.path().filename().string();
    bool named = file.size() > start.size() + end.size() && file.starts_with(start) && file.ends_with(end);
    std::string name = (path.parent_path() / file).string();
    if (named && !ours.count(OutputKey(name))) stale.push_back(name);
  }
  std::sort(stale.begin(), stale.end());
  return stale;
}

void CreateOutputFiles(const InputDesign& d, RunSettings& s, const std::vector<ExtraOutput>& extra, OutputFiles& out) {
  const int n = d.NumExpressionNodes;
  std::vector<std::string> names = SettledNames(d, s, extra, out);
  out.PValue.assign(n + 1, OutputFile{});
  for (int i = 1; i <= n; ++i) out.PValue[i].Name = names[i];
  if (s.OutPrefix.empty()) RefuseMixedModels(d, s, out);
  RefuseOutputsInUse(names);
  if (s.Tables) MakeDirectoriesFor(s.OutPrefix);
  if (s.Tables) out.Stale = StalePValueFiles(s.OutPrefix, names);

  OpenOutputFile(out.Result, s.ResultFileName, ResultHeader(d, s), true);
  for (int i = 1; i <= n; ++i) OpenOutputFile(out.PValue[i], names[i], PValueHeader(d, i));
  out.Extra.assign(extra.size(), OutputFile{});
  for (size_t k = 0; k < extra.size(); ++k) {
    if (extra[k].AtEnd)
      out.Extra[k].Name = names[n + 1 + k];  // written whole at the end; only its name now
    else
      OpenOutputFile(out.Extra[k], names[n + 1 + k], extra[k].Header);
  }
}

void RemoveEndOutputs(OutputFiles& out) {
  for (OutputFile& f : out.Extra) {
    struct stat st;
    if (f.Fd < 0 && lstat(f.Name.c_str(), &st) == 0 && S_ISREG(st.st_mode) && unlink(f.Name.c_str()) != 0)
      OopsBecause("T.E.L.V.O. could not remove the earlier run's table\n" + f.Name, SystemReason("remove", f.Name));
  }
}

static void AppendColumn(std::string& row, double value) {
  row += '\t';
  row += Fixed(value, 7, 5);
}

void FormatGeneRows(const CurrentGene& g, const GeneEstimate* e, GeneRows& rows) {
  const int n = g.NumNodes;
  const std::string gene = g.GeneUniqueID + "\t" + g.GeneCommonName;
  rows.Result = gene;
  rows.PValue.assign(n + 1, gene);
  if (e) {
    const std::vector<NodeEstimate>& v = e->Nodes;
    for (int i = 1; i <= n; ++i) AppendColumn(rows.Result, v[i].Rel);
    for (int i = 1; i <= n; ++i) AppendColumn(rows.Result, v[i].Rel - v[i].RelLower);
    for (int i = 1; i <= n; ++i) AppendColumn(rows.Result, v[i].RelUpper - v[i].Rel);
    for (int i = 1; i <= n; ++i) AppendColumn(rows.Result, v[i].Err);
    for (int i = 1; i <= n; ++i) AppendColumn(rows.Result, v[i].Err - v[i].ErrLower);
    for (int i = 1; i <= n; ++i) AppendColumn(rows.Result, v[i].ErrUpper - v[i].Err);
    rows.Result += "\t" + Fixed(e->Tuning.MuAcceptanceRatio, 4, 2);
    rows.Result += "\t" + Fixed(e->Tuning.VCVAcceptanceRatio, 4, 2);
    rows.Result += "\t" + BoolToString(e->Acceptable);
    AppendColumn(rows.Result, e->LogMaxLikelihood);
    for (int i = 1; i <= n; ++i)
      for (int j = 1; j <= n; ++j)
        if (j != i) AppendColumn(rows.PValue[i], e->PGreater[static_cast<size_t>(i - 1) * n + (j - 1)]);
  }
  rows.Result += "\n";
  for (int i = 1; i <= n; ++i) rows.PValue[i] += "\n";
}

void CloseOutputFiles(OutputFiles& out) {
  bool failed = false;
  for (size_t i = 1; i < out.PValue.size(); ++i) failed |= !CloseOutputFile(out.PValue[i]);
  failed |= !CloseOutputFile(out.Result);
  for (OutputFile& f : out.Extra) failed |= !CloseOutputFile(f);
  if (failed) Oops("T.E.L.V.O. could not finish writing its output files.");
}

}  // namespace telvo
