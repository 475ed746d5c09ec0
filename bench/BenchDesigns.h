// Designs and genes the benchmarks run on.
#pragma once

#include "estimation/Estimation.h"
#include "input/Input.h"
#include "settings/Settings.h"

using namespace telvo;

// A gene ready for the sampler, with all it works in.
struct BenchGene {
  InputDesign Design;      // its design
  RunSettings Settings;    // default settings but the error model
  CurrentGene Gene;        // its ratios
  SamplerWorkspace Work;   // chain stores and its observations
  RandomStream Random;     // its stream
  StepSizes Steps;         // the default step sizes
};

// "loop": nodes in a ring, each link measured in both dye orientations, `replicates` times.
// "reference": node 1 against every other node, both orientations, `replicates` times.
void MakeBenchGene(BenchGene& g, const char* design, int nodes, int replicates, int model, unsigned seed);
