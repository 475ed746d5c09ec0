// The help a new user reads names every flag the README's table lists. What help, version and every
// failure print is pinned by the golden command-line run (tests/data/golden/command-line).
#include <gtest/gtest.h>

#include <regex>

#include "settings/Settings.h"
#include "support/TestSupport.h"

using namespace telvo;

TEST(CommandLine, HelpNamesEveryFlagOfTheReadme) {
  const std::string help(UsageText());
  std::regex flag(R"(^\| (-[-a-zA-Z]+))");
  int named = 0;
  for (const std::string& line : Lines(ReadFile(std::string(TELVO_SOURCE_DIR) + "/README.md"))) {
    std::smatch m;
    if (!std::regex_search(line, m, flag)) continue;
    ++named;
    EXPECT_NE(help.find("\n  " + m[1].str()), std::string::npos) << m[1];
  }
  EXPECT_GE(named, 20);
}
