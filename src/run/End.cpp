// The end of a run: the ranked contrasts, the run table and the report of --out, drawn from the rows the
// run holds; and the end of a run that stopped, as the user meets it.
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
