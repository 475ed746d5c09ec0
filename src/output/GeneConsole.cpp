// The console lines of a gene: its row as read, its comparison matrix, why it cannot be estimated,
// and what its estimation found.
#include "output/Output.h"

namespace telvo {

void WriteGeneOpening(Console& con, const CurrentGene& g, bool fullOutput, RowStage reached) {
  if (reached == RowStage::Nothing) return;
  Write(con, "\n" + g.GeneUniqueID);
  if (reached == RowStage::Id) return;
  WriteLine(con, "(" + g.GeneCommonName + ")");
  if (fullOutput) {
    Write(con, "\n");
    WriteLine(con, g.GeneUniqueID + "(" + g.GeneCommonName + ")");
    WriteLine(con, "Assigning ratios to hybs");
  }
}

// A node name right-aligned in eight characters, never cut.
static std::string Field8(const std::string& text) {
  return text.size() < 8 ? std::string(8 - text.size(), ' ') + text : text;
}

void WriteComparisonMatrix(Console& con, const InputDesign& design, const CurrentGene& gene) {
  int n = design.NumExpressionNodes;
  WriteLine(con, "Constructing Comparison Matrix:");
  std::string line = "       \t";
  for (int j = 1; j <= n; ++j) line += Field8(design.ExpressionNodeNameList[j]);
  WriteLine(con, line);
  for (int i = 1; i <= n; ++i) {
    line = Field8(design.ExpressionNodeNameList[i]);
    for (int j = 1; j <= n; ++j) {
      double first = gene.HybArr[HybSlot(gene, i, j, 1)];
      if (first != 0.0) {
        line += Fixed(first, 8, 2);
        for (int k = 2; k <= MaxReplicates && gene.HybArr[HybSlot(gene, i, j, k)] != 0.0; ++k)
          line += Fixed(gene.HybArr[HybSlot(gene, i, j, k)], 5, 2);
      } else {
        line += "       \t";
      }
    }
    Write(con, line + "\n\n");
  }
}

void WriteGeneVerdict(Console& con, const CurrentGene& g) {
  const std::string gene = g.GeneUniqueID + "(" + g.GeneCommonName + ")";
  if (!g.IrreducibleMatrix) {
    WriteLine(con, "The data for " + gene + " consist of a reducible matrix.");
    WriteLine(con, "Add more data or eliminate nodes to analyze this gene.");
  }
  if (!g.EnoughData) {
    WriteLine(con, "The data for " + gene + " are insufficient.");
    WriteLine(con, "Add more data.");
  }
}

void WriteEstimateLines(Console& con, const InputDesign& d, const RunSettings& s, const CurrentGene& g,
                        const GeneEstimate& e) {
  const TuningState& t = e.Tuning;
  Write(con, "\n");
  WriteLine(con, "Mu Acceptance ratio: " + Fixed(t.MuAcceptanceRatio, 4, 2) + " (" + FlagText(t.MuTuned) + ")");
  WriteLine(con, s.VarCoefVar + " Acceptance ratio: " + Fixed(t.VCVAcceptanceRatio, 4, 2) + " (" +
                     FlagText(t.VCVTuned) + ")");
  WriteLine(con, "Mu SS: " + Fixed(e.MuStepSize, 5, 3) + "\tV/CV SS: " + Fixed(e.VCVStepSize, 6, 4));
  for (int i = 1; i <= d.NumExpressionNodes; ++i) {
    const NodeEstimate& v = e.Nodes[i];
    WriteLine(con, g.GeneUniqueID + "(" + g.GeneCommonName + "), \t" + d.ExpressionNodeNameList[i] + ": " +
                       Fixed(v.Rel - v.RelLower, 4, 2) + "\t" + Fixed(v.Rel, 4, 2) + "\t" +
                       Fixed(v.RelUpper - v.Rel, 4, 2));
  }
  WriteLine(con, "Density of Best Likelihood:" + SciScaled(e.MaxLikelihood.Mantissa, e.MaxLikelihood.Exponent));
}

void WriteCarryOverLines(Console& con, const StepSizes& st) {
  WriteLine(con, "Logmean MuStepSize: " + Fixed(st.MuStepSize, 4, 2));
  WriteLine(con, "Logmean VCVStepSize: " + Fixed(st.VCVStepSize, 4, 2));
}

void WriteSampledLine(Console& con, const GeneEstimate& e) {
  WriteLine(con, "NumSampled: " + IntegerToString(e.SampleCount));
}

}  // namespace telvo
