// Command-line flags: every refusal, worded, and the bounds that are just accepted. What each flag
// does to a run is pinned by the golden runs (tests/run/GoldenTest.cpp).
#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace {

const std::vector<std::pair<std::string, std::string>> ThreeNodes = {{"A", "B"}, {"B", "C"}, {"C", "A"}, {"B", "A"}};
const std::vector<std::pair<std::string, std::string>> ThreeNodesFive = {
    {"A", "B"}, {"B", "C"}, {"C", "A"}, {"B", "A"}, {"C", "B"}};

// Runs with the flags on a fresh copy of the file; dir keeps the directory.
ProgramRun RunFlags(const std::vector<std::string>& flags, std::string& dir,
                    const std::vector<std::pair<std::string, std::string>>& hybs = ThreeNodes) {
  dir = ScratchDir();
  WriteFile(dir + "/d.txt", InputText(hybs, {"G1\tone\t0\t0\t0\t0\t0"}));
  return RunProgram(dir, With(flags, {"d.txt"}));
}

// What a refusal printed: the console text after the header verification.
std::string Refusal(const std::string& out) {
  size_t at = out.find("header rows verified.\n");
  return at == std::string::npos ? out : out.substr(at + 22);
}

}  // namespace

TEST(Flags, EveryRefusalIsWordedAndExitsWithOne) {
  struct Case {
    std::vector<std::string> Flags;
    std::string Message;
    const std::vector<std::pair<std::string, std::string>>& Hybs = ThreeNodes;
  };
  const std::string usageMu =
      "Bad initial Mu value.  Usage: -i a,b,c,...\nwhere a,b,c,... is a comma delimited list of initial real Mu values "
      "for each expression node.\nExpected 00003 values for this input file.\n";
  std::vector<Case> cases = {
      {{"-burn", "5"}, "Unrecognized flag -burn\n"},
      {{"-"}, "Unrecognized flag -\n"},
      {{"-B", "5"}, "Unknown parameter flag" "B\n"},
      {{"b", "5"}, "Error parsing command line (expected a flag, but found b instead.\n"},
      {{"xxversion"}, "Error parsing command line (expected a flag, but found x instead.\n"},  // no --version
      {{"-e", "A"}, "Invalid error model A\n"},
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
      {{"-r", "0"}, "Bad random seed value 0.  Expected an integer value greater than 0.\n"},
      {{"-b"}, "Bad burn in value d.txt.  Expected an integer value from 1 to 500000\n"},  // the file name is the value
      {{"-b", "100", "-x"}, "Unknown parameter flag" "x\n"},
      {{"-j", "0"}, "Bad thread count 0.  Expected an integer value from 1 to 256.\n"},
      {{"-j", "257"}, "Bad thread count 257.  Expected an integer value from 1 to 256.\n"},
      {{"-j", "2", "-n", "0"}, "Bad first gene number 0.  Expected an integer value from 1 to 2147483647.\n"},
      {{"-n", "5"}, "The first gene number (-n) needs independent genes (-j).\n"},
      {{"-c", "-I", "0.1,,0.3"},
       "Bad initial variance value .\nUsage: -i a,b,c,...\nwhere a,b,c,... is a comma delimited list of initial real "
       "variance values for each expression node.\nExpected 00003 values for this input file.\n",
       ThreeNodesFive},
      {{"-I", "0.1,q,0.3", "-c"}, "Bad initial variance value q.  Expected a real number (e.g. 1.0).\n", ThreeNodesFive},
  };
  for (const Case& c : cases) {
    std::string dir;
    ProgramRun run = RunFlags(c.Flags, dir, c.Hybs);
    EXPECT_EQ(run.Status, 1) << c.Message;
    EXPECT_EQ(Refusal(run.Out), c.Message);
    EXPECT_EQ(FilesIn(dir), std::vector<std::string>{"d.txt"}) << c.Message;  // refused before any file is made
  }
}

TEST(Flags, BoundsAreAccepted) {
  struct Case {
    std::vector<std::string> Flags;
    std::string Shown;  // console text from the model number on
  };
  const std::vector<Case> cases = {
      {{"-b", "500000", "-p", "65532", "-g", "500000", "-t", "25", "-r", "4294967295"}, "Model 2\nRandom seed: 4294967295\n"},
      {{"-b", "1", "-p", "1", "-g", "80", "-t", "1", "-r", "1", "-j", "1", "-n", "2147483647"}, "Model 2\nRandom seed: 1\n"},
      {{"-j", "256", "-r", "2"}, "Model 2\nRandom seed: 2\n"},
      {{"-e", "ACX", "-c", "-r", "3"}, "Model 2\nRandom seed: 3\n"},  // five hybs are just enough for three nodes
      {{"-e", "MC", "-c", "-I", "1,2,3", "-r", "4"}, "Model 4\nRandom seed: 4\n"},
  };
  for (const Case& c : cases) {
    std::string dir;
    ProgramRun run = RunFlags(With(c.Flags, {"-q"}), dir, ThreeNodesFive);
    EXPECT_EQ(run.Status, 0) << c.Shown << run.Out;
    EXPECT_EQ(Refusal(run.Out), c.Shown + "Aborting run due to -q command-line flag.\n");
  }
}
