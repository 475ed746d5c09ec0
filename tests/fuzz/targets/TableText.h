// The tables' whole text from rows, and rows from a table's text, as the round-trip checks want them.
#pragma once

#include <vector>

#include "tables/Tables.h"

namespace telvo {

inline std::string NodesText(const std::vector<NodeRow>& rows) {
  std::string text = NodesHeader();
  for (const NodeRow& row : rows) AppendNodeRow(text, row);
  return text;
}

inline std::string ContrastsText(const std::vector<ContrastRow>& rows) {
  std::string text = ContrastsHeader();
  for (const ContrastRow& row : rows) AppendContrastRow(text, row);
  return text;
}

inline std::vector<NodeRow> ReadNodes(const TableSource& source) {
  std::vector<NodeRow> rows;
  ReadNodesTable(source, rows);
  return rows;
}

inline std::vector<ContrastRow> ReadContrasts(const TableSource& source) {
  std::vector<ContrastRow> rows;
  ReadContrastsTables({source}, rows);
  return rows;
}

}  // namespace telvo
