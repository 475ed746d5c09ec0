// Chain files (-f): every stored sample of a gene's last tuning pass, and the sampler's news of a gene
// on its console.
#include <fcntl.h>
#include <unistd.h>

#include "output/Output.h"

namespace telvo {

void AssignChainFileName(const InputDesign& d, const RunSettings& s, OutputFiles& out, const CurrentGene& g,
                         ChainFile& chain) {
  std::string derived = DerivedFileName(d, s, g.GeneUniqueID + "(" + g.GeneCommonName + ")", ".TEC");
  std::string name = derived;
  auto taken = [&](const std::string& candidate) {
    if (out.UsedNames.count(OutputKey(candidate)) || SameFile(candidate, d.FileName)) return true;
    if (SameFile(candidate, out.Result.Name)) return true;  // a hard link to an output
    for (size_t i = 1; i < out.PValue.size(); ++i)
      if (SameFile(candidate, out.PValue[i].Name)) return true;
    return false;
  };
  for (int copy = 2; taken(name); ++copy) name = WithCopyNumber(derived, copy);
  out.UsedNames.insert(OutputKey(name));
  chain.Name = name;
}

namespace {

void OpenChainFile(const InputDesign& d, const RunSettings& s, ChainFile& chain) {
  RefuseUnsafeOutput(chain.Name, false);
  int fd = open(chain.Name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd >= 0) chain.File = fdopen(fd, "wb");
  if (fd >= 0 && !chain.File) close(fd);
  if (!chain.File)
    OopsBecause("T.E.L.V.O. could not create the chain file\n" + chain.Name, SystemReason("create", chain.Name));
  std::string header = d.Notes1 + "\n" + d.Notes2 + "\nSample #\t   DOL";
  for (int n = 1; n <= d.NumExpressionNodes; ++n)
    header += "\tMu(" + d.ExpressionNodeNameList[n] + ")\t" + s.VarCoefVar + "(" + d.ExpressionNodeNameList[n] + ")";
  header += "\n";
  std::fputs(header.c_str(), chain.File);
}

void PassBegins(void* context) {
  GeneSinkContext& c = *static_cast<GeneSinkContext*>(context);
  OpenChainFile(*c.Design, *c.Settings, *c.Chain);
}

// The current state as sample SampleNo.
void SampleStored(void* context, const SamplerState& p) {
  GeneSinkContext& c = *static_cast<GeneSinkContext*>(context);
  std::FILE* f = c.Chain->File;
  std::fprintf(f, "%d\t%s", p.SampleNo, SciScaled(p.Likelihood.Mantissa, p.Likelihood.Exponent).c_str());
  for (int n = 1; n <= c.Design->NumExpressionNodes; ++n)
    std::fprintf(f, "\t%s\t%s", Fixed(p.CurrentMu[n], 8, 2).c_str(), Fixed(p.CurrentVCV[n], 8, 4).c_str());
  std::fputc('\n', f);
}

void BestState(void* context, const SamplerState& p) {
  GeneSinkContext& c = *static_cast<GeneSinkContext*>(context);
  const InputDesign& d = *c.Design;
  for (int i = 1; i <= d.NumExpressionNodes; ++i)
    WriteLine(*c.Con, "Mu[" + d.ExpressionNodeNameList[i] + "] = \t" + Fixed(p.CurrentMu[i], 8, 2) + "\t" +
                          c.Settings->VarCoefVar + "[" + d.ExpressionNodeNameList[i] + "] = \t" +
                          Fixed(p.CurrentVCV[i], 8, 4));
}

void StepChanging(void* context, Move move, double ratio) {
  GeneSinkContext& c = *static_cast<GeneSinkContext*>(context);
  Write(*c.Con, std::string(move == Move::Mu ? "Mu A.R.: " : "V/CV A.R.: ") + Fixed(ratio, 4, 2) + "...");
}

void PassEnds(void* context) { CloseChainFile(*static_cast<GeneSinkContext*>(context)->Chain); }

}  // namespace

SamplerSink GeneSink(GeneSinkContext& context) {
  SamplerSink sink;
  sink.Context = &context;
  sink.StepChanging = StepChanging;
  sink.Stop = context.Stop;
  if (context.Settings->FullOutput) {
    sink.PassBegins = PassBegins;
    sink.SampleStored = SampleStored;
    sink.BestState = BestState;
    sink.PassEnds = PassEnds;
  }
  return sink;
}

void CloseChainFile(ChainFile& chain) {
  if (!chain.File) return;
  bool failed = std::ferror(chain.File) != 0;
  failed |= std::fclose(chain.File) != 0;
  chain.File = nullptr;
  if (failed) Oops("T.E.L.V.O. could not write to the chain file\n" + chain.Name);
}

void AbandonChainFile(ChainFile& chain) {
  if (chain.File) std::fclose(chain.File);
  chain.File = nullptr;
}

}  // namespace telvo
