// The data simulator: valid ratio files for a chosen design, with known true Mu per gene.
//
// A hyb with channel-1 node e and channel-2 node r gives the ratio X / Y of two independent draws:
//   AV: X ~ Normal(Mu[e], T[e]),            Y ~ Normal(Mu[r], T[r])            (T a variance)
//   AC: X ~ Normal(Mu[e], (Mu[e] T[e])^2),  Y ~ Normal(Mu[r], (Mu[r] T[r])^2)  (T a coefficient of variation)
//   MV: ln X ~ Normal(ln Mu[e], T[e]),      ln Y ~ Normal(ln Mu[r], T[r])
//   MC: ln X ~ Normal(ln Mu[e], (Mu[e] T[e])^2), ln Y ~ Normal(ln Mu[r], (Mu[r] T[r])^2)
// Each ratio is written as 0 (no measurement) with probability MissingFraction. True Mu values are
// either the given list for every gene or drawn per gene: ln Mu uniform on [-ln Spread, ln Spread],
// then scaled to average 1; with UnchangedFraction a gene is first, with that chance, given Mu 1 at
// every node (the draw is only made when the fraction is above 0, so older files keep their bytes). The stream is
// std::mt19937 with uniform and normal transforms of our own, so a seed gives the same bytes with every standard
// library.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace telvo {

struct SimulationOptions {
  std::string Design = "loop";          // "loop" or "reference"
  int Nodes = 4;                         // expression nodes, 2..100
  int Replicates = 1;                    // copies of every hyb
  bool DyeSwap = true;                   // also the hybs with channels reversed
  int Genes = 36;                        // gene rows
  std::vector<double> Mu;                // true Mu per node for every gene; empty: drawn per gene
  double Spread = 4.0;                   // range factor of the drawn Mu
  std::string Model = "AC";              // AV, AC, MV or MC
  double ErrorTerm = 0.1;                // shared error term (variance or CV)
  std::vector<double> NodeErrorTerms;    // optional per-node error terms (override ErrorTerm)
  double MissingFraction = 0.0;          // chance that a ratio is written as 0
  double UnchangedFraction = 0.0;        // chance that a gene's drawn Mu are all 1 (no change)
  uint32_t Seed = 1;                     // seed of the generator
};

struct SimulatedGene {
  std::string UniqueId, CommonName;  // first two cells of the row
  std::vector<double> TrueMu;        // Mu of nodes 1..N (index 0 is node 1)
};

// The hybs of the design as (channel-1 node, channel-2 node), nodes numbered from 1, in column order.
std::vector<std::pair<int, int>> SimulatedHybs(const SimulationOptions& options);
// Throws std::invalid_argument naming the bad option.
void CheckSimulationOptions(const SimulationOptions& options);
// Writes a whole input file to out and returns the truth of every gene row in order.
std::vector<SimulatedGene> SimulateFile(const SimulationOptions& options, std::ostream& out);

}  // namespace telvo
