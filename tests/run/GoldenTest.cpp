// Golden runs: every folder of tests/data/golden holds a command line (cmd, run by sh in an empty
// scratch folder with TELVO, TELVO_RANK, SIMULATE, INPUTS and EXAMPLE set) and all it left: standard output, standard
// error, exit status and every file, byte for byte, in stdout, stderr, status and files/. A cmd may run
// telvo many times through t, which echoes each command line and its exit status on both streams. A change to
// the order of draws, a seed, a summary, a layout or a message shows here. After a deliberate change,
// TELVO_UPDATE_GOLDEN=1 rewrites what the runs left; check the difference before committing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <set>

#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

const fs::path GoldenDir = fs::path(TELVO_SOURCE_DIR) / "tests/data/golden";
const fs::path Inputs = fs::path(TELVO_SOURCE_DIR) / "tests/data/inputs";
const std::string Prelude =
    "t() { printf '$ telvo %s\\n' \"$*\"; printf '$ telvo %s\\n' \"$*\" >&2; \"$TELVO\" \"$@\"; s=$?; "
    "echo \"[exit $s]\"; echo \"[exit $s]\" >&2; }\n";

// The clock: times on the console, in the run table and on the report page differ between equal runs,
// and so does a seed taken from it (seconds since 1970 of a date after 2023).
std::string Steady(const std::string& text) {
  static const std::regex clock("Time used: [0-9]+:[0-9]{2}:[0-9]{2}"), seed("^Random seed: 1[7-9][0-9]{8}$");
  std::string kept;
  for (const std::string& line : Lines(text))
    if (line.rfind("start_time\t", 0) && line.rfind("end_time\t", 0) && line.rfind("time_used\t", 0) &&
        line.find("<tr class=\"time\">") == std::string::npos)
      kept += std::regex_replace(std::regex_replace(line, clock, "Time used: --:--:--"), seed,
                                   "Random seed: (the clock)") + "\n";
  if (!text.empty() && text.back() != '\n' && !kept.empty()) kept.pop_back();
  return kept;
}

// What a command left: its console, status and every file but the inputs it copied unchanged.
std::map<std::string, std::string> Left(const std::string& dir, const ProgramRun& run) {
  std::set<std::string> inputs{ReadFile(std::string(TELVO_SOURCE_DIR) + "/examples/example.txt")};
  for (const auto& entry : fs::directory_iterator(Inputs)) inputs.insert(ReadFile(entry.path()));
  std::map<std::string, std::string> left{{"stdout", Steady(run.Out)}};
  if (!run.Err.empty()) left["stderr"] = Steady(run.Err);
  if (run.Status != 0) left["status"] = std::to_string(run.Status) + "\n";
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    std::string name = "files/" + fs::relative(entry.path(), dir).string();
    if (entry.is_symlink()) left[name] = "-> " + fs::read_symlink(entry.path()).string() + "\n";
    else if (entry.is_regular_file() && !inputs.count(ReadFile(entry.path())))
      left[name] = Steady(ReadFile(entry.path()));
  }
  return left;
}

std::map<std::string, std::string> Pinned(const fs::path& folder) {
  std::map<std::string, std::string> pinned;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.is_regular_file() && entry.path().filename() != "cmd")
      pinned[fs::relative(entry.path(), folder).string()] = ReadFile(entry.path());
  return pinned;
}

std::string FirstDifference(const std::string& a, const std::string& b) {
  std::vector<std::string> la = Lines(a), lb = Lines(b);
  for (size_t k = 0; k < std::max(la.size(), lb.size()); ++k) {
    std::string x = k < la.size() ? la[k] : "<none>", y = k < lb.size() ? lb[k] : "<none>";
    if (x != y) return "line " + std::to_string(k + 1) + ":\n  got      " + x + "\n  expected " + y;
  }
  return "line ends differ";
}

class Golden : public testing::TestWithParam<std::string> {};

}  // namespace

TEST_P(Golden, LeavesEveryPinnedByte) {
  const fs::path folder = GoldenDir / GetParam();
  setenv("TELVO", TELVO_BINARY, 1);
  setenv("TELVO_RANK", TELVO_RANK_BINARY, 1);
  setenv("SIMULATE", TELVO_SIMULATE, 1);
  setenv("INPUTS", Inputs.c_str(), 1);
  setenv("EXAMPLE", TELVO_SOURCE_DIR "/examples/example.txt", 1);
  std::string dir = ScratchDir();
  ProgramRun run = RunExecutable("/bin/sh", dir, {"-c", Prelude + ReadFile(folder / "cmd")});
  std::map<std::string, std::string> left = Left(dir, run), pinned = Pinned(folder);
  if (std::getenv("TELVO_UPDATE_GOLDEN")) {
    for (const auto& [name, text] : pinned) fs::remove(folder / name);
    fs::remove_all(folder / "files");
    for (const auto& [name, text] : left) {
      fs::create_directories((folder / name).parent_path());
      WriteFile(folder / name, text);
    }
    pinned = Pinned(folder);
  }
  std::vector<std::string> leftNames, pinnedNames;
  for (const auto& [name, text] : left) leftNames.push_back(name);
  for (const auto& [name, text] : pinned) pinnedNames.push_back(name);
  EXPECT_EQ(leftNames, pinnedNames);
  for (const auto& [name, text] : pinned)
    if (left.count(name) && left[name] != text)
      ADD_FAILURE() << name << " differs at " << FirstDifference(left[name], text);
}

INSTANTIATE_TEST_SUITE_P(Runs, Golden, testing::ValuesIn([] {
                           std::vector<std::string> names;
                           for (const auto& entry : fs::directory_iterator(GoldenDir))
                             names.push_back(entry.path().filename());
                           std::sort(names.begin(), names.end());
                           return names;
                         }()),
                         [](const testing::TestParamInfo<std::string>& info) {
                           return std::regex_replace(info.param, std::regex("[^A-Za-z0-9]"), "_");
                         });
