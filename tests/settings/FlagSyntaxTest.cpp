#include <gtest/gtest.h>

#include "settings/Settings.h"

TEST(FlagSyntax, IntegersInEveryBase) {
  int64_t v = 0;
  EXPECT_TRUE(ParseFlagInteger("1000", 1, 500000, v));
  EXPECT_EQ(v, 1000);
  EXPECT_TRUE(ParseFlagInteger("  \t+42", 1, 500000, v));
  EXPECT_EQ(v, 42);
  EXPECT_TRUE(ParseFlagInteger("$1F", 1, 500000, v));
  EXPECT_EQ(v, 31);
  EXPECT_TRUE(ParseFlagInteger("0x1f", 1, 500000, v));
  EXPECT_EQ(v, 31);
  EXPECT_TRUE(ParseFlagInteger("x10", 1, 500000, v));
  EXPECT_EQ(v, 16);
  EXPECT_TRUE(ParseFlagInteger("%101", 1, 500000, v));
  EXPECT_EQ(v, 5);
  EXPECT_TRUE(ParseFlagInteger("&17", 1, 500000, v));
  EXPECT_EQ(v, 15);
  EXPECT_TRUE(ParseFlagInteger("007", 1, 500000, v));
  EXPECT_EQ(v, 7);
  EXPECT_TRUE(ParseFlagInteger("$FFFFFFFF", 1, 4294967295LL, v));
  EXPECT_EQ(v, 4294967295LL);
  for (const char* bad : {"", " ", "0x", "$", "12a", "1.0", "1e3", "%102", "&8", "-5", "4294967296", "99999999999999999999999"})
    EXPECT_FALSE(ParseFlagInteger(bad, 1, 4294967295LL, v)) << bad;
  EXPECT_FALSE(ParseFlagInteger("257", 1, 25, v));  // judged on the full number, not wrapped to a byte
  EXPECT_FALSE(ParseFlagInteger("0", 1, 25, v));
}

TEST(FlagSyntax, RealsAllowLeadingBlanksOnly) {
  double v = 0;
  EXPECT_TRUE(ParseFlagReal("  0.25", v));
  EXPECT_EQ(v, 0.25);
  EXPECT_TRUE(ParseFlagReal("\t-1E2", v));
  EXPECT_EQ(v, -100.0);
  EXPECT_FALSE(ParseFlagReal("0.25 ", v));
  EXPECT_FALSE(ParseFlagReal("abc", v));
  EXPECT_FALSE(ParseFlagReal("", v));
}

TEST(FlagSyntax, ListFieldsBetweenSingleCommas) {
  bool present = false;
  EXPECT_EQ(ListField("1,,2", 1, present), "1");
  EXPECT_TRUE(present);
  EXPECT_EQ(ListField("1,,2", 2, present), "");
  EXPECT_TRUE(present);
  EXPECT_EQ(ListField("1,,2", 3, present), "2");
  EXPECT_EQ(ListField("1,,2", 4, present), "");
  EXPECT_FALSE(present);
  EXPECT_EQ(ListField("0.5", 1, present), "0.5");
}
