// Independent genes (-j): the same files and console text for any worker count, stops reported as
// in the one-stream run, genes that do not depend on their neighbours, and shards that add up.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "estimation/Estimation.h"
#include "support/TestSupport.h"

namespace {

const std::vector<std::pair<std::string, std::string>> SwapPairs = {{"A", "B"}, {"B", "A"}, {"A", "B"}, {"B", "A"}};

// Estimable, short and reducible genes, mixed so that a slow gene sits before quick ones.
const std::vector<std::string> MixedRows = {
    "G1\tone\t1.5\t0.7\t1.4\t0.6", "G2\ttwo\t1.5\t0\t0\t0",      "G3\tthree\t2.1\t0.5\t1.9\t0.45",
    "G4\tfour\t0\t0\t0\t0",       "G5\tfive\t0.9\t1.2\t1.0\t1.1", "G6\tsix\t1.1\t0.8\t1.2\t0.9",
    "G7\tseven\t0\t0.5\t0\t0",    "G8\teight\t3.0\t0.3\t2.8\t0.4"};

const std::vector<std::string> Quick = {"-r", "11", "-b", "300", "-g", "80", "-p", "3", "-t", "3"};

// The console text without the elapsed time, which alone may differ between runs.
std::string ConsoleText(const std::string& out) {
  size_t at = out.rfind("Time used: ");
  return at == std::string::npos ? out : out.substr(0, at);
}

struct Outcome {
  ProgramRun Run;
  std::string Dir;
  std::vector<std::string> Files;
};

Outcome RunOn(const std::vector<std::string>& rows, const std::vector<std::string>& flags) {
  Outcome o;
  o.Dir = ScratchDir();
  WriteFile(o.Dir + "/d.txt", InputText(SwapPairs, rows));
  o.Run = RunProgram(o.Dir, With(flags, {"d.txt"}));
  o.Files = FilesIn(o.Dir);
  return o;
}

void ExpectSameOutcome(const Outcome& a, const Outcome& b, const std::string& what) {
  EXPECT_EQ(a.Run.Status, b.Run.Status) << what;
  EXPECT_EQ(ConsoleText(a.Run.Out), ConsoleText(b.Run.Out)) << what;
  ASSERT_EQ(a.Files, b.Files) << what;
  for (const std::string& f : a.Files) EXPECT_EQ(ReadFile(a.Dir + "/" + f), ReadFile(b.Dir + "/" + f)) << what << f;
}

// Result rows after the header block: the lines after the column headings.
std::vector<std::string> ResultRows(const std::string& text) {
  std::vector<std::string> lines = Lines(text);
  size_t k = 0;
  while (k < lines.size() && lines[k].rfind("Unique ID\t", 0) != 0) ++k;
  return std::vector<std::string>(lines.begin() + std::min(k + 1, lines.size()), lines.end());
}

}  // namespace

TEST(Parallel, EveryWorkerCountWritesTheSameFilesAndConsole) {
  Outcome one = RunOn(MixedRows, With({"-j", "1", "-f"}, Quick));
  ASSERT_EQ(one.Run.Status, 0) << one.Run.Out;
  for (const char* j : {"2", "3"}) ExpectSameOutcome(one, RunOn(MixedRows, With({"-j", j, "-f"}, Quick)), j);
  // Rows in input order and chain files only for the estimated genes.
  std::vector<std::string> rows = ResultRows(ReadFile(one.Dir + "/d.txt_AC.TER"));
  ASSERT_EQ(rows.size(), MixedRows.size());
  for (size_t g = 0; g < rows.size(); ++g) EXPECT_EQ(rows[g].substr(0, 3), "G" + std::to_string(g + 1) + "\t");
  EXPECT_EQ(std::count_if(one.Files.begin(), one.Files.end(), [](auto& f) { return f.find(".TEC") != f.npos; }), 5);
}

TEST(Parallel, BadRowStopsAfterEveryEarlierGeneWithTheOneStreamMessage) {
  struct Case {
    std::string Row;
    std::string Message;
  };
  std::vector<Case> cases = {
      {"G9\tnine\t1.2\tx\t1\t1", "but found in hyb 2 of gene G9 in d.txt\nthe text \"x\""},
      {"G9", "T.E.L.V.O. found an end-of-line character after\nG9\nin d.txt"},
      {"G9\tnine", "T.E.L.V.O. found an end-of-line character after\nnine\nin d.txt"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> rows = MixedRows;
    rows.insert(rows.begin() + 6, c.Row);  // after six genes, before two more
    Outcome plain = RunOn(rows, Quick);
    Outcome one = RunOn(rows, With({"-j", "1"}, Quick));
    EXPECT_EQ(one.Run.Status, 1);
    for (const char* j : {"2", "3"}) ExpectSameOutcome(one, RunOn(rows, With({"-j", j}, Quick)), c.Row + " -j " + j);

    // Six genes written in both kinds of file, nothing of the stopped gene, the same last words.
    std::vector<std::string> rowsJ = ResultRows(ReadFile(one.Dir + "/d.txt_AC.TER"));
    ASSERT_EQ(rowsJ.size(), 6u) << c.Row;
    EXPECT_EQ(rowsJ.size(), ResultRows(ReadFile(plain.Dir + "/d.txt_AC.TER")).size());
    EXPECT_EQ(Lines(ReadFile(one.Dir + "/d.txt_A.pvalue")).size(), 1u + 6);
    EXPECT_NE(one.Run.Out.find(c.Message), std::string::npos) << one.Run.Out;
    EXPECT_EQ(Lines(one.Run.Out).back(), Lines(plain.Run.Out).back());
    EXPECT_NE(one.Run.Out.find("Genes Examined:\t6\n"), std::string::npos);
    EXPECT_EQ(one.Run.Out.find("Genes Examined:\t7\n"), std::string::npos);
  }
}

TEST(Parallel, GeneSeedsAreDistinctAndNotAShiftOfTheRunSeed) {
  std::set<uint32_t> seen;
  for (uint32_t run : {1u, 2u, 12345u})
    for (long g = 1; g <= 20000; ++g) seen.insert(GeneSeed(run, g));
  EXPECT_GE(seen.size(), 60000u - 2);  // a 32-bit hash may collide once in a long while, not more
  // Neighbouring genes differ in about half of their bits.
  int bits = 0;
  for (long g = 1; g <= 1000; ++g) bits += __builtin_popcount(GeneSeed(7, g) ^ GeneSeed(7, g + 1));
  EXPECT_NEAR(bits / 1000.0, 16.0, 1.0);
  EXPECT_NE(GeneSeed(7, 2), GeneSeed(8, 1));
}

// Worker chain stores that do not fit stop the run with the memory message and status 1, not a crash.
// The address sanitizer needs far more address space than the limit allows, so it sits this one out.
TEST(Parallel, WorkersThatDoNotFitInMemoryStopTheRun) {
#if defined(TELVO_SANITIZED)
  GTEST_SKIP() << "address-space limit and sanitizer do not mix";
#else
  std::string dir = ScratchDir();
  WriteFile(dir + "/d.txt", InputText(SwapPairs, MixedRows));
  ProgramRun r = RunExecutable("/bin/sh", dir,
                               {"-c", std::string("ulimit -v 900000 && exec ") + TELVO_BINARY +
                                          " -r 3 -j 256 -g 500000 d.txt"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Out.find("\nNot enough memory. Program halt...\n"), std::string::npos) << r.Out;
  EXPECT_EQ(r.Out.find("Genes Examined:"), std::string::npos);
#endif
}
