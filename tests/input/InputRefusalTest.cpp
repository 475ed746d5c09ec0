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

TEST(InputRefusals, HeaderAcceptsOddButValidDesigns) {
  std::string r1 = "anything at all without tabs\n";
  // One node in row 2 over three hybs, three further nodes in row 3: three hybs, four nodes.
  ProgramRun run = RunOn(r1 + "N\tC\tA\tA\tA\n" + "R\tC\tB\tC\tD\n" + "G1\tg\t1\t1\t1\n", {"-q"});
  EXPECT_EQ(run.Status, 0) << run.Out;
  EXPECT_NE(run.Out.find("Assigning more names to expression nodes.NotNewName=B.NotNewName=C.NotNewName=D\n"),
            std::string::npos);
  EXPECT_NE(run.Out.find("Please verify that 4 expression nodes are desired,"), std::string::npos);
  // Blanks around a name are trimmed; case and inner blanks count; an empty cell is a node too.
  run = RunOn(r1 + "N\tC\t wild type \tWild type\t\tB\tB\t\n" + "R\tC\twild type\tB\tB\tWild type\tB\n" + "G1\tg\t1\n", {"-q"});
  EXPECT_EQ(run.Status, 0) << run.Out;
  EXPECT_NE(run.Out.find("unique expression nodes.\nwild type\nWild type\n\nB\nAssigning"), std::string::npos);
  // A header cell of 300 characters is kept as its first 255.
  std::string longName(300, 'n');
  run = RunOn(r1 + "N\tC\t" + longName + "\tB\tB\n" + "R\tC\tB\t" + longName + "\tB\n" + "G1\tg\t1\n", {"-q"});
  EXPECT_EQ(run.Status, 0) << run.Out;
  EXPECT_NE(run.Out.find("\n" + std::string(255, 'n') + "\nB\n"), std::string::npos);
}

TEST(InputRefusals, CapacityLimitsAreNamed) {
  std::string r1 = "Notes\n", row2 = "N\tC", row3 = "R\tC";
  for (int h = 0; h < 251; ++h) {
    row2 += h % 2 ? "\tA" : "\tB";
    row3 += h % 2 ? "\tB" : "\tA";
  }
  ProgramRun run = RunOn(r1 + row2 + "\n" + row3 + "\nG1\tg\t1\n");
  EXPECT_EQ(run.Status, 1);
  EXPECT_TRUE(EndsWith(run.Out, "T.E.L.V.O. found more than 250 hybs named in the second line in \nd.txt\n"
                                "T.E.L.V.O. can estimate from at most 250 hybs.\n"))
      << AfterBanner(run.Out);

  // 250 hybs over 100 nodes fit; a 101st node name, even in row 3 beyond the hybs, does not.
  std::string fit2 = "N\tC", fit3 = "R\tC";
  for (int h = 0; h < 250; ++h) {
    fit2 += "\tn" + std::to_string(h % 100);
    fit3 += "\tn" + std::to_string((h + 1) % 100);
  }
  run = RunOn(r1 + fit2 + "\n" + fit3 + "\nG1\tg\t1\n", {"-q"});
  EXPECT_EQ(run.Status, 0) << AfterBanner(run.Out).substr(0, 2000);
  run = RunOn(r1 + fit2 + "\n" + fit3 + "\textra\nG1\tg\t1\n");
  EXPECT_EQ(run.Status, 1);
  EXPECT_TRUE(EndsWith(run.Out, "T.E.L.V.O. found more than 100 expression node names in the third line in \nd.txt\n"
                                "T.E.L.V.O. can estimate at most 100 expression nodes.\n"))
      << run.Out.substr(run.Out.size() - 300);
}

