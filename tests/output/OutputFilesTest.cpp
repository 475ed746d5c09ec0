// A killed run keeps its finished genes. Protection of the input and distinct names are pinned by the
// golden run kept-results.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/TestSupport.h"

namespace {

const std::vector<std::pair<std::string, std::string>> Swap = {{"A", "B"}, {"B", "A"}, {"A", "B"}, {"B", "A"}};

}  // namespace

TEST(OutputFiles, AKilledRunKeepsEveryFinishedGene) {
  std::string dir = ScratchDir();
  // Two short rows, then a gene whose chain takes hours by design (the longest period and chain).
  WriteFile(dir + "/d.txt", InputText(Swap, {"G1\tone\t0\t0\t0\t0", "G2\ttwo\t0\t0\t0\t0",
                                             "G3\tthree\t2\t0.5\t1.9\t0.6", "G4\tfour\t0\t0\t0\t0"}));
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(126);
    dup2(out[1], 1);
    close(out[0]);
    execl(TELVO_BINARY, TELVO_BINARY, "-p", "65532", "-g", "500000", "d.txt", static_cast<char*>(nullptr));
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
