// The banner and the two ways of naming and opening the input file.
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "input/Input.h"
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

std::string IOErrorMessage() {
  return "\nI/O Error, \n"
         "Perhaps the full directory structure was not included in the file name.\n"
         "Alternatively, the filename entered may have lacked its three-character suffix (usually .txt).\n"
         "For example, \"C:\\My Documents\\TELVO folder\\Sample.txt\"\n";
}

// Reads the whole input file into the run state; it is then read front to back.
static void OpenDatFile(RunState& run) {
  const std::string& name = run.Design.FileName;
  std::string& bytes = run.Design.DatFile.Bytes;
  std::string problem = ReadWholeFile(name, bytes);
  if (!problem.empty()) OopsBecause(IOErrorMessage(), problem);
  if (!LooksLikePlainText(bytes))
    OopsBecause("\nT.E.L.V.O. cannot read " + name + ": it is not plain text (it holds UTF-16 or NUL bytes).\n"
                "Please save it as a tab-delimited text file, plain text (UTF-8 or ASCII).\n",
                "'" + name + "' is not plain text: save it as tab-delimited plain text (UTF-8 or ASCII)");
  run.Design.DatFile.Pos = 0;
}

void Intro(RunState& run) {
  WriteTelvoBanner(run.Con);
  bool acceptable;
  do {
    acceptable = true;
    Write(run.Con, "\n");
    WriteLine(run.Con, "Please type the full name of a text file of microarray ratio results to analyze:");
    WriteLine(run.Con, "");
    std::string name;
    if (!ReadLine(name)) Oops("\nNo file selected: the input ended before a file name was typed.");
    run.Design.FileName = name;
    WriteLine(run.Con, "Checking Filename...");
    if (name.empty()) {
      Write(run.Con, "\n");
      WriteLine(run.Con, "No file selected.");
      WriteLine(run.Con, "");
      acceptable = false;
    }
    if (name.size() >= 75) {
      Write(run.Con, "\n");
      WriteLine(run.Con, "T.E.L.V.O. filenames, including directory information, must be less than 75 characters");
      WriteLine(run.Con, "");
      acceptable = false;
    }
    if (!FileExists(name)) OopsBecause(IOErrorMessage(), CannotOpenReason(name));
  } while (!acceptable);
  OpenDatFile(run);
  if (run.Design.DatFile.Bytes.empty()) Oops("\nNo Data.\n");
  WriteLine(run.Con, "Filename OK.");
}

void IntroCLI(RunState& run) {
  WriteTelvoBanner(run.Con);
  run.Design.FileName = Cut(run.Args.back());
  WriteLine(run.Con, "Checking Filename...");
  const std::string& name = run.Design.FileName;
  if (name.empty()) OopsUsage("\nNo file selected.\n", CannotOpenReason(name));
  if (name.size() >= 75)
    OopsUsage("\nT.E.L.V.O. filenames, including directory information, must be less than 75 characters\n",
              "the input file name '" + name + "' is 75 characters or longer");
  if (!FileExists(name)) OopsUsage(IOErrorMessage(), CannotOpenReason(name));
  OpenDatFile(run);
}

}  // namespace telvo
