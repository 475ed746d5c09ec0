// The number syntax of flag values: bases, blanks, signs and bounds.
#include <gtest/gtest.h>

#include "settings/Settings.h"

using namespace telvo;

TEST(FlagSyntax, IntegersRealsAndListFields) {
  struct Int {
    const char* Text;
    int64_t Lower, Upper, Value;  // Value -1: refused
  };
  const int64_t big = 4294967295LL;
  const Int ints[] = {
      {"1000", 1, 500000, 1000}, {"  \t+42", 1, 500000, 42}, {"$1F", 1, 500000, 31}, {"0x1f", 1, 500000, 31},
      {"x10", 1, 500000, 16},    {"%101", 1, 500000, 5},     {"&17", 1, 500000, 15}, {"007", 1, 500000, 7},
      {"$FFFFFFFF", 1, big, big}, {"-5", -9, 9, -5},          {"25", 1, 25, 25},      {"1", 1, 25, 1},
      {"", 1, big, -1},  {" ", 1, big, -1},   {"0x", 1, big, -1},  {"$", 1, big, -1},  {"12a", 1, big, -1},
      {"1.0", 1, big, -1}, {"1e3", 1, big, -1}, {"%102", 1, big, -1}, {"&8", 1, big, -1}, {"-5", 1, big, -1},
      {"4294967296", 1, big, -1}, {"99999999999999999999999", 1, big, -1}, {"257", 1, 25, -1}, {"26", 1, 25, -1},
      {"0", 1, 25, -1}, {"$g", 1, big, -1}, {"G", 1, big, -1}, {"$aA", 1, big, 170}, {"x9", 1, big, 9},
  };
  for (const Int& c : ints) {
    int64_t v = -1;
    EXPECT_EQ(ParseFlagInteger(c.Text, c.Lower, c.Upper, v), c.Value != -1) << c.Text;
    EXPECT_EQ(v, c.Value) << c.Text;  // a refusal leaves the value alone
  }
  const std::pair<const char*, double> reals[] = {
      {"  0.25", 0.25}, {"\t-1E2", -100.0}, {"0.25 ", -1}, {"abc", -1}, {"", -1}};
  for (const auto& [text, value] : reals) {
    double v = -1;
    EXPECT_EQ(ParseFlagReal(text, v), value != -1) << text;
    EXPECT_EQ(v, value) << text;
  }
  bool present = false;
  const std::string fields[] = {"1", "", "2"};
  for (int k = 1; k <= 3; ++k) {
    EXPECT_EQ(ListField("1,,2", k, present), fields[k - 1]);
    EXPECT_TRUE(present);
  }
  EXPECT_EQ(ListField("1,,2", 4, present), "");
  EXPECT_FALSE(present);
}
