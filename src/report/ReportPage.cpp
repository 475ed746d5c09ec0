// The report page: the run, a volcano and a forest plot per node pair, the sampler's diagnostics.
// Plain XHTML-compatible HTML with inline SVG and CSS, so that it opens anywhere without a network and
// parses as XML.
#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

#include "report/ReportInternal.h"

namespace telvo {

namespace {

constexpr size_t MostPairs = 15;      // pairs drawn; past that the ones with the most calls
constexpr size_t ForestGenes = 20;    // best-ranked genes per pair
constexpr size_t LabelledGenes = 10;  // best-ranked called genes named on each volcano plot
constexpr size_t LabelLength = 18;    // characters of such a name
constexpr size_t DensityAbove = 400;  // contrasts not called are drawn as a density past this many
constexpr size_t TitledGenes = 12;    // genes named in the tooltip of one marker
constexpr double DensityCell = 5;     // pixels of a density cell
constexpr size_t FlaggedListed = 20;  // flagged genes listed by name
constexpr int HistogramBins = 20;

const char Style[] =
    "body{font:14px/1.45 'DejaVu Sans',Arial,sans-serif;color:#222;margin:24px;max-width:1400px}\n"
    "h1{font-size:22px;margin:0 0 12px}h2{font-size:18px;border-bottom:1px solid #bbb;margin-top:28px}\n"
    "table{border-collapse:collapse}th,td{text-align:left;padding:2px 10px 2px 0;vertical-align:top}\n"
    "table.flagged td,table.flagged th{padding-right:18px}table.facts{margin-right:36px}th.group{font-size:15px}\n"
    "table.facts th{font-weight:normal;color:#555}\n"
    ".plots{display:flex;flex-wrap:wrap;gap:12px 20px;align-items:flex-start}figure{margin:0;display:table}\n"
    "figcaption{display:table-caption;caption-side:bottom;font-size:12px;color:#444}\n"
    "svg text{font:11px 'DejaVu Sans',Arial,sans-serif;fill:#222}svg .heading{font-size:13px;font-weight:bold}\n"
    "svg .label{font-size:12px}.axis path{stroke:#222;fill:none}\n"
    ".u{fill:#D55E00;stroke:#D55E00}.d{fill:#0072B2;stroke:#0072B2}.o{fill:#999;stroke:#999}\n"
    ".n{fill:#fff;stroke-width:1.3}.bin{fill:#555;stroke:none}.called circle{r:3px}.rest circle{r:2px}\n"
    ".zero{stroke:#666;stroke-dasharray:4 3;fill:none}.limit{stroke:#E69F00;stroke-width:2;fill:none}\n"
    ".ci{stroke-width:2.5}.bar{fill:#009E73}.bar2{fill:#CC79A7}.name{font-size:10px;fill:#333}.leader{stroke:#999;"
    "stroke-width:.7}\n"
    "p.warning{border-left:6px solid #D55E00;background:#fbe9e2;padding:8px 12px;font-weight:bold}\n";

// One node pair's contrasts, best-ranked first.
struct PairRows {
  std::string A, B;                      // node names
  std::vector<const ContrastRow*> Rows;  // in the ranked table's order
  size_t Called = 0;                     // rows called
};

// One estimated gene's diagnostics.
struct GeneDiagnostics {
  std::string Id, Name;        // gene id and name
  double Ess, Rhat;            // smallest bulk or tail ESS over its nodes and pairs, largest R-hat of its nodes
  double MuAccept, ErrAccept;  // acceptance ratios
  bool Acceptable;             // verdict
  bool Unconverged;            // an ESS below EssNeeded or an R-hat above RhatLimit (or one not known)
};

bool Drawable(const ContrastRow& c) { return std::isfinite(c.Log2Ratio) && c.Lfdr >= 0 && c.Lfdr <= 1; }
const char* DirectionClass(const ContrastRow& c) { return !c.Called ? "o" : c.Log2Ratio > 0 ? "u" : "d"; }
std::string GeneText(const std::string& id, const std::string& name) { return name.empty() ? id : id + " " + name; }

std::string Decimals(double x, int decimals) {
  if (std::isnan(x)) return "NA";
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, x);
  return buffer;
}

// Three significant digits, or NA.
std::string Significant(double x) {
  if (std::isnan(x)) return "NA";
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%.3g", x);
  return buffer;
}

// A share from the run table, to two decimals.
std::string ShareText(const std::string& cell) {
  double x = NAN;
  return ParseStrictReal(cell, x) ? Decimals(x, 2) : PageText(cell.empty() ? "NA" : cell);
}

// An R-hat as a reader takes it in: a stuck chain's is past any meaning.
std::string RhatText(double x) { return x > 100 ? "&gt; 100" : Decimals(x, 3); }

std::vector<PairRows> GroupPairs(const std::vector<ContrastRow>& ranked) {
  std::vector<PairRows> pairs;
  std::map<std::pair<std::string, std::string>, size_t> index;
  for (const ContrastRow& c : ranked) {
    auto [at, added] = index.emplace(std::make_pair(c.NodeA, c.NodeB), pairs.size());
    if (added) pairs.push_back({c.NodeA, c.NodeB, {}, 0});
    PairRows& p = pairs[at->second];
    p.Rows.push_back(&c);
    p.Called += c.Called;
  }
  return pairs;
}

// Every pair when there are few; otherwise the ones with the most calls, kept in pair order.
std::vector<const PairRows*> ShownPairs(const std::vector<PairRows>& pairs) {
  std::vector<const PairRows*> shown;
  for (const PairRows& p : pairs) shown.push_back(&p);
  if (shown.size() <= MostPairs) return shown;
  std::stable_sort(shown.begin(), shown.end(), [](auto a, auto b) { return a->Called > b->Called; });
  shown.resize(MostPairs);
  std::sort(shown.begin(), shown.end());
  return shown;
}

// The smaller of two ESS, NaN when either is: a chain that cannot tell its own mixing.
double Smaller(double a, double b) { return std::isnan(a) || std::isnan(b) ? NAN : std::min(a, b); }

// The node rows of a gene follow each other, with one gene number; its pairs' ESS join them.
std::vector<GeneDiagnostics> Diagnose(const std::vector<NodeRow>& nodes, const std::vector<ContrastRow>& contrasts) {
  std::map<long, double> pairEss;  // gene number -> smallest bulk or tail ESS of its pairs
  for (const ContrastRow& c : contrasts) {
    auto [at, added] = pairEss.try_emplace(c.GeneNumber, INFINITY);
    at->second = Smaller(at->second, Smaller(c.EssBulk, c.EssTail));
  }
  std::vector<GeneDiagnostics> genes;
  for (size_t i = 0; i < nodes.size();) {
    size_t end = i + 1;
    while (end < nodes.size() && nodes[end].GeneNumber == nodes[i].GeneNumber) ++end;
    const NodeRow& n = nodes[i];
    if (n.Status == GeneStatus::Estimated) {
      GeneDiagnostics g{n.GeneId, n.GeneName, INFINITY, -INFINITY, n.MuAccept, n.ErrAccept, n.Acceptable, false};
      for (size_t k = i; k < end; ++k) {
        g.Ess = Smaller(g.Ess, Smaller(nodes[k].EssBulk, nodes[k].EssTail));
        g.Rhat = std::isnan(nodes[k].Rhat) || std::isnan(g.Rhat) ? NAN : std::max(g.Rhat, nodes[k].Rhat);
      }
      auto pairs = pairEss.find(n.GeneNumber);
      if (pairs != pairEss.end()) g.Ess = Smaller(g.Ess, pairs->second);
      g.Unconverged = !(g.Ess >= EssNeeded) || !(g.Rhat <= RhatLimit);
      genes.push_back(g);
    }
    i = end;
  }
  return genes;
}

std::string Figure(const std::string& svg, const std::string& caption) {
  return "<figure>\n" + svg + "</svg>\n" + (caption.empty() ? "" : "<figcaption>" + caption + "</figcaption>\n") +
         "</figure>\n";
}

std::string PairTitle(const PairRows& p) { return PageText(p.A) + " vs " + PageText(p.B); }
std::string RatioLabel(const PairRows& p) { return "log2(Mu " + PageText(p.A) + " / Mu " + PageText(p.B) + ")"; }

// --- The run ---

std::string RunSection(const RunRows& run) {
  struct Shown {
    const char* Key;    // run-table key
    const char* Label;  // what the page calls it
  };
  struct Group {
    const char* Heading;      // table heading
    std::vector<Shown> Rows;  // its rows
  };
  static const Group groups[] = {
      {"Genes",
       {{"genes_read", "Read"},
        {"estimated", "Estimated"},
        {"acceptable", "Acceptable"},
        {"not_connected", "Not connected"},
        {"too_few_data", "Too few data"}}},
      {"Calls",
       {{"genes_called", "Genes called"},
        {"not_converged", "Genes not converged"},
        {"fdr", "Level (false discovery rate)"},
        {"min_log2", "Smallest |log2 ratio| called"}}},
      {"Sampler",
       {{"error_model", "Error model"},
        {"error_terms", "Error terms"},
        {"seed", "Random seed"},
        {"burn_in", "Burn-in steps"},
        {"sampling_period", "Steps between samples"},
        {"samples", "Samples per node"},
        {"max_tuning_passes", "Most tuning passes"},
        {"initial_mu", "Starting Mu"},
        {"initial_error_terms", "Starting error terms"},
        {"mu_step_size", "Mu step size"},
        {"error_step_size", "Error-term step size"},
        {"full_output", "Chain files"}}},
      {"Run",
       {{"input_file", "Input file"},
        {"version", "TELVO version"},
        {"start_time", "Started"},
        {"end_time", "Ended"},
        {"time_used", "Time used"}}},
  };
  std::string out = "<section id=\"run\">\n<h2>The run</h2>\n<div class=\"plots\">\n";
  for (const Group& g : groups) {
    out += "<table class=\"facts\">\n<tr><th colspan=\"2\" class=\"group\">" + std::string(g.Heading) + "</th></tr>\n";
    for (const Shown& row : g.Rows) {
      bool time = std::string_view(row.Key).find("time") != std::string_view::npos;
      out += std::string(time ? "<tr class=\"time\">" : "<tr>") + "<th>" + row.Label + "</th><td>" +
             PageText(RunValue(run, row.Key)) + "</td></tr>\n";
    }
    out += "</table>\n";
  }
  return out + "</div>\n</section>\n";
}

// --- Volcano plots ---

std::string VolcanoLegend() {
  return "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"legend\" width=\"1100\" height=\"24\">\n"
         "<circle class=\"u\" cx=\"10\" cy=\"12\" r=\"4\"/><text x=\"20\" y=\"16\">called, up (first node "
         "higher)</text>\n"
         "<circle class=\"d\" cx=\"230\" cy=\"12\" r=\"4\"/><text x=\"240\" y=\"16\">called, down</text>\n"
         "<circle class=\"u n\" cx=\"340\" cy=\"12\" r=\"4\"/><text x=\"350\" y=\"16\">gene not acceptable</text>\n"
         "<rect class=\"bin\" x=\"490\" y=\"7\" width=\"10\" height=\"10\" fill-opacity=\"0.5\"/>"
         "<text x=\"506\" y=\"16\">not called (darker: more genes)</text>\n"
         "<path class=\"u\" d=\"M725 7l4.5 8h-9z\"/><text x=\"736\" y=\"16\">lfdr 0 (below 1e-308): at the top "
         "edge</text>\n</svg>\n";
}

// Contrasts of one class (direction, then " n", hollow, when the gene is not acceptable) that fall on
// one pixel, and whether their lfdr is 0, off the scale, drawn as one marker: a large run has tens of
// thousands of called contrasts but far fewer distinct points.
using SpotKey = std::tuple<std::string, long, long, bool>;
using Spots = std::map<SpotKey, std::vector<const ContrastRow*>>;

void AddSpot(Spots& spots, const ContrastRow& c, double x, double y) {
  spots[{std::string(DirectionClass(c)) + (c.Acceptable ? "" : " n"), std::lround(x), std::lround(y), c.Lfdr == 0}]
      .push_back(&c);
}
// The markers, in a group per class that gives their colour; their size comes from the page's style.
// data-n counts the contrasts of a marker that stands for more than one.
std::string SpotMarkers(const Spots& spots, bool titled) {
  std::string out, group;
  for (const auto& [key, rows] : spots) {
    const auto& [cls, x, y, bound] = key;
    if (cls != group) out += (group.empty() ? "" : "</g>\n") + ("<g class=\"" + cls + "\">\n"), group = cls;
    out += bound ? "<path d=\"M" + std::to_string(x) + " " + std::to_string(y - 5) + "l4.5 8h-9z\""
                 : "<circle cx=\"" + std::to_string(x) + "\" cy=\"" + std::to_string(y) + "\"";
    if (rows.size() > 1) out += " data-n=\"" + std::to_string(rows.size()) + "\"";
    if (!titled) {
      out += "/>\n";
      continue;
    }
    out += "><title>";
    for (size_t i = 0; i < std::min(rows.size(), TitledGenes); ++i)
      out += (i ? "\n" : "") + PageText(GeneText(rows[i]->GeneId, rows[i]->GeneName));
    if (rows.size() > TitledGenes) out += "\nand " + std::to_string(rows.size() - TitledGenes) + " more genes here";
    out += bound ? "</title></path>\n" : "</title></circle>\n";
  }
  return group.empty() ? out : out + "</g>\n";
}

// Contrasts not called, as cells shaded by how many fall in them.
std::string Density(const Plot& p, const std::vector<std::pair<double, double>>& points) {
  std::map<std::pair<int, int>, int> cells;
  for (auto [x, y] : points)
    ++cells[{static_cast<int>((x - p.X.From) / DensityCell), static_cast<int>((y - p.Y.To) / DensityCell)}];
  int most = 1;
  for (const auto& [cell, n] : cells) most = std::max(most, n);
  std::string out;
  for (const auto& [cell, n] : cells)
    out += "<rect class=\"bin\" x=\"" + Num(p.X.From + cell.first * DensityCell) + "\" y=\"" +
           Num(p.Y.To + cell.second * DensityCell) + "\" width=\"" + Num(DensityCell) + "\" height=\"" +
           Num(DensityCell) + "\" fill-opacity=\"" + Decimals(0.15 + 0.85 * std::log1p(n) / std::log1p(most), 2) +
           "\" data-n=\"" + std::to_string(n) + "\"/>\n";
  return out;
}

// A label's box on the picture.
struct Box {
  double Left, Top, Right, Bottom;  // pixels
};

bool Overlap(const Box& a, const Box& b) {
  return a.Left < b.Right && b.Left < a.Right && a.Top < b.Bottom && b.Top < a.Bottom;
}

// Where a name may go around its point: eight places next to it, then the same places 12 and 24
// pixels further out, joined to the point by a leader line.
struct NamePlace {
  double Dx, Dy;  // the box's left and bottom, from the point (pixels, before the width)
  int Ring;       // 0: next to the point; further out: a leader line
};

std::vector<NamePlace> NamePlaces(double width) {
  const double dx[] = {6, -6 - width, 6, -6 - width, -width / 2, -width / 2, 14, -14 - width};
  const double dy[] = {-2, -2, 10, 10, -8, 16, -12, -12};
  std::vector<NamePlace> places;
  for (int ring = 0; ring < 3; ++ring)
    for (int k = 0; k < 8; ++k) {
      double outX = dx[k] + width / 2 > 0.5 ? 1 : dx[k] + width / 2 < -0.5 ? -1 : 0, outY = dy[k] > 2 ? 1 : -1;
      places.push_back({dx[k] + 12 * ring * outX, dy[k] + 12 * ring * outY, ring});
    }
  return places;
}

// The names of the best-ranked called genes beside their points: each at the first place around its
// point (NamePlaces) where it stays inside the plot and clear of every called point and of the names
// placed before; a name with no such place is left to its point's tooltip.
std::string VolcanoNames(const Plot& p, const PairRows& pair) {
  auto spot = [&](const ContrastRow& c) {
    return std::pair<double, double>{Place(p.X, c.Log2Ratio), Place(p.Y, c.Lfdr > 0 ? -std::log10(c.Lfdr) : p.Y.Hi)};
  };
  std::vector<const ContrastRow*> named;
  std::vector<Box> taken;
  for (const ContrastRow* c : pair.Rows) {
    if (!c->Called || !Drawable(*c)) continue;
    if (named.size() < LabelledGenes) named.push_back(c);
    auto [x, y] = spot(*c);
    taken.push_back({x - 4, y - 4, x + 4, y + 4});
  }
  std::string out;
  for (const ContrastRow* c : named) {
    std::string name = ClippedText(GeneText(c->GeneId, c->GeneName), LabelLength);
    // About 6.2 pixels a character of the 10-pixel font; a UTF-8 character's continuation bytes do not count.
    const double characters = static_cast<double>(std::count_if(
        name.begin(), name.end(), [](char ch) { return (static_cast<unsigned char>(ch) & 0xC0) != 0x80; }));
    const double width = 6.2 * characters + 2, height = 11;
    auto [x, y] = spot(*c);
    for (const NamePlace& place : NamePlaces(width)) {
      Box box{x + place.Dx, y + place.Dy - height + 2, x + place.Dx + width, y + place.Dy + 2};
      bool inside = box.Left >= p.X.From && box.Right <= p.X.To && box.Top >= p.Y.To && box.Bottom <= p.Y.From;
      if (!inside || std::any_of(taken.begin(), taken.end(), [&](const Box& t) { return Overlap(box, t); }))
        continue;
      taken.push_back(box);
      if (place.Ring > 0) {  // from the point to the nearest point of the box
        double toX = std::clamp(x, box.Left, box.Right), toY = std::clamp(y, box.Top, box.Bottom);
        out += "<line class=\"leader\" x1=\"" + Num(x) + "\" y1=\"" + Num(y) + "\" x2=\"" + Num(toX) + "\" y2=\"" +
               Num(toY) + "\"/>\n";
      }
      out += "<text class=\"name\" x=\"" + Num(box.Left + 1) + "\" y=\"" + Num(box.Bottom - 2) + "\">" +
             PageText(name) + "</text>\n";
      break;
    }
  }
  return out;
}

std::string Volcano(const PairRows& pair, const std::string& level, const std::string& pi0) {
  double xMost = 1, yMost = 1;
  for (const ContrastRow* c : pair.Rows)
    if (Drawable(*c)) {
      xMost = std::max(xMost, std::fabs(c->Log2Ratio));
      if (c->Lfdr > 0) yMost = std::max(yMost, -std::log10(c->Lfdr));
    }
  xMost *= 1.05;
  Plot p{{-xMost, xMost, 56, 382}, {0, yMost * 1.05, 268, 30}, 392, 310};
  std::string out =
      SvgStart(p, "plot volcano", " data-pair=\"" + PageText(pair.A + "/" + pair.B) + "\"", PairTitle(pair));
  out += Frame(p, RatioLabel(pair), "−log10(lfdr)") + VerticalLine(p, 0, "zero");
  Spots called, others;
  std::vector<std::pair<double, double>> restPixels;
  size_t up = 0, down = 0, notAcceptable = 0, undrawn = 0;
  for (const ContrastRow* c : pair.Rows) {
    if (!Drawable(*c)) {
      ++undrawn;
      continue;
    }
    double x = Place(p.X, c->Log2Ratio), y = Place(p.Y, c->Lfdr > 0 ? -std::log10(c->Lfdr) : p.Y.Hi);
    if (c->Called) {
      AddSpot(called, *c, x, y);
      ++(c->Log2Ratio > 0 ? up : down);
      notAcceptable += !c->Acceptable;
    } else {
      AddSpot(others, *c, x, y);
      restPixels.push_back({x, y});
    }
  }
  std::string density = restPixels.size() > DensityAbove ? Density(p, restPixels) : SpotMarkers(others, false);
  out += "<g class=\"rest\">\n" + density + "</g>\n<g class=\"called\">\n" + SpotMarkers(called, true) + "</g>\n";
  out += VolcanoNames(p, pair);
  std::string caption = std::to_string(pair.Called) + " of " + Count(pair.Rows.size(), "gene", "genes") +
                        " called (q-value ≤ " + PageText(level) + "): " + std::to_string(up) + " up, " +
                        std::to_string(down) + " down, " + std::to_string(notAcceptable) +
                        " of them not acceptable. Estimated share of genes without change: " + ShareText(pi0) + ".";
  if (undrawn) caption += " " + std::to_string(undrawn) + " without a value not drawn.";
  return Figure(out, caption);
}

// --- Forest plots ---

std::string Forest(const PairRows& pair) {
  const size_t count = std::min(ForestGenes, pair.Rows.size());
  double lo = 0, hi = 0;
  for (size_t i = 0; i < count; ++i)
    for (double v : {pair.Rows[i]->Log2Lower, pair.Rows[i]->Log2Upper, pair.Rows[i]->Log2Ratio})
      if (std::isfinite(v)) lo = std::min(lo, v), hi = std::max(hi, v);
  double pad = std::max(0.1, (hi - lo) * 0.05);
  const double rowHeight = 17, top = 30;
  const double bottom = top + rowHeight * std::max<size_t>(count, 1) + 4;
  Plot p{{lo - pad, hi + pad, 222, 572}, {0, 1, bottom, top}, 582, bottom + 44};
  std::string out =
      SvgStart(p, "plot forest", " data-pair=\"" + PageText(pair.A + "/" + pair.B) + "\"", PairTitle(pair));
  out += Frame(p, RatioLabel(pair), "") + VerticalLine(p, 0, "zero");
  for (size_t i = 0; i < count; ++i) {
    const ContrastRow& c = *pair.Rows[i];
    double y = top + rowHeight * (i + 0.5);
    std::string cls = DirectionClass(c);
    out += "<g><title>" + PageText(GeneText(c.GeneId, c.GeneName)) + ": " + Decimals(c.Log2Ratio, 2) + " [" +
           Decimals(c.Log2Lower, 2) + ", " + Decimals(c.Log2Upper, 2) + "], lfdr " + Significant(c.Lfdr) +
           ", q-value " + Significant(c.Qvalue) + (c.Called ? ", called" : "") +
           (c.Acceptable ? "" : ", not acceptable") + "</title>\n<text x=\"" + Num(p.X.From - 8) + "\" y=\"" +
           Num(y + 4) + "\" text-anchor=\"end\">" + PageText(ClippedText(GeneText(c.GeneId, c.GeneName), 36)) +
           "</text>\n";
    if (std::isfinite(c.Log2Lower) && std::isfinite(c.Log2Upper))
      out += "<path class=\"ci " + cls + "\" d=\"M" + Num(Place(p.X, c.Log2Lower)) + " " + Num(y) + "H" +
             Num(Place(p.X, c.Log2Upper)) + "\"/>\n";
    if (std::isfinite(c.Log2Ratio))
      out += "<circle class=\"" + cls + (c.Acceptable ? "" : " n") + "\" cx=\"" + Num(Place(p.X, c.Log2Ratio)) +
             "\" cy=\"" + Num(y) + "\" r=\"4\"/>\n";
    out += "</g>\n";
  }
  return Figure(out, "");
}

// --- Diagnostics ---

// A histogram of the finite values over [lo, hi]; values past either end are counted in the end bins.
std::string Histogram(const std::string& title, const std::string& xLabel, const std::vector<double>& values, double lo,
                      double hi, const char* barClass, double limit) {
  std::vector<long> bins(HistogramBins, 0);
  long missing = 0, beyond = 0;
  if (!(hi > lo)) hi = lo + 1;
  for (double v : values) {
    if (!std::isfinite(v)) {
      ++missing;
      continue;
    }
    beyond += v > hi;
    // Clamped as a real first: a value far past the range has no int of its own.
    double at = std::clamp((v - lo) / (hi - lo) * HistogramBins, 0.0, HistogramBins - 1.0);
    ++bins[static_cast<int>(at)];
  }
  long most = std::max(5L, *std::max_element(bins.begin(), bins.end()));  // whole genes on the count axis
  Plot p{{lo, hi, 52, 300}, {0, static_cast<double>(most), 170, 30}, 310, 214};
  std::string out = SvgStart(p, "plot histogram", "", title);
  for (int b = 0; b < HistogramBins; ++b) {
    if (!bins[b]) continue;
    double from = lo + (hi - lo) * b / HistogramBins, to = lo + (hi - lo) * (b + 1) / HistogramBins;
    double x0 = Place(p.X, from), x1 = Place(p.X, to), y = Place(p.Y, bins[b]);
    out += "<rect class=\"" + std::string(barClass) + "\" x=\"" + Num(x0 + 0.5) + "\" y=\"" + Num(y) + "\" width=\"" +
           Num(x1 - x0 - 1) + "\" height=\"" + Num(p.Y.From - y) + "\"><title>" + Decimals(from, 3) + " to " +
           Decimals(to, 3) + ": " + std::to_string(bins[b]) + " genes</title></rect>\n";
  }
  out += Frame(p, xLabel, "genes");
  if (std::isfinite(limit) && limit >= lo && limit <= hi) out += VerticalLine(p, limit, "limit");
  std::string caption = std::to_string(values.size() - missing) + " genes";
  if (beyond) caption += "; " + std::to_string(beyond) + " above " + Decimals(hi, 2) + " counted in the last bar";
  if (missing) caption += "; " + std::to_string(missing) + " without a value";
  return Figure(out, caption + ".");
}

std::string DiagnosticsSection(const std::vector<GeneDiagnostics>& genes) {
  std::vector<double> ess, rhat, muAccept, errAccept;
  double essMost = EssNeeded * 1.5, rhatLeast = 1, rhatMost = 1.02;
  for (const GeneDiagnostics& g : genes) {
    ess.push_back(g.Ess), rhat.push_back(g.Rhat), muAccept.push_back(g.MuAccept), errAccept.push_back(g.ErrAccept);
    if (std::isfinite(g.Ess)) essMost = std::max(essMost, g.Ess);
    if (std::isfinite(g.Rhat)) rhatLeast = std::min(rhatLeast, g.Rhat), rhatMost = std::max(rhatMost, g.Rhat);
  }
  // A few stuck chains would squeeze every other gene into the first bar.
  rhatMost = std::min(rhatMost, 1.2);
  std::string out = "<section id=\"diagnostics\">\n<h2>Sampler diagnostics</h2>\n<div class=\"plots\">\n";
  out += Histogram("Smallest bulk or tail ESS per gene", "effective sample size (line: 400)", ess, 0, essMost, "bar",
                   EssNeeded);
  out += Histogram("Largest R-hat per gene", "rank-normalised R-hat (line: 1.01)", rhat, rhatLeast, rhatMost, "bar",
                   RhatLimit);
  out += Histogram("Mu acceptance ratio", "accepted share of Mu moves", muAccept, 0, 1, "bar2", NAN);
  out += Histogram("Error-term acceptance ratio", "accepted share of error-term moves", errAccept, 0, 1, "bar2", NAN);
  out += "</div>\n";
  size_t unconverged = 0, notAcceptable = 0;
  std::vector<const GeneDiagnostics*> flagged;
  for (const GeneDiagnostics& g : genes) {
    unconverged += g.Unconverged;
    notAcceptable += !g.Acceptable;
    if (g.Unconverged || !g.Acceptable) flagged.push_back(&g);
  }
  out += "<p class=\"flagged-count\">Of " + Count(genes.size(), "estimated gene", "estimated genes") + ", " +
         std::to_string(flagged.size()) + (flagged.size() == 1 ? " needs" : " need") + " a look: " +
         std::to_string(unconverged) + " with a bulk or tail ESS below 400 or an R-hat above 1.01 (not converged), " +
         std::to_string(notAcceptable) + " not acceptable.</p>\n";
  if (flagged.empty()) return out + "</section>\n";
  out +=
      "<table class=\"flagged\">\n<tr><th>Gene id</th><th>Name</th><th>Largest R-hat</th><th>Smallest ESS</th>"
      "<th>Acceptable</th></tr>\n";
  for (size_t i = 0; i < std::min(FlaggedListed, flagged.size()); ++i) {
    const GeneDiagnostics& g = *flagged[i];
    out += "<tr><td>" + PageText(g.Id) + "</td><td>" + PageText(g.Name) + "</td><td>" + RhatText(g.Rhat) +
           "</td><td>" + Decimals(g.Ess, 0) + "</td><td>" + (g.Acceptable ? "yes" : "no") + "</td></tr>\n";
  }
  out += "</table>\n";
  if (flagged.size() > FlaggedListed)
    out += "<p>The first " + std::to_string(FlaggedListed) + " in input order; the nodes table has them all.</p>\n";
  return out + "</section>\n";
}

// Said at the top of the page when most genes' chains cannot be trusted.
std::string ConvergenceWarning(const std::vector<GeneDiagnostics>& genes) {
  size_t unconverged = 0;
  for (const GeneDiagnostics& g : genes) unconverged += g.Unconverged;
  if (genes.empty() || 2 * unconverged <= genes.size()) return "";
  return "<p class=\"warning\">Most genes are not converged: " + std::to_string(unconverged) + " of " +
         Count(genes.size(), "estimated gene", "estimated genes") +
         " have a bulk or tail ESS below 400 or an R-hat above 1.01. Their intervals, lfdr and calls cannot be "
         "trusted: run longer chains (a larger -g or -p) before reading them.</p>\n";
}

// The calls of the run: genes called, and whether the ranking is partial.
std::string CallsHeadline(const RunRows& run, const std::vector<GeneDiagnostics>& genes, const std::string& level) {
  std::string text = "<p class=\"headline\">" + PageText(RunValue(run, "genes_called")) + " of " +
                     Count(genes.size(), "estimated gene", "estimated genes") +
                     " called (some node differs; gene-level q-value ≤ " + PageText(level) + ").";
  if (RunValue(run, "partial") == "TRUE") text += " The ranking is partial: a shard's run did not end normally.";
  return text + "</p>\n";
}

}  // namespace

