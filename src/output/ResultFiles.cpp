// The result file and the p-value files: creation, header block, rows and closing.
#include "output/Output.h"
#include "run/Run.h"

static std::FILE* CreateFile(const std::string& name) {
  std::FILE* file = std::fopen(name.c_str(), "wb");
  if (!file) OopsBecause("T.E.L.V.O. could not create the output file\n" + name, SystemReason("create", name));
  return file;
}

static void WriteOrStop(std::FILE* file, const std::string& text, const std::string& name) {
  if (text.empty()) return;
  if (std::fwrite(text.data(), 1, text.size(), file) != text.size() || std::fflush(file) != 0)
    OopsBecause("T.E.L.V.O. could not write to the output file\n" + name, SystemReason("write to", name));
}

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

void CreateOutputFiles(RunState& run) {
  InputDesign& d = run.Design;
  RunSettings& s = run.Settings;
  OutputFiles& out = run.Output;
  int n = d.NumExpressionNodes;

  // Every name is settled and checked before the first file is created, so a refusal touches nothing.
  if (s.ResultFileName.empty()) s.ResultFileName = TruncatedFileName(d.FileName, "_", s.ErrorModel, ".TER");
  if (SameFile(s.ResultFileName, d.FileName))
    Oops("T.E.L.V.O. will not write the result file over its own input file\n" + d.FileName +
         "\nPlease choose another result file name.");
  out.UsedNames = {s.ResultFileName};
  out.PValueFileName.assign(n + 1, "");
  for (int i = 1; i <= n; ++i) {
    std::string derived = TruncatedFileName(d.FileName, "_", d.ExpressionNodeNameList[i], ".pvalue");
    std::string name = derived;
    for (int copy = 2; out.UsedNames.count(name); ++copy) name = WithCopyNumber(derived, copy);
    if (SameFile(name, d.FileName))
      Oops("T.E.L.V.O. will not write the p-value file of node " + d.ExpressionNodeNameList[i] +
           " over its own input file\n" + d.FileName);
    out.UsedNames.insert(name);
    out.PValueFileName[i] = name;
  }

  out.ResultFile = CreateFile(s.ResultFileName);
  out.PValueFile.assign(n + 1, nullptr);
  for (int i = 1; i <= n; ++i) {
    out.PValueFile[i] = CreateFile(out.PValueFileName[i]);
    std::string header = "Unique ID\tCommon Name";
    for (int j = 1; j <= n; ++j)
      if (j != i) header += "\tP(" + d.ExpressionNodeNameList[i] + ">" + d.ExpressionNodeNameList[j] + ")";
    WriteOrStop(out.PValueFile[i], header + "\n", out.PValueFileName[i]);
  }
  run.Work.Out.ResultData = ResultHeader(d, s);
}

void WriteGeneRows(RunState& run, GeneWork& work) {
  OutputFiles& out = run.Output;
  WriteOrStop(out.ResultFile, work.Out.ResultData, run.Settings.ResultFileName);
  work.Out.ResultData.clear();
  WritePendingRows(run, work);
}

void WritePendingRows(RunState& run, GeneWork& work) {
  OutputFiles& out = run.Output;
  for (size_t i = 1; i < work.Out.PValueRows.size() && i < out.PValueFile.size(); ++i) {
    if (out.PValueFile[i]) WriteOrStop(out.PValueFile[i], work.Out.PValueRows[i], out.PValueFileName[i]);
    work.Out.PValueRows[i].clear();
  }
}

void CloseOutputFiles(RunState& run) {
  OutputFiles& out = run.Output;
  bool failed = false;
  for (size_t i = 1; i < out.PValueFile.size(); ++i)
    if (out.PValueFile[i]) {
      failed |= std::fclose(out.PValueFile[i]) != 0;
      out.PValueFile[i] = nullptr;
    }
  if (out.ResultFile) {
    failed |= std::fclose(out.ResultFile) != 0;
    out.ResultFile = nullptr;
  }
  if (failed) Oops("T.E.L.V.O. could not finish writing its output files.");
}
