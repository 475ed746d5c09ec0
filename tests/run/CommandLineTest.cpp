// The command line as a new user meets it: help, version, and what a failure says on standard error.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <regex>

#include "settings/Settings.h"
#include "support/TestSupport.h"

namespace {

const std::vector<std::pair<std::string, std::string>> Swap = {{"A", "B"}, {"B", "A"}, {"A", "B"}, {"B", "A"}};

std::string UsageReminder() { return std::string(UsageLine()) + "\n"; }

}  // namespace

TEST(CommandLine, HelpAndVersionAnswerAnywhereWithoutARun) {
  struct Case {
    std::vector<std::string> Args;
    std::string Out;
  };
  const std::string help(UsageText()), version = std::string("telvo ") + TELVO_VERSION + "\n";
  const std::vector<Case> cases = {
      {{"--help"}, help},
      {{"-h"}, help},
      {{"-b", "100", "d.txt", "--help"}, help},
      {{"--bogus", "-h", "missing.txt"}, help},
      {{"--out=p", "-h", "d.txt"}, help},
      {{"--version"}, version},
      {{"-q", "--version", "d.txt"}, version},
  };
  for (const Case& c : cases) {
    std::string dir = ScratchDir();
    WriteFile(dir + "/d.txt", InputText(Swap, {"G1\tone\t1\t1\t1\t1"}));
    ProgramRun run = RunProgram(dir, c.Args);
    std::string what = ::testing::PrintToString(c.Args);
    EXPECT_EQ(run.Status, 0) << what;
    EXPECT_EQ(run.Out, c.Out) << what;
    EXPECT_EQ(run.Err, "") << what;
    EXPECT_EQ(FilesIn(dir), std::vector<std::string>{"d.txt"}) << what;  // nothing read, nothing created
  }
  // The help names every flag of the README's table.
  std::regex flag(R"(^\| (-[-a-zA-Z]+))");
  std::string readme = ReadFile(std::string(TELVO_SOURCE_DIR) + "/README.md");
  int named = 0;
  for (const std::string& line : Lines(readme)) {
    std::smatch m;
    if (!std::regex_search(line, m, flag)) continue;
    ++named;
    EXPECT_NE(help.find("\n  " + m[1].str()), std::string::npos) << m[1];
  }
  EXPECT_GE(named, 20);
}

TEST(CommandLine, EveryFailureNamesItsReasonOnStandardError) {
  struct Case {
    std::vector<std::string> Args;
    std::string Input;  // standard input, for the dialogue
    std::string Err;    // all of standard error
  };
  const std::string usage = UsageReminder();
  std::vector<Case> cases = {
      {{"-B", "5", "d.txt"}, "", "telvo: unknown flag -B\n" + usage},
      {{"-burn", "5", "d.txt"}, "", "telvo: unknown flag -burn\n" + usage},
      {{"--bogus", "d.txt"}, "", "telvo: unknown flag --bogus\n" + usage},
      {{"-b", "0", "d.txt"}, "", "telvo: Bad burn in value 0. Expected an integer value from 1 to 500000\n" + usage},
      {{"b", "d.txt"}, "", "telvo: expected a flag but found 'b' (the ratio file is the last argument)\n" + usage},
      {{"--out"}, "", "telvo: The flag --out needs a value.\n" + usage},
      {{"--out", "p"}, "", "telvo: No input file: the ratio file is the last argument.\n" + usage},
      {{"missing.txt"}, "", "telvo: cannot open 'missing.txt': No such file or directory\n" + usage},
      {{"sub"}, "", "telvo: cannot open 'sub': Is a directory\n" + usage},
      {{""}, "", "telvo: no input file named\n" + usage},
      // Failures that are no misuse of the command line: the reason alone.
      {{"bad.txt"}, "",
       "telvo: T.E.L.V.O. expects every ratio to be a decimal number such as 0.75, -1.2 or 2.5E-1 (0 for no "
       "measurement), but found in hyb 2 of gene G1 in bad.txt the text \"x\"\n"},
      {{"short.txt"}, "",
       "telvo: T.E.L.V.O. found an early end-of-file character after the second line in short.txt\n"},
      {{}, "nothere.txt\n\n\n", "telvo: cannot open 'nothere.txt': No such file or directory\n"},
      {{"-q", "-o", "nodir/r.TER", "d.txt"}, "", "telvo: cannot create 'nodir/r.TER': No such file or directory\n"},
      {{"-r", "3", "-b", "50", "-g", "80", "-t", "1", "-o", "/dev/full", "d.txt"}, "",
       "telvo: cannot write to '/dev/full': No space left on device\n"},
      // Stops that are no failure say nothing there.
      {{"-q", "d.txt"}, "", ""},
      {{"-r", "3", "-b", "50", "-g", "80", "-t", "1", "d.txt"}, "", ""},
      {{}, "d.txt\nq\n", ""},
  };
  if (geteuid() != 0)  // the superuser reads every file
    cases.push_back({{"locked.txt"}, "", "telvo: cannot open 'locked.txt': Permission denied\n" + usage});
  for (const Case& c : cases) {
    std::string dir = ScratchDir();
    WriteFile(dir + "/d.txt", InputText(Swap, {"G1\tone\t1.2\t0.8\t1.1\t0.9"}));
    WriteFile(dir + "/bad.txt", InputText(Swap, {"G1\tone\t1.2\tx\t1.1\t0.9"}));
    WriteFile(dir + "/short.txt", "Notes\n\tC\tA\tB\n");
    WriteFile(dir + "/locked.txt", "");
    chmod((dir + "/locked.txt").c_str(), 0);
    std::filesystem::create_directory(dir + "/sub");
    ProgramRun run = RunProgram(dir, c.Args, c.Input);
    std::string what = ::testing::PrintToString(c.Args) + " " + c.Input;
    EXPECT_EQ(run.Status, c.Err.empty() ? 0 : 1) << what;
    EXPECT_EQ(run.Err, c.Err) << what;
    EXPECT_EQ(run.Out.find("telvo: "), std::string::npos) << what;  // the specified console text is untouched
  }
}
