// The unattended run as a user sees it, where the golden runs do not show it: line ends, a read-only
// input in another folder, the clock seed.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "support/TestSupport.h"

namespace {

const std::vector<std::pair<std::string, std::string>> SwapPairs = {{"A", "B"}, {"B", "A"}, {"A", "B"}, {"B", "A"}};

}  // namespace

TEST(ConsoleRun, LineEndsOfAnyKindGiveTheSameRun) {
  std::string dir = ScratchDir();
  std::string lf = InputText(SwapPairs, {"G1\tone\t1.5\t0\t0\t0", "G2\ttwo\t0\t0.5\t0.6\t2"});
  std::string crlf, cr;
  for (char c : lf) {
    crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    cr += c == '\n' ? '\r' : c;
  }
  std::string first, firstFiles;
  for (const std::string& text : {lf, crlf, cr}) {
    WriteFile(dir + "/d.txt", text);
    ProgramRun run = RunProgram(dir, {"-r", "3", "-g", "80", "-b", "50", "-t", "1", "d.txt"});
    std::string files = ReadFile(dir + "/d.txt_AC.TER") + ReadFile(dir + "/d.txt_A.pvalue");
    if (first.empty()) first = run.Out.substr(0, run.Out.rfind("Time used")), firstFiles = files;
    EXPECT_EQ(run.Out.substr(0, run.Out.rfind("Time used")), first);
    EXPECT_EQ(files, firstFiles);
  }
  EXPECT_EQ(Lines(firstFiles).size(), 13u + 2 + 1 + 2);
}

TEST(ConsoleRun, ReadOnlyInputElsewhereAndTheClockSeed) {
  std::string dir = ScratchDir();
  std::string sub = dir + "/data/run";
  std::filesystem::create_directories(sub);
  WriteFile(sub + "/x.txt", InputText(SwapPairs, {"G1\tone\t0\t0\t0\t0"}));
  chmod((sub + "/x.txt").c_str(), 0444);
  ProgramRun run = RunProgram(dir, {"data/run/x.txt"});
  EXPECT_EQ(run.Status, 0) << run.Out;
  EXPECT_EQ(FilesIn(sub), (std::vector<std::string>{"x.txt", "x.txt_A.pvalue", "x.txt_AC.TER", "x.txt_B.pvalue"}));
  size_t at = run.Out.find("Model 2\nRandom seed: ");
  ASSERT_NE(at, std::string::npos);
  EXPECT_GT(std::stol(run.Out.substr(at + 21)), 1700000000);  // seconds since 1970 of a date after 2023
}
