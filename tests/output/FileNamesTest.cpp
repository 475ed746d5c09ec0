#include <gtest/gtest.h>

#include "output/Output.h"

TEST(FileNames, ShortNamesStayWholeLongOnesAreShortened) {
  EXPECT_EQ(TruncatedFileName("expression.txt", "_", "AC", ".TER"), "expression.txt_AC.TER");
  EXPECT_EQ(TruncatedFileName("expression.txt", "_", "wildtype", ".pvalue"), "expression.txt_wildtype.pvalue");
  EXPECT_EQ(TruncatedFileName("expression.txt", "_", "wildtype2", ".pvalue"), "etTLV__wildtype2.pvalue");
  EXPECT_EQ(TruncatedFileName("expression.txt", "_", "YAL001C(TFC3)", ".TEC"), "etTLV__YAL001C0TFC31.TEC");
  // A base of one or two characters stays whole, and TLV_ still marks the shortening.
  EXPECT_EQ(TruncatedFileName("ab", "_", std::string(30, 'x'), ".TEC"), "abTLV__" + std::string(30, 'x') + ".TEC");
}

TEST(FileNames, DirectoryPartEndsAtEitherSeparator) {
  EXPECT_EQ(TruncatedFileName("C:\\data\\run.txt", "_", "a_long_label_here_xx", ".TEC"), "C:\\data\\rtTLV__a5long5label5here5xx.TEC");
  EXPECT_EQ(TruncatedFileName("data/run/x.txt", "_", "a_long_label_here_xxx", ".TEC"), "data/run/xtTLV__a5long5label5here5xxx.TEC");
  EXPECT_EQ(TruncatedFileName("/tmp/q/expression.txt", "_", "AC", ".TER"), "/tmp/q/expression.txt_AC.TER");
  EXPECT_EQ(TruncatedFileName("a\\b/c.txt", "_", "AC", ".TER"), "a\\b/c.txt_AC.TER");
}

TEST(FileNames, LabelsAreCleanedAndNamesCut) {
  // ( ) - _ . become 0 1 5 5 6; control characters become blanks; letters, digits and blanks stay.
  EXPECT_EQ(TruncatedFileName("f", "_", "a(b)-c_d.e\x01 Z9", ".x"), "f_a0b15c5d6e  Z9.x");
  std::string name = TruncatedFileName("f.txt", "_", std::string(300, 'g'), ".TEC");
  EXPECT_EQ(name.size(), 255u);
  EXPECT_EQ(name.substr(0, 8), "ftTLV__g");
}

TEST(FileNames, CopyNumbersGoBeforeTheExtension) {
  EXPECT_EQ(WithCopyNumber("x_A1.pvalue", 2), "x_A1_2.pvalue");
  EXPECT_EQ(WithCopyNumber("dir.v2/file", 3), "dir.v2/file_3");
  EXPECT_EQ(WithCopyNumber("noext", 2), "noext_2");
}
