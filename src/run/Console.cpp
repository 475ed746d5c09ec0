// Console reads and writes, the fatal stop and the bounded number prompts.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <system_error>

#include "run/Run.h"
#include "settings/Settings.h"

// The status line standing on standard error: its width, and whether standard output shares its terminal.
static size_t StatusWidth = 0;
static bool StatusSharesTerminal = false;

void Write(Console& con, std::string_view text) {
  if (con.Buffered) {
    con.Text.append(text);
    return;
  }
  if (StatusSharesTerminal) ClearStatusLine();  // console text never runs into the status line
  std::fwrite(text.data(), 1, text.size(), stdout);
}

void WriteLine(Console& con, std::string_view text) {
  Write(con, text);
  Write(con, "\n");
}

void FlushConsole() { std::fflush(stdout); }

bool ConsoleFailed() { return std::ferror(stdout) != 0; }

void ShowStatusLine(const std::string& text) {
  FlushConsole();
  StatusSharesTerminal = isatty(STDOUT_FILENO) && isatty(STDERR_FILENO);
  std::string line = "\r" + text;
  if (text.size() < StatusWidth) line.append(StatusWidth - text.size(), ' ');
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  StatusWidth = std::max(StatusWidth, text.size());
}

void ClearStatusLine() {
  if (StatusWidth == 0) return;
  std::fputs(("\r" + std::string(StatusWidth, ' ') + "\r").c_str(), stderr);
  std::fflush(stderr);
  StatusWidth = 0;
}

int ReadChar() {
  FlushConsole();
  return std::getchar();
}

void DiscardRestOfLine(int first) {
  if (first == '\n' || first == EOF) return;
  int c;
  while ((c = std::getchar()) != EOF && c != '\n') {
  }
}

bool ReadLine(std::string& line) {
  FlushConsole();
  line.clear();
  int c = std::getchar();
  if (c == EOF) return false;
  while (c != EOF && c != '\n') {
    line.push_back(static_cast<char>(c));
    c = std::getchar();
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();  // a line typed through a CR LF pipe
  line = Cut(line);
  return true;
}

void Oops(const std::string& message, int status) { throw RunStop{Cut(message), status}; }

void OopsBecause(const std::string& message, const std::string& reason) { throw RunStop{Cut(message), 1, reason}; }

std::string SystemReason(const std::string& what, const std::string& name) {
  return "cannot " + what + " '" + name + "': " + std::generic_category().message(errno);
}

void OopsUsage(const std::string& message, const std::string& reason) {
  throw RunStop{Cut(message), 1, reason, true};
}

const char* const EndOfInputMessage = "\nThe input ended while T.E.L.V.O. was waiting for an answer.";

void VerifyOrQuit(RunState& run) {
  if (!run.InteractiveFlag) return;
  Write(run.Con, "\nPress RETURN to verify or q to quit: ");
  int c = ReadChar();
  if (c == EOF) Oops(EndOfInputMessage);
  if (c == 'q')
    Oops("\nPlease change cells in the two header rows of " + run.Design.FileName + "as needed.", 0);
}

// y to the power x in the wrapping 32-bit arithmetic of the word reads.
static int32_t YToTheX(int16_t y, int16_t x) {
  int32_t result = 1;
  for (int count = static_cast<uint8_t>(x); count > 0; --count)
    result = static_cast<int32_t>(static_cast<uint32_t>(result) * static_cast<uint32_t>(y));
  return result;
}

static std::string RightAligned(long value, int width) {
  std::string text = IntegerToString(value);
  if (static_cast<int>(text.size()) < width) text.insert(0, width - text.size(), ' ');
  return text;
}

// Shared loop of ReadWord and ReadLong: maxDigits is the longest answer, firstDigitLimit the
// lowest leading digit that makes an answer of maxDigits too long, width the field of the bounds.
static long ReadBounded(Console& con, long lower, long upper, size_t maxDigits, char firstDigitLimit,
                        int width, bool isLong) {
  std::string line;
  for (;;) {
    if (!ReadLine(line)) Oops(EndOfInputMessage);
    if (line.empty()) continue;
    if (line.size() > maxDigits || (line.size() == maxDigits && line[0] >= firstDigitLimit)) {
      if (isLong)
        Write(con, "Please enter a positive number below 2000000001: ");
      else
        Write(con, "Please enter a positive number below " + RightAligned(upper + 1, width) + ": ");
      continue;
    }
    long value = 0;
    bool digitsOnly = true;
    for (size_t i = 0; i < line.size(); ++i) {
      if (line[i] < '0' || line[i] > '9') {
        digitsOnly = false;
        break;
      }
      value += static_cast<long>(line[i] - '0') * YToTheX(10, static_cast<int16_t>(line.size() - 1 - i));
    }
    if (!digitsOnly) {
      Write(con, "Only positive numbers, please: ");
      continue;
    }
    if (value > upper) {
      Write(con, "Please enter a positive number below " + RightAligned(upper + 1, width) + ": ");
      continue;
    }
    if (value < lower) {
      Write(con, "Please enter a number above " + RightAligned(lower - 1, width) + ": ");
      continue;
    }
    return value;
  }
}

uint16_t ReadWord(Console& con, uint16_t lower, uint16_t upper) {
  return static_cast<uint16_t>(ReadBounded(con, lower, upper, 6, '4', 6, false));
}

int32_t ReadLong(Console& con, int32_t lower, int32_t upper) {
  return static_cast<int32_t>(ReadBounded(con, lower, upper, 10, '3', 12, true));
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
