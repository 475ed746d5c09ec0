// The unattended run as a user sees it: console text, exit status and files.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "support/TestSupport.h"

namespace {

const std::vector<std::pair<std::string, std::string>> SwapPairs = {{"A", "B"}, {"B", "A"}, {"A", "B"}, {"B", "A"}};

const char* HeaderDialogue =
    "Checking Filename...\n"
    "\n"
    "Verifying Input File d.txt\n"
    "Notes\tNotes\th1\th2\th3\th4\n"
    "Initializing ExpressionNodeNameList...\n"
    "Assigning names to expression nodes. NewName=A. NewName=B. NewName=A. NewName=B\n"
    "\n"
    "Number of Hybs: 4\n"
    "Assigning more names to expression nodes....\n"
    "\n"
    "Please verify that 2 expression nodes are desired,\n"
    "that all desired nodes are are listed below, and\n"
    "that each of the following are unique expression nodes.\n"
    "A\n"
    "B\n"
    "Assigning experimental node names to hyb list....\n"
    "Assigning reference node names to hyb list....\n"
    "File d.txt header rows verified.\n";

}  // namespace

TEST(ConsoleRun, ShortRowsOnlyRunPrintsTheWholeDialogueAndWritesEveryFile) {
  std::string dir = ScratchDir();
  WriteFile(dir + "/d.txt", InputText(SwapPairs, {"G1\tone\t1.5\t0\t0\t0", "G2\ttwo\t0\t-2\t0\t0", "G3\tthree\t0\t0\t0\t0"}));
  ProgramRun run = RunProgram(dir, {"-r", "7", "d.txt"});
  EXPECT_EQ(run.Status, 0);
  std::string expected = "Checking memory: 400000000 Byte [OK]\n" + BannerText() + HeaderDialogue +
                         "Model 2\n"
                         "Random seed: 7\n"
                         "\nG1(one)\n"
                         "Constructing Comparison Matrix:\n"
                         "       \t       A       B\n"
                         "       A       \t    1.50\n\n"
                         "       B       \t       \t\n\n"
                         "The data for G1(one) are insufficient.\n"
                         "Add more data.\n"
                         "Genes Examined:\t1\n\n"
                         "\nG2(two)\n"
                         "Constructing Comparison Matrix:\n"
                         "       \t       A       B\n"
                         "       A       \t       \t\n\n"
                         "       B   -2.00       \t\n\n"
                         "The data for G2(two) consist of a reducible matrix.\n"
                         "Add more data or eliminate nodes to analyze this gene.\n"
                         "The data for G2(two) are insufficient.\n"
                         "Add more data.\n"
                         "Genes Examined:\t2\n\n"
                         "\nG3(three)\n"
                         "Constructing Comparison Matrix:\n"
                         "       \t       A       B\n"
                         "       A       \t       \t\n\n"
                         "       B       \t       \t\n\n"
                         "The data for G3(three) consist of a reducible matrix.\n"
                         "Add more data or eliminate nodes to analyze this gene.\n"
                         "The data for G3(three) are insufficient.\n"
                         "Add more data.\n"
                         "Genes Examined:\t3\n\n"
                         "Time used: 00:00:00\n";
  EXPECT_EQ(run.Out, expected);
  EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"d.txt", "d.txt_A.pvalue", "d.txt_AC.TER", "d.txt_B.pvalue"}));
  EXPECT_EQ(ReadFile(dir + "/d.txt_AC.TER"),
            "Exp notes\n"
            "Error Model: Additive errors, estimating/constraining Coefficient of Variation terms\n"
            "Constrained Coefficient of Variation: True\n"
            "Initial Mu[A] := 1.0000 Initial Coefficient of Variation[A] := 0.2000 Initial Mu[B] := 1.0000 "
            "Initial Coefficient of Variation[B] := 0.2000 Initial Mu step size: 0.50\n"
            "Initial Variance/CV step size: 0.500\n"
            "Burn in # generations: 20000\n"
            "Period of sampling from the Markov chain: 20\n"
            "Generations to be sampled: 10000\n"
            "Full output of the chain: False\n"
            "Tuning depth maximum: 8\n"
            "\n"
            "Ref notes\n"
            "Unique ID\tCommon Name\tA\tB\t(-)97.5%[A]\t(-)97.5%[B]\t(+)97.5%[A]\t(+)97.5%[B]\t"
            "Coefficient of Variation[A]\tCoefficient of Variation[B]\tCoefficient of Variation(-)97.5%[A]\t"
            "Coefficient of Variation(-)97.5%[B]\tCoefficient of Variation(+)97.5%[A]\tCoefficient of "
            "Variation(+)97.5%[B]\tMu Acceptance Ratio\tCoefficient of Variation Acceptance Ratio\tAcceptable?\t"
            "Ln Density of Likelihood\n"
            "G1\tone\nG2\ttwo\nG3\tthree\n");
  EXPECT_EQ(ReadFile(dir + "/d.txt_A.pvalue"), "Unique ID\tCommon Name\tP(A>B)\nG1\tone\nG2\ttwo\nG3\tthree\n");
  EXPECT_EQ(ReadFile(dir + "/d.txt_B.pvalue"), "Unique ID\tCommon Name\tP(B>A)\nG1\tone\nG2\ttwo\nG3\tthree\n");
}

