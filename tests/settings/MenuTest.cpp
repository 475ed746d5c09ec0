// The interactive road: scripted dialogues over a pipe, compared with the whole transcript and the files.
#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace {

const std::vector<std::pair<std::string, std::string>> Swap = {{"A", "B"}, {"B", "A"}, {"A", "B"}, {"B", "A"}};
const std::string ShortGene = "G1\tone\t0\t0\t0\t0";

struct Dialogue {
  std::string Dir;
  ProgramRun Run;
  std::string Out;  // console text from the file-name prompt on
};

Dialogue Talk(const std::string& input, const std::string& content = InputText(Swap, {ShortGene})) {
  Dialogue d;
  d.Dir = ScratchDir();
  WriteFile(d.Dir + "/s.txt", content);
  d.Run = RunProgram(d.Dir, {}, input);
  size_t at = d.Run.Out.find("\nPlease type the full name");
  d.Out = at == std::string::npos ? d.Run.Out : d.Run.Out.substr(at);
  return d;
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

const char* Prompt = "\nPlease type the full name of a text file of microarray ratio results to analyze:\n\n";
const char* Header =
    "Checking Filename...\n"
    "Filename OK.\n"
    "\n"
    "Verifying Input File s.txt\n"
    "Notes\tNotes\th1\th2\th3\th4\n"
    "Initializing ExpressionNodeNameList...\n"
    "Assigning names to expression nodes. NewName=A. NewName=B. NewName=A. NewName=B\n"
    "\n"
    "Number of Hybs: 4\n"
    "\nPress RETURN to verify or q to quit: "
    "Assigning more names to expression nodes....\n"
    "\n"
    "Please verify that 2 expression nodes are desired,\n"
    "that all desired nodes are are listed below, and\n"
    "that each of the following are unique expression nodes.\n"
    "A\n"
    "B\n"
    "\nPress RETURN to verify or q to quit: "
    "Assigning experimental node names to hyb list....\n"
    "Assigning reference node names to hyb list....\n"
    "File s.txt header rows verified.\n";
const char* DefaultMenu =
    "\nCurrent MCMC settings:\n"
    "(E)rror Model: Additive errors, estimating/constraining Coefficient of Variation terms\n"
    "(C)onstrained Coefficient of Variation: TRUE\n"
    "(I)nitial values:\n"
    "Mu[A] := 1.00\tCoefficient of Variation[A] := 0.2000\n"
    "Mu[B] := 1.00\tCoefficient of Variation[B] := 0.2000\n"
    "(M)u step size: 0.50\n"
    "(V)ariance/CV step size: 0.500\n"
    "(B)urn in, # generations: 20000\n"
    "(P)eriod of sampling from the Markov chain: 20\n"
    "(G)enerations to be sampled: 10000\n"
    "(F)ull output of the chain: FALSE\n"
    "(T)uning depth maximum: 8\n"
    "(R)andom seed (0 for system clock): 0\n"
    "(O)utput file name (blank for default): \n"
    "\nEnter a letter to change a parameter, q to quit, or RETURN to go on: ";
const char* Halt = "Press RETURN to halt.\n";

// Everything up to the menu, answered with RETURN.
const std::string Start = "s.txt\n\n\n";

}  // namespace

TEST(Menu, DefaultRunWithReturnEverywhere) {
  Dialogue d = Talk(Start + "\n" + "\n");
  EXPECT_EQ(d.Run.Status, 0);
  EXPECT_EQ(d.Run.Out.substr(0, d.Run.Out.find("\nPlease type")), "Checking memory: 400000000 Byte [OK]\n" + BannerText());
  std::string expected = std::string(Prompt) + Header + DefaultMenu + "Model 2\nRandom seed: ";
  EXPECT_EQ(d.Out.substr(0, expected.size()), expected);
  EXPECT_TRUE(Has(d.Out, "Genes Examined:\t1\n\n\nPress RETURN when ready.Time used: 00:00:00\n"));
  EXPECT_EQ(FilesIn(d.Dir), (std::vector<std::string>{"s.txt", "s.txt_A.pvalue", "s.txt_AC.TER", "s.txt_B.pvalue"}));
}

