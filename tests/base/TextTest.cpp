// Number texts where the golden runs do not reach: undefined values, huge exponents, long runs, and
// the grammar of a ratio.
#include <gtest/gtest.h>

#include <cmath>

#include "base/Base.h"

using namespace telvo;

TEST(Text, EdgesOfTheNumberFormats) {
  EXPECT_EQ(Fixed(123456.789, 4, 2), "123456.79");  // never cut
  EXPECT_EQ(Fixed(-0.0, 7, 5), "0.00000");
  EXPECT_EQ(Fixed(NAN, 7, 5), "    NaN");
  EXPECT_EQ(Fixed(-INFINITY, 7, 5), "   -Inf");
  EXPECT_EQ(Sci(-2.5e100), "-2.50000000000000E+100");
  EXPECT_EQ(SciScaled(0.75, -10), Sci(0.75 / 1024));
  // 2^-4000 and 2^5000: exponents beyond 999 take more digits; beyond the extended range the
  // logarithm gives the leading digits (2^-100000 = 1.000998903799e-30103).
  EXPECT_EQ(SciScaled(1.0, -4000), " 7.58607870346738E-1205");
  EXPECT_EQ(SciScaled(0.5, 5001), " 1.41246703213943E+1505");
  std::string tiny = SciScaled(1.0, -100000);
  EXPECT_EQ(tiny.substr(0, 10) + tiny.substr(17), " 1.0009989E-30103");
  EXPECT_EQ(StringFromInt(7) + StringFromInt(99999) + StringFromInt(100000) + IntegerToString(-42),
            "0000799999100000-42");
  EXPECT_EQ(ElapsedText(25 * 3600 + 3 * 60 + 4.9), "25:03:04");
}

TEST(Text, StrictRealGrammar) {
  double v = 0;
  for (auto [text, value] :
       {std::pair{"0.75", 0.75}, {"-1.2", -1.2}, {"+2.5E-1", 0.25}, {"3.", 3.0}, {"12e2", 1200.0}}) {
    EXPECT_TRUE(ParseStrictReal(text, v)) << text;
    EXPECT_EQ(v, value) << text;
  }
  for (const char* bad :
       {"", "-", ".5", "1,5", "nan", "inf", "0x1p3", "1e", "1e+", "1.5.2", " 1", "1 ", "1e999", "--1"})
    EXPECT_FALSE(ParseStrictReal(bad, v)) << bad;
}