TEST(ConsoleRun, BannerLayout) {
  std::vector<std::string> lines = Lines(BannerText());
  ASSERT_EQ(lines.size(), 20u + 4 + 1 + 1 + 1 + 1 + 1 + 1 + 4 + 1 + 5 + 2);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(lines[i], "");
  EXPECT_EQ(lines[24], std::string(72, '-'));
  EXPECT_EQ(lines[25], "Please cite:");
  EXPECT_EQ(lines[28].rfind("T.E.L.V.O. (Version ", 0), 0u);
  EXPECT_EQ(lines[28].back(), ')');
  for (int i = 35; i < 40; ++i) EXPECT_EQ(lines[i].size(), 64u) << lines[i];
  EXPECT_EQ(lines[35], "[Your Notes]  [Your Notes]  [Label1]  [Label2]  [Label3]... <LF>");
  EXPECT_EQ(lines[41], "");
}

TEST(ConsoleRun, LineEndsOfAnyKindGiveTheSameRun) {
  std::string dir = ScratchDir();
  std::string lf = InputText(SwapPairs, {"G1\tone\t1.5\t0\t0\t0", "G2\ttwo\t0\t0.5\t0\t0"});
  std::string crlf, cr;
  for (char c : lf) {
    crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    cr += c == '\n' ? '\r' : c;
  }
  WriteFile(dir + "/d.txt", lf);
  ProgramRun a = RunProgram(dir, {"-r", "3", "d.txt"});
  std::string filesA = ReadFile(dir + "/d.txt_AC.TER") + ReadFile(dir + "/d.txt_A.pvalue");
  for (const std::string& text : {crlf, cr}) {
    WriteFile(dir + "/d.txt", text);
    ProgramRun b = RunProgram(dir, {"-r", "3", "d.txt"});
    EXPECT_EQ(b.Out, a.Out);
    EXPECT_EQ(ReadFile(dir + "/d.txt_AC.TER") + ReadFile(dir + "/d.txt_A.pvalue"), filesA);
  }
}

TEST(ConsoleRun, RatioCellsStayInTheirOwnRow) {
  std::string dir = ScratchDir();
  // Empty cell, blank cell and a TAB before the line end: no observation for that hyb alone.
  WriteFile(dir + "/d.txt", InputText(SwapPairs, {"G1\tone\t1.5\t\t0.5\t2", "G2\ttwo\t \t3\t", "G3\tthree\t4\t", "", ""}));
  ProgramRun run = RunProgram(dir, {"-q", "d.txt"});
  ASSERT_EQ(run.Status, 0);
  run = RunProgram(dir, {"-b", "50", "-g", "80", "-t", "1", "d.txt"});
  ASSERT_EQ(run.Status, 0) << run.Out;
  std::string out = AfterBanner(run.Out);
  EXPECT_NE(out.find("\nG1(one)\nConstructing Comparison Matrix:\n       \t       A       B\n"
                     "       A       \t    1.50 0.50\n\n       B    2.00       \t\n\n"),
            std::string::npos);
  EXPECT_NE(out.find("\nG2(two)\nConstructing Comparison Matrix:\n       \t       A       B\n"
                     "       A       \t       \t\n\n       B    3.00       \t\n\n"),
            std::string::npos);
  EXPECT_NE(out.find("\nG3(three)\nConstructing Comparison Matrix:\n       \t       A       B\n"
                     "       A       \t    4.00\n\n       B       \t       \t\n\n"),
            std::string::npos);
  EXPECT_NE(out.find("Genes Examined:\t3\n\nTime used: "), std::string::npos);  // the empty lines at the end are no genes
  EXPECT_EQ(Lines(ReadFile(dir + "/d.txt_B.pvalue")).size(), 4u);
}

