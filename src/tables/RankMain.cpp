// telvo-rank: ranks the node-pair contrasts of one or more contrasts tables (shards in order).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "output/Output.h"
#include "report/Report.h"
#include "tables/Tables.h"

namespace telvo {
namespace {

const char UsageLine[] = "Usage: telvo-rank [-o FILE] [--report FILE.html] CONTRASTS.tsv...   (telvo-rank --help for more)";

const char HelpText[] =
    "Usage: telvo-rank [-o FILE] [--report FILE.html] CONTRASTS.tsv...\n"
    "Ranks the node-pair contrasts of telvo contrasts tables (PREFIX.contrasts.tsv). Give the tables of\n"
    "the shards of one run in shard order. The rows are grouped by node pair and ranked within a pair by\n"
    "local false sign rate (lfsr), then by larger |log2_ratio|, then by input order. Two columns follow:\n"
    "  rank     1, 2, ... within the node pair\n"
    "  svalue   mean lfsr of the rows ranked so far: the expected share of wrong-sign calls among them\n"
    "Options:\n"
    "  -o FILE      write the ranked table to FILE (whole, or not at all) instead of standard output\n"
    "  --report FILE.html\n"
    "               also write the report page of the run, drawn from the ranking and from the nodes and\n"
    "               run tables beside each contrasts table (PREFIX.nodes.tsv, PREFIX.run.tsv)\n"
    "  -h, --help   this text\n"
    "  --version    the version\n";

int Fail(const std::string& reason, bool usage = false) {
  std::fprintf(stderr, "telvo-rank: %s\n", reason.c_str());
  if (usage) std::fprintf(stderr, "%s\n", UsageLine);
  return 1;
}

bool ReadWhole(const std::string& name, std::string& text, std::string& error) {
  std::FILE* file = std::fopen(name.c_str(), "rb");
  if (!file) return error = "cannot read " + name + ": " + std::strerror(errno), false;
  char buffer[1 << 16];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
  bool failed = std::ferror(file);
  int savedErrno = errno;
  std::fclose(file);
  if (failed) return error = "cannot read " + name + ": " + std::strerror(savedErrno), false;
  return true;
}

bool WriteAll(int fd, const std::string& text) {
  for (size_t done = 0; done < text.size();) {
    ssize_t put = write(fd, text.data() + done, text.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    done += static_cast<size_t>(put);
  }
  return true;
}

// Writes the text to a temporary file beside name and renames it over name, so that a reader never
// sees half a table and a failure leaves nothing behind.
bool WriteWhole(const std::string& name, const std::string& text, std::string& error) {
  std::string temporary = name + ".tmp-" + std::to_string(getpid());
  int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
  if (fd < 0) return error = "cannot write " + temporary + ": " + std::strerror(errno), false;
  bool written = WriteAll(fd, text);
  int savedErrno = errno;
  if (close(fd) != 0 && written) written = false, savedErrno = errno;
  if (written && std::rename(temporary.c_str(), name.c_str()) == 0) return true;
  if (written) savedErrno = errno;
  unlink(temporary.c_str());
  error = "cannot write " + name + ": " + std::strerror(savedErrno);
  return false;
}

}  // namespace
}  // namespace telvo

using namespace telvo;

int main(int argc, char** argv) {
  std::string outName, reportName;
  std::vector<std::string> inputs;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") return std::fputs(HelpText, stdout), 0;
    if (arg == "--version") return std::printf("telvo-rank %s\n", TELVO_VERSION), 0;
    if (arg == "-o") {
      if (++i == argc) return Fail("-o needs a file name", true);
      outName = argv[i];
    } else if (arg == "--report") {
      if (++i == argc) return Fail("--report needs a file name", true);
      reportName = argv[i];
    } else if (arg.size() > 1 && arg[0] == '-') {
      return Fail("unknown option " + arg, true);
    } else {
      inputs.push_back(arg);
    }
  }
  if (inputs.empty()) return Fail("no input file", true);

  std::vector<std::string> read = inputs;  // every file read, which no output may replace
  const std::string extension = ".contrasts.tsv";
  if (!reportName.empty())
    for (const std::string& name : inputs) {
      if (name.size() <= extension.size() || name.compare(name.size() - extension.size(), extension.size(), extension))
        return Fail("--report needs contrasts tables named PREFIX" + extension + ", not " + name);
      std::string prefix = name.substr(0, name.size() - extension.size());
      read.push_back(prefix + ".nodes.tsv");
      read.push_back(prefix + ".run.tsv");
    }
  if (!outName.empty() && !reportName.empty() && SameFile(outName, reportName))
    return Fail("will not write the ranking and the report into one file " + outName);
  for (const std::string& out : {outName, reportName}) {
    struct stat link;
    if (!out.empty() && lstat(out.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
      return Fail("will not write through the symbolic link " + out);
    for (const std::string& name : read)
      if (!out.empty() && SameFile(out, name)) return Fail("will not write over the input file " + name);
  }
  std::vector<TableSource> sources, nodes, runs;
  std::string error, ranked, page;
  for (size_t i = 0; i < read.size(); ++i) {
    std::vector<TableSource>& into = i < inputs.size() ? sources : (i - inputs.size()) % 2 == 0 ? nodes : runs;
    into.push_back({read[i], ""});
    if (!ReadWhole(read[i], into.back().Text, error)) return Fail(error);
  }
  if (!RankContrasts(sources, ranked, error)) return Fail(error);
  if (!reportName.empty()) {
    if (!ReportFromTables(nodes, {outName.empty() ? "the ranking" : outName, ranked}, runs, page, error))
      return Fail(error);
    if (!WriteWhole(reportName, page, error)) return Fail(error);
  }
  if (outName.empty()) {
    if (!WriteAll(STDOUT_FILENO, ranked)) return Fail(std::string("cannot write standard output: ") + std::strerror(errno));
    return 0;
  }
  if (!WriteWhole(outName, ranked, error)) return Fail(error);
  return 0;
}
