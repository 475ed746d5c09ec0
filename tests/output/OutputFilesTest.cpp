// Output files of a run: protection of the input, distinct names, and the rows of sampled genes.
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

TEST(OutputFiles, SampledGenesGetCompleteRowsAndChainFiles) {
  std::string dir = ScratchDir();
  WriteFile(dir + "/d.txt", InputText({{"A", "B"}, {"B", "C"}, {"C", "A"}, {"B", "A"}, {"C", "B"}, {"A", "C"}},
                                      {"G1\tone\t2\t1.1\t0.45\t0.5\t0.9\t2.2", "G2\ttwo\t0\t0\t0\t0\t0\t0"}));
  ProgramRun run = RunProgram(dir, With(Quick, {"-f", "d.txt"}));
  ASSERT_EQ(run.Status, 0) << run.Out;
  std::vector<std::string> rows = Lines(ReadFile(dir + "/d.txt_AC.TER"));
  ASSERT_EQ(rows.size(), 15u);
  std::vector<std::string> cells = Cells(rows[13]);
  ASSERT_EQ(cells.size(), 6u * 3 + 6);
  EXPECT_EQ(cells[0], "G1");
  for (size_t c = 2; c < 20; ++c) EXPECT_GE(cells[c].size(), 7u) << c;  // fixed(7,5)
  EXPECT_TRUE(cells[22] == "True" || cells[22] == "False");
  // The smallest median is the reference: one estimate is exactly 1.
  EXPECT_TRUE(cells[2] == "1.00000" || cells[3] == "1.00000" || cells[4] == "1.00000");
  // A shared error term repeats in every node's columns.
  EXPECT_EQ(cells[11], cells[12]);
  EXPECT_EQ(cells[14], cells[16]);
  EXPECT_EQ(rows[14], "G2\ttwo");
  // P(A>B) and P(B>A) are complementary.
  std::vector<std::string> pa = Cells(Lines(ReadFile(dir + "/d.txt_A.pvalue"))[1]);
  std::vector<std::string> pb = Cells(Lines(ReadFile(dir + "/d.txt_B.pvalue"))[1]);
  ASSERT_EQ(pa.size(), 4u);
  EXPECT_NEAR(std::stod(pa[2]) + std::stod(pb[2]), 1.0, 1e-5);

  std::vector<std::string> chain = Lines(ReadFile(dir + "/d.txt_G10one1.TEC"));
  ASSERT_EQ(chain.size(), 3u + 80);
  EXPECT_EQ(chain[0], "Exp notes");
  EXPECT_EQ(chain[1], "Ref notes");
  EXPECT_EQ(chain[2], "Sample #\t   DOL\tMu(A)\tCoefficient of Variation(A)\tMu(B)\tCoefficient of Variation(B)\tMu(C)"
                      "\tCoefficient of Variation(C)");
  for (int s = 0; s < 80; ++s) {
    std::vector<std::string> row = Cells(chain[3 + s]);
    ASSERT_EQ(row.size(), 8u);
    EXPECT_EQ(row[0], std::to_string(s));
    EXPECT_EQ(row[1].size(), 22u);
    EXPECT_EQ(row[1][0], ' ');
    EXPECT_EQ(row[2].size(), 8u);
    EXPECT_EQ(row[3].size(), 8u);
    EXPECT_EQ(row[3].find('.'), 3u);  // four decimals in eight characters
    double sum = std::stod(row[2]) + std::stod(row[4]) + std::stod(row[6]);
    if (s > 0) {
      EXPECT_NEAR(sum, 3.0, 0.02);  // Mu averages 1 once a Mu move was accepted
    }
  }
  EXPECT_NE(run.Out.find("Density of Best Likelihood: "), std::string::npos);
  EXPECT_NE(run.Out.find("NumSampled: 80\n"), std::string::npos);
}

TEST(OutputFiles, TheSameSeedWritesTheSameFiles) {
  std::string dir = ScratchDir();
  WriteFile(dir + "/d.txt", InputText(Swap, {"G1\tone\t2.1\t0.48\t1.9\t0.52", "G2\ttwo\t1.2\t0.7\t1.1\t0.9"}));
  std::vector<std::string> args = {"-r", "12345", "-b", "500", "-g", "200", "d.txt"};
  ProgramRun first = RunProgram(dir, args);
  std::string files = ReadFile(dir + "/d.txt_AC.TER") + ReadFile(dir + "/d.txt_A.pvalue") + ReadFile(dir + "/d.txt_B.pvalue");
  ProgramRun second = RunProgram(dir, args);
  EXPECT_EQ(ReadFile(dir + "/d.txt_AC.TER") + ReadFile(dir + "/d.txt_A.pvalue") + ReadFile(dir + "/d.txt_B.pvalue"), files);
  auto withoutTime = [](const std::string& out) { return out.substr(0, out.rfind("Time used: ")); };
  EXPECT_EQ(withoutTime(first.Out), withoutTime(second.Out));
  ProgramRun other = RunProgram(dir, {"-r", "54321", "-b", "500", "-g", "200", "d.txt"});
  EXPECT_NE(ReadFile(dir + "/d.txt_AC.TER") + ReadFile(dir + "/d.txt_A.pvalue") + ReadFile(dir + "/d.txt_B.pvalue"), files);
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

TEST(OutputFiles, EveryGeneOfTheBundledExampleGetsItsCompleteRow) {
  std::string dir = ScratchDir();
  WriteFile(dir + "/example.txt", ReadFile(std::string(TELVO_SOURCE_DIR) + "/examples/example.txt"));
  ProgramRun run = RunProgram(dir, {"-r", "12345", "example.txt"});
  ASSERT_EQ(run.Status, 0);
  std::vector<std::string> rows = Lines(ReadFile(dir + "/example.txt_AC.TER"));
  ASSERT_EQ(rows.size(), 13u + 36);
  int acceptable = 0;
  for (size_t r = 13; r < rows.size(); ++r) {
    std::vector<std::string> cells = Cells(rows[r]);
    ASSERT_EQ(cells.size(), 6u * 4 + 6) << rows[r];
    acceptable += cells[28] == "True";
    EXPECT_NE(cells[29], "-Inf");
  }
  EXPECT_GE(acceptable, 30);
  for (int n = 1; n <= 4; ++n) {
    std::vector<std::string> p = Lines(ReadFile(dir + "/example.txt_N" + std::to_string(n) + ".pvalue"));
    ASSERT_EQ(p.size(), 1u + 36);
    for (size_t r = 1; r < p.size(); ++r) EXPECT_EQ(Cells(p[r]).size(), 5u);
  }
}
