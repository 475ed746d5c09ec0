// A committed gene's rows of the analysis tables: one per node, and one per node pair when it was
// estimated.
#include "tables/Tables.h"

namespace telvo {

GeneStatus StatusOf(const CurrentGene& g) {
  if (g.IrreducibleMatrix && g.EnoughData) return GeneStatus::Estimated;
  return g.IrreducibleMatrix ? GeneStatus::TooFewData : GeneStatus::NotConnected;
}

void GeneTableRows(const InputDesign& d, const CurrentGene& g, long number, const GeneEstimate* e,
                   std::vector<NodeRow>& nodes, std::vector<ContrastRow>& contrasts) {
  for (int i = 1; i <= d.NumExpressionNodes; ++i) {
    NodeRow row;
    row.GeneId = g.GeneUniqueID, row.GeneName = g.GeneCommonName, row.Node = d.ExpressionNodeNameList[i];
    row.Status = StatusOf(g);
    row.GeneNumber = number;
    if (e) {
      const NodeEstimate& v = e->Nodes[i];
      row.Acceptable = e->Acceptable;
      row.Mu = AsPrinted(v.Mu), row.MuLower = AsPrinted(v.MuLower), row.MuUpper = AsPrinted(v.MuUpper);
      row.Rel = AsPrinted(v.Rel), row.RelLower = AsPrinted(v.RelLower), row.RelUpper = AsPrinted(v.RelUpper);
      row.Err = AsPrinted(v.Err), row.ErrLower = AsPrinted(v.ErrLower), row.ErrUpper = AsPrinted(v.ErrUpper);
      row.Ess = AsPrinted(v.Ess), row.Rhat = AsPrinted(v.Rhat);
      row.EssBulk = AsPrinted(v.EssBulk), row.EssTail = AsPrinted(v.EssTail);
      row.Passes = e->Tuning.TuningDepth;
      row.MuAccept = AsPrinted(e->Tuning.MuAcceptanceRatio), row.ErrAccept = AsPrinted(e->Tuning.VCVAcceptanceRatio);
      row.LogMaxLikelihood = AsPrinted(e->LogMaxLikelihood);
    }
    nodes.push_back(std::move(row));
  }
  if (!e) return;
  size_t pair = 0;
  for (const ContrastEstimate& c : e->Contrasts) {
    ContrastRow row;
    row.GeneId = g.GeneUniqueID, row.GeneName = g.GeneCommonName;
    row.NodeA = d.ExpressionNodeNameList[c.A], row.NodeB = d.ExpressionNodeNameList[c.B];
    row.Log2Ratio = AsPrinted(c.Log2Ratio), row.Log2Lower = AsPrinted(c.Log2Lower);
    row.Log2Upper = AsPrinted(c.Log2Upper), row.PGreater = AsPrinted(c.PGreater), row.Lfsr = AsPrinted(c.Lfsr);
    row.Log2Mean = AsPrinted(c.Log2Mean), row.Log2Sd = AsPrinted(c.Log2Sd);
    row.Log2Mcse = AsPrinted(c.Log2Mcse), row.LfsrMcse = AsPrinted(c.LfsrMcse);
    row.EssBulk = AsPrinted(c.EssBulk), row.EssTail = AsPrinted(c.EssTail), row.PAbove = AsPrinted(c.PAbove);
    row.Acceptable = e->Acceptable;
    row.GeneNumber = number;
    row.Pair = pair++;
    contrasts.push_back(std::move(row));
  }
}

}  // namespace telvo
