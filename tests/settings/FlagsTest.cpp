// Command-line flags: every refusal and the effect of each flag on the result-file header.
#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace {

const std::vector<std::pair<std::string, std::string>> ThreeNodes = {{"A", "B"}, {"B", "C"}, {"C", "A"}, {"B", "A"}};
const std::vector<std::pair<std::string, std::string>> ThreeNodesFive = {
    {"A", "B"}, {"B", "C"}, {"C", "A"}, {"B", "A"}, {"C", "B"}};

// Runs with the flags on a fresh copy of the file and returns the result; the directory is kept in dir.
ProgramRun RunFlags(const std::vector<std::string>& flags, std::string& dir,
                    const std::vector<std::pair<std::string, std::string>>& hybs = ThreeNodes) {
  dir = ScratchDir();
  WriteFile(dir + "/d.txt", InputText(hybs, {"G1\tone\t0\t0\t0\t0\t0"}));
  std::vector<std::string> args = flags;
  args.push_back("d.txt");
  return RunProgram(dir, args);
}

std::string LastLine(const std::string& out) {
  std::vector<std::string> lines = Lines(out);
  return lines.empty() ? "" : lines.back();
}

// The console text after "Random seed: ..." up to the end, i.e. what a refusal printed.
std::string Refusal(const std::string& out) {
  size_t at = out.find("header rows verified.\n");
  return at == std::string::npos ? out : out.substr(at + 22);
}

}  // namespace

TEST(Flags, EveryRefusalIsWordedAndExitsWithOne) {
  struct Case {
    std::vector<std::string> Flags;
    std::string Message;
  };
  const std::string usageMu =
      "Bad initial Mu value.  Usage: -i a,b,c,...\nwhere a,b,c,... is a comma delimited list of initial real Mu values "
      "for each expression node.\nExpected 00003 values for this input file.\n";
  std::vector<Case> cases = {
      {{"-burn", "5"}, "Unrecognized flag -burn\n"},
      {{"-"}, "Unrecognized flag -\n"},
      {{"-B", "5"}, "Unknown parameter flag" "B\n"},
      {{"b", "5"}, "Error parsing command line (expected a flag, but found b instead.\n"},
      {{"-e", "A"}, "Invalid error model A\n"},
      {{"-e", ""}, "Invalid error model \n"},
      {{"-e", "ac"}, "Invalid error model (a).  Valid choices are A and M.\n"},
      {{"-e", "AX"}, "Invalid variation type (X).  Valid choices are V and C.\n"},
      {{"-c"}, "With less than 00005 hybs for 00003expression nodes,\nT.E.L.V.O. cannot separately estimate "
               "Coefficient of Variation terms.\n"},
      {{"-e", "MV", "-c"}, "With less than 00005 hybs for 00003expression nodes,\nT.E.L.V.O. cannot separately "
                           "estimate Variance terms.\n"},
      {{"-i", "1,2"}, usageMu},
      {{"-i", "1,,2"}, usageMu},
      {{"-i", "1,x,2"}, "Bad initial Mu value x.  Expected a real number (e.g. 1.0).\n"},
      {{"-I", ""}, "Bad initial variance value.  Usage: -i a,b,c,...\nwhere a,b,c,... is a comma delimited list of "
                   "initial real variance values for each expression node (for error model = AV or MV) or a single "
                   "shared value (for error model = AC or MC).\n"},
      {{"-I", "0.1,0.2"}, "Bad initial variance value 0.1,0.2.  Expected a real number (e.g. 1.0).\n"},
      {{"-m", "big"}, "Bad Mu step size big.  Expected a real value.\n"},
      {{"-v", "1e999"}, "Bad variance step size 1e999.  Expected a real value.\n"},
      {{"-b", "0"}, "Bad burn in value 0.  Expected an integer value from 1 to 500000\n"},
      {{"-b", "500001"}, "Bad burn in value 500001.  Expected an integer value from 1 to 500000\n"},
      {{"-p", "65533"}, "Bad period of sampling value 65533.  Expected an integer value. from 1 to 65532.\n"},
      {{"-g", "79"}, "Bad generations value 79.  Expected an integer value from 80 to 500000\n"},
      {{"-g", "1.5"}, "Bad generations value 1.5.  Expected an integer value from 80 to 500000\n"},
      {{"-t", "26"}, "Bad acceptance ratio value 26.  Expected an integer value from 1 to 25.\n"},
      {{"-t", "257"}, "Bad acceptance ratio value 257.  Expected an integer value from 1 to 25.\n"},
      {{"-r", "0"}, "Bad random seed value 0.  Expected an integer value greater than 0.\n"},
      {{"-r", "-1"}, "Bad random seed value -1.  Expected an integer value greater than 0.\n"},
      {{"-b"}, "Bad burn in value d.txt.  Expected an integer value from 1 to 500000\n"},  // the file name is the value
      {{"-b", "100", "-x"}, "Unknown parameter flag" "x\n"},
      {{"-j", "0"}, "Bad thread count 0.  Expected an integer value from 1 to 256.\n"},
      {{"-j", "257"}, "Bad thread count 257.  Expected an integer value from 1 to 256.\n"},
      {{"-j", "two"}, "Bad thread count two.  Expected an integer value from 1 to 256.\n"},
      {{"-j", "2", "-n", "0"}, "Bad first gene number 0.  Expected an integer value from 1 to 2147483647.\n"},
      {{"-n", "5"}, "The first gene number (-n) needs independent genes (-j).\n"},
  };
  for (const Case& c : cases) {
    std::string dir;
    ProgramRun run = RunFlags(c.Flags, dir);
    EXPECT_EQ(run.Status, 1) << c.Message;
    EXPECT_EQ(Refusal(run.Out), c.Message);
    EXPECT_EQ(FilesIn(dir), std::vector<std::string>{"d.txt"}) << c.Message;  // refused before any file is made
  }
  std::string dir;
  ProgramRun run = RunFlags({"-c", "-I", "0.1,,0.3"}, dir, ThreeNodesFive);
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(Refusal(run.Out), "Bad initial variance value .\nUsage: -i a,b,c,...\nwhere a,b,c,... is a comma delimited "
                              "list of initial real variance values for each expression node.\nExpected 00003 values "
                              "for this input file.\n");
  run = RunFlags({"-I", "0.1,q,0.3", "-c"}, dir, ThreeNodesFive);
  EXPECT_EQ(Refusal(run.Out), "Bad initial variance value q.  Expected a real number (e.g. 1.0).\n");
}