TEST(InputRefusals, GeneRowMessagesKeepTheGenesBefore) {
  struct Case {
    std::string BadRow, Tail;
  };
  std::vector<Case> cases = {
      {"G3", "T.E.L.V.O. found an end-of-line character after\nG3\nin d.txt\n"},
      {"G3\t", "T.E.L.V.O. found an end-of-line character after\nG3\nin d.txt\n"},
      {"G3\tthree", "T.E.L.V.O. found an end-of-line character after\nthree\nin d.txt\n"},
      {"", "T.E.L.V.O. found an end-of-line character after\n\nin d.txt\n"},
      {"G3\tthree\t1e309", "T.E.L.V.O. found in hyb 1 of gene G3 in d.txt\nthe ratio \"1e309\", a number out of the "
                             "range it can hold (about 1E-308 to 1E+308).\n"},
      {"G3\tthree\t1\t-1E-400", "in hyb 2 of gene G3 in d.txt\nthe ratio \"-1E-400\", a number out of the range"
                                  " it can hold (about 1E-308 to 1E+308).\n"},
      {"G3\tthree\t1\tn/a\t1\t1",
       "T.E.L.V.O. expects every ratio to be a decimal number such as 0.75, -1.2 or 2.5E-1 (0 for no measurement),\n"
       "but found in hyb 2 of gene G3 in d.txt\nthe text \"n/a\"\n"},
      {"G3\tthree\t1\t1\t1,5\t1", "the text \"1,5\"\n"},
      {"G3\tthree\tinf", "the text \"inf\"\n"},
      {"G3\tthree\t0x1p3", "the text \"0x1p3\"\n"},
      {"G3\tthree\t1\t1 2", "but found in hyb 2 of gene G3 in d.txt\nthe text \"1 2\"\n"},
      {"G3\t" + std::string(255, 'c') + "\t1",
       ("T.E.L.V.O. tried to read a cell containing more than 254 characters.\nPlease check d.txt\n"
        "and replace the cell beginning with\n" + std::string(255, 'c')).substr(0, 255) + "\n"},
  };
  for (const Case& c : cases) {
    std::string dir = ScratchDir();
    WriteFile(dir + "/d.txt", InputText(Swap, {"G1\tone\t0\t0\t0\t0", "G2\ttwo\t0\t0\t0\t0", c.BadRow, "G4\tfour\t0\t0\t0\t0"}));
    ProgramRun run = RunProgram(dir, {"d.txt"});
    EXPECT_EQ(run.Status, 1) << c.BadRow;
    EXPECT_TRUE(EndsWith(run.Out, c.Tail)) << "expected tail:\n" << c.Tail << "\ngot:\n" << run.Out.substr(run.Out.size() - 400);
    std::string result = ReadFile(dir + "/d.txt_AC.TER");
    EXPECT_TRUE(EndsWith(result, "Ln Density of Likelihood\nG1\tone\nG2\ttwo\n")) << c.BadRow;
    std::string pvalues = ReadFile(dir + "/d.txt_A.pvalue");
    EXPECT_EQ(pvalues.substr(0, pvalues.find("G3")), "Unique ID\tCommon Name\tP(A>B)\nG1\tone\nG2\ttwo\n");
  }
}

TEST(InputRefusals, GeneCellOf254CharactersIsAccepted) {
  std::string dir = ScratchDir();
  std::string id(254, 'i');
  WriteFile(dir + "/d.txt", InputText(Swap, {id + "\tone\t0\t0\t0\t0"}));
  ProgramRun run = RunProgram(dir, {"d.txt"});
  EXPECT_EQ(run.Status, 0);
  EXPECT_NE(ReadFile(dir + "/d.txt_A.pvalue").find(id + "\tone\n"), std::string::npos);
}

