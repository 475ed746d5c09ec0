// Console reads and writes, the status line and the bounded number prompts.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "base/Base.h"

namespace telvo {

// The status line standing on standard error: its width, and whether standard output shares its terminal.
namespace {
size_t StatusWidth = 0;
bool StatusSharesTerminal = false;
bool Silent = false;  // --quiet
}  // namespace

void Write(Console& con, std::string_view text) {
  if (con.Buffered) {
    con.Text.append(text);
    return;
  }
  if (Silent) return;
  if (StatusSharesTerminal) ClearStatusLine();  // console text never runs into the status line
  std::fwrite(text.data(), 1, text.size(), stdout);
}

void SilenceConsole() { Silent = true; }

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

const char* const EndOfInputMessage = "\nThe input ended while T.E.L.V.O. was waiting for an answer.";

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

}  // namespace telvo
