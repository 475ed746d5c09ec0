// telvo_simulate: writes a ratio file for a chosen design; see Simulate.h for the model.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>

#include "simulate/Simulate.h"

using namespace telvo;

namespace {

const char* Usage =
    "usage: telvo_simulate [--design loop|reference] [--nodes N] [--replicates R] [--no-dye-swap] [--genes G]\n"
    "       [--mu a,b,...] [--spread S] [--model AV|AC|MV|MC] [--error T] [--node-errors a,b,...]\n"
    "       [--unchanged F]\n"
    "       [--missing F] [--seed S] [--truth FILE] --out FILE";

double Real(const std::string& text, const std::string& option) {
  size_t used = 0;
  double value = 0;
  try {
    value = std::stod(text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used != text.size() || text.empty()) throw std::invalid_argument(option + " needs a number, not '" + text + "'");
  return value;
}

long Whole(const std::string& text, const std::string& option) {
  double value = Real(text, option);
  if (value != static_cast<long>(value)) throw std::invalid_argument(option + " needs a whole number");
  return static_cast<long>(value);
}

std::vector<double> List(const std::string& text, const std::string& option) {
  std::vector<double> values;
  size_t start = 0;
  for (;;) {
    size_t comma = text.find(',', start);
    values.push_back(Real(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start), option));
    if (comma == std::string::npos) return values;
    start = comma + 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  SimulationOptions o;
  std::string outName, truthName;
  try {
    for (int i = 1; i < argc; ++i) {
      std::string a = argv[i];
      auto value = [&]() -> std::string {
        if (i + 1 >= argc) throw std::invalid_argument(a + " needs a value");
        return argv[++i];
      };
      if (a == "-h" || a == "--help") {
        std::cout
            << "telvo_simulate: writes a ratio file of a chosen design, with known true Mu per gene, for testing\n"
               "telvo (see tools/simulate/Simulate.h for the model).\n"
            << Usage << "\n";
        return 0;
      }
      if (a == "--design") o.Design = value();
      else if (a == "--nodes") o.Nodes = static_cast<int>(Whole(value(), a));
      else if (a == "--replicates") o.Replicates = static_cast<int>(Whole(value(), a));
      else if (a == "--no-dye-swap") o.DyeSwap = false;
      else if (a == "--genes") o.Genes = static_cast<int>(Whole(value(), a));
      else if (a == "--mu") o.Mu = List(value(), a);
      else if (a == "--spread") o.Spread = Real(value(), a);
      else if (a == "--model") o.Model = value();
      else if (a == "--error") o.ErrorTerm = Real(value(), a);
      else if (a == "--node-errors") o.NodeErrorTerms = List(value(), a);
      else if (a == "--missing") o.MissingFraction = Real(value(), a);
      else if (a == "--unchanged") o.UnchangedFraction = Real(value(), a);
      else if (a == "--seed") o.Seed = static_cast<uint32_t>(Whole(value(), a));
      else if (a == "--truth") truthName = value();
      else if (a == "--out") outName = value();
      else throw std::invalid_argument("unknown option " + a);
    }
    if (outName.empty()) throw std::invalid_argument("--out is required");
    CheckSimulationOptions(o);
  } catch (const std::invalid_argument& e) {
    std::cerr << "telvo_simulate: " << e.what() << "\n" << Usage << "\n";
    return 1;
  }
  std::ofstream out(outName, std::ios::binary);
  if (!out) {
    std::cerr << "telvo_simulate: cannot create " << outName << "\n";
    return 1;
  }
  std::vector<SimulatedGene> truth = SimulateFile(o, out);
  if (!truthName.empty()) {
    std::ofstream t(truthName, std::ios::binary);
    t << "UniqueId";
    for (int n = 1; n <= o.Nodes; ++n) t << "\tMu[N" << n << "]";
    t << "\n";
    for (const SimulatedGene& g : truth) {
      t << g.UniqueId;
      for (double m : g.TrueMu) t << "\t" << m;
      t << "\n";
    }
  }
  return out ? 0 : 1;
}
