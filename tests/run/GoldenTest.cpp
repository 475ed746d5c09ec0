// Golden runs: whole runs whose console text and every output byte are pinned under tests/data/golden.
// A change to the order of draws, a seed, a summary, a layout or a message shows here. After a
// deliberate change, TELVO_UPDATE_GOLDEN=1 rewrites the expected files; check them before committing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>

#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

struct GoldenCase {
  const char* Name;               // folder of the expected files
  const char* Input;              // input file, relative to the source tree
  std::vector<std::string> Args;  // flags before the input name; none: the dialogue, answered by Typed
  const char* Typed = "";         // standard input of the dialogue
};

const GoldenCase Cases[] = {
    // The default model over the bundled example: shared term, step sizes carried from gene to gene.
    {"ac-shared", "examples/example.txt", {"-r", "12345", "-g", "200", "-b", "500", "-p", "5"}},
    {"av-shared", "examples/example.txt", {"-e", "AV", "-r", "9", "-g", "150", "-b", "300", "-p", "5", "-t", "3"}},
    {"mc-separate", "examples/example.txt", {"-e", "MC", "-c", "-r", "11", "-g", "150", "-b", "300", "-p", "5"}},
    // Chain files, rows that are not connected or have too few data, a label that is cleaned.
    {"mv-separate-full", "tests/data/golden/short.txt",
     {"-e", "MV", "-c", "-f", "-r", "7", "-g", "100", "-b", "200", "-p", "3", "-t", "3"}},
    // Empty, blank and missing cells, a TAB before the line end, empty lines at the end; repeated
    // pairs, a 0 that takes no slot, cells after the last hyb.
    {"odd-cells", "tests/data/golden/cells.txt", {"-r", "3", "-g", "80", "-b", "50", "-t", "1"}},
    {"repeated-pairs", "tests/data/golden/repeats.txt", {"-r", "3", "-g", "80", "-b", "50", "-t", "1"}},
    // Independent genes numbered from 5, with the analysis tables.
    {"j-n-tables", "examples/example.txt",
     {"-j", "2", "-n", "5", "-r", "13", "-g", "150", "-b", "300", "-p", "5", "--out", "tables/x"}},
    // Every setting from the flags, integers in several bases, a flag given twice.
    {"flags-every-setting", "tests/data/golden/short.txt",
     {"-e", "MV", "-c", "-i", "1,2,3.5", "-I", " 0.1,0.2,0.3", "-m", "0.25", "-v", "2.5e-1", "-b", "$10", "-b", "300",
      "-p", "%11", "-g", "&120", "-t", "3", "-r", "0x10", "-o", "out.txt"}},
    {"flags-shared-term", "tests/data/golden/short.txt",
     {"-e", "MC", "-I", "0.3", "-I", "0.35", "-t", "25", "-r", "3", "-b", "100", "-g", "80", "-p", "2"}},
    // The dialogue: every menu letter, separate terms given and rescaled (a non-number and Mu adding to 0
    // asked again), wrong bounded numbers, full output toggled off again, the output name set and restored.
    {"menu-every-letter", "tests/data/golden/short.txt", {},
     "in.txt\n\n\n" "e\nm\nv\n" "c\n" "i\n1\nabc\n0.1\n-1\n0.2\n0\n0.3\n" "1\n0.1\n2\n0.2\n3\n0.3\n"
     "m\n0.25\n" "v\n 0.125 extra\n" "b\n0\n-5\n12345678901\n3000000000\n300\n" "p\n3\n" "g\n80\n" "t\n2\n"
     "f\nF\n" "r\n7\n" "o\nmine.txt\no\n\n" "x\n" "\n"},
    // Shared term, Q at a confirmation goes on, more wrong numbers, full output confirmed gene by gene.
    {"menu-shared-full", "tests/data/golden/short.txt", {},
     "in.txt\nQ\n" "E\nM\nC\n" "i\n2\n4\n3\n0.3\n" "p\n\n70000\nabc\n0\n000002\n" "g\n79\n80\n" "b\n200\n"
     "t\n300\n2\n" "r\n65533\n5\n" "f\n" "o\nmine.txt\n" "\n" "\n\n\n\n\n\n\n\n\n\n\n\n" "\n"},
};

bool Volatile(const std::string& line) {
  for (const char* start : {"Time used: ", "start_time\t", "end_time\t", "time_used\t"})
    if (line.rfind(start, 0) == 0) return true;
  return false;
}

// What a run leaves: its console text and every file but the input, by relative path, without the
// lines that hold the clock. The page report has its own tests.
std::map<std::string, std::string> Outputs(const std::string& dir, const std::string& console) {
  std::map<std::string, std::string> files{{"stdout.txt", console}};
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    std::string name = fs::relative(entry.path(), dir).string();
    if (entry.is_regular_file() && name != "in.txt" && entry.path().extension() != ".html")
      files[name] = ReadFile(entry.path().string());
  }
  for (auto& [name, text] : files) {
    std::string kept;
    for (const std::string& line : Lines(text))
      if (!Volatile(line)) kept += line + "\n";
    if (!text.empty() && text.back() != '\n' && !kept.empty()) kept.pop_back();
    text = kept;
  }
  return files;
}

std::string FirstDifference(const std::string& a, const std::string& b) {
  std::vector<std::string> la = Lines(a), lb = Lines(b);
  for (size_t k = 0; k < std::max(la.size(), lb.size()); ++k) {
    std::string x = k < la.size() ? la[k] : "<none>", y = k < lb.size() ? lb[k] : "<none>";
    if (x != y) return "line " + std::to_string(k + 1) + ":\n  got      " + x + "\n  expected " + y;
  }
  return "line ends differ";
}

}  // namespace

TEST(Golden, EveryOutputByteOfTheGoldenRuns) {
  const bool update = std::getenv("TELVO_UPDATE_GOLDEN") != nullptr;
  for (const GoldenCase& c : Cases) {
    std::string dir = ScratchDir();
    WriteFile(dir + "/in.txt", ReadFile(std::string(TELVO_SOURCE_DIR) + "/" + c.Input));
    ProgramRun run = c.Args.empty() ? RunProgram(dir, {}, c.Typed) : RunProgram(dir, With(c.Args, {"in.txt"}));
    ASSERT_EQ(run.Status, 0) << c.Name << "\n" << run.Out;
    std::map<std::string, std::string> got = Outputs(dir, run.Out);
    fs::path expectedDir = fs::path(TELVO_SOURCE_DIR) / "tests/data/golden" / c.Name;
    if (update) {
      fs::remove_all(expectedDir);
      for (const auto& [name, text] : got) {
        fs::create_directories((expectedDir / name).parent_path());
        WriteFile((expectedDir / name).string(), text);
      }
    }
    std::map<std::string, std::string> expected;
    for (const auto& entry : fs::recursive_directory_iterator(expectedDir))
      if (entry.is_regular_file()) expected[fs::relative(entry.path(), expectedDir).string()] = ReadFile(entry.path());
    std::vector<std::string> gotNames, expectedNames;
    for (const auto& [name, text] : got) gotNames.push_back(name);
    for (const auto& [name, text] : expected) expectedNames.push_back(name);
    EXPECT_EQ(gotNames, expectedNames) << c.Name;
    for (const auto& [name, text] : expected)
      if (got.count(name) && got[name] != text)
        ADD_FAILURE() << c.Name << "/" << name << " differs at " << FirstDifference(got[name], text);
    fs::remove_all(dir);
  }
}