TEST(Menu, EveryLetterChangesItsSetting) {
  // E, C, M, V, B, P, G, T, F twice, R, O; each answer is followed by the menu again; then RETURN.
  Dialogue d = Talk(Start + "e\nm\nv\n" + "C\n" + "M\n0.25\n" + "v\n 0.125 extra\n" + "b\n1000\n" + "p\n3\n" +
                    "g\n80\n" + "t\n2\n" + "f\nF\n" + "r\n7\n" + "o\nmine.txt\n" + "\n" + "\n");
  ASSERT_EQ(d.Run.Status, 0) << d.Out;
  EXPECT_TRUE(Has(d.Out, "Large confounding factors (e.g. spot size, heterogeneity) of the spot are always modeled by TELVO as "
                         "multiplicative.\nSmall random errors may be A)dditive or M)ultiplicative: V)ariances or C)oefficients "
                         "of Variation may be estimated by the algorithm, and/or constrained: \nCurrent MCMC settings:\n"
                         "(E)rror Model: Multiplicative errors, estimating/constraining Variance terms\n"));
  EXPECT_TRUE(Has(d.Out, "(C)onstrained Variance: FALSE\n"));
  EXPECT_TRUE(Has(d.Out, "Mu step size: \nCurrent MCMC settings:"));
  EXPECT_TRUE(Has(d.Out, "(M)u step size: 0.25\n"));
  EXPECT_TRUE(Has(d.Out, "Variance step size: \nCurrent"));
  EXPECT_TRUE(Has(d.Out, "(V)ariance/CV step size: 0.125\n"));
  EXPECT_TRUE(Has(d.Out, "Burn in, # generations: \nCurrent"));
  EXPECT_TRUE(Has(d.Out, "Period of sampling from the Markov chain: \nCurrent"));
  EXPECT_TRUE(Has(d.Out, "Generations to be sampled: \nCurrent"));
  EXPECT_TRUE(Has(d.Out, "Maximum acceptance ratio tuning depth: \nCurrent"));
  EXPECT_TRUE(Has(d.Out, "(F)ull output of the chain: TRUE\n"));
  std::string last = d.Out.substr(d.Out.rfind("Current MCMC settings:"));
  EXPECT_TRUE(Has(last, "(F)ull output of the chain: FALSE\n(T)uning depth maximum: 2\n(R)andom seed (0 for system clock): 7\n"
                        "(O)utput file name (blank for default): mine.txt\n"));
  EXPECT_TRUE(Has(last, "Mu[A] := 1.00\tVariance[A] := 0.2000\n"));
  EXPECT_TRUE(Has(d.Out, "Model 3\nRandom seed: 7\n"));
  std::vector<std::string> header = Lines(ReadFile(d.Dir + "/mine.txt"));
  EXPECT_EQ(header[1], "Error Model: Multiplicative errors, estimating/constraining Variance terms");
  EXPECT_EQ(header[2], "Constrained Variance: False");
  EXPECT_EQ(header[4], "Initial Variance/CV step size: 0.125");
  EXPECT_EQ(header[5], "Burn in # generations: 1000");
  EXPECT_EQ(header[6], "Period of sampling from the Markov chain: 3");
  EXPECT_EQ(header[7], "Generations to be sampled: 80");
  EXPECT_EQ(header[9], "Tuning depth maximum: 2");

  // O with an empty line restores the derived name; other keys go on like RETURN.
  for (const char* key : {"x\n", "7\n", "D\n"}) {
    Dialogue e = Talk(Start + "o\nmine.txt\no\n\n" + key + "\n");
    EXPECT_EQ(e.Run.Status, 0);
    EXPECT_TRUE(FileExistsOnDisk(e.Dir + "/s.txt_AC.TER")) << key;
    EXPECT_FALSE(FileExistsOnDisk(e.Dir + "/mine.txt")) << key;
  }
}

