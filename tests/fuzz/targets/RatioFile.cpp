// Fuzz target: the ratio file as an unattended run reads it. The input is the file's bytes: its three
// header rows, then its gene rows one after the other, each judged as the run judges it, and the rows of
// a gene that is not sampled put into the nodes table. A RunStop is the program's answer to a bad file;
// a crash, a sanitizer's report, a hang or a broken promise below is a finding.
#include "FuzzSupport.h"
#include "TableText.h"
#include "input/Input.h"

namespace telvo {
namespace {

// The design the header rows gave stays within the limits that every later step counts on. Nodes named
// only past the hybs of row 3 and too few hybs for the nodes of both rows pass the header, as the
// program's design allows; the run then warns that no gene can be estimated, which is checked here.
void CheckDesign(const InputDesign& d) {
  if (d.NumHybs < 2 || d.NumHybs > MaxHybs || d.NumExpressionNodes < 2 || d.NumExpressionNodes > MaxNodes)
    Finding("a design of " + std::to_string(d.NumHybs) + " hybs and " + std::to_string(d.NumExpressionNodes) +
            " nodes passed the header check");
  std::vector<bool> measured(d.NumExpressionNodes + 1, false);
  for (int h = 1; h <= d.NumHybs; ++h) {
    const HybRecord& hyb = d.HybList[h];
    if (hyb.ExpNode < 1 || hyb.ExpNode > d.NumExpressionNodes || hyb.RefNode < 1 ||
        hyb.RefNode > d.NumExpressionNodes)
      Finding("hyb " + std::to_string(h) + " names a node outside 1.." + std::to_string(d.NumExpressionNodes));
    measured[hyb.ExpNode] = measured[hyb.RefNode] = true;
  }
  // A node that no hyb measures is never connected: every gene of the run goes unestimated, and the
  // warning must say so.
  size_t unmeasured = 0;
  for (int n = 1; n <= d.NumExpressionNodes; ++n) unmeasured += !measured[n];
  const size_t tooFew = d.NumHybs < d.NumExpressionNodes + 1;
  if (DesignProblems(d, true).size() != unmeasured + tooFew)
    Finding("the design's warnings miss a node measured by no hyb or a shortage of hybs");
}

// What a whole row gave: no more positive ratios than hybs, and as many filled slots as non-zero ratios.
void CheckGene(const InputDesign& d, const CurrentGene& gene) {
  long slots = 0;
  for (int count : gene.PairCount) slots += count;
  if (gene.PositiveRatios < 0 || gene.PositiveRatios > slots || slots > d.NumHybs)
    Finding("a row of " + std::to_string(d.NumHybs) + " hybs filled " + std::to_string(slots) + " slots with " +
            std::to_string(gene.PositiveRatios) + " positive ratios");
}

// The gene rows to the first that stops the run, or to the end of the file, as the run's gene loop reads them.
void ReadGenes(InputDesign& d, std::vector<NodeRow>& nodes) {
  CurrentGene gene;
  PrepareGene(gene, d.NumExpressionNodes);
  std::vector<ContrastRow> contrasts;
  long number = 0;
  do {
    RowRead read = ReadGeneRow(d.DatFile, d, gene);
    if (read.Problem) return;  // the run shows the row and stops here
    ++number;
    CheckGene(d, gene);
    JudgeGeneData(d, false, gene);
    JudgeGeneData(d, true, gene);
    if (StatusOf(gene) != GeneStatus::Estimated) GeneTableRows(d, gene, number, nullptr, nodes, contrasts);
  } while (!OnlyEmptyLinesLeft(d.DatFile));
}

void ReadRatioFile(std::string_view bytes) {
  if (!LooksLikePlainText(std::string(bytes))) return;  // refused before its first row is read
  InputDesign d;
  d.FileName = "fuzz.txt";
  d.DatFile.Bytes = bytes;
  Console quiet{true, ""};
  std::vector<NodeRow> nodes;
  try {
    VerifyFileHeader(quiet, d, false);
    CheckDesign(d);
    ReadGenes(d, nodes);
  } catch (const RunStop&) {
    return;
  }
  CheckReadsBack("nodes table", nodes, NodesText, ReadNodes);
}

}  // namespace
}  // namespace telvo

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  telvo::ReadRatioFile(telvo::AsText(data, size));
  return 0;
}