TEST(InputRefusals, HundredReplicatesFitTheHundredAndFirstDoesNot) {
  std::vector<std::pair<std::string, std::string>> hybs(101, {"A", "B"});
  hybs.push_back({"B", "A"});
  std::string full = "\t1.1";
  for (int h = 1; h < 100; ++h) full += "\t1.1";
  // A 101st ratio of the pair stops the run, even a 0.
  for (const char* extra : {"1.2", "0"}) {
    std::string dir = ScratchDir();
    WriteFile(dir + "/d.txt", InputText(hybs, {"G1\tone" + full + "\t" + extra + "\t0.9"}));
    ProgramRun run = RunProgram(dir, {"d.txt"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_TRUE(EndsWith(run.Out, "\nIn this data, the number of replicates of\nA vs. B\nin d.txt\n"
                                  "exceeds the maximum number of replicates setting, 100 in this version of T.E.L.V.O..\n"))
        << extra;
  }
  std::vector<std::pair<std::string, std::string>> fit(100, {"A", "B"});
  fit.push_back({"B", "A"});
  std::string dir = ScratchDir();
  WriteFile(dir + "/d.txt", InputText(fit, {"G1\tone" + full + "\t0.9"}));
  EXPECT_EQ(RunProgram(dir, {"-q", "d.txt"}).Status, 0);
}

TEST(InputRefusals, TextThatIsNotPlainStopsBeforeAnyOutputFile) {
  std::string plain = InputText(Swap, {"G1\tone\t1\t1\t1\t1"}), utf16;
  for (char c : plain) utf16 += std::string(1, c) + '\0';
  const std::string message = "\nT.E.L.V.O. cannot read d.txt: it is not plain text (it holds UTF-16 or NUL bytes).\n"
                              "Please save it as a tab-delimited text file, plain text (UTF-8 or ASCII).\n\n";
  for (const std::string& content : {"\xFF\xFE" + utf16, "\xFE\xFF\0" + utf16.substr(0, utf16.size() - 1), utf16,
                                     "Notes\tNo" + std::string(1, '\0') + "tes" + plain.substr(11)}) {
    std::string dir = ScratchDir();
    WriteFile(dir + "/d.txt", content);
    for (const std::vector<std::string>& args : {std::vector<std::string>{"d.txt"}, {"-q", "d.txt"}}) {
      ProgramRun run = RunProgram(dir, args);
      EXPECT_EQ(run.Status, 1);
      EXPECT_EQ(AfterBanner(run.Out), "Checking Filename...\n" + message);
      EXPECT_EQ(run.Err, "telvo: 'd.txt' is not plain text: save it as tab-delimited plain text (UTF-8 or ASCII)\n");
      EXPECT_EQ(FilesIn(dir), std::vector<std::string>{"d.txt"});
    }
  }
  // A UTF-8 byte-order mark is only part of the free text of row 1.
  std::string dir = ScratchDir();
  WriteFile(dir + "/d.txt", "\xEF\xBB\xBF" + plain);
  EXPECT_EQ(RunProgram(dir, {"-q", "d.txt"}).Status, 0);
}

TEST(InputRefusals, FileNamesOnTheCommandLine) {
  std::string dir = ScratchDir();
  std::string io = "\nI/O Error, \nPerhaps the full directory structure was not included in the file name.\n"
                   "Alternatively, the filename entered may have lacked its three-character suffix (usually .txt).\n"
                   "For example, \"C:\\My Documents\\TELVO folder\\Sample.txt\"\n\n";
  ProgramRun run = RunProgram(dir, {"missing.txt"});
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(AfterBanner(run.Out), "Checking Filename...\n" + io);
  run = RunProgram(dir, {"."});  // a directory is no input file
  EXPECT_EQ(AfterBanner(run.Out), "Checking Filename...\n" + io);
  run = RunProgram(dir, {""});
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(AfterBanner(run.Out), "Checking Filename...\n\nNo file selected.\n\n");
  std::string name74 = std::string(70, 'f') + ".txt", name75 = std::string(71, 'f') + ".txt";
  WriteFile(dir + "/" + name74, InputText(Swap, {"G1\tone\t0\t0\t0\t0"}));
  WriteFile(dir + "/" + name75, InputText(Swap, {"G1\tone\t0\t0\t0\t0"}));
  EXPECT_EQ(RunProgram(dir, {"-q", name74}).Status, 0);
  run = RunProgram(dir, {name75});
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(AfterBanner(run.Out),
            "Checking Filename...\n\nT.E.L.V.O. filenames, including directory information, must be less than 75 "
            "characters\n\n");
}
