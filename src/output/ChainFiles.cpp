// Chain files: every stored sample of a gene's last tuning pass.
#include "output/Output.h"
#include "run/Run.h"

void AssignChainFileName(RunState& run, GeneWork& work) {
  const InputDesign& d = run.Design;
  const CurrentGene& g = work.Gene;
  std::string derived = TruncatedFileName(d.FileName, "_", g.GeneUniqueID + "(" + g.GeneCommonName + ")", ".TEC");
  std::string name = derived;
  for (int copy = 2; run.Output.UsedNames.count(name) || SameFile(name, d.FileName); ++copy)
    name = WithCopyNumber(derived, copy);
  run.Output.UsedNames.insert(name);
  work.ChainFileName = name;
}

void OpenChainFile(const InputDesign& d, const RunSettings& s, GeneWork& work) {
  work.ChainFile = std::fopen(work.ChainFileName.c_str(), "wb");
  if (!work.ChainFile)
    OopsBecause("T.E.L.V.O. could not create the chain file\n" + work.ChainFileName,
                SystemReason("create", work.ChainFileName));
  std::string header = d.Notes1 + "\n" + d.Notes2 + "\nSample #\t   DOL";
  for (int n = 1; n <= d.NumExpressionNodes; ++n)
    header += "\tMu(" + d.ExpressionNodeNameList[n] + ")\t" + s.VarCoefVar + "(" + d.ExpressionNodeNameList[n] + ")";
  header += "\n";
  std::fputs(header.c_str(), work.ChainFile);
}

void WriteChainRow(const InputDesign& d, GeneWork& work) {
  const SamplerState& p = work.Pass;
  std::FILE* f = work.ChainFile;
  std::fprintf(f, "%d\t%s", p.SampleNo, SciScaled(p.Likelihood).c_str());
  for (int n = 1; n <= d.NumExpressionNodes; ++n)
    std::fprintf(f, "\t%s\t%s", Fixed(p.CurrentMu[n], 8, 2).c_str(), Fixed(p.CurrentVCV[n], 8, 4).c_str());
  std::fputc('\n', f);
}

void CloseChainFile(GeneWork& work) {
  if (!work.ChainFile) return;
  bool failed = std::ferror(work.ChainFile) != 0;
  failed |= std::fclose(work.ChainFile) != 0;
  work.ChainFile = nullptr;
  if (failed) Oops("T.E.L.V.O. could not write to the chain file\n" + work.ChainFileName);
}
