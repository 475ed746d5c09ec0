// The end of a run: the ranked contrasts, the run table and the report of --out, drawn from the rows the
// run holds; and the end of a run that stopped, as the user meets it.
#include <unistd.h>

#include <cstdio>

#include "report/Report.h"
#include "run/Run.h"

namespace telvo {

void WriteEndTables(RunState& run, double secondsUsed) {
  const RunSettings& s = run.Settings;
  OutputFiles& out = run.Output;
  RunRows runRows = RunTableRows(run.Design, s, run.Counts, run.StartClock, std::time(nullptr), secondsUsed);
  std::vector<ContrastRow> ranked = run.ContrastRows;
  std::vector<PairCalls> pairs = CallContrasts(ranked, s.Fdr, s.MinLog2);
  std::vector<GeneRow> genes = CallGenes(ranked, s.Fdr);
  RunRows calls = CallRows(pairs, genes, NotConverged(run.NodeRows, run.ContrastRows));
  runRows.insert(runRows.end(), calls.begin(), calls.end());
  const std::string texts[TableOutputCount] = {"", "", RankedTableText(ranked), GenesTableText(genes),
                                               ReportPage(run.NodeRows, ranked, runRows), RunTableText(runRows)};
  for (int t = TopOutput; t < TableOutputCount; ++t) {
    std::string problem = WriteWholeFile(out.Extra[t].Name, texts[t]);
    if (!problem.empty()) OopsBecause("T.E.L.V.O. could not write its table\n" + out.Extra[t].Name, problem);
  }
  RemoveResumeRecord(run);  // the run table now says the run ended normally
}

void WarnAboutInput(const RunState& run) {
  const long negative = run.Counts.NegativeRatios;
  if (negative > 0)
    std::fprintf(stderr,
                 "telvo: warning: %ld ratio %s below 0, the first in gene %s: telvo takes plain ratios (0.5, 2), "
                 "not log ratios; a cell below 0 is no observation\n",
                 negative, negative == 1 ? "cell is" : "cells are", run.Notes.FirstNegative.c_str());
  if (run.Notes.Repeats > 0)
    std::fprintf(stderr, "telvo: warning: %ld gene %s an identifier that came before, the first %s\n",
                 run.Notes.Repeats, run.Notes.Repeats == 1 ? "row repeats" : "rows repeat",
                 run.Notes.FirstRepeat.c_str());
}

void WriteSummary(const RunState& run) {
  const RunSettings& s = run.Settings;
  if (!s.Quiet && s.Progress != ProgressChoice::Always && !isatty(STDERR_FILENO)) return;
  const GeneCounts& c = run.Counts;
  std::string line = "telvo: " + Count(c.Read, "gene", "genes") + " read: " + std::to_string(c.Estimated) +
                     " estimated, " + std::to_string(c.Acceptable) + " acceptable; " +
                     std::to_string(c.NotConnected + c.TooFewData) + " not estimated (" +
                     std::to_string(c.NotConnected) + " whose design falls apart, " + std::to_string(c.TooFewData) +
                     " with too few ratios)";
  if (c.Estimated == 0) line += "; no gene could be estimated";
  else if (c.Acceptable == 0) line += "; no gene was acceptable";
  line += "; outputs: " + s.ResultFileName + " and " + std::to_string(run.Output.PValue.size() - 1) +
          " p-value files" + (s.Tables ? ", tables and report " + s.OutPrefix + ".*" : "");
  std::fprintf(stderr, "%s\n", line.c_str());
}

std::string ConsoleFailedMessage(long genes) {
  return "T.E.L.V.O. could not write to its console (standard output) and stopped after " + IntegerToString(genes) +
         " genes; their rows are in the output files.";
}

// The message on one line: line ends and runs of blanks become one blank.
static std::string OneLine(const std::string& message) {
  std::string line;
  for (char c : message) {
    bool blank = c == '\n' || c == '\r' || c == '\t' || c == ' ';
    if (!blank)
      line.push_back(c);
    else if (!line.empty() && line.back() != ' ')
      line.push_back(' ');
  }
  if (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

void ReportFailure(const RunStop& stop, const char* program, std::string_view usageLine) {
  std::string text = std::string(program) + ": " + (stop.Reason.empty() ? OneLine(stop.Message) : stop.Reason) + "\n";
  if (!stop.Hint.empty()) text += std::string(program) + ": " + stop.Hint + "\n";
  if (stop.BadInvocation) text += std::string(usageLine) + "\n";
  std::fputs(text.c_str(), stderr);
}

void ReportStop(RunState& run, const RunStop& stop) {
  ClearStatusLine();
  if (!stop.Message.empty()) WriteLine(run.Con, stop.Message);
  if (stop.Status != 0) {
    FlushConsole();  // the console's message first, where both streams share a terminal
    ReportFailure(stop, "telvo", UsageLine());
  }
  if (run.InteractiveFlag) {
    WriteLine(run.Con, "Press RETURN to halt.");
    std::string line;
    if (ReadLine(line)) ReadLine(line);
  }
  FlushConsole();
}

}  // namespace telvo
