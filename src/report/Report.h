// Report: the one-file HTML page of a run with --out: the run, a volcano and a forest plot per node
// pair, the sampler's diagnostics. Drawn from the tables' rows, which telvo holds at the end of a run
// and telvo-rank reads back from shards, so that both make the same page. Plain XHTML-compatible HTML
// with inline SVG and CSS: it opens anywhere without a network and parses as XML.
#pragma once

#include <string>
#include <vector>

#include "tables/Tables.h"

namespace telvo {

// The page of a run (or of its shards in order): their nodes rows, the ranked contrasts and the run table.
std::string ReportPage(const std::vector<NodeRow>& nodes, const std::vector<ContrastRow>& ranked, const RunRows& run);

}  // namespace telvo
