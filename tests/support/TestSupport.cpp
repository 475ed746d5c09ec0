#include "support/TestSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <fstream>
#include <sstream>
#include <stdexcept>


void ExecProgram(const std::string& path, const std::vector<std::string>& args) {
  std::vector<char*> argv{const_cast<char*>(path.c_str())};
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  execv(path.c_str(), argv.data());
  _exit(127);
}

ProgramRun RunExecutable(const std::string& path, const std::string& dir, const std::vector<std::string>& args,
                         const std::string& input) {
  std::string inPath = dir + "/.stdin", outPath = dir + "/.stdout", errPath = dir + "/.stderr";
  WriteFile(inPath, input);
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(126);
    int in = open(inPath.c_str(), O_RDONLY), out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644),
        err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    ExecProgram(path, args);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ProgramRun run;
  run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.Out = ReadFile(outPath);
  run.Err = ReadFile(errPath);
  for (const std::string& path : {inPath, outPath, errPath}) std::filesystem::remove(path);
  return run;
}

RunningProgram StartProgram(const std::string& dir, const std::vector<std::string>& args) {
  static std::atomic<int> started{0};
  RunningProgram p;
  p.ErrPath = dir + "/.stderr" + std::to_string(started++);
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) throw std::runtime_error("no pipe");
  p.Pid = fork();
  if (p.Pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(126);
    int in = open("/dev/null", O_RDONLY), err = open(p.ErrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(in, 0);
    dup2(pipeEnds[1], 1);
    dup2(err, 2);
    close(pipeEnds[0]);
    ExecProgram(TELVO_BINARY, args);
  }
  close(pipeEnds[1]);
  p.Out = pipeEnds[0];
  return p;
}

bool WaitForOutput(RunningProgram& p, const std::string& text) {
  char buffer[4096];
  while (p.Seen.find(text) == std::string::npos) {
    ssize_t got = read(p.Out, buffer, sizeof buffer);
    if (got <= 0) return false;
    p.Seen.append(buffer, static_cast<size_t>(got));
  }
  return true;
}

ProgramRun FinishProgram(RunningProgram& p) {
  char buffer[4096];
  for (ssize_t got; (got = read(p.Out, buffer, sizeof buffer)) > 0;) p.Seen.append(buffer, static_cast<size_t>(got));
  close(p.Out);
  int status = 0;
  waitpid(p.Pid, &status, 0);
  ProgramRun run;
  run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.Out = p.Seen;
  run.Err = ReadFile(p.ErrPath);
  std::filesystem::remove(p.ErrPath);
  return run;
}

ProgramRun RunProgram(const std::string& dir, const std::vector<std::string>& args, const std::string& input) {
  return RunExecutable(TELVO_BINARY, dir, args, input);
}

namespace {

// Scratch folders made during the running test; removed when it ends, passed or failed.
std::mutex ScratchLock;
std::vector<std::filesystem::path> ScratchMade;

struct ScratchRemover : testing::EmptyTestEventListener {
  void OnTestEnd(const testing::TestInfo&) override {
    std::lock_guard<std::mutex> hold(ScratchLock);
    for (const auto& dir : ScratchMade) {
      std::error_code ignored;
      std::filesystem::remove_all(dir, ignored);
    }
    ScratchMade.clear();
  }
};

const bool ScratchRemoverInstalled = [] {
  testing::UnitTest::GetInstance()->listeners().Append(new ScratchRemover);
  return true;
}();

}  // namespace

std::string ScratchDir() {
  static std::atomic<int> counter{0};
  auto dir = std::filesystem::temp_directory_path() /
             ("telvo_test_" + std::to_string(getpid()) + "_" + std::to_string(counter++));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  std::lock_guard<std::mutex> hold(ScratchLock);
  ScratchMade.push_back(dir);
  return dir.string();
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

bool FileExistsOnDisk(const std::string& path) { return std::filesystem::exists(path); }

std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string InputText(const std::vector<std::pair<std::string, std::string>>& hybs,
                      const std::vector<std::string>& geneRows) {
  std::string row1 = "Notes\tNotes", row2 = "Exp notes\tCy5", row3 = "Ref notes\tCy3";
  for (size_t h = 0; h < hybs.size(); ++h) {
    row1 += "\th" + std::to_string(h + 1);
    row2 += "\t" + hybs[h].first;
    row3 += "\t" + hybs[h].second;
  }
  std::string text = row1 + "\n" + row2 + "\n" + row3 + "\n";
  for (const auto& row : geneRows) text += row + "\n";
  return text;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::vector<std::string> Cells(const std::string& line) {
  std::vector<std::string> cells;
  size_t start = 0;
  for (;;) {
    size_t tab = line.find('\t', start);
    cells.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) return cells;
    start = tab + 1;
  }
}

std::vector<std::string> With(std::vector<std::string> flags, const std::vector<std::string>& more) {
  flags.insert(flags.end(), more.begin(), more.end());
  return flags;
}
