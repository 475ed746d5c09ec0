#include <gtest/gtest.h>

#include <cmath>

#include "run/Run.h"

TEST(Text, FiveDigitCountsAndPlainIntegers) {
  EXPECT_EQ(StringFromInt(0), "00000");
  EXPECT_EQ(StringFromInt(12345), "12345");
  EXPECT_EQ(StringFromInt(32767), "32767");
  EXPECT_EQ(IntegerToString(-42), "-42");
  EXPECT_EQ(IntegerToString(0), "0");
}

TEST(Text, FixedPointRightAlignedNeverCutAndUndefinedSpeltOut) {
  EXPECT_EQ(Fixed(1, 7, 5), "1.00000");
  EXPECT_EQ(Fixed(1.5, 8, 2), "    1.50");
  EXPECT_EQ(Fixed(123456.789, 4, 2), "123456.79");
  EXPECT_EQ(Fixed(-0.25, 7, 5), "-0.25000");
  EXPECT_EQ(Fixed(-0.0, 7, 5), "0.00000");
  EXPECT_EQ(Fixed(NAN, 7, 5), "    NaN");
  EXPECT_EQ(Fixed(INFINITY, 7, 5), "    Inf");
  EXPECT_EQ(Fixed(-INFINITY, 7, 5), "   -Inf");
  EXPECT_EQ(Fixed(0.125, 4, 2), "0.12");  // ties go to even, as printf rounds the binary value
}

TEST(Text, ScientificFormHasTwentyTwoCharacters) {
  EXPECT_EQ(Sci(0.00123), " 1.23000000000000E-003");
  EXPECT_EQ(Sci(-2.5e100), "-2.50000000000000E+100");
  EXPECT_EQ(Sci(0.0), " 0.00000000000000E+000");
  EXPECT_EQ(Sci(1e-300).size(), 22u);
}

TEST(Text, ScaledLikelihoodPrintsItsTrueValue) {
  // In the double range the text is that of the double itself.
  EXPECT_EQ(SciScaled({0.75, -10}), Sci(0.75 / 1024));
  EXPECT_EQ(SciScaled({0.0, 5}), Sci(0.0));
  // 2^-4000 = 7.5861...E-1205, 2^5000 = 1.4125...E+1505: exponents beyond 999 take more digits.
  EXPECT_EQ(SciScaled({1.0, -4000}), " 7.58607870346738E-1205");
  EXPECT_EQ(SciScaled({0.5, 5001}), " 1.41246703213943E+1505");
  // Beyond the extended range the logarithm gives the leading digits: 2^-100000 = 1.000998903799e-30103.
  std::string tiny = SciScaled({1.0, -100000});
  EXPECT_EQ(tiny.substr(0, 10), " 1.0009989");
  EXPECT_EQ(tiny.substr(17), "E-30103");
}

TEST(Text, StrictRealGrammar) {
  double v = 0;
  EXPECT_TRUE(ParseStrictReal("0.75", v));
  EXPECT_EQ(v, 0.75);
  EXPECT_TRUE(ParseStrictReal("-1.2", v));
  EXPECT_EQ(v, -1.2);
  EXPECT_TRUE(ParseStrictReal("+2.5E-1", v));
  EXPECT_EQ(v, 0.25);
  EXPECT_TRUE(ParseStrictReal("3.", v));
  EXPECT_EQ(v, 3.0);
  EXPECT_TRUE(ParseStrictReal("12e2", v));
  EXPECT_EQ(v, 1200.0);
  for (const char* bad : {"", "-", ".5", "1,5", "nan", "inf", "0x1p3", "1e", "1e+", "1.5.2", " 1", "1 ", "1e999", "--1"})
    EXPECT_FALSE(ParseStrictReal(bad, v)) << bad;
}

TEST(Text, WholeDaysStayInTheHours) {
  EXPECT_EQ(ElapsedText(25 * 3600 + 3 * 60 + 4), "25:03:04");
  EXPECT_EQ(ElapsedText(3600 + 7 * 60 + 9.9), "01:07:09");
  EXPECT_EQ(ElapsedText(0), "00:00:00");
}
