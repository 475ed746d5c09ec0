#include "simulate/Simulate.h"

#include <cmath>
#include <cstdio>
#include <random>
#include <stdexcept>

namespace telvo {

namespace {

constexpr double Pi = 3.14159265358979323846;

// Uniform on (0, 1) from 53 random bits, never 0 so that its logarithm exists.
double Uniform(std::mt19937& gen) {
  uint64_t high = gen();  // two statements: the order of the draws must not be left to the compiler
  uint64_t low = gen();
  uint64_t bits = (high << 21) ^ (low >> 11);
  return (static_cast<double>(bits & ((uint64_t{1} << 53) - 1)) + 0.5) / 9007199254740992.0;
}

// Box-Muller, one value per call.
double Normal(std::mt19937& gen) {
  double radius = std::sqrt(-2.0 * std::log(Uniform(gen)));
  return radius * std::cos(2 * Pi * Uniform(gen));
}

std::string NodeName(int n) { return "N" + std::to_string(n); }

std::string RatioText(double x) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.6g", x);
  return buffer;
}

}  // namespace

std::vector<std::pair<int, int>> SimulatedHybs(const SimulationOptions& o) {
  std::vector<std::pair<int, int>> links;
  if (o.Design == "loop") {
    for (int i = 1; i <= o.Nodes; ++i) {
      int j = i % o.Nodes + 1;
      if (o.Nodes == 2 && i == 2) break;  // two nodes form one link, not two
      links.push_back({i, j});
      if (o.DyeSwap) links.push_back({j, i});
    }
  } else {
    for (int k = 2; k <= o.Nodes; ++k) {
      links.push_back({k, 1});
      if (o.DyeSwap) links.push_back({1, k});
    }
  }
  std::vector<std::pair<int, int>> hybs;
  for (int r = 0; r < o.Replicates; ++r) hybs.insert(hybs.end(), links.begin(), links.end());
  return hybs;
}

void CheckSimulationOptions(const SimulationOptions& o) {
  auto refuse = [](const std::string& why) { throw std::invalid_argument(why); };
  if (o.Design != "loop" && o.Design != "reference") refuse("design must be loop or reference");
  if (o.Nodes < 2 || o.Nodes > 100) refuse("nodes must be from 2 to 100");
  if (o.Replicates < 1) refuse("replicates must be at least 1");
  if (o.Genes < 1) refuse("genes must be at least 1");
  if (o.Model != "AV" && o.Model != "AC" && o.Model != "MV" && o.Model != "MC")
    refuse("model must be AV, AC, MV or MC");
  if (!o.Mu.empty() && static_cast<int>(o.Mu.size()) != o.Nodes) refuse("mu needs one value per node");
  for (double m : o.Mu)
    if (!(m > 0)) refuse("every mu must be positive");
  if (!o.NodeErrorTerms.empty() && static_cast<int>(o.NodeErrorTerms.size()) != o.Nodes)
    refuse("node-errors needs one value per node");
  if (!(o.ErrorTerm >= 0)) refuse("error must not be negative");
  if (!(o.Spread >= 1)) refuse("spread must be at least 1");
  if (!(o.MissingFraction >= 0 && o.MissingFraction < 1)) refuse("missing must be from 0 to below 1");
  if (!(o.UnchangedFraction >= 0 && o.UnchangedFraction <= 1)) refuse("unchanged must be from 0 to 1");
  size_t hybs = SimulatedHybs(o).size();
  if (hybs < 2 || hybs > 250) refuse("the design has " + std::to_string(hybs) + " hybs; 2 to 250 are allowed");
}

std::vector<SimulatedGene> SimulateFile(const SimulationOptions& o, std::ostream& out) {
  CheckSimulationOptions(o);
  std::mt19937 gen(o.Seed);
  std::vector<std::pair<int, int>> hybs = SimulatedHybs(o);
  std::string row1 = "Notes\tNotes", row2 = "Simulated " + o.Design + " design, model " + o.Model + "\tCy5",
              row3 = "seed " + std::to_string(o.Seed) + "\tCy3";
  for (size_t h = 0; h < hybs.size(); ++h) {
    row1 += "\thyb" + std::to_string(h + 1);
    row2 += "\t" + NodeName(hybs[h].first);
    row3 += "\t" + NodeName(hybs[h].second);
  }
  out << row1 << '\n' << row2 << '\n' << row3 << '\n';
  std::vector<double> terms(o.Nodes + 1, o.ErrorTerm);
  for (int n = 1; n <= o.Nodes && !o.NodeErrorTerms.empty(); ++n) terms[n] = o.NodeErrorTerms[n - 1];
  bool additive = o.Model[0] == 'A', coefficient = o.Model[1] == 'C';

  std::vector<SimulatedGene> truth;
  for (int g = 1; g <= o.Genes; ++g) {
    SimulatedGene gene;
    char id[32];
    std::snprintf(id, sizeof id, "G%04d", g);
    gene.UniqueId = id;
    gene.CommonName = "gene" + std::to_string(g);
    if (!o.Mu.empty()) {
      gene.TrueMu = o.Mu;
    } else if (o.UnchangedFraction > 0 && Uniform(gen) < o.UnchangedFraction) {
      gene.TrueMu.assign(o.Nodes, 1.0);
    } else {
      double sum = 0;
      for (int n = 0; n < o.Nodes; ++n) {
        gene.TrueMu.push_back(std::exp((2 * Uniform(gen) - 1) * std::log(o.Spread)));
        sum += gene.TrueMu.back();
      }
      for (double& m : gene.TrueMu) m /= sum / o.Nodes;
    }
    out << gene.UniqueId << '\t' << gene.CommonName;
    for (const auto& [e, r] : hybs) {
      double mx = gene.TrueMu[e - 1], my = gene.TrueMu[r - 1];
      double sx = coefficient ? mx * terms[e] : std::sqrt(terms[e]);
      double sy = coefficient ? my * terms[r] : std::sqrt(terms[r]);
      double x = additive ? mx + sx * Normal(gen) : std::exp(std::log(mx) + sx * Normal(gen));
      double y = additive ? my + sy * Normal(gen) : std::exp(std::log(my) + sy * Normal(gen));
      bool missing = Uniform(gen) < o.MissingFraction;
      out << '\t' << (missing ? std::string("0") : RatioText(x / y));
    }
    out << '\n';
    truth.push_back(gene);
  }
  return truth;
}

}  // namespace telvo
