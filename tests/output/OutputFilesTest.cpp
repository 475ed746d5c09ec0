// Output files of a run: protection of the input, distinct names, and a killed run's finished genes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/TestSupport.h"

namespace {

const std::vector<std::pair<std::string, std::string>> Swap = {{"A", "B"}, {"B", "A"}, {"A", "B"}, {"B", "A"}};
const std::vector<std::string> Quick = {"-b", "40", "-p", "2", "-g", "80", "-t", "2", "-r", "11"};

}  // namespace

TEST(OutputFiles, NoOutputIsWrittenOverTheInput) {
  std::string dir = ScratchDir();
  std::string content = InputText(Swap, {"G1\tone\t0\t0\t0\t0"});
  WriteFile(dir + "/d.txt", content);
  for (const char* name : {"d.txt", "./d.txt"}) {
    ProgramRun run = RunProgram(dir, {"-o", name, "d.txt"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Out.find("T.E.L.V.O. will not write the result file over its own input file\nd.txt\n"), std::string::npos);
    EXPECT_EQ(FilesIn(dir), std::vector<std::string>{"d.txt"});
    EXPECT_EQ(ReadFile(dir + "/d.txt"), content);
  }
  // A p-value file that is the input under another name (a hard link): refused before anything is created.
  ASSERT_EQ(link((dir + "/d.txt").c_str(), (dir + "/d.txt_A.pvalue").c_str()), 0);
  ProgramRun run = RunProgram(dir, {"d.txt"});
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Out.find("will not write the p-value file of node A over its own input file\nd.txt\n"), std::string::npos);
  EXPECT_EQ(ReadFile(dir + "/d.txt"), content);
  EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"d.txt", "d.txt_A.pvalue"}));
}

TEST(OutputFiles, CoincidingNamesGetCopyNumbers) {
  std::string dir = ScratchDir();
  // A-1 and A_1 clean to the same label, and so do the chain files of G-1 and G_1.
  WriteFile(dir + "/d.txt", InputText({{"A-1", "A_1"}, {"A_1", "A-1"}, {"A-1", "A_1"}, {"A_1", "A-1"}},
                                      {"G-1\tx\t2\t0.5\t1.8\t0.6", "G_1\tx\t2\t0.5\t1.8\t0.6", "G1\ty\t0\t0\t0\t0"}));
  ProgramRun run = RunProgram(dir, With(Quick, {"-f", "-o", "r.TER", "d.txt"}));
  ASSERT_EQ(run.Status, 0) << run.Out;
  EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"d.txt", "d.txt_A51.pvalue", "d.txt_A51_2.pvalue",
                                                    "d.txt_G510x1.TEC", "d.txt_G510x1_2.TEC", "r.TER"}));
  EXPECT_EQ(Lines(ReadFile(dir + "/d.txt_A51.pvalue"))[0], "Unique ID\tCommon Name\tP(A-1>A_1)");
  EXPECT_EQ(Lines(ReadFile(dir + "/d.txt_A51_2.pvalue"))[0], "Unique ID\tCommon Name\tP(A_1>A-1)");
}

TEST(OutputFiles, AKilledRunKeepsEveryFinishedGene) {
  std::string dir = ScratchDir();
  // Two short rows, then a gene whose chain takes far longer than the test waits.
  WriteFile(dir + "/d.txt", InputText(Swap, {"G1\tone\t0\t0\t0\t0", "G2\ttwo\t0\t0\t0\t0", "G3\tthree\t2\t0.5\t1.9\t0.6",
                                             "G4\tfour\t0\t0\t0\t0"}));
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(126);
    dup2(out[1], 1);
    close(out[0]);
    execl(TELVO_BINARY, TELVO_BINARY, "-p", "65532", "-g", "1000", "d.txt", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  std::string console;
  char buffer[4096];
  ssize_t got;
  while (console.find("Genes Examined:\t2\n") == std::string::npos && (got = read(out[0], buffer, sizeof buffer)) > 0)
    console.append(buffer, got);
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  close(out[0]);
  std::string result = ReadFile(dir + "/d.txt_AC.TER");
  EXPECT_EQ(result.substr(result.find("Ln Density of Likelihood\n") + 25), "G1\tone\nG2\ttwo\n");
  EXPECT_EQ(ReadFile(dir + "/d.txt_B.pvalue"), "Unique ID\tCommon Name\tP(B>A)\nG1\tone\nG2\ttwo\n");
}
