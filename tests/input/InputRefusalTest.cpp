// Every refusal of a malformed input file, with its words and exit status.
#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace {

// Runs the program on a file of the given content and returns what it printed after the header
// verification began, and the status.
ProgramRun RunOn(const std::string& content, const std::vector<std::string>& flags = {}) {
  std::string dir = ScratchDir();
  WriteFile(dir + "/d.txt", content);
  std::vector<std::string> args = flags;
  args.push_back("d.txt");
  return RunProgram(dir, args);
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

const std::vector<std::pair<std::string, std::string>> Swap = {{"A", "B"}, {"B", "A"}, {"A", "B"}, {"B", "A"}};

}  // namespace

TEST(InputRefusals, HeaderMessages) {
  struct Case {
    std::string Content, Tail;
  };
  std::string r1 = "Notes\tNotes\th1\th2\th3\th4\n";
  std::vector<Case> cases = {
      {"", "T.E.L.V.O. found an early end-of-file character in the first line of \nd.txt\n"},
      {r1, "T.E.L.V.O. found an early end-of-file character after the second line in \nd.txt\n"},
      {r1 + "N\tC\tA\tB\tA\tB\n", "T.E.L.V.O. found an early end-of-file character after the second line in \nd.txt\n"},
      {r1 + "N\n" + "N\n",  // a second row of one cell: no channel, no hyb
       "T.E.L.V.O. found only 00000 hybs named in the second line in \nd.txt\n"
       "T.E.L.V.O. cannot estimate from fewer than two,\nand recommends at least four.\n"},
      {r1 + "N\tC\n" + "N\tC\n",
       "T.E.L.V.O. found only 00000 hybs named in the second line in \nd.txt\n"
       "T.E.L.V.O. cannot estimate from fewer than two,\nand recommends at least four.\n"},
      {r1 + "N\tC\tA\t\n" + "N\tC\tB\n",
       "T.E.L.V.O. found only 00001 hybs named in the second line in \nd.txt\n"
       "T.E.L.V.O. cannot estimate from fewer than two,\nand recommends at least four.\n"},
      {r1 + "N\tC\tA\tB\tC\n" + "N\tC\tB\tC\tA\n",
       "T.E.L.V.O. found only 00003 hybs in the second line in \nd.txt\n"
       "T.E.L.V.O. cannot estimate 00003 expression nodes from fewer than 00004 hybs,\n"
       "and recommends at least 00006.\n"},
      {r1 + "N\tC\tA\tB\tA\tB\n" + "Ref notes\tC\tB\tA\tB\tA\n",
       "T.E.L.V.O. found an end-of-line character after\nRef notes\nin the first cell in the third line \nin d.txt\n"},
      {r1 + "N\tC\tA\tB\tA\tB\n" + "R\tC\tB\tA\tB\tA\n\nG1\tg\t1\t1\t1\t1\n",
       "T.E.L.V.O. found an end-of-line character after\nR\nin the first cell in the third line \nin d.txt\n"},
      {r1 + "N\tC\tA\tB\tA\tB\n" + "R\tC\tB\tA\n" + "G1\tg\t1\n",
       "T.E.L.V.O. found an early end-of-line character in row 3\nin column number 4 of \nd.txt.\n"},
      {r1 + "N\tC\tA\tA\tA\n" + "R\tC\tA\tA\tA\n" + "G1\tg\t1\n",
       "T.E.L.V.O. found only 00001 expression node in\nd.txt\n"
       "T.E.L.V.O. cannot perform estimation on fewer than two expression nodes.\n"},
  };
  for (const Case& c : cases) {
    ProgramRun run = RunOn(c.Content);
    EXPECT_EQ(run.Status, 1) << c.Tail;
    EXPECT_TRUE(EndsWith(run.Out, c.Tail)) << "expected tail:\n" << c.Tail << "\ngot:\n" << AfterBanner(run.Out);
  }
}

