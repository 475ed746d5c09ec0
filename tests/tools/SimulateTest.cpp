#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sstream>
#include <stdexcept>

#include "simulate/Simulate.h"
#include "support/TestSupport.h"

using namespace telvo;

namespace {

std::string Simulate(const SimulationOptions& o) {
  std::ostringstream out;
  SimulateFile(o, out);
  return out.str();
}

}  // namespace

TEST(Simulator, SeedFixesTheBytes) {
  SimulationOptions o;
  o.MissingFraction = 0.1;
  std::string a = Simulate(o);
  EXPECT_EQ(Simulate(o), a);
  o.Seed = 2;
  EXPECT_NE(Simulate(o), a);
}

TEST(Simulator, BadOptionsAreRefused) {
  for (const std::function<void(SimulationOptions&)>& change : std::vector<std::function<void(SimulationOptions&)>>{
           [](SimulationOptions& o) { o.Design = "star"; }, [](SimulationOptions& o) { o.Nodes = 1; },
           [](SimulationOptions& o) { o.Model = "XX"; }, [](SimulationOptions& o) { o.Mu = {1, 2}; },
           [](SimulationOptions& o) { o.MissingFraction = 1; },
           [](SimulationOptions& o) { o.Nodes = 100, o.Replicates = 2; }}) {  // 400 hybs
    SimulationOptions o;
    change(o);
    EXPECT_THROW(CheckSimulationOptions(o), std::invalid_argument);
  }
  // On the command line: a refused option exits with status 1 and writes nothing.
  std::string dir = ScratchDir();
  for (std::vector<std::string> args : {std::vector<std::string>{"--nodes", "x", "--out", "f.txt"},
                                        {"--bogus", "--out", "f.txt"},
                                        {"--design", "star", "--out", "f.txt"}}) {
    EXPECT_EQ(RunExecutable(TELVO_SIMULATE, dir, args).Status, 1) << args[0];
    EXPECT_FALSE(std::filesystem::exists(dir + "/f.txt")) << args[0];
  }
}
