// Byte-level reading of the input file. A line ends with LF, CR or CR LF.
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

}  // namespace telvo
