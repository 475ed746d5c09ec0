// Missing values as R and spreadsheets write them: no observation, exactly like a 0; near misses are refused.
#include <gtest/gtest.h>

#include "support/TestSupport.h"

TEST(MissingValues, EverySpellingReadsAsZeroAndNearMissesAreRefused) {
  const std::vector<std::pair<std::string, std::string>> swap = {{"A", "B"}, {"B", "A"}, {"A", "B"}, {"B", "A"}};
  auto run = [&](const std::string& token, const std::string& dir) {
    WriteFile(dir + "/d.txt",
              InputText(swap, {"G1\tone\t1.2\t" + token + "\t0.9\t1", "G2\ttwo\t" + token + "\t0\t0\t0"}));
    ProgramRun r = RunProgram(dir, {"-r", "11", "-b", "50", "-g", "80", "-t", "1", "d.txt"});
    r.Out = r.Out.substr(0, r.Out.rfind("Time used"));
    return r;
  };
  const std::string zeroDir = ScratchDir();
  const ProgramRun zero = run("0", zeroDir);
  ASSERT_EQ(zero.Status, 0);
  for (const std::string token :
       {"NA", "NaN", " nan ", "#N/A", "na", "N/A", "NAN", "-nan", "NA NA", "#N/A!", "\"NA\"", "!NA"}) {
    const std::string dir = ScratchDir();
    const ProgramRun r = run(token, dir);
    const bool accepted = token == "NA" || token == "NaN" || token == " nan " || token == "#N/A";
    EXPECT_EQ(r.Status, accepted ? 0 : 1) << token;
    if (accepted) {
      EXPECT_EQ(r.Out, zero.Out) << token;
      for (const char* f : {"/d.txt_AC.TER", "/d.txt_A.pvalue", "/d.txt_B.pvalue"})
        EXPECT_EQ(ReadFile(dir + f), ReadFile(zeroDir + f)) << token << f;
    } else {
      EXPECT_NE(r.Out.find("but found in hyb 2 of gene G1 in d.txt\nthe text \"" + token + "\"\n"), std::string::npos)
          << token;
    }
  }
}
