// The ground floor: the limits of a design, the one way a run stops early, the console, text and
// number formatting, and whole-file reading. Everything above builds on these; nothing here knows of
// genes, settings or files of a run.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace telvo {

// --- Limits ---
constexpr int MaxNodes = 100;       // expression nodes of one design
constexpr int MaxHybs = 250;        // data columns of the input file
constexpr int MaxReplicates = 100;  // ratios per ordered node pair
constexpr int MaxSamples = 500000;  // stored samples per node
constexpr size_t MaxText = 255;     // longest cell, name, message or file name

// Nodes, hybs and replicate slots are numbered from 1 as the user sees them; entry 0 of a
// node-indexed array is unused unless noted.
using NodeReals = std::array<double, MaxNodes + 1>;  // one real per node, 1..N

// value at every node 1..MaxNodes, entry 0 left at 0
constexpr NodeReals AtEveryNode(double value) {
  NodeReals reals{};
  for (int n = 1; n <= MaxNodes; ++n) reals[n] = value;
  return reals;
}

// --- Stops (Stop.cpp) ---
// The one way a run or a program ends early, for a failure or for the user's own quit: raised where
// the cause is met, caught once by the program, which reports it and exits with Status.
struct RunStop {
  std::string Message;         // printed as one line on standard output; empty: nothing there
  int Status;                  // process exit status
  std::string Reason = "";     // after "telvo: " on standard error; empty: the message on one line
  bool BadInvocation = false;  // the command line was wrong: the usage line follows the reason
  std::string Hint = "";       // a line of advice after the reason on standard error; empty: none
};
[[noreturn]] void Oops(const std::string& message, int status = 1);
[[noreturn]] void OopsBecause(const std::string& message, const std::string& reason);  // with a short reason
[[noreturn]] void OopsUsage(const std::string& message, const std::string& reason = "");  // a bad command line
[[noreturn]] void Refuse(const std::string& reason);  // a failure told on standard error alone
std::string SystemReason(const std::string& what, const std::string& name);  // "cannot <what> 'name': " errno's words

// --- Console (Console.cpp) ---
// Where console text goes: straight to standard output, or into a buffer that is printed later.
struct Console {
  bool Buffered = false;  // collect text instead of printing it
  std::string Text;       // collected text while Buffered
};
void Write(Console& con, std::string_view text);      // text without a line end
void WriteLine(Console& con, std::string_view text);  // text and a line end
void SilenceConsole();  // --quiet: from now on nothing reaches standard output
void FlushConsole();                                  // push standard output to the terminal
bool ConsoleFailed();                                 // a write to standard output failed
void ShowStatusLine(const std::string& text);         // a line on standard error, rewritten in place
void ClearStatusLine();                               // blanks it out; nothing when none is shown
int ReadChar();                                       // one character of standard input; EOF at its end
void DiscardRestOfLine(int first);  // the rest of the line after a one-character answer first
bool ReadLine(std::string& line);   // one whole line without its line end; false at end of input
extern const char* const EndOfInputMessage;  // the stop when the input ends at a prompt
uint16_t ReadWord(Console& con, uint16_t lower, uint16_t upper);  // a whole number typed at a prompt
int32_t ReadLong(Console& con, int32_t lower, int32_t upper);

// --- Text and numbers (Text.cpp) ---
std::string BoolToString(bool flag);        // "True" / "False", for files
std::string FlagText(bool flag);            // "TRUE" / "FALSE", for the console
std::string IntegerToString(long n);        // plain decimal
std::string StringFromInt(int n);           // five zero-padded digits
bool SameString(std::string_view a, std::string_view b);
std::string Cut(std::string text, size_t max = MaxText);  // keeps the first max characters
std::string_view Trimmed(std::string_view text);          // without blanks and control characters at either end
std::string Fixed(double x, int width, int decimals);     // fixed point, right-aligned, NaN/Inf spelt out
std::string Sci(double x);                                // 22-character scientific form
std::string SciScaled(double mantissa, int64_t exponent);   // the same for mantissa * 2^exponent
std::string ElapsedText(double seconds);                  // hh:mm:ss, hours not wrapped at a day
std::string Count(size_t n, const char* one, const char* many);  // "1 gene", "2 genes"
// The byte length of the UTF-8 character at text[i], and its code point; 0 where the bytes are not
// UTF-8 (a stray byte, an overlong form, a surrogate, a code point past U+10FFFF).
size_t Utf8Char(std::string_view text, size_t i, unsigned& code);
// The text with every byte that is not UTF-8, every NUL and the non-characters U+FFFE and U+FFFF
// replaced by U+FFFD: what every reader of a table or a page takes as text.
std::string WithValidUtf8(std::string_view text);
bool IsDecimalReal(std::string_view text);  // sign, digits, fraction, exponent; nothing else
bool ParseStrictReal(std::string_view text, double& value);  // the same, and within the range of a double

// --- Files (Files.cpp) ---
bool FileExists(const std::string& name);                // the file can be opened for reading
std::string CannotOpenReason(const std::string& name);   // "cannot open 'name': " and the system's reason
std::string ReadWholeFile(const std::string& name, std::string& bytes);  // "" or why it cannot be read
uint64_t Checksum(std::string_view bytes);  // 64-bit FNV-1a: tells whether a file's content changed

}  // namespace telvo