TEST(InputRefusals, OddDesignsAndCapacityLimits) {
  std::string r1 = "anything at all without tabs\n";
  // Three nodes in row 2 over four hybs, two further nodes in row 3; blanks are trimmed, case counts.
  ProgramRun run = RunOn(r1 + "N\tC\t wild \twild\tWild\tB\n" + "R\tC\tB\tC\tD\tB\n" + "G1\tg\t1\n", {"-q"});
  EXPECT_EQ(run.Status, 0) << run.Out;
  EXPECT_NE(run.Out.find("Assigning more names to expression nodes..NotNewName=C.NotNewName=D.\n\n"
                         "Please verify that 5 expression nodes are desired,"), std::string::npos);
  EXPECT_NE(run.Out.find("unique expression nodes.\nwild\nWild\nB\nC\nD\n"), std::string::npos);
  // 250 hybs over 100 nodes fit; a 251st hyb, or a 101st node name even beyond the hybs, does not.
  std::string row2 = "N\tC", row3 = "R\tC";
  for (int h = 0; h < 250; ++h) {
    row2 += "\tn" + std::to_string(h % 100);
    row3 += "\tn" + std::to_string((h + 1) % 100);
  }
  EXPECT_EQ(RunOn(r1 + row2 + "\n" + row3 + "\nG1\tg\t1\n", {"-q"}).Status, 0);
  run = RunOn(r1 + row2 + "\tn1\n" + row3 + "\tn2\nG1\tg\t1\n");
  EXPECT_EQ(run.Status, 1);
  EXPECT_TRUE(EndsWith(run.Out, "T.E.L.V.O. found more than 250 hybs named in the second line in \nd.txt\n"
                                "T.E.L.V.O. can estimate from at most 250 hybs.\n"));
  run = RunOn(r1 + row2 + "\n" + row3 + "\textra\nG1\tg\t1\n");
  EXPECT_EQ(run.Status, 1);
  EXPECT_TRUE(EndsWith(run.Out, "T.E.L.V.O. found more than 100 expression node names in the third line in \nd.txt\n"
                                "T.E.L.V.O. can estimate at most 100 expression nodes.\n"));
  // 100 replicates of a pair fit; a 101st ratio stops the run, even a 0.
  std::string ratios;
  for (int h = 0; h < 100; ++h) ratios += "\t1.1";
  for (const char* extra : {"", "\t1.2", "\t0"}) {
    std::vector<std::pair<std::string, std::string>> hybs(100 + (*extra != 0), {"A", "B"});
    hybs.push_back({"B", "A"});
    run = RunOn(InputText(hybs, {"G1\tone" + ratios + extra + "\t0.9"}), {"-b", "1", "-g", "80", "-t", "1"});
    EXPECT_EQ(run.Status, *extra ? 1 : 0) << extra;
    EXPECT_EQ(EndsWith(run.Out, "\nIn this data, the number of replicates of\nA vs. B\nin d.txt\n"
                                "exceeds the maximum number of replicates setting, 100 in this version of T.E.L.V.O..\n"),
              *extra != 0) << extra;
  }
}

