// The input file: named at the prompt or by the last argument, read whole, then read byte by byte.
// A line ends with LF, CR or CR LF.
#include "input/Input.h"

namespace telvo {

bool AtEnd(const InputFile& file) { return file.Pos >= file.Bytes.size(); }

bool AtLineEnd(const InputFile& file) {
  if (AtEnd(file)) return true;
  char c = file.Bytes[file.Pos];
  return c == '\r' || c == '\n';
}

void SkipLineEnd(InputFile& file) {
  if (AtEnd(file)) return;
  char c = file.Bytes[file.Pos];
  if (c == '\n') {
    ++file.Pos;
  } else if (c == '\r') {
    ++file.Pos;
    if (!AtEnd(file) && file.Bytes[file.Pos] == '\n') ++file.Pos;
  }
}

std::string ReadRestOfLine(InputFile& file) {
  size_t start = file.Pos;
  while (!AtLineEnd(file)) ++file.Pos;
  std::string line = file.Bytes.substr(start, file.Pos - start);
  SkipLineEnd(file);
  return line;
}

bool OnlyEmptyLinesLeft(const InputFile& file) {
  for (size_t pos = file.Pos; pos < file.Bytes.size(); ++pos)
    if (file.Bytes[pos] != '\r' && file.Bytes[pos] != '\n') return false;
  return true;
}

long CountRowsLeft(const InputFile& file) {
  long rows = 0;
  bool inRow = false;
  for (size_t pos = file.Pos; pos < file.Bytes.size(); ++pos) {
    bool lineEnd = file.Bytes[pos] == '\r' || file.Bytes[pos] == '\n';
    if (!lineEnd && !inRow) ++rows;
    inRow = !lineEnd;
  }
  return rows;
}

// Files saved as "Unicode text" (UTF-16) or by a word processor would otherwise stop at a puzzling place.
bool LooksLikePlainText(const std::string& bytes) {
  if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) return false;
  size_t rowEnd = bytes.find_first_of("\r\n");
  return bytes.find('\0') >= rowEnd;
}

const char* OtherSeparator(const std::string& bytes) {
  std::string_view row = std::string_view(bytes).substr(0, bytes.find_first_of("\r\n"));
  if (row.find('\t') != std::string_view::npos) return nullptr;
  if (row.find(',') != std::string_view::npos) return "comma";
  if (row.find(';') != std::string_view::npos) return "semicolon";
  return nullptr;
}

namespace {

std::string IOErrorMessage() {
  return "\nI/O Error, \n"
         "Perhaps the full directory structure was not included in the file name.\n"
         "Alternatively, the filename entered may have lacked its three-character suffix (usually .txt).\n"
         "For example, \"C:\\My Documents\\TELVO folder\\Sample.txt\"\n";
}

// Reads the whole input file into the design; it is then read front to back.
void OpenDatFile(InputDesign& design) {
  const std::string& name = design.FileName;
  std::string problem = ReadWholeFile(name, design.DatFile.Bytes);
  if (!problem.empty()) OopsBecause(IOErrorMessage(), problem);
  if (!LooksLikePlainText(design.DatFile.Bytes))
    OopsBecause("\nT.E.L.V.O. cannot read " + name + ": it is not plain text (it holds UTF-16 or NUL bytes).\n"
                "Please save it as a tab-delimited text file, plain text (UTF-8 or ASCII).\n",
                "'" + name + "' is not plain text: save it as tab-delimited plain text (UTF-8 or ASCII)");
  design.DatFile.Pos = 0;
}

// The checks of a typed name, each with its message; false when the name is to be asked again.
bool TypedNameAcceptable(Console& con, const std::string& name) {
  bool acceptable = true;
  if (name.empty()) {
    Write(con, "\n");
    WriteLine(con, "No file selected.");
    WriteLine(con, "");
    acceptable = false;
  }
  if (name.size() >= 75) {
    Write(con, "\n");
    WriteLine(con, "T.E.L.V.O. filenames, including directory information, must be less than 75 characters");
    WriteLine(con, "");
    acceptable = false;
  }
  if (!FileExists(name)) OopsBecause(IOErrorMessage(), CannotOpenReason(name));
  return acceptable;
}

}  // namespace

void PromptForInputFile(Console& con, InputDesign& design) {
  do {
    Write(con, "\n");
    WriteLine(con, "Please type the full name of a text file of microarray ratio results to analyze:");
    WriteLine(con, "");
    if (!ReadLine(design.FileName)) Oops("\nNo file selected: the input ended before a file name was typed.");
    WriteLine(con, "Checking Filename...");
  } while (!TypedNameAcceptable(con, design.FileName));
  OpenDatFile(design);
  if (design.DatFile.Bytes.empty()) Oops("\nNo Data.\n");
  WriteLine(con, "Filename OK.");
}

void TakeInputFileArgument(Console& con, InputDesign& design, const std::string& argument) {
  design.FileName = Cut(argument);
  WriteLine(con, "Checking Filename...");
  const std::string& name = design.FileName;
  if (name.empty()) OopsUsage("\nNo file selected.\n", CannotOpenReason(name));
  if (name.size() >= 75)
    OopsUsage("\nT.E.L.V.O. filenames, including directory information, must be less than 75 characters\n",
              "the input file name '" + name + "' is 75 characters or longer");
  if (!FileExists(name)) OopsUsage(IOErrorMessage(), CannotOpenReason(name));
  OpenDatFile(design);
}

}  // namespace telvo
