// Whole runs, console text sent to /dev/null: the bundled example, and a simulated 1,000-gene file
// (4-node loop with dye swaps, 16 hybs, default settings) in the one-stream mode and with -j 1, 2.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "run/Run.h"
#include "simulate/Simulate.h"

using namespace telvo;

namespace {

// Runs the program on file in dir with the flags; false when it failed.
bool QuietRun(const std::filesystem::path& dir, std::vector<std::string> args) {
  std::filesystem::current_path(dir);
  std::vector<char*> argv;
  std::string name = "telvo";
  argv.push_back(name.data());
  for (std::string& a : args) argv.push_back(a.data());
  std::fflush(stdout);
  int saved = dup(1), null = open("/dev/null", O_WRONLY);
  dup2(null, 1);
  int status = RunTelvo(static_cast<int>(argv.size()), argv.data());
  std::fflush(stdout);
  dup2(saved, 1);
  close(null);
  close(saved);
  return status == 0;
}

std::filesystem::path BenchDir(const char* name) {
  auto dir = std::filesystem::temp_directory_path() / name;
  std::filesystem::create_directories(dir);
  return dir;
}

}  // namespace

static void BM_BundledExampleRun(benchmark::State& state) {
  auto dir = BenchDir("telvo_bench_run");
  std::filesystem::copy_file(std::string(TELVO_SOURCE_DIR) + "/examples/example.txt", dir / "example.txt",
                             std::filesystem::copy_options::overwrite_existing);
  for (auto _ : state)
    if (!QuietRun(dir, {"-r", "12345", "example.txt"})) state.SkipWithError("the run failed");
}
BENCHMARK(BM_BundledExampleRun)->Unit(benchmark::kSecond)->Iterations(1);

// Argument: worker count for -j, 0 for the one-stream mode.
static void BM_Simulated1000Genes(benchmark::State& state) {
  auto dir = BenchDir("telvo_bench_1000");
  SimulationOptions options;
  options.Design = "loop";
  options.Nodes = 4;
  options.Replicates = 2;
  options.Genes = 1000;
  {
    std::ofstream out(dir / "f.txt", std::ios::binary);
    SimulateFile(options, out);
  }
  std::vector<std::string> args = {"-r", "12345"};
  if (state.range(0) > 0) args.insert(args.end(), {"-j", std::to_string(state.range(0))});
  args.push_back("f.txt");
  for (auto _ : state)
    if (!QuietRun(dir, args)) state.SkipWithError("the run failed");
  state.counters["genes_per_s"] = benchmark::Counter(1000.0 * state.iterations(), benchmark::Counter::kIsRate);
  state.SetLabel(state.range(0) ? "-j " + std::to_string(state.range(0)) : "one stream");
}
BENCHMARK(BM_Simulated1000Genes)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