TEST(InputRefusals, GeneRowMessagesKeepTheGenesBefore) {
  struct Case {
    std::string BadRow, Tail;
  };
  const std::string id(254, 'i');  // the longest cell that is read whole
  std::vector<Case> cases = {
      {"G3", "T.E.L.V.O. found an end-of-line character after\nG3\nin d.txt\n"},
      {"G3\tthree", "T.E.L.V.O. found an end-of-line character after\nthree\nin d.txt\n"},
      {"", "T.E.L.V.O. found an end-of-line character after\n\nin d.txt\n"},
      {"G3\tthree\t1e309", "T.E.L.V.O. found in hyb 1 of gene G3 in d.txt\nthe ratio \"1e309\", a number out of the "
                             "range it can hold (about 1E-308 to 1E+308).\n"},
      {"G3\tthree\t1\t-1E-400", "in hyb 2 of gene G3 in d.txt\nthe ratio \"-1E-400\", a number out of the range"
                                  " it can hold (about 1E-308 to 1E+308).\n"},
      {"G3\tthree\t1\tn/a\t1\t1",
       "T.E.L.V.O. expects every ratio to be a decimal number such as 0.75, -1.2 or 2.5E-1 (0 for no measurement),\n"
       "but found in hyb 2 of gene G3 in d.txt\nthe text \"n/a\"\n"},
      {"G3\tthree\tinf", "the text \"inf\"\n"},
      {"G3\tthree\t1\t1 2", "but found in hyb 2 of gene G3 in d.txt\nthe text \"1 2\"\n"},
      {"G3\t" + std::string(255, 'c') + "\t1",
       ("T.E.L.V.O. tried to read a cell containing more than 254 characters.\nPlease check d.txt\n"
        "and replace the cell beginning with\n" + std::string(255, 'c')).substr(0, 255) + "\n"},
  };
  for (const Case& c : cases) {
    std::string dir = ScratchDir();
    WriteFile(dir + "/d.txt", InputText(Swap, {id + "\tone\t0\t0\t0\t0", "G2\ttwo\t0\t0\t0\t0", c.BadRow, "G4\tfour\t0\t0\t0\t0"}));
    ProgramRun run = RunProgram(dir, {"d.txt"});
    EXPECT_EQ(run.Status, 1) << c.BadRow;
    EXPECT_TRUE(EndsWith(run.Out, c.Tail)) << "expected tail:\n" << c.Tail << "\ngot:\n" << run.Out.substr(run.Out.size() - 400);
    std::string result = ReadFile(dir + "/d.txt_AC.TER");
    EXPECT_TRUE(EndsWith(result, "Ln Density of Likelihood\n" + id + "\tone\nG2\ttwo\n")) << c.BadRow;
    std::string pvalues = ReadFile(dir + "/d.txt_A.pvalue");
    EXPECT_EQ(pvalues.substr(0, pvalues.find("G3")), "Unique ID\tCommon Name\tP(A>B)\n" + id + "\tone\nG2\ttwo\n");
  }
}

TEST(InputRefusals, TextThatIsNotPlainIsRefusedAtOnce) {
  std::string plain = InputText(Swap, {"G1\tone\t1\t1\t1\t1"}), utf16;
  for (char c : plain) utf16 += std::string(1, c) + '\0';
  const std::string message = "\nT.E.L.V.O. cannot read d.txt: it is not plain text (it holds UTF-16 or NUL bytes).\n"
                              "Please save it as a tab-delimited text file, plain text (UTF-8 or ASCII).\n\n";
  for (const std::string& content : {"\xFF\xFE" + utf16, "\xFE\xFF\0" + utf16.substr(0, utf16.size() - 1), utf16,
                                     "Notes\tNo" + std::string(1, '\0') + "tes" + plain.substr(11)}) {
    ProgramRun run = RunOn(content, {"-q"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(AfterBanner(run.Out), "Checking Filename...\n" + message);
    EXPECT_EQ(run.Err, "telvo: 'd.txt' is not plain text: save it as tab-delimited plain text (UTF-8 or ASCII)\n");
  }
  // A UTF-8 byte-order mark is only part of the free text of row 1.
  EXPECT_EQ(RunOn("\xEF\xBB\xBF" + plain, {"-q"}).Status, 0);
}

TEST(InputRefusals, FileNamesOnTheCommandLine) {
  std::string dir = ScratchDir();
  const std::string io = "Checking Filename...\n\nI/O Error, \nPerhaps the full directory structure was not included in "
                         "the file name.\nAlternatively, the filename entered may have lacked its three-character suffix "
                         "(usually .txt).\nFor example, \"C:\\My Documents\\TELVO folder\\Sample.txt\"\n\n";
  const std::string name74 = std::string(70, 'f') + ".txt", name75 = std::string(71, 'f') + ".txt";
  for (const std::string& name : {name74, name75}) WriteFile(dir + "/" + name, InputText(Swap, {"G1\tone\t0\t0\t0\t0"}));
  EXPECT_EQ(RunProgram(dir, {"-q", name74}).Status, 0);
  const std::pair<std::string, std::string> refused[] = {
      {"missing.txt", io}, {".", io}, {"", "Checking Filename...\n\nNo file selected.\n\n"},
      {name75, "Checking Filename...\n\nT.E.L.V.O. filenames, including directory information, must be less than 75 "
               "characters\n\n"}};
  for (const auto& [name, out] : refused) {
    ProgramRun run = RunProgram(dir, {name});
    EXPECT_EQ(run.Status, 1) << name;
    EXPECT_EQ(AfterBanner(run.Out), out) << name;
  }
}
