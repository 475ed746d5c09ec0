#include <gtest/gtest.h>

#include "output/Output.h"

using namespace telvo;

TEST(FileNames, ShortNamesStayWholeLongOnesAreShortened) {
  EXPECT_EQ(TruncatedFileName("expression.txt", "_", "AC", ".TER"), "expression.txt_AC.TER");
  EXPECT_EQ(TruncatedFileName("expression.txt", "_", "wildtype", ".pvalue"), "expression.txt_wildtype.pvalue");
  EXPECT_EQ(TruncatedFileName("expression.txt", "_", "wildtype2", ".pvalue"), "etTLV_09f88d_wildtype2.pvalue");
  EXPECT_EQ(TruncatedFileName("expression.txt", "_", "YAL001C(TFC3)", ".TEC"), "etTLV_09f88d_YAL001C0TFC31.TEC");
  // A base of one or two characters stays whole, and TLV_ still marks the shortening.
  EXPECT_EQ(TruncatedFileName("ab", "_", std::string(30, 'x'), ".TEC"),
            "abTLV_2505ca_" + std::string(30, 'x') + ".TEC");
}

TEST(FileNames, DirectoryPartEndsAtEitherSeparator) {
  EXPECT_EQ(TruncatedFileName("C:\\data\\run.txt", "_", "a_long_label_here_xx", ".TEC"),
            "C:\\data\\rtTLV_4e8eec_a5long5label5here5xx.TEC");
  EXPECT_EQ(TruncatedFileName("data/run/x.txt", "_", "a_long_label_here_xxx", ".TEC"),
            "data/run/xtTLV_66c621_a5long5label5here5xxx.TEC");
  EXPECT_EQ(TruncatedFileName("/tmp/q/expression.txt", "_", "AC", ".TER"), "/tmp/q/expression.txt_AC.TER");
  EXPECT_EQ(TruncatedFileName("a\\b/c.txt", "_", "AC", ".TER"), "a\\b/c.txt_AC.TER");
}

TEST(FileNames, LabelsAreCleanedAndNamesCut) {
  // ( ) - _ . become 0 1 5 5 6; control characters become blanks; letters, digits and blanks stay.
  EXPECT_EQ(TruncatedFileName("f", "_", "a(b)-c_d.e\x01 Z9", ".x"), "f_a0b15c5d6e  Z9.x");
  // A long label loses its end but never the extension, nor does a copy number push it out.
  std::string name = TruncatedFileName("f.txt", "_", std::string(300, 'g'), ".TEC");
  EXPECT_EQ(name, "ftTLV_c1e47f_" + std::string(255 - 13 - 4, 'g') + ".TEC");
  EXPECT_EQ(WithCopyNumber(name, 12), "ftTLV_c1e47f_" + std::string(255 - 13 - 7, 'g') + "_12.TEC");
  // Two long inputs of one folder no longer share their outputs.
  EXPECT_EQ(TruncatedFileName("ratios_strainA_vs_strainB_heatshock.txt", "_", "AC", ".TER"), "rtTLV_223b9b_AC.TER");
  EXPECT_EQ(TruncatedFileName("d/ratios_strainC_vs_strainD_coldshock.txt", "_", "AC", ".TER"), "d/rtTLV_1d199f_AC.TER");
}

TEST(FileNames, CopyNumbersGoBeforeTheExtension) {
  EXPECT_EQ(WithCopyNumber("x_A1.pvalue", 2), "x_A1_2.pvalue");
  EXPECT_EQ(WithCopyNumber("dir.v2/file", 3), "dir.v2/file_3");
  EXPECT_EQ(WithCopyNumber("noext", 2), "noext_2");
}