TEST(Menu, BoundedNumbersComplainOnTheSameLine) {
  Dialogue d = Talk(Start + "p\n\n70000\nabc\n0\n000042\n" + "b\n0\n-5\n12345678901\n3000000000\n500000\n" + "g\n79\n80\n" +
                    "t\n300\n1\n" + "r\n65533\n0\n" + "\n\n");
  ASSERT_EQ(d.Run.Status, 0) << d.Out;
  EXPECT_TRUE(Has(d.Out, "Period of sampling from the Markov chain: Please enter a positive number below  65533: "
                         "Only positive numbers, please: Please enter a number above      0: \n"));
  EXPECT_TRUE(Has(d.Out, "(P)eriod of sampling from the Markov chain: 42\n"));
  EXPECT_TRUE(Has(d.Out, "Burn in, # generations: Please enter a number above            0: Only positive numbers, please: "
                         "Please enter a positive number below 2000000001: Please enter a positive number below 2000000001: \n"));
  EXPECT_TRUE(Has(d.Out, "(B)urn in, # generations: 500000\n"));
  EXPECT_TRUE(Has(d.Out, "Generations to be sampled: Please enter a number above           79: \n"));
  EXPECT_TRUE(Has(d.Out, "Maximum acceptance ratio tuning depth: Please enter a positive number below    256: \n"));
  EXPECT_TRUE(Has(d.Out, "(R)andom seed (0 for system clock): 0\n(O)utput"));
  EXPECT_TRUE(Has(d.Out, "RETURN to go on: Please enter a positive number below  65533: \nCurrent"));
}

TEST(Menu, InitialValuesAreRescaledToMeanOne) {
  // Shared term: all Mu first, then the term; 2 and 4 become 0.67 and 1.33.
  Dialogue d = Talk(Start + "i\n2\n4\n0.3\n" + "\n\n");
  ASSERT_EQ(d.Run.Status, 0);
  EXPECT_TRUE(Has(d.Out, "Initial mu[A] := Initial mu[B] := Initial Coefficient of Variation := \nCurrent"));
  EXPECT_TRUE(Has(d.Out, "Mu[A] := 0.67\tCoefficient of Variation[A] := 0.3000\nMu[B] := 1.33\tCoefficient of Variation[B] := 0.3000\n"));
  EXPECT_TRUE(Has(ReadFile(d.Dir + "/s.txt_AC.TER"), "Initial Mu[A] := 0.6667 Initial Coefficient of Variation[A] := 0.3000 "));
  // Separate terms alternate node by node; a non-number is asked again; Mu adding to 0 starts over.
  d = Talk(Start + "c\ni\n1\nabc\n0.1\n-1\n0.2\n" + "1\n0.1\n3\n0.2\n" + "\n\n");
  ASSERT_EQ(d.Run.Status, 0) << d.Out;
  EXPECT_TRUE(Has(d.Out, "Initial mu[A] := Initial Coefficient of Variation[A] := Please enter a real number (e.g. 1.0): "
                         "Initial mu[B] := Initial Coefficient of Variation[B] := The starting Mu values add up to 0 and cannot "
                         "be scaled to a mean of 1; please enter them again.\nInitial mu[A] := "));
  EXPECT_TRUE(Has(d.Out, "Mu[A] := 0.50\tCoefficient of Variation[A] := 0.1000\nMu[B] := 1.50\tCoefficient of Variation[B] := 0.2000\n"));
}

