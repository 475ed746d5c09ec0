// Gene rows: ratios into the pair-by-slot array, the comparison matrix and the two verdicts.
#include <cmath>
#include <string_view>

#include "estimation/Estimation.h"
#include "input/Input.h"
#include "run/Run.h"

namespace telvo {

void PrepareGene(CurrentGene& gene, int numNodes, int numHybs) {
  gene.NumNodes = numNodes;
  gene.HybArr.assign(static_cast<size_t>(numNodes) * numNodes * MaxReplicates, 0.0);
  gene.PairCount.assign(static_cast<size_t>(numNodes) * numNodes, 0);
  gene.NodeConnected.assign(numNodes + 1, false);
  gene.Observations.clear();
  gene.Observations.reserve(numHybs);
}

static int& PairCount(CurrentGene& gene, int e, int r) {
  return gene.PairCount[static_cast<size_t>(e - 1) * gene.NumNodes + (r - 1)];
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
  gene.Observations.clear();
}

// Next identifier or name cell of a gene row, up to a TAB; longer than 254 characters stops the run.
std::string ReadCellString(RunState& run) {
  InputFile& file = run.Design.DatFile;
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
         run.Design.FileName + "\nand replace the cell beginning with\n" + cell + "\nwith something shorter.");
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

static void ReadRatios(RunState& run, CurrentGene& gene) {
  InputDesign& d = run.Design;
  InputFile& file = d.DatFile;
  int h = 0;
  gene.PositiveRatios = 0;
  while (!AtLineEnd(file) && h < d.NumHybs) {
    std::string token = ReadRatioCell(file);
    ++h;
    double x = 0.0;
    if (!token.empty() && !IsMissingValue(token) && !ParseStrictReal(token, x)) {
      if (IsDecimalReal(token))
        Oops("T.E.L.V.O. found in hyb " + IntegerToString(h) + " of gene " + gene.GeneUniqueID + " in " +
             d.FileName + "\nthe ratio \"" + token + "\", a number out of the range it can hold (about 1E-308 to 1E+308).");
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
  }
}

void WriteComparisonMatrix(const InputDesign& design, const CurrentGene& gene, Console& con) {
  int n = design.NumExpressionNodes;
  auto field8 = [](const std::string& text) {
    return text.size() < 8 ? std::string(8 - text.size(), ' ') + text : text;
  };
  WriteLine(con, "Constructing Comparison Matrix:");
  std::string line = "       \t";
  for (int j = 1; j <= n; ++j) line += field8(design.ExpressionNodeNameList[j]);
  WriteLine(con, line);
  for (int i = 1; i <= n; ++i) {
    line = field8(design.ExpressionNodeNameList[i]);
    for (int j = 1; j <= n; ++j) {
      if (Slot1(gene, i, j) != 0.0) {
        line += Fixed(Slot1(gene, i, j), 8, 2);
        for (int k = 2; k <= MaxReplicates && gene.HybArr[HybSlot(gene, i, j, k)] != 0.0; ++k)
          line += Fixed(gene.HybArr[HybSlot(gene, i, j, k)], 5, 2);
      } else {
        line += "       \t";
      }
    }
    Write(con, line + "\n\n");
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

void CollectObservations(CurrentGene& gene) {
  gene.Observations.clear();
  for (int i = 1; i <= gene.NumNodes; ++i)
    for (int j = 1; j <= gene.NumNodes; ++j)
      for (int k = 1; k <= PairCount(gene, i, j); ++k) {
        double r = gene.HybArr[HybSlot(gene, i, j, k)];
        if (!(r > 0)) break;  // a non-positive ratio ends the pair's list
        gene.Observations.push_back({r, r * r, Log(r), i, j});
      }
}

void LoadGeneDataIntoMatrix(RunState& run, GeneWork& work) {
  InputDesign& d = run.Design;
  const RunSettings& s = run.Settings;
  CurrentGene& gene = work.Gene;
  Console& con = work.Con;
  InputFile& file = d.DatFile;
  int n = d.NumExpressionNodes;

  ClearGene(d, gene);
  gene.GeneUniqueID = ReadCellString(run);
  if (AtLineEnd(file))
    Oops("T.E.L.V.O. found an end-of-line character after\n" + gene.GeneUniqueID + "\nin " + d.FileName);
  Write(con, "\n" + gene.GeneUniqueID);
  work.Out.ResultData += gene.GeneUniqueID;
  gene.GeneCommonName = ReadCellString(run);
  if (AtLineEnd(file))
    Oops("T.E.L.V.O. found an end-of-line character after\n" + gene.GeneCommonName + "\nin " + d.FileName);
  WriteLine(con, "(" + gene.GeneCommonName + ")");
  work.Out.ResultData += "\t" + gene.GeneCommonName;
  work.Out.PValueRows.resize(n + 1);
  for (int i = 1; i <= n; ++i) work.Out.PValueRows[i] += gene.GeneUniqueID + "\t" + gene.GeneCommonName;
  if (s.FullOutput) {
    Write(con, "\n");
    WriteLine(con, gene.GeneUniqueID + "(" + gene.GeneCommonName + ")");
    WriteLine(con, "Assigning ratios to hybs");
  }

  ReadRatios(run, gene);
  if (s.FullOutput) VerifyOrQuit(run);
  WriteComparisonMatrix(d, gene, con);

  for (int i = 1; i <= n; ++i) gene.NodeConnected[i] = false;
  ConnectNode(gene, d.HybList[1].ExpNode);
  gene.IrreducibleMatrix = true;
  for (int i = 1; i <= n; ++i)
    if (!gene.NodeConnected[i]) gene.IrreducibleMatrix = false;
  if (!gene.IrreducibleMatrix) {
    WriteLine(con, "The data for " + gene.GeneUniqueID + "(" + gene.GeneCommonName + ") consist of a reducible matrix.");
    WriteLine(con, "Add more data or eliminate nodes to analyze this gene.");
  }
  gene.EnoughData = true;
  if ((s.ConstrainedVCV && gene.PositiveRatios < n + 1) || (!s.ConstrainedVCV && gene.PositiveRatios < 2 * n)) {
    gene.EnoughData = false;
    WriteLine(con, "The data for " + gene.GeneUniqueID + "(" + gene.GeneCommonName + ") are insufficient.");
    WriteLine(con, "Add more data.");
  }
  if (s.FullOutput) VerifyOrQuit(run);
  if (!AtEnd(file)) ReadRestOfLine(file);
  if (gene.IrreducibleMatrix && gene.EnoughData) CollectObservations(gene);
}

}  // namespace telvo
