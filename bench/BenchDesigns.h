// Designs and genes the benchmarks run on.
#pragma once

#include "run/RunState.h"

using namespace telvo;

struct BenchGene {
  InputDesign Design;
  RunSettings Settings;
  GeneWork Work;
};

// "loop": nodes in a ring, each link measured in both dye orientations, `replicates` times.
// "reference": node 1 against every other node, both orientations, `replicates` times.
void MakeBenchGene(BenchGene& g, const char* design, int nodes, int replicates, int model, unsigned seed);
