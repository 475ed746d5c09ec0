// Gene rows: the cells of a row, its ratios in the pair-by-slot array, and the two verdicts on its design.
#include <cstdio>
#include <string_view>

#include "input/Input.h"

namespace telvo {

void PrepareGene(CurrentGene& gene, int numNodes) {
  gene.NumNodes = numNodes;
  gene.HybArr.assign(static_cast<size_t>(numNodes) * numNodes * MaxReplicates, 0.0);
  gene.PairCount.assign(static_cast<size_t>(numNodes) * numNodes, 0);
  gene.NodeConnected.assign(numNodes + 1, false);
}

static double Slot1(const CurrentGene& gene, int e, int r) { return gene.HybArr[HybSlot(gene, e, r, 1)]; }

// Only the pairs that hybs of the design feed can hold ratios, so only they need clearing.
static void ClearGene(const InputDesign& design, CurrentGene& gene) {
  for (int h = 1; h <= design.NumHybs; ++h) {
    int e = design.HybList[h].ExpNode, r = design.HybList[h].RefNode;
    int& count = PairCount(gene, e, r);
    for (int k = 1; k <= count; ++k) gene.HybArr[HybSlot(gene, e, r, k)] = 0.0;
    count = 0;
  }
}

// Next identifier or name cell of a gene row, up to a TAB; longer than 254 characters stops the run.
static std::string ReadCellString(InputFile& file, const std::string& fileName) {
  if (AtEnd(file))
    Oops("T.E.L.V.O. tried to read a string at the end of the file.\n"
         "If you are using a tab-delimited text file from a Mac or a Windows file system, \n"
         "make sure you have translated the <eoln> characters to the unix-standard linefeeds(LF).\n"
         "You can do this in the Termi");
  std::string cell;
  bool lastWasTab = false;
  while (!lastWasTab && cell.size() < 255 && !AtLineEnd(file)) {
    char c = file.Bytes[file.Pos++];
    if (c == '\t')
      lastWasTab = true;
    else
      cell.push_back(c);
  }
  if (cell.size() == 255)
    Oops("T.E.L.V.O. tried to read a cell containing more than 254 characters.\nPlease check " +
         fileName + "\nand replace the cell beginning with\n" + cell + "\nwith something shorter.");
  return cell;
}

// Next ratio cell of the row: up to a TAB (consumed) or the line end (left for the caller).
static std::string ReadRatioCell(InputFile& file) {
  size_t start = file.Pos;
  while (!AtLineEnd(file) && file.Bytes[file.Pos] != '\t') ++file.Pos;
  std::string cell(Trimmed(std::string_view(file.Bytes).substr(start, file.Pos - start)));
  if (!AtEnd(file) && file.Bytes[file.Pos] == '\t') ++file.Pos;
  return cell;
}

// How R, spreadsheets and other programs write a missing value: no observation, like 0 or an empty cell.
static bool IsMissingValue(std::string_view token) {
  for (std::string_view missing : {"NA", "NaN", "nan", "#N/A"})
    if (token == missing) return true;
  return false;
}

static void ReadRatios(InputFile& file, const InputDesign& d, CurrentGene& gene) {
  int h = 0;
  gene.PositiveRatios = gene.NegativeRatios = 0;
  while (!AtLineEnd(file) && h < d.NumHybs) {
    std::string token = ReadRatioCell(file);
    ++h;
    double x = 0.0;
    if (!token.empty() && !IsMissingValue(token) && !ParseStrictReal(token, x)) {
      if (IsDecimalReal(token))
        Oops("T.E.L.V.O. found in hyb " + IntegerToString(h) + " of gene " + gene.GeneUniqueID + " in " + d.FileName +
             "\nthe ratio \"" + token + "\", a number out of the range it can hold (about 1E-308 to 1E+308).");
      Oops("T.E.L.V.O. expects every ratio to be a decimal number such as 0.75, -1.2 or 2.5E-1 (0 for no "
           "measurement),\nbut found in hyb " + IntegerToString(h) + " of gene " + gene.GeneUniqueID + " in " +
           d.FileName + "\nthe text \"" + token + "\"");
    }
    const HybRecord& hyb = d.HybList[h];
    int& count = PairCount(gene, hyb.ExpNode, hyb.RefNode);
    if (count == MaxReplicates)
      Oops("\nIn this data, the number of replicates of\n" + hyb.ExpName + " vs. " + hyb.RefName + "\nin " +
           d.FileName + "\nexceeds the maximum number of replicates setting, " + IntegerToString(MaxReplicates) +
           " in this version of T.E.L.V.O..");
    if (x != 0.0) gene.HybArr[HybSlot(gene, hyb.ExpNode, hyb.RefNode, ++count)] = x;
    if (x > 0.0) ++gene.PositiveRatios;
    if (x < 0.0) ++gene.NegativeRatios;
  }
}

void ConnectNode(CurrentGene& gene, int n) {
  gene.NodeConnected[n] = true;
  for (int j = 1; j <= gene.NumNodes; ++j) {
    if (!gene.NodeConnected[j] && Slot1(gene, n, j) > 0)
      ConnectNode(gene, j);
    else if (!gene.NodeConnected[j] && Slot1(gene, j, n) > 0)
      ConnectNode(gene, j);
  }
}

RowRead ReadGeneRow(InputFile& file, const InputDesign& d, CurrentGene& gene) {
  RowRead read;
  try {
    ClearGene(d, gene);
    gene.GeneUniqueID = ReadCellString(file, d.FileName);
    if (AtLineEnd(file))
      Oops("T.E.L.V.O. found an end-of-line character after\n" + gene.GeneUniqueID + "\nin " + d.FileName);
    read.Reached = RowStage::Id;
    gene.GeneCommonName = ReadCellString(file, d.FileName);
    if (AtLineEnd(file))
      Oops("T.E.L.V.O. found an end-of-line character after\n" + gene.GeneCommonName + "\nin " + d.FileName);
    read.Reached = RowStage::Name;
    ReadRatios(file, d, gene);
    read.Reached = RowStage::Whole;
    if (!AtEnd(file)) ReadRestOfLine(file);
  } catch (const RunStop& stop) {
    read.Problem = stop;  // the caller shows what was read before it raises the stop
  }
  return read;
}

// One ratio per parameter: a Mu for each node and an error term for each, or one shared by all.
static int RatiosNeeded(int nodes, bool sharedErrorTerm) { return sharedErrorTerm ? nodes + 1 : 2 * nodes; }

void JudgeGeneData(const InputDesign& d, bool sharedErrorTerm, CurrentGene& gene) {
  const int n = d.NumExpressionNodes;
  for (int i = 1; i <= n; ++i) gene.NodeConnected[i] = false;
  ConnectNode(gene, d.HybList[1].ExpNode);
  gene.IrreducibleMatrix = true;
  for (int i = 1; i <= n; ++i)
    if (!gene.NodeConnected[i]) gene.IrreducibleMatrix = false;
  gene.EnoughData = gene.PositiveRatios >= RatiosNeeded(n, sharedErrorTerm);
}

std::vector<std::string> DesignProblems(const InputDesign& d, bool sharedErrorTerm) {
  const int n = d.NumExpressionNodes, needed = RatiosNeeded(n, sharedErrorTerm);
  std::vector<bool> measured(n + 1, false);
  for (int h = 1; h <= d.NumHybs; ++h) measured[d.HybList[h].ExpNode] = measured[d.HybList[h].RefNode] = true;
  std::vector<std::string> problems;
  for (int node = 1; node <= n; ++node)
    if (!measured[node])
      problems.push_back("node '" + d.ExpressionNodeNameList[node] +
                         "' is named in header row 3 beyond the hybs of row 2, and no hyb measures it");
  if (d.NumHybs < needed)
    problems.push_back(std::to_string(d.NumHybs) + " hybs for " + std::to_string(n) + " nodes: a gene needs " +
                       std::to_string(needed) + " ratios, one per parameter");
  return problems;
}

}  // namespace telvo
