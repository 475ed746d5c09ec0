#include <gtest/gtest.h>

#include "input/Input.h"

using namespace telvo;

TEST(HeaderCells, TabsSplitAndBlanksTrim) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitHeaderRow("N\tC\tA\tB"), (V{"N", "C", "A", "B"}));
  EXPECT_EQ(SplitHeaderRow("N\tC\tA\tB\t"), (V{"N", "C", "A", "B"}));  // a final TAB opens no cell
  EXPECT_EQ(SplitHeaderRow("N\tC\t\tB"), (V{"N", "C", "", "B"}));     // two TABs make an empty cell
  EXPECT_EQ(SplitHeaderRow("N\tC\t  wild type \x01\tB"), (V{"N", "C", "wild type", "B"}));
  EXPECT_EQ(SplitHeaderRow(""), V{});
  EXPECT_EQ(SplitHeaderRow("\t"), V{""});
  EXPECT_EQ(SplitHeaderRow("N\tC\t" + std::string(300, 'x'))[2].size(), 255u);
}

TEST(InputBytes, LineEndsOfEveryKind) {
  InputFile f;
  f.Bytes = "a\r\nb\rc\n\r\n\n";
  EXPECT_EQ(ReadRestOfLine(f), "a");
  EXPECT_EQ(ReadRestOfLine(f), "b");
  EXPECT_FALSE(OnlyEmptyLinesLeft(f));
  EXPECT_EQ(ReadRestOfLine(f), "c");
  EXPECT_TRUE(OnlyEmptyLinesLeft(f));
  EXPECT_TRUE(AtLineEnd(f));
  EXPECT_FALSE(AtEnd(f));
}
