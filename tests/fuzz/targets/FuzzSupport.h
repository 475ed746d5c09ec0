// What the fuzz targets share: an input cut into the files a reader is given, and the tables' promise
// that what is written reads back, checked as libFuzzer checks a crash.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "tables/Tables.h"

namespace telvo {

// The separator of the files within one input: a form feed, which no table or ratio file of a run holds,
// so a seed is its files joined by it and a mutation can move the cut.
constexpr char FileSeparator = '\f';

// The input's files, cut at the first `most - 1` separators; the last takes the rest.
inline std::vector<std::string> SplitFiles(std::string_view data, size_t most) {
  std::vector<std::string> files;
  while (files.size() + 1 < most) {
    size_t cut = data.find(FileSeparator);
    if (cut == std::string_view::npos) break;
    files.emplace_back(data.substr(0, cut));
    data.remove_prefix(cut + 1);
  }
  files.emplace_back(data);
  return files;
}

inline std::string_view AsText(const uint8_t* data, size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// A broken promise of the program: said on standard error, then the abort libFuzzer records as a crash.
[[noreturn]] inline void Finding(const std::string& what) {
  std::fprintf(stderr, "FINDING: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

// The reader's answer to a table the program itself wrote: rows, or the refusal as a finding.
template <class Read>
auto ReadOwnTable(const std::string& what, const std::string& text, Read read) -> decltype(read(TableSource{})) {
  try {
    return read(TableSource{what, text});
  } catch (const RunStop& stop) {
    Finding("the " + what + " written from rows that were read is refused on reading: " + stop.Reason);
  }
}

// Rows that a reader took must come back from their own text unchanged: written, read and written again,
// the text is the same. write(rows) makes the text, read(source) the rows.
template <class Rows, class Write, class Read>
void CheckReadsBack(const std::string& what, const Rows& rows, Write write, Read read) {
  const std::string text = write(rows);
  const Rows again = ReadOwnTable(what, text, read);
  if (again.size() != rows.size())
    Finding("the " + what + " of " + std::to_string(rows.size()) + " rows reads back as " +
            std::to_string(again.size()));
  if (write(again) != text) Finding("the " + what + " does not read back as written");
}

}  // namespace telvo

// Each target includes this header once. The calls' prior fit allocates a fresh block of curvature
// rows at every step; with ASan's default 256 MB quarantine each one lands on new pages and a
// ranking takes three times as long. 16 MB still holds every block of one input.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=16"; }