TEST(Menu, TooFewHybsForSeparateTermsIsOnlyPrinted) {
  std::vector<std::pair<std::string, std::string>> three = {{"A", "B"}, {"B", "C"}, {"C", "A"}, {"B", "A"}};
  Dialogue d = Talk("s.txt\n\n\nc\n\n\n", InputText(three, {"G1\tone\t0\t0\t0\t0"}));
  ASSERT_EQ(d.Run.Status, 0);
  EXPECT_TRUE(Has(d.Out, "RETURN to go on: With less than 00005 hybs for 00003expression nodes,\nT.E.L.V.O. cannot separately "
                         "estimate Coefficient of Variation terms.\n\nCurrent MCMC settings:\n(E)rror Model: Additive errors, "
                         "estimating/constraining Coefficient of Variation terms\n(C)onstrained Coefficient of Variation: TRUE\n"));
}

TEST(Menu, QuittingAndRefusals) {
  Dialogue q1 = Talk("s.txt\nq\n\n\n");
  EXPECT_EQ(q1.Run.Status, 0);
  EXPECT_TRUE(Has(q1.Out, "Number of Hybs: 4\n\nPress RETURN to verify or q to quit: \nPlease change cells in the two header "
                          "rows of s.txtas needed.\n" + std::string(Halt)));
  Dialogue q2 = Talk("s.txt\n\nquit\n\n");
  EXPECT_EQ(q2.Run.Status, 0);
  EXPECT_TRUE(Has(q2.Out, "B\n\nPress RETURN to verify or q to quit: \nPlease change cells in the two header rows of s.txtas "
                          "needed.\n" + std::string(Halt)));
  // Q and x at a confirmation go on.
  EXPECT_EQ(Talk("s.txt\nQ\nx\n\n\n").Run.Status, 0);
  Dialogue menuQ = Talk(Start + "q\n\n\n");
  EXPECT_EQ(menuQ.Run.Status, 0);
  EXPECT_TRUE(Has(menuQ.Out, "RETURN to go on: \nHave a nice day.\n" + std::string(Halt)));
  EXPECT_EQ(FilesIn(menuQ.Dir), std::vector<std::string>{"s.txt"});
  // The result file may not be the input file: refused when the run starts.
  Dialogue own = Talk(Start + "o\ns.txt\n\n\n\n");
  EXPECT_EQ(own.Run.Status, 1);
  EXPECT_TRUE(Has(own.Out, "T.E.L.V.O. will not write the result file over its own input file\ns.txt\n"));
  EXPECT_EQ(FilesIn(own.Dir), std::vector<std::string>{"s.txt"});
}

TEST(Menu, FileNameDialogue) {
  // A name of 80 characters of an existing file is asked again; the next answer is accepted.
  std::string dir = ScratchDir();
  std::string longName = std::string(76, 'f') + ".txt";
  WriteFile(dir + "/" + longName, InputText(Swap, {ShortGene}));
  WriteFile(dir + "/s.txt", InputText(Swap, {ShortGene}));
  ProgramRun run = RunProgram(dir, {}, longName + "\ns.txt\n\n\n\n\n");
  EXPECT_EQ(run.Status, 0);
  EXPECT_TRUE(Has(run.Out, std::string(Prompt) + "Checking Filename...\n\nT.E.L.V.O. filenames, including directory information, "
                                                 "must be less than 75 characters\n\n" + Prompt + "Checking Filename...\nFilename OK.\n"));
  std::string io = "\nI/O Error, \nPerhaps the full directory structure was not included in the file name.\n"
                   "Alternatively, the filename entered may have lacked its three-character suffix (usually .txt).\n"
                   "For example, \"C:\\My Documents\\TELVO folder\\Sample.txt\"\n\n";
  Dialogue empty = Talk("\n\n\n");
  EXPECT_EQ(empty.Run.Status, 1);
  EXPECT_EQ(empty.Out, std::string(Prompt) + "Checking Filename...\n\nNo file selected.\n\n" + io + Halt);
  Dialogue missing = Talk("nothere.txt\n\n\n");
  EXPECT_EQ(missing.Out, std::string(Prompt) + "Checking Filename...\n" + io + Halt);
  Dialogue noData = Talk("s.txt\n\n\n", "");
  EXPECT_EQ(noData.Run.Status, 1);
  EXPECT_EQ(noData.Out, std::string(Prompt) + "Checking Filename...\n\nNo Data.\n\n" + Halt);
  // A read-only input is accepted here too.
  std::string ro = ScratchDir();
  WriteFile(ro + "/s.txt", InputText(Swap, {ShortGene}));
  ASSERT_EQ(system(("chmod 444 " + ro + "/s.txt").c_str()), 0);
  EXPECT_EQ(RunProgram(ro, {}, Start + "\n\n").Status, 0);
}

