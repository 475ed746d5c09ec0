// The banner, and the two ways into a run: the file-name prompt or the last argument.
#include <filesystem>

#include "run/Run.h"

namespace telvo {

static const char* const BannerNotice[] = {
    "T.E.L.V.O. Copyright (C) 2026 the TELVO developers. All rights reserved.",
    "T.E.L.V.O. estimates, gene by gene, the relative expression level of every expression node of a "
    "two-channel microarray design with a Markov chain Monte Carlo sampler, tuning its step sizes until "
    "the acceptance ratios are acceptable.",
    "It writes the medians with 95% intervals to a result file (.TER), the posterior probability that one "
    "node's level exceeds another's to one p-value file per node (.pvalue) and, on request, every chain "
    "to a chain file (.TEC).",
    "This program comes with no warranty: check the acceptance ratios and the verdict of every gene "
    "before relying on its estimates.",
};

static const char* const BannerFormat[] = {
    "Acceptable files for Unix T.E.L.V.O. are tab-delimited text files with line feed(LF) <eoln> characters,",
    "with three header rows.  The second and third rows must containing unique names",
    "for each experimental expression node and reference expression node,",
    "followed by any number of data rows for each gene of interest:",
    "",
    "[Your Notes]  [Your Notes]  [Label1]  [Label2]  [Label3]... <LF>",
    "[Your Notes]  [Channel1]    Exp1      Exp2      Exp3    ... <LF>",
    "[Your Notes]  [Channel2]    Ref1      Ref2      Ref3    ... <LF>",
    "ORF1          CommonName1   Ratio1    Ratio2    Ratio3  ... <LF>",
    "...           ...           ...       ...               ... <LF>",
};

void WriteTelvoBanner(Console& con) {
  for (int i = 0; i < 20; ++i) WriteLine(con, "");
  for (const char* line : BannerNotice) WriteLine(con, line);
  WriteLine(con, std::string(72, '-'));
  WriteLine(con, "Please cite:");
  WriteLine(con, "The TELVO developers (2026). T.E.L.V.O.: relative expression levels from two-channel "
                 "microarray ratios by Markov chain Monte Carlo.");
  WriteLine(con, "");
  WriteLine(con, "T.E.L.V.O. (Version 1.0, 6 December 2026)");
  WriteLine(con, "");
  for (const char* line : BannerFormat) WriteLine(con, line);
  WriteLine(con, "");
  WriteLine(con, "");
}

void Intro(RunState& run) {
  WriteTelvoBanner(run.Con);
  PromptForInputFile(run.Con, run.Design);
}

// The last argument could not be opened: was the ratio file written earlier (telvo ratios.txt -r 5)?
static bool InputComesEarlier(const std::vector<std::string>& args) {
  if (args.size() < 2) return false;
  if (!args.front().starts_with('-')) return true;
  std::error_code error;
  for (size_t k = 0; k + 1 < args.size(); ++k)
    if (!args[k].starts_with('-') && std::filesystem::is_regular_file(args[k], error)) return true;
  return false;
}

void IntroCLI(RunState& run) {
  WriteTelvoBanner(run.Con);
  try {
    TakeInputFileArgument(run.Con, run.Design, run.Args.back());
  } catch (RunStop& stop) {
    if (InputComesEarlier(run.Args))
      stop.Hint = "the input file must be the last argument, after the flags: telvo [flags] ratios.txt";
    throw;
  }
}

}  // namespace telvo