std::string ReportPage(const std::vector<NodeRow>& nodes, const std::vector<ContrastRow>& ranked, const RunRows& run) {
  std::vector<PairRows> pairs = GroupPairs(ranked);
  std::vector<const PairRows*> shown = ShownPairs(pairs);
  std::vector<GeneDiagnostics> genes = Diagnose(nodes, ranked);
  const std::string level = RunValue(run, "fdr");
  std::string title = "TELVO report: " + PageText(RunValue(run, "input_file"));
  std::string page =
      "<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\">\n<head>\n"
      "<meta charset=\"utf-8\"/>\n<title>" +
      title + "</title>\n<style>\n" + Style + "</style>\n</head>\n<body>\n<h1>" + title + "</h1>\n";
  page += ConvergenceWarning(genes) + CallsHeadline(run, genes, level) + RunSection(run);
  std::string which = shown.size() < pairs.size() ? "the " + std::to_string(shown.size()) + " of " +
                                                        std::to_string(pairs.size()) + " node pairs with the most calls"
                                                  : "every node pair";
  page += "<section id=\"volcano\">\n<h2>Which genes changed</h2>\n<p>For " + which +
          ": each gene's median log2 ratio of the two nodes' Mu against −log10 of its lfdr, the posterior probability "
          "that the two nodes do not differ under the prior fitted across genes. A contrast is called when its q-value "
          "(the mean lfdr of the contrasts ranked up to it: the expected share of calls without change) is at most " +
          PageText(level) + "; the best-ranked called genes are named, point at any called gene for its name.</p>\n" +
          VolcanoLegend() + "<div class=\"plots\">\n";
  for (const PairRows* p : shown) page += Volcano(*p, level, RunValue(run, "pi0:" + p->A + "/" + p->B));
  page += "</div>\n</section>\n<section id=\"forest\">\n<h2>Best-ranked genes</h2>\n<p>For the same pairs, the " +
          std::to_string(ForestGenes) +
          " genes with the smallest lfdr: median log2 ratio (point) and 95% interval "
          "(bar), coloured when called, hollow when the gene is not acceptable; point at a row for its numbers.</p>\n"
          "<div class=\"plots\">\n";
  for (const PairRows* p : shown) page += Forest(*p);
  page += "</div>\n</section>\n" + DiagnosticsSection(genes);
  return page + "</body>\n</html>\n";
}

}  // namespace telvo
