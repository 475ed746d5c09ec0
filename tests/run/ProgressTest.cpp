// The progress line on standard error: shown on a terminal or with --progress, never in the
// console text or the files, redrawn at most four times a second and blanked out at the end, where
// the summary line of a run that ended normally follows it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <regex>

#include "support/TestSupport.h"

namespace {

struct Drawn {
  std::vector<long> Done;  // genes done of each line drawn, in order
  long Total = -1;         // gene count the lines name
  bool Cleared = false;    // the last line is blanked out and the cursor back at its start
  std::string Summary;     // the line after it, without its line end
};

// The lines drawn in place ("\r" before each) and the summary line; anything else written there fails
// the test.
Drawn ReadProgress(const std::string& err) {
  static const std::regex line(
      R"(\r(\d+)/(\d+) genes \((\d+)%\), (-|\d+\.\d) genes/s, )"
      R"(\d\d:\d\d:\d\d elapsed, (--:--:--|\d\d:\d\d:\d\d) left *)");
  static const std::regex blank(R"(\r +\r(telvo: \d+ genes? read: [^\r\n]*)?\r?\n?)");
  Drawn d;
  std::smatch m;
  std::string rest = err;
  while (std::regex_search(rest, m, line, std::regex_constants::match_continuous)) {
    d.Done.push_back(std::stol(m[1]));
    d.Total = std::stol(m[2]);
    EXPECT_EQ(std::stol(m[3]), d.Done.back() * 100 / d.Total) << m[0];  // whole percent, rounded down
    EXPECT_EQ(d.Done.back() > 0, m[4] != "-" && m[5] != "--:--:--") << m[0];  // rate and time left once a gene is done
    rest = m.suffix();
  }
  d.Cleared = std::regex_match(rest, m, blank);
  if (d.Cleared) d.Summary = m[1];
  EXPECT_TRUE(d.Cleared || rest.empty()) << "unexpected on standard error: " << rest;
  return d;
}

// Runs the program with standard error on a terminal and standard output in a file.
ProgramRun RunOnTerminal(const std::string& dir, const std::vector<std::string>& args) {
  int master = -1;
  pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid == 0) {
    int out = open((dir + "/.out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), in = open("/dev/null", O_RDONLY);
    if (chdir(dir.c_str()) != 0 || out < 0 || in < 0) _exit(126);
    dup2(out, 1);
    dup2(in, 0);
    ExecProgram(TELVO_BINARY, args);
  }
  ProgramRun run;
  char buffer[4096];
  for (ssize_t got; (got = read(master, buffer, sizeof buffer)) > 0;) run.Err.append(buffer, got);
  int status = 0;
  waitpid(pid, &status, 0);
  close(master);
  run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.Out = ReadFile(dir + "/.out");
  return run;
}

std::string WithoutTime(const std::string& out) { return out.substr(0, out.rfind("Time used: ")); }

}  // namespace

TEST(Progress, PipeGetsItOnlyWhenAskedAndNoLineIsDrawnTooSoon) {
  const std::string example = ReadFile(std::string(TELVO_SOURCE_DIR) + "/examples/example.txt");
  const long genes = static_cast<long>(Lines(example).size()) - 3;
  const std::vector<std::string> settings = {"-r", "9", "-b", "4000", "-g", "2000", "e.txt"};
  std::string plainDir = ScratchDir();
  WriteFile(plainDir + "/e.txt", example);
  ProgramRun plain = RunProgram(plainDir, settings);
  ASSERT_EQ(plain.Status, 0);
  EXPECT_EQ(plain.Err, "");  // standard error is no terminal here
  for (const std::vector<std::string>& extra : {std::vector<std::string>{"--progress"}, {"--progress", "-j", "2"}}) {
    std::string dir = ScratchDir(), what = ::testing::PrintToString(extra);
    WriteFile(dir + "/e.txt", example);
    auto began = std::chrono::steady_clock::now();
    ProgramRun run = RunProgram(dir, With(extra, settings));
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - began;
    ASSERT_EQ(run.Status, 0) << what;
    Drawn d = ReadProgress(run.Err);
    ASSERT_FALSE(d.Done.empty()) << what;
    EXPECT_EQ(d.Total, genes) << what;
    EXPECT_EQ(d.Done.front(), 0) << what;
    EXPECT_TRUE(std::is_sorted(d.Done.begin(), d.Done.end()) && d.Done.back() <= genes) << what;
    EXPECT_TRUE(d.Cleared) << what;
    EXPECT_EQ(d.Summary, "telvo: " + std::to_string(genes) + " genes read: " + std::to_string(genes) + " estimated, " +
                             std::to_string(genes) + " acceptable; 0 not estimated (0 whose design falls apart, 0 "
                             "with too few ratios); outputs: e.txt_AC.TER and 4 p-value files") << what;
    // A quarter second at least between two lines: the run had no time for more.
    EXPECT_LE(static_cast<double>(d.Done.size()), 1 + 4 * took.count()) << what;
    if (extra.size() > 1) continue;  // -j draws other numbers
    EXPECT_EQ(WithoutTime(run.Out), WithoutTime(plain.Out));
    for (const std::string& f : FilesIn(plainDir))
      EXPECT_EQ(ReadFile(dir + "/" + f), ReadFile(plainDir + "/" + f)) << f;
  }
}

TEST(Progress, TerminalGetsItUnlessTurnedOffAndAStopBlanksItOut) {
  const std::vector<std::pair<std::string, std::string>> swap = {{"A", "B"}, {"B", "A"}, {"A", "B"}, {"B", "A"}};
  const std::string rows =
      InputText(swap, {"G1\tone\t1.2\t0.8\t1.1\t0.9", "G2\ttwo\t0\t0\t0\t0", "G3\tthree\t1\t1\t1\t1"});
  std::string dir = ScratchDir();
  WriteFile(dir + "/d.txt", rows);
  WriteFile(dir + "/bad.txt", rows + "G4\tfour\t1\tx\t1\t1\n");
  const std::vector<std::string> quick = {"-r", "4", "-b", "100", "-g", "80", "-t", "1"};

  ProgramRun shown = RunOnTerminal(dir, With(quick, {"d.txt"}));
  EXPECT_EQ(shown.Status, 0);
  Drawn d = ReadProgress(shown.Err);
  EXPECT_EQ(d.Total, 3);
  EXPECT_TRUE(d.Cleared);
  const std::string summary = "telvo: 3 genes read: 2 estimated, 1 acceptable; 1 not estimated (1 whose design falls "
                              "apart, 0 with too few ratios); outputs: d.txt_AC.TER and 2 p-value files";
  EXPECT_EQ(d.Summary, summary);
  EXPECT_EQ(WithoutTime(shown.Out), WithoutTime(RunProgram(dir, With(quick, {"d.txt"})).Out));

  ProgramRun off = RunOnTerminal(dir, With(quick, {"--no-progress", "d.txt"}));
  EXPECT_EQ(off.Status, 0);
  EXPECT_EQ(off.Err, summary + "\r\n");  // a terminal still gets the summary

  ProgramRun stopped = RunOnTerminal(dir, With(quick, {"bad.txt"}));
  EXPECT_EQ(stopped.Status, 1);
  size_t reason = stopped.Err.find("telvo: T.E.L.V.O. expects every ratio");
  ASSERT_NE(reason, std::string::npos) << stopped.Err;
  Drawn before = ReadProgress(stopped.Err.substr(0, reason));
  EXPECT_EQ(before.Total, 4);
  EXPECT_TRUE(before.Cleared);
  EXPECT_EQ(before.Summary, "");  // no summary after a stop
}
