// The dialogue where a golden run cannot show it compactly: the end of input at every kind of prompt,
// quitting, and refusals. Every menu letter, its prompts and complaints are pinned by the golden
// dialogue runs (tests/run/GoldenTest.cpp).
#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace {

const std::vector<std::pair<std::string, std::string>> Swap = {{"A", "B"}, {"B", "A"}, {"A", "B"}, {"B", "A"}};
const std::string Gene = "G1\tone\t0\t0\t0\t0";
const std::string Start = "s.txt\n\n\n";  // up to the menu, answered with RETURN
const std::string Halt = "Press RETURN to halt.\n";
const std::string Io = "\nI/O Error, \nPerhaps the full directory structure was not included in the file name.\n"
                       "Alternatively, the filename entered may have lacked its three-character suffix (usually .txt).\n"
                       "For example, \"C:\\My Documents\\TELVO folder\\Sample.txt\"\n\n";

struct Case {
  std::string Typed;
  int Status;
  std::string Part;            // a part of the console text, usually its end
  bool NoOutput = false;       // no file beside the input
  std::string Content = InputText(Swap, {Gene});
};

void Check(const Case& c) {
  std::string dir = ScratchDir();
  WriteFile(dir + "/s.txt", c.Content);
  WriteFile(dir + "/" + std::string(76, 'f') + ".txt", c.Content);
  ProgramRun run = RunProgram(dir, {}, c.Typed);
  EXPECT_EQ(run.Status, c.Status) << c.Typed;
  EXPECT_NE(run.Out.find(c.Part), std::string::npos)
      << c.Typed << "\nexpected:\n" << c.Part << "\ngot:\n" << run.Out.substr(run.Out.size() > 500 ? run.Out.size() - 500 : 0);
  if (c.NoOutput) {
    EXPECT_EQ(FilesIn(dir).size(), 2u) << c.Typed;
  }
}

}  // namespace

TEST(Menu, EndOfInputAtEveryKindOfPromptStopsWithOne) {
  const std::string ended = "\nThe input ended while T.E.L.V.O. was waiting for an answer.\n" + Halt;
  for (const std::string& typed : {std::string("s.txt\n"), std::string("s.txt\n\n"), Start, Start + "p\n", Start + "b\n12",
                                   Start + "m\n", Start + "m\n  \n", Start + "i\n1\n", Start + "e\n", Start + "e\na\n",
                                   Start + "o\n", Start + "f\n\n"})
    Check({typed, 1, ended, typed.find("f\n") == std::string::npos});
  Check({"", 1, "\nNo file selected: the input ended before a file name was typed.\n" + Halt, true});
  Check({Start + "\n", 0, "Press RETURN when ready.Time used: 00:00:00\n"});  // at the last pause it is RETURN
}

TEST(Menu, QuittingAndRefusals) {
  const std::string change = "\nPlease change cells in the two header rows of s.txtas needed.\n" + Halt;
  const std::string prompt = "\nPlease type the full name of a text file of microarray ratio results to analyze:\n\n";
  const std::vector<Case> cases = {
      {"s.txt\nq\n", 0, "Number of Hybs: 4\n\nPress RETURN to verify or q to quit: " + change, true},
      {"s.txt\n\nquit\n", 0, "B\n\nPress RETURN to verify or q to quit: " + change, true},
      {Start + "q\n", 0, "RETURN to go on: \nHave a nice day.\n" + Halt, true},
      // Six digits are too many for a word-sized answer: its own bound is named.
      {Start + "p\n999999\n5\nq\n", 0, "Markov chain: Please enter a positive number below  65533: ", true},
      {Start + "f\n\nq\n", 0, "Assigning ratios to hybs\n\nPress RETURN to verify or q to quit: " + change},
      {Start + "o\ns.txt\n\n", 1,
       "will not write the result file over its own input file\ns.txt\nPlease choose another result file name.\n" + Halt, true},
      {"s.txt\n\n\nc\n\n\n", 0,
       "RETURN to go on: With less than 00005 hybs for 00003expression nodes,\nT.E.L.V.O. cannot separately estimate "
       "Coefficient of Variation terms.\n\nCurrent MCMC settings:\n(E)rror Model: Additive errors, estimating/constraining "
       "Coefficient of Variation terms\n(C)onstrained Coefficient of Variation: TRUE\n",
       false, InputText({{"A", "B"}, {"B", "C"}, {"C", "A"}, {"B", "A"}}, {"G1\tone\t0\t0\t0\t0"})},
      // One hyb more, 2N - 1 of them: separate terms are allowed.
      {"s.txt\n\n\nc\n\n\n", 0, "(C)onstrained Coefficient of Variation: FALSE\n", false,
       InputText({{"A", "B"}, {"B", "C"}, {"C", "A"}, {"B", "A"}, {"C", "B"}}, {"G1\tone\t0\t0\t0\t0\t0"})},
      {"\n", 1, prompt + "Checking Filename...\n\nNo file selected.\n\n" + Io + Halt, true},
      {"nothere.txt\n", 1, prompt + "Checking Filename...\n" + Io + Halt, true},
      {"s.txt\n", 1, prompt + "Checking Filename...\n\nNo Data.\n\n" + Halt, true, ""},
      // A name of 80 characters is asked again.
      {std::string(76, 'f') + ".txt\nq\n", 1,
       prompt + "Checking Filename...\n\nT.E.L.V.O. filenames, including directory information, must be less than 75 "
                "characters\n\n" + prompt + "Checking Filename...\n" + Io + Halt, true},
  };
  for (const Case& c : cases) Check(c);
}
