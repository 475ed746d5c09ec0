// A whole run of the bundled example, its console text sent to /dev/null.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "run/Run.h"

static void BM_BundledExampleRun(benchmark::State& state) {
  auto dir = std::filesystem::temp_directory_path() / "telvo_bench_run";
  std::filesystem::create_directories(dir);
  std::filesystem::copy_file(std::string(TELVO_SOURCE_DIR) + "/examples/example.txt", dir / "example.txt",
                             std::filesystem::copy_options::overwrite_existing);
  std::filesystem::current_path(dir);
  for (auto _ : state) {
    std::fflush(stdout);
    int saved = dup(1), null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    char a0[] = "telvo", a1[] = "-r", a2[] = "12345", a3[] = "example.txt";
    char* argv[] = {a0, a1, a2, a3};
    int status = RunTelvo(4, argv);
    std::fflush(stdout);
    dup2(saved, 1);
    close(null);
    close(saved);
    if (status != 0) state.SkipWithError("the run failed");
  }
}
BENCHMARK(BM_BundledExampleRun)->Unit(benchmark::kSecond)->Iterations(1);