TEST(ConsoleRun, ShortAndLongRowsAndRepeatedPairs) {
  std::string dir = ScratchDir();
  // Three hybs (A,B), (A,B), (B,A): the 0 takes no slot; extra cells after the last hyb are skipped.
  WriteFile(dir + "/d.txt", InputText({{"A", "B"}, {"A", "B"}, {"B", "A"}}, {"G1\tone\t1.2\t0\t0.8\t9\t9", "G2\ttwo\t0\t2"}));
  ProgramRun run = RunProgram(dir, {"-b", "50", "-g", "80", "-t", "1", "d.txt"});
  ASSERT_EQ(run.Status, 0) << run.Out;
  EXPECT_NE(run.Out.find("       A       \t    1.20\n\n       B    0.80       \t\n\n"), std::string::npos);
  EXPECT_NE(run.Out.find("       A       \t    2.00\n\n       B       \t       \t\n\n"), std::string::npos);
}

TEST(ConsoleRun, ReadOnlyInputIsAcceptedAndOutputsGoBesideIt) {
  std::string dir = ScratchDir();
  std::string sub = dir + "/data/run";
  ASSERT_EQ(system(("mkdir -p " + sub).c_str()), 0);
  WriteFile(sub + "/x.txt", InputText(SwapPairs, {"G1\tone\t0\t0\t0\t0"}));
  chmod((sub + "/x.txt").c_str(), 0444);
  ProgramRun run = RunProgram(dir, {"data/run/x.txt"});
  EXPECT_EQ(run.Status, 0) << run.Out;
  EXPECT_EQ(FilesIn(sub), (std::vector<std::string>{"x.txt", "x.txt_A.pvalue", "x.txt_AC.TER", "x.txt_B.pvalue"}));
}

TEST(ConsoleRun, SeedLineShowsTheClockSeedWhenNoneIsGiven) {
  std::string dir = ScratchDir();
  WriteFile(dir + "/d.txt", InputText(SwapPairs, {"G1\tone\t0\t0\t0\t0"}));
  ProgramRun run = RunProgram(dir, {"-q", "d.txt"});
  size_t at = run.Out.find("Model 2\nRandom seed: ");
  ASSERT_NE(at, std::string::npos);
  long seed = std::stol(run.Out.substr(at + 21));
  EXPECT_GT(seed, 1700000000);  // seconds since 1970 of a date after 2023
}

TEST(ConsoleRun, DryRunCreatesTheFilesAndStops) {
  std::string dir = ScratchDir();
  WriteFile(dir + "/d.txt", InputText(SwapPairs, {"G1\tone\t1\t1\t1\t1"}));
  ProgramRun run = RunProgram(dir, {"-r", "5", "-q", "d.txt"});
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(AfterBanner(run.Out),
            std::string(HeaderDialogue) + "Model 2\nRandom seed: 5\nAborting run due to -q command-line flag.\n");
  EXPECT_EQ(ReadFile(dir + "/d.txt_AC.TER"), "");  // the header waits for the first gene
  EXPECT_EQ(ReadFile(dir + "/d.txt_A.pvalue"), "Unique ID\tCommon Name\tP(A>B)\n");
}

TEST(ConsoleRun, FullOutputNeverPausesOnTheCommandLine) {
  std::string dir = ScratchDir();
  WriteFile(dir + "/d.txt", InputText(SwapPairs, {"G1\tone\t0\t0\t0\t0"}));
  ProgramRun run = RunProgram(dir, {"-f", "d.txt"}, "q\nq\nq\n");
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(run.Out.find("Press RETURN"), std::string::npos);
  EXPECT_NE(run.Out.find("\nG1(one)\n\nG1(one)\nAssigning ratios to hybs\nConstructing Comparison Matrix:\n"),
            std::string::npos);
}
