// The stop of a run as the user meets it, and the header check's pause.
#include <cstdio>

#include "run/Run.h"
#include "settings/Settings.h"

namespace telvo {

void VerifyOrQuit(RunState& run) {
  if (!run.InteractiveFlag) return;
  Write(run.Con, "\nPress RETURN to verify or q to quit: ");
  int c = ReadChar();
  if (c == EOF) Oops(EndOfInputMessage);
  if (c == 'q')
    Oops("\nPlease change cells in the two header rows of " + run.Design.FileName + "as needed.", 0);
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

void ReportFailure(const RunStop& stop) {
  std::string text = "telvo: " + (stop.Reason.empty() ? OneLine(stop.Message) : stop.Reason) + "\n";
  if (stop.BadInvocation) text += std::string(UsageLine()) + "\n";
  std::fputs(text.c_str(), stderr);
}

void ReportStop(RunState& run, const RunStop& stop) {
  ClearStatusLine();
  WriteLine(run.Con, stop.Message);
  if (stop.Status != 0) {
    FlushConsole();  // the specified message first, where both streams share a terminal
    ReportFailure(stop);
  }
  if (run.InteractiveFlag) {
    WriteLine(run.Con, "Press RETURN to halt.");
    std::string line;
    if (ReadLine(line)) ReadLine(line);
  }
  FlushConsole();
}

}  // namespace telvo