TEST(Menu, EndOfInputAtAnyPromptStopsWithOne) {
  const std::string message = "\nThe input ended while T.E.L.V.O. was waiting for an answer.\n" + std::string(Halt);
  for (const std::string& input : {std::string("s.txt\n"), std::string("s.txt\n\n"), Start, Start + "p\n", Start + "b\n12",
                                   Start + "m\n", Start + "m\n  \n", Start + "i\n1\n", Start + "e\n", Start + "o\n"}) {
    Dialogue d = Talk(input);
    EXPECT_EQ(d.Run.Status, 1) << input;
    EXPECT_TRUE(d.Out.size() >= message.size() && d.Out.substr(d.Out.size() - message.size()) == message)
        << input << "\n---\n" << d.Out.substr(d.Out.size() > 300 ? d.Out.size() - 300 : 0);
  }
  Dialogue none = Talk("");
  EXPECT_EQ(none.Run.Status, 1);
  EXPECT_TRUE(Has(none.Out, "Checking Filename") == false);
  // At the last pause the end of input is as good as RETURN.
  Dialogue end = Talk(Start + "\n");
  EXPECT_EQ(end.Run.Status, 0);
  EXPECT_TRUE(Has(end.Out, "Press RETURN when ready.Time used: "));
}

TEST(Menu, FullOutputConfirmsTwicePerGene) {
  Dialogue d = Talk(Start + "f\n\n" + "\n\n" + "\n");
  ASSERT_EQ(d.Run.Status, 0) << d.Out;
  EXPECT_TRUE(Has(d.Out, "\nG1(one)\n\nG1(one)\nAssigning ratios to hybs\n\nPress RETURN to verify or q to quit: "
                         "Constructing Comparison Matrix:\n"));
  EXPECT_TRUE(Has(d.Out, "Add more data.\n\nPress RETURN to verify or q to quit: Genes Examined:\t1\n"));
  Dialogue q = Talk(Start + "f\n\n" + "q\n\n\n");
  EXPECT_EQ(q.Run.Status, 0);
  EXPECT_TRUE(Has(q.Out, "Assigning ratios to hybs\n\nPress RETURN to verify or q to quit: \nPlease change cells"));
}

TEST(Menu, MenuAndFlagsWriteTheSameFiles) {
  std::string content = InputText(Swap, {"G1\tone\t2.1\t0.48\t1.9\t0.52", "G2\ttwo\t0\t0\t0\t0"});
  Dialogue d = Talk(Start + "e\na\nv\nr\n7\nb\n200\ng\n80\nt\n2\n\n" + "\n", content);
  ASSERT_EQ(d.Run.Status, 0) << d.Out;
  std::string dir = ScratchDir();
  WriteFile(dir + "/s.txt", content);
  ProgramRun flags = RunProgram(dir, {"-e", "AV", "-r", "7", "-b", "200", "-g", "80", "-t", "2", "s.txt"});
  ASSERT_EQ(flags.Status, 0);
  for (const char* file : {"/s.txt_AV.TER", "/s.txt_A.pvalue", "/s.txt_B.pvalue"})
    EXPECT_EQ(ReadFile(d.Dir + file), ReadFile(dir + file)) << file;
  auto genes = [](const std::string& out) {
    size_t from = out.find("Model 1"), to = out.find("Genes Examined:\t2\n");
    return out.substr(from, to - from);
  };
  EXPECT_EQ(genes(d.Out), genes(flags.Out));
}
