// The three header rows: the design of the experiment as node names per hyb, read in steps.
#include <cstdio>

#include "input/Input.h"

namespace telvo {

std::vector<std::string> SplitHeaderRow(const std::string& row) {
  std::vector<std::string> cells;
  size_t pos = 0;
  while (pos < row.size()) {
    size_t tab = row.find('\t', pos);
    if (tab == std::string::npos) tab = row.size();
    cells.push_back(Cut(std::string(Trimmed(std::string_view(row).substr(pos, tab - pos)))));
    pos = tab + 1;
  }
  return cells;
}

// Position of name among the first count node names, 0 when absent.
static int FindNode(const InputDesign& design, const std::string& name) {
  for (int n = 1; n <= design.NumExpressionNodes; ++n)
    if (SameString(design.ExpressionNodeNameList[n], name)) return n;
  return 0;
}

static void AddNode(InputDesign& design, const std::string& name, const char* line) {
  if (design.NumExpressionNodes == MaxNodes)
    Oops("T.E.L.V.O. found more than " + IntegerToString(MaxNodes) + " expression node names in the " + line +
         " line in \n" + design.FileName + "\nT.E.L.V.O. can estimate at most " + IntegerToString(MaxNodes) +
         " expression nodes.");
  design.ExpressionNodeNameList[++design.NumExpressionNodes] = name;
}

// Row 2: notes, channel, and the experimental node of every hyb; new names become nodes.
static void ReadExperimentalRow(Console& con, InputDesign& d) {
  WriteLine(con, "Initializing ExpressionNodeNameList...");
  d.NumHybs = 0;
  d.NumExpressionNodes = 0;
  Write(con, "Assigning names to expression nodes");
  std::vector<std::string> row2 = SplitHeaderRow(ReadRestOfLine(d.DatFile));
  d.Notes1 = row2.size() > 0 ? row2[0] : "";
  d.Channel1 = row2.size() > 1 ? row2[1] : "";
  for (size_t c = 2; c < row2.size(); ++c) {
    if (d.NumHybs == MaxHybs)
      Oops("T.E.L.V.O. found more than " + IntegerToString(MaxHybs) + " hybs named in the second line in \n" +
           d.FileName + "\nT.E.L.V.O. can estimate from at most " + IntegerToString(MaxHybs) + " hybs.");
    ++d.NumHybs;
    Write(con, ". ");
    d.HybList[d.NumHybs].ExpName = row2[c];
    Write(con, "NewName=" + row2[c]);
    if (FindNode(d, row2[c]) == 0) AddNode(d, row2[c], "second");
  }
  if (AtEnd(d.DatFile))
    Oops("T.E.L.V.O. found an early end-of-file character after the second line in \n" + d.FileName);
  if (d.NumHybs < 2)
    Oops("T.E.L.V.O. found only " + StringFromInt(d.NumHybs) + " hybs named in the second line in \n" + d.FileName +
         "\nT.E.L.V.O. cannot estimate from fewer than two,\nand recommends at least four.");
  if (d.NumHybs < d.NumExpressionNodes + 1) {
    int n = d.NumExpressionNodes;
    Oops("T.E.L.V.O. found only " + StringFromInt(d.NumHybs) + " hybs in the second line in \n" + d.FileName +
         "\nT.E.L.V.O. cannot estimate " + StringFromInt(n) + " expression nodes from fewer than " +
         StringFromInt(n + 1) + " hybs,\nand recommends at least " + StringFromInt(2 * n) + ".");
  }
  Write(con, "\n\n");
  WriteLine(con, "Number of Hybs: " + IntegerToString(d.NumHybs));
}

// Row 3: notes, channel, and the reference node of every hyb; new names become nodes too.
static void ReadReferenceRow(Console& con, InputDesign& d) {
  std::vector<std::string> row3 = SplitHeaderRow(ReadRestOfLine(d.DatFile));
  Write(con, "Assigning more names to expression nodes");
  d.Notes2 = row3.size() > 0 ? row3[0] : "";
  d.Channel2 = row3.size() > 1 ? row3[1] : "";
  int r = 0;
  for (size_t c = 2; c < row3.size(); ++c) {
    ++r;
    Write(con, ".");
    if (r <= d.NumHybs) d.HybList[r].RefName = row3[c];
    if (FindNode(d, row3[c]) == 0) {
      AddNode(d, row3[c], "third");
      Write(con, "NotNewName=" + row3[c]);
    }
  }
  if (AtLineEnd(d.DatFile))
    Oops("T.E.L.V.O. found an end-of-line character after\n" + d.Notes2 +
         "\nin the first cell in the third line \nin " + d.FileName);
  Write(con, "\n");
  if (r < d.NumHybs)
    Oops("T.E.L.V.O. found an early end-of-line character in row 3\nin column number " + IntegerToString(r + 2) +
         " of \n" + d.FileName + ".");
  if (d.NumExpressionNodes < 2)
    Oops("T.E.L.V.O. found only " + StringFromInt(d.NumExpressionNodes) + " expression node in\n" + d.FileName +
         "\nT.E.L.V.O. cannot perform estimation on fewer than two expression nodes.");
}

// The node number of one channel of every hyb; lead is the line end the message starts with.
static void NumberHybNodes(Console& con, InputDesign& d, const char* channel, std::string HybRecord::*name,
                           int HybRecord::*node, const char* lead) {
  Write(con, std::string("Assigning ") + channel + " node names to hyb list");
  for (int h = 1; h <= d.NumHybs; ++h) {
    Write(con, ".");
    d.HybList[h].*node = FindNode(d, d.HybList[h].*name);
    if (d.HybList[h].*node == 0)
      Oops(std::string(lead) + "Sorry! T.E.L.V.O. experienced an internal error, \n"
           "attempting to associate the hyb list with the expression node number list.");
  }
  Write(con, "\n");
}

void VerifyFileHeader(Console& con, InputDesign& d, bool interactive) {
  Write(con, "\n");
  WriteLine(con, "Verifying Input File " + d.FileName);
  for (auto& name : d.ExpressionNodeNameList) name.clear();
  if (AtEnd(d.DatFile))
    Oops("T.E.L.V.O. found an early end-of-file character in the first line of \n" + d.FileName);
  WriteLine(con, Cut(ReadRestOfLine(d.DatFile)));

  ReadExperimentalRow(con, d);
  VerifyOrQuit(con, interactive, d.FileName);
  ReadReferenceRow(con, d);

  Write(con, "\n");
  Write(con, "Please verify that " + IntegerToString(d.NumExpressionNodes) + " expression nodes are desired,");
  Write(con, "\n");
  Write(con, "that all desired nodes are are listed below, and");
  Write(con, "\n");
  WriteLine(con, "that each of the following are unique expression nodes.");
  for (int n = 1; n <= d.NumExpressionNodes; ++n) WriteLine(con, d.ExpressionNodeNameList[n]);
  VerifyOrQuit(con, interactive, d.FileName);

  NumberHybNodes(con, d, "experimental", &HybRecord::ExpName, &HybRecord::ExpNode, "\n");
  NumberHybNodes(con, d, "reference", &HybRecord::RefName, &HybRecord::RefNode, "");
  WriteLine(con, "File " + d.FileName + " header rows verified.");
}

void VerifyOrQuit(Console& con, bool interactive, const std::string& fileName) {
  if (!interactive) return;
  Write(con, "\nPress RETURN to verify or q to quit: ");
  int c = ReadChar();
  if (c == EOF) Oops(EndOfInputMessage);
  if (c == 'q') Oops("\nPlease change cells in the two header rows of " + fileName + "as needed.", 0);
}

}  // namespace telvo
