// Runs that stop: a stop signal ends a run with every file holding the same genes; a killed run, resumed,
// ends with the files of a run that never stopped; a second run on the same outputs is refused.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <regex>

#include "support/TestSupport.h"

namespace {

// A 4-node loop of 120 genes, run slowly enough to be caught in the middle.
const std::vector<std::string> Slow = {"-j", "2", "-r", "9", "-g", "1500", "-b", "1500", "-p", "4"};

std::string SimulatedFile(const std::string& dir) {
  RunExecutable(TELVO_SIMULATE, dir, {"--genes", "120", "--nodes", "4", "--replicates", "2", "--seed", "4", "--out",
                                      "in.txt"});
  return "in.txt";
}

// Rows of each file that holds a gene's rows, in genes: they must all say the same.
std::vector<size_t> GenesInFiles(const std::string& prefix) {
  auto rows = [](const std::string& name) { return Lines(ReadFile(name)).size(); };
  return {rows(prefix + ".TER") - 13, rows(prefix + "_N1.pvalue") - 1, rows(prefix + "_N4.pvalue") - 1,
          (rows(prefix + ".nodes.tsv") - 1) / 4, (rows(prefix + ".contrasts.tsv") - 1) / 6};
}

}  // namespace

TEST(Stop, StopSignalsLeaveEveryFileHoldingTheSameGenes) {
  std::string dir = ScratchDir(), input = SimulatedFile(dir);
  for (auto [signal, name] : {std::pair{SIGINT, "SIGINT"}, {SIGTERM, "SIGTERM"}, {SIGHUP, "SIGHUP"}}) {
    std::string prefix = std::string("s") + name + "/x";
    RunningProgram run = StartProgram(dir, With(Slow, {"--out", prefix, input}));
    ASSERT_TRUE(WaitForOutput(run, "Genes Examined:\t3\n"));
    kill(run.Pid, signal);
    ProgramRun ended = FinishProgram(run);
    EXPECT_EQ(ended.Status, 128 + signal) << name;
    std::smatch said;
    ASSERT_TRUE(
        std::regex_search(ended.Err, said, std::regex(std::string("stopped by ") + name + " after ([0-9]+) genes")))
        << ended.Err;
    size_t genes = std::stoul(said[1]);
    EXPECT_GE(genes, 3u);
    for (size_t held : GenesInFiles(dir + "/" + prefix)) EXPECT_EQ(held, genes) << name;
    for (const char* table : {".top.tsv", ".genes.tsv", ".run.tsv", ".report.html"})
      EXPECT_FALSE(FileExistsOnDisk(dir + "/" + prefix + table)) << table << " of a stopped run";
  }
}

TEST(Stop, KilledRunsResumedEndAsRunsThatNeverStopped) {
  std::string dir = ScratchDir(), input = SimulatedFile(dir);
  ASSERT_EQ(RunProgram(dir, With(Slow, {"--out", "whole/x", input})).Status, 0);
  // Killed after a varying number of genes, at whatever point of the next gene's writes it is, then
  // resumed until a run ends; the files are then the whole run's, byte for byte.
  for (int kill = 0; kill < 6; ++kill) {
    std::string prefix = "k" + std::to_string(kill) + "/x";
    RunningProgram run = StartProgram(dir, With(Slow, {"--out", prefix, input}));
    ASSERT_TRUE(WaitForOutput(run, "Genes Examined:\t" + std::to_string(1 + 7 * kill) + "\n"));
    ::kill(run.Pid, SIGKILL);
    EXPECT_EQ(FinishProgram(run).Status, 128 + SIGKILL);
    ProgramRun resumed = RunProgram(dir, With(Slow, {"--resume", "--out", prefix, input}));
    ASSERT_EQ(resumed.Status, 0) << resumed.Err;
    EXPECT_NE(resumed.Err.find("telvo: resuming after gene "), std::string::npos);
    for (const char* file : {".TER", "_N1.pvalue", "_N2.pvalue", "_N3.pvalue", "_N4.pvalue", ".nodes.tsv",
                             ".contrasts.tsv", ".top.tsv", ".genes.tsv"})
      EXPECT_EQ(ReadFile(dir + "/" + prefix + file), ReadFile(dir + "/whole/x" + file))
          << file << " after kill " << kill;
    EXPECT_FALSE(FileExistsOnDisk(dir + "/" + prefix + ".resume"));
  }
}

TEST(Stop, ASecondRunOnTheSameOutputsIsRefusedBeforeItTouchesThem) {
  std::string dir = ScratchDir(), input = SimulatedFile(dir);
  RunningProgram first = StartProgram(dir, With(Slow, {"--out", "o/x", input}));
  ASSERT_TRUE(WaitForOutput(first, "Genes Examined:\t2\n"));
  std::vector<std::string> before = FilesIn(dir + "/o");
  ProgramRun second = RunProgram(dir, {"-j", "2", "-r", "10", "--out", "o/x", input});
  EXPECT_EQ(second.Status, 1);
  EXPECT_NE(second.Err.find("telvo: another run (process " + std::to_string(first.Pid) + ") is writing"),
            std::string::npos)
      << second.Err;
  EXPECT_EQ(second.Out.find("Genes Examined"), std::string::npos);
  EXPECT_EQ(FilesIn(dir + "/o"), before);
  kill(first.Pid, SIGINT);
  EXPECT_EQ(FinishProgram(first).Status, 130);
}
