// Missing values as R and spreadsheets write them: no observation, exactly like a 0.
#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace {

const std::vector<std::pair<std::string, std::string>> Swap = {{"A", "B"}, {"B", "A"}, {"A", "B"}, {"B", "A"}};

struct Outcome {
  ProgramRun Run;
  std::string Dir;
};

Outcome RunRows(const std::vector<std::string>& rows, const std::vector<std::string>& flags) {
  Outcome o{{}, ScratchDir()};
  WriteFile(o.Dir + "/d.txt", InputText(Swap, rows));
  o.Run = RunProgram(o.Dir, With(flags, {"d.txt"}));
  return o;
}

}  // namespace

TEST(MissingValues, EverySpellingReadsAsZeroAndNearMissesAreRefused) {
  // Each spelling in a gene that is estimated and in one left short, on both gene loops.
  const std::vector<std::string> withTokens = {"G1\tone\t1.2\tNA\t0.9\t NaN ", "G2\ttwo\tnan\t#N/A\t1.1\t0.8",
                                               "G3\tthree\t1.3\t0.7\t1.0\tNA"};
  const std::vector<std::string> withZeros = {"G1\tone\t1.2\t0\t0.9\t0", "G2\ttwo\t0\t0\t1.1\t0.8",
                                              "G3\tthree\t1.3\t0.7\t1.0\t0"};
  for (const std::vector<std::string>& loop : {std::vector<std::string>{}, {"-j", "2"}}) {
    const std::vector<std::string> flags = With(loop, {"-r", "11", "-b", "200", "-g", "80", "-t", "2"});
    Outcome tokens = RunRows(withTokens, flags), zeros = RunRows(withZeros, flags);
    ASSERT_EQ(tokens.Run.Status, 0) << tokens.Run.Out.substr(tokens.Run.Out.size() - 400);
    EXPECT_EQ(tokens.Run.Out.substr(0, tokens.Run.Out.rfind("Time used")),
              zeros.Run.Out.substr(0, zeros.Run.Out.rfind("Time used")));
    ASSERT_EQ(FilesIn(tokens.Dir).size(), 4u);
    for (const std::string& f : FilesIn(tokens.Dir)) {
      if (f == "d.txt") continue;
      EXPECT_EQ(ReadFile(tokens.Dir + "/" + f), ReadFile(zeros.Dir + "/" + f)) << f;
    }
  }
  for (const std::string nearMiss : {"na", "N/A", "NAN", "-nan", "NA NA", "#N/A!", "\"NA\""}) {
    Outcome o = RunRows({"G1\tone\t1.2\t" + nearMiss + "\t0.9\t1"}, {});
    EXPECT_EQ(o.Run.Status, 1) << nearMiss;
    EXPECT_NE(o.Run.Out.find("but found in hyb 2 of gene G1 in d.txt\nthe text \"" + nearMiss + "\"\n"), std::string::npos)
        << nearMiss;
  }
}