TEST(Flags, SettingsReachTheResultHeader) {
  std::string dir;
  ProgramRun run = RunFlags({"-e", "MV", "-c", "-i", "1,2,3.5,9", "-I", " 0.1,0.2,0.3", "-m", "0.25", "-v", "2.5e-1",
                             "-b", "$10", "-b", "1000", "-p", "%11", "-g", "&120", "-t", "3", "-r", "0x10", "-f", "-o",
                             "out.txt"},
                            dir, ThreeNodesFive);
  ASSERT_EQ(run.Status, 0) << run.Out;
  EXPECT_NE(run.Out.find("Model 3\nRandom seed: 16\n"), std::string::npos);
  std::vector<std::string> lines = Lines(ReadFile(dir + "/out.txt"));
  ASSERT_GE(lines.size(), 14u);
  EXPECT_EQ(lines[1], "Error Model: Multiplicative errors, estimating/constraining Variance terms");
  EXPECT_EQ(lines[2], "Constrained Variance: False");
  EXPECT_EQ(lines[3], "Initial Mu[A] := 1.0000 Initial Variance[A] := 0.1000 Initial Mu[B] := 2.0000 Initial "
                      "Variance[B] := 0.2000 Initial Mu[C] := 3.5000 Initial Variance[C] := 0.3000 Initial Mu step "
                      "size: 0.25");
  EXPECT_EQ(lines[4], "Initial Variance/CV step size: 0.250");
  EXPECT_EQ(lines[5], "Burn in # generations: 1000");
  EXPECT_EQ(lines[6], "Period of sampling from the Markov chain: 3");
  EXPECT_EQ(lines[7], "Generations to be sampled: 80");
  EXPECT_EQ(lines[8], "Full output of the chain: True");
  EXPECT_EQ(lines[9], "Tuning depth maximum: 3");
  EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"d.txt", "d.txt_A.pvalue", "d.txt_B.pvalue", "d.txt_C.pvalue", "out.txt"}));

  // The command line's coefficient text, the shared term, and the last of two flags winning.
  run = RunFlags({"-e", "MC", "-I", "0.3", "-I", "0.35", "-t", "25"}, dir);
  ASSERT_EQ(run.Status, 0) << run.Out;
  lines = Lines(ReadFile(dir + "/d.txt_MC.TER"));
  EXPECT_EQ(lines[1], "Error Model: Multiplicative errors, estimating/constraining Coefficient ofVariation terms");
  EXPECT_EQ(lines[2], "Constrained Coefficient ofVariation: True");
  EXPECT_NE(lines[3].find("Initial Coefficient ofVariation[C] := 0.3500 "), std::string::npos);
  EXPECT_EQ(lines[9], "Tuning depth maximum: 25");
  EXPECT_NE(lines[12].find("\tCoefficient ofVariation Acceptance Ratio\t"), std::string::npos);
  EXPECT_NE(run.Out.find("Model 4\n"), std::string::npos);

  // -e ACX is model AC; -c with just enough hybs is accepted.
  run = RunFlags({"-e", "ACX", "-c", "-q"}, dir, ThreeNodesFive);
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(LastLine(run.Out), "Aborting run due to -q command-line flag.");
  EXPECT_NE(run.Out.find("Model 2\n"), std::string::npos);
}
