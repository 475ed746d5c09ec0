// Chain files: every stored sample of a gene's last tuning pass.
#include <fcntl.h>
#include <unistd.h>

#include "output/Output.h"
#include "run/Run.h"

namespace telvo {

void AssignChainFileName(RunState& run, GeneWork& work) {
  const InputDesign& d = run.Design;
  const CurrentGene& g = work.Gene;
  std::string derived = DerivedFileName(d, run.Settings, g.GeneUniqueID + "(" + g.GeneCommonName + ")", ".TEC");
  std::string name = derived;
  auto taken = [&](const std::string& candidate) {
    if (run.Output.UsedNames.count(OutputKey(candidate)) || SameFile(candidate, d.FileName)) return true;
    if (SameFile(candidate, run.Output.Result.Name)) return true;  // a hard link to an output
    for (size_t i = 1; i < run.Output.PValue.size(); ++i)
      if (SameFile(candidate, run.Output.PValue[i].Name)) return true;
    return false;
  };
  for (int copy = 2; taken(name); ++copy) name = WithCopyNumber(derived, copy);
  run.Output.UsedNames.insert(OutputKey(name));
  work.ChainFileName = name;
}

void OpenChainFile(const InputDesign& d, const RunSettings& s, GeneWork& work) {
  RefuseUnsafeOutput(work.ChainFileName);
  int fd = open(work.ChainFileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd >= 0) work.ChainFile = fdopen(fd, "wb");
  if (fd >= 0 && !work.ChainFile) close(fd);
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
  std::fprintf(f, "%d\t%s", p.SampleNo, SciScaled(p.Likelihood.Mantissa, p.Likelihood.Exponent).c_str());
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

}  // namespace telvo
