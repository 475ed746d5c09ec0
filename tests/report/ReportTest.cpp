// The report page: escaped text and joined shard runs; the page of a simulated run parses as XML with
// one plotted point per contrast, equals the page telvo-rank draws from its shards, and renders in
// headless Chromium.
#include <gtest/gtest.h>

#include <array>
#include <libxml/parser.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>
#include <png.h>

#include <array>
#include <filesystem>
#include <map>
#include <sstream>

#include "report/ReportInternal.h"
#include "simulate/Simulate.h"
#include "support/TestSupport.h"

using namespace telvo;

namespace {

// Removes a test's scratch folder however the test ends.
struct Scratch {
  std::string Dir = ScratchDir();
  ~Scratch() { std::filesystem::remove_all(Dir); }
};

const std::vector<std::string> Quick = {"-r", "9", "-b", "300", "-g", "200", "-p", "2", "-t", "3", "-j", "2"};
const std::string OddName = "<i>&\"q'\xff";  // markup characters and a byte that is not UTF-8

// Simulated 4-node data, half the genes unchanged; the first gene gets the odd name. Returns the lines.
std::vector<std::string> SimulatedLines(int genes) {
  SimulationOptions o;
  o.Genes = genes, o.Replicates = 2, o.ErrorTerm = 0.15, o.UnchangedFraction = 0.5, o.Seed = 23;
  std::ostringstream text;
  SimulateFile(o, text);
  std::vector<std::string> lines = Lines(text.str());
  std::vector<std::string> cells = Cells(lines[3]);
  lines[3] = cells[0] + "\t" + OddName + lines[3].substr(cells[0].size() + cells[1].size() + 1);
  return lines;
}

std::string Joined(const std::vector<std::string>& lines, size_t from, size_t to) {
  std::string text;
  for (size_t i = from; i < to && i < lines.size(); ++i) text += lines[i] + "\n";
  return text;
}

// The page without the rows of times, which differ between equal runs.
std::string Timeless(const std::string& page) {
  std::string kept;
  for (const std::string& line : Lines(page))
    if (line.find("<tr class=\"time\">") == std::string::npos) kept += line + "\n";
  return kept;
}

// A cell as written: quoted when it holds a quote, a TAB or a line end ("" for a quote inside).
std::string Unquoted(const std::string& cell) {
  if (cell.size() < 2 || cell.front() != '"' || cell.back() != '"') return cell;
  std::string text;
  for (size_t i = 1; i + 1 < cell.size(); ++i) text += cell[i], i += cell[i] == '"';
  return text;
}

// A table's rows as maps from column name to cell (without line ends inside cells).
std::vector<std::map<std::string, std::string>> TableRows(const std::string& text) {
  std::vector<std::string> lines = Lines(text), header = Cells(lines.at(0));
  std::vector<std::map<std::string, std::string>> rows;
  for (size_t k = 1; k < lines.size(); ++k) {
    std::vector<std::string> cells = Cells(lines[k]);
    if (cells.size() != header.size()) continue;
    std::map<std::string, std::string>& row = rows.emplace_back();
    for (size_t i = 0; i < cells.size(); ++i) row[header[i]] = Unquoted(cells[i]);
  }
  return rows;
}

double XPathNumber(xmlXPathContextPtr context, const std::string& path) {
  xmlXPathObjectPtr result = xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(path.c_str()), context);
  double value = result ? xmlXPathCastToNumber(result) : -1;
  xmlXPathFreeObject(result);
  return value;
}

std::string XPathText(xmlXPathContextPtr context, const std::string& path) {
  xmlXPathObjectPtr result = xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(path.c_str()), context);
  xmlChar* text = result ? xmlXPathCastToString(result) : nullptr;
  std::string value = text ? reinterpret_cast<char*>(text) : "";
  xmlFree(text);
  xmlXPathFreeObject(result);
  return value;
}

}  // namespace

TEST(Report, PageTextIsEscapedAndShardRunsJoinOrRefuse) {
  EXPECT_EQ(PageText("a<b>&\"c'\x01\xff\xc3\xa9"), "a&lt;b&gt;&amp;&quot;c&#39;\xEF\xBF\xBD\xEF\xBF\xBD\xc3\xa9");
  EXPECT_EQ(PageText("\xe0\x80\xaf"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");  // an overlong '/'
  const char* least = "\xc2\x80\xe0\xa0\x80\xf0\x90\x80\x80";  // the least characters of two, three and four bytes
  EXPECT_EQ(PageText(least), least);
  EXPECT_EQ(PageText("\xe2\x89\xa4\xe9\xa3\x9f\xf0\x9f\x98\x80"),
            "\xe2\x89\xa4\xe9\xa3\x9f\xf0\x9f\x98\x80");                        // three and four bytes
  EXPECT_EQ(PageText("\xef\xbf\xbe\xef\xbf\xbf"), "\xEF\xBF\xBD\xEF\xBF\xBD");  // U+FFFE and U+FFFF are no XML
  EXPECT_EQ(ClippedText("\xc3\xa9\xc3\xa9\xc3\xa9", 2), "\xc3\xa9\xc3\xa9…");
  std::vector<double> ticks = Ticks(-0.5, 0.5, 5);
  ASSERT_EQ(ticks.size(), 5u);
  EXPECT_EQ(TickLabel(ticks[0], ticks) + " " + TickLabel(ticks[2], ticks) + " " + TickLabel(ticks[4], ticks),
            "-0.4 0.0 0.4");
  EXPECT_EQ(Ticks(0, 5, 5), (std::vector<double>{0, 1, 2, 3, 4, 5}));  // a rough step of exactly a power of ten
  EXPECT_EQ(Ticks(0, 27.5, 5), (std::vector<double>{0, 10, 20}));      // past five times a power of ten: ten

  RunRows a = {{"input_file", "a.txt"},   {"seed", "5"},     {"first_gene", "1"},   {"genes_read", "10"},
               {"estimated", "8"},        {"time_used", "01:59:30"}, {"start_time", "t3"}, {"end_time", "t1"}};
  RunRows b = {{"input_file", "b.txt"},   {"seed", "5"},     {"first_gene", "11"},  {"genes_read", "7"},
               {"estimated", "7"},        {"time_used", "00:01:45"}, {"start_time", "t0"}, {"end_time", "t2"}};
  RunRows joined = CombineRunTables({a, b});
  EXPECT_EQ(RunValue(joined, "genes_read") + RunValue(joined, "estimated") + RunValue(joined, "time_used") +
                RunValue(joined, "start_time") + RunValue(joined, "end_time") + RunValue(joined, "seed") +
                RunValue(joined, "first_gene") + RunValue(joined, "shards"),
            "171502:01:15t0t2512");
  EXPECT_EQ(RunValue(joined, "input_file"), "a.txt ... b.txt (2 shards)");
  joined = CombineRunTables({joined}, "whole.txt", "out/x");  // a joined table joined again stays as it is
  EXPECT_EQ(RunValue(joined, "input_file") + RunValue(joined, "shards"), "whole.txt2");
  // Shards of two splits, counts that are no counts, times that are no times.
  b[2].second = "12";
  EXPECT_EQ(Refusal([&] { CombineRunTables({a, b}); }),
            "shard 2 begins at gene 12 where the shard before it ends before gene 11: the shards are not one split "
            "of one file");
  b[2].second = "11";
  for (auto [key, cell] : {std::pair{4, "-1"}, {4, "1e300"}, {4, "2.5"}, {5, "1:60:00"}, {5, "99999999999:00:00"}}) {
    RunRows bad = b;
    bad[key].second = cell;
    EXPECT_NE(Refusal([&] {
                CombineRunTables({a, bad});
              }).find(std::string("shard 2: ") + bad[key].first),
              std::string::npos)
        << cell;
  }
  b[1].second = "6";  // the seed
  std::string error = Refusal([&] { CombineRunTables({a, b}); });
  EXPECT_NE(error.find("seed is 5 in shard 1 and 6 in shard 2"), std::string::npos) << error;
  for (RunRows other : {RunRows(a.begin(), a.end() - 1), RunRows{a[0], {"seeds", "5"}, a[2], a[3], a[4], a[5]}})
    EXPECT_EQ(Refusal([&] { CombineRunTables({a, other}); }), "shard 2 has other run-table keys than shard 1");
  std::vector<NodeRow> nodes;
  std::string row = "g\tn\tA\testimated\tTRUE\t1\t1\t1\t1\t1\t1\t1\t1\t1\tx\t1\t3\t0.3\t0.3\t-2\t500\t500\t1\n";
  EXPECT_EQ(Refusal([&] {
              ReadNodesTable({"n.tsv", NodesHeader() + row}, nodes);
            }),
            "n.tsv:2: ess 'x' is not a number");
}

TEST(Report, PastFifteenPairsTheMostCalledAreDrawnTiesInPairOrder) {
  std::vector<ContrastRow> ranked;
  for (int k = 0; k < 17; ++k) {
    ContrastRow c;
    c.GeneId = "g", c.NodeA = "P" + std::to_string(k), c.NodeB = "B";
    c.Log2Ratio = 1, c.Log2Upper = 2, c.Lfdr = 0.01, c.Called = k == 16;  // only the last pair has a call
    ranked.push_back(c);
  }
  std::string page = ReportPage({}, ranked, {});
  for (int k = 0; k < 17; ++k)
    EXPECT_EQ(page.find("data-pair=\"P" + std::to_string(k) + "/B\"") != std::string::npos, k < 14 || k == 16) << k;
  EXPECT_NE(page.find("the 15 of 17 node pairs with the most calls"), std::string::npos);
}

TEST(Report, PlotsMatchTheTablesAsXmlAndShardsDrawTheSamePage) {
  Scratch scratch;
  const std::string& dir = scratch.Dir;
  std::vector<std::string> lines = SimulatedLines(120);
  const std::string input = "a&<b>'q\".txt";  // shown on the page as the run's input file
  std::filesystem::create_directories(dir + "/one");
  WriteFile(dir + "/one/" + input, Joined(lines, 0, lines.size()));
  ProgramRun run = RunProgram(dir + "/one", With(Quick, {"--out", "x", input}));
  ASSERT_EQ(run.Status, 0) << run.Out;
  std::string page = ReadFile(dir + "/one/x.report.html");
  // Nothing is loaded from elsewhere: the only addresses are the XML namespaces.
  size_t addresses = 0, namespaces = 0;
  for (size_t at = page.find("://"); at != std::string::npos; at = page.find("://", at + 1)) ++addresses;
  for (const char* ns : {"xmlns=\"http://www.w3.org/1999/xhtml\"", "xmlns=\"http://www.w3.org/2000/svg\""})
    for (size_t at = page.find(ns); at != std::string::npos; at = page.find(ns, at + 1)) ++namespaces;
  EXPECT_EQ(addresses, namespaces);

  // Strict XML, no network: a page that breaks the rules or escapes a name badly fails here.
  xmlDocPtr doc = xmlReadMemory(page.data(), static_cast<int>(page.size()), "report.html", nullptr, XML_PARSE_NONET);
  ASSERT_NE(doc, nullptr) << "the page is not well-formed XML";
  xmlXPathContextPtr context = xmlXPathNewContext(doc);
  xmlXPathRegisterNs(context, BAD_CAST "h", BAD_CAST "http://www.w3.org/1999/xhtml");
  xmlXPathRegisterNs(context, BAD_CAST "s", BAD_CAST "http://www.w3.org/2000/svg");
  xmlXPathObjectPtr heading = xmlXPathEvalExpression(BAD_CAST "//h:title", context);
  xmlChar* title = xmlXPathCastToString(heading);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(title)), "TELVO report: " + input);
  xmlFree(title);
  xmlXPathFreeObject(heading);

  // Per pair: the called points are the contrasts called, and the other points (one each, or counted in
  // density cells) the rest.
  std::map<std::string, int> called, others;
  std::map<std::string, std::set<std::string>> best;  // per pair, the 10 best-ranked called genes as named
  for (const std::map<std::string, std::string>& c : TableRows(ReadFile(dir + "/one/x.top.tsv"))) {
    const std::string pair = c.at("node_a") + "/" + c.at("node_b");
    if (c.at("called") == "TRUE" && best[pair].size() < 10)
      best[pair].insert(ClippedText(c.at("gene_id") + " " + c.at("gene_name"), 18));
    ++(c.at("called") == "TRUE" ? called : others)[pair];
  }
  ASSERT_EQ(called.size() + others.size() > 0, true);
  EXPECT_EQ(XPathNumber(context, "count(//s:svg[contains(@class,'volcano')])"), 6);
  EXPECT_EQ(XPathNumber(context, "count(//s:svg[contains(@class,'forest')])"), 6);
  EXPECT_EQ(XPathNumber(context, "count(//s:svg[contains(@class,'histogram')])"), 4);
  // The bars of a histogram stand side by side, none over its neighbour.
  for (int h = 1; h <= 4; ++h) {
    std::string bars = "(//s:svg[contains(@class,'histogram')])[" + std::to_string(h) + "]/s:rect[s:title]";
    int count = static_cast<int>(XPathNumber(context, "count(" + bars + ")"));
    for (int b = 1; b < count; ++b) {
      auto at = [&](int k, const char* what) {
        return XPathNumber(context, "number(" + bars + "[" + std::to_string(k) + "]/@" + what + ")");
      };
      EXPECT_LT(at(b, "x") + at(b, "width"), at(b + 1, "x")) << "histogram " << h << " bar " << b;
    }
  }
  int calls = 0;
  for (const char* pair : {"N1/N2", "N1/N3", "N1/N4", "N2/N3", "N2/N4", "N3/N4"}) {
    std::string plot = std::string("//s:svg[contains(@class,'volcano')][@data-pair='") + pair + "']";
    // A marker stands for data-n contrasts on one pixel, or for one.
    auto contrasts = [&](const std::string& group) {
      std::string markers = plot + "/s:g[@class='" + group + "']/s:g/*";
      return XPathNumber(context, "count(" + markers + "[not(@data-n)]) + sum(" + markers + "/@data-n) + sum(" + plot +
                                      "/s:g[@class='" + group + "']/s:rect/@data-n)");
    };
    EXPECT_EQ(contrasts("called"), called[pair]) << pair;
    EXPECT_EQ(XPathNumber(context, "count(" + plot + "/s:g[@class='called']/s:g/*[not(s:title)])"), 0) << pair;
    EXPECT_EQ(contrasts("rest"), others[pair]) << pair;
    EXPECT_EQ(XPathNumber(context, "count(" + plot + "/s:g[@class='rest']//s:title)"), 0)
        << pair;  // names only of calls
    // The best-ranked called genes are named on the picture (a name with no free place is left to its
    // tooltip), none over another: boxes of 6.2 pixels a character and 11 high, left and baseline.
    const std::string names = plot + "/s:text[@class='name']";
    const int named = static_cast<int>(XPathNumber(context, "count(" + names + ")"));
    EXPECT_GE(named, std::min(called[pair], 10) / 2) << pair;
    std::vector<std::array<double, 3>> boxes;  // left, baseline, right
    for (int k = 1; k <= named; ++k) {
      const std::string at = "(" + names + ")[" + std::to_string(k) + "]";
      const std::string name = XPathText(context, at);
      EXPECT_TRUE(best[pair].count(name)) << pair << ": " << name;
      const double x = XPathNumber(context, "number(" + at + "/@x)"), y = XPathNumber(context, "number(" + at + "/@y)");
      const double width = 6.2 * static_cast<double>(std::count_if(name.begin(), name.end(), [](char ch) {
                             return (static_cast<unsigned char>(ch) & 0xC0) != 0x80;  // characters, not bytes
                           }));
      for (const auto& [left, baseline, right] : boxes)
        EXPECT_FALSE(x < right && left < x + width && std::fabs(y - baseline) < 11) << pair << ": " << name;
      boxes.push_back({x, y, x + width});
    }
    const std::string forest = "//s:svg[contains(@class,'forest')][@data-pair='" + std::string(pair) + "']";
    EXPECT_EQ(XPathNumber(context, "count(" + forest + "/s:g/s:circle)"), 20);
    // Each gene's name stands on its row, ending just left of the plot.
    EXPECT_EQ(XPathNumber(context, "count(" + forest +
                                       "/s:g[s:circle][number(s:text/@y) - 4 != number(s:circle/@cy) or "
                                       "s:text/@text-anchor != 'end' or number(s:text/@x) < 150])"),
              0);
    calls += called[pair];
  }
  EXPECT_GT(calls, 0) << "the simulated changes should give called contrasts";

  // Genes that need a look (a bulk or tail ESS below 400 at a node or pair, or an R-hat above 1.01 at a
  // node: not converged; or not acceptable): counted, the first 20 listed.
  std::map<std::string, bool> flagged, unconverged, notAcceptable;
  auto low = [](const std::string& ess) { return !(std::stod(ess) >= 400); };
  for (const std::map<std::string, std::string>& c : TableRows(ReadFile(dir + "/one/x.nodes.tsv"))) {
    if (c.at("status") != "estimated") continue;
    const std::string& gene = c.at("gene_id");
    unconverged[gene] = unconverged[gene] || low(c.at("ess_bulk")) || low(c.at("ess_tail")) ||
                        !(std::stod(c.at("rhat")) <= 1.01);
    notAcceptable[gene] = c.at("acceptable") == "FALSE";
  }
  for (const std::map<std::string, std::string>& c : TableRows(ReadFile(dir + "/one/x.contrasts.tsv")))
    unconverged[c.at("gene_id")] = unconverged[c.at("gene_id")] || low(c.at("ess_bulk")) || low(c.at("ess_tail"));
  size_t needLook = 0, stuck = 0, refused = 0;
  for (const auto& [gene, no] : notAcceptable)
    needLook += unconverged[gene] || no, stuck += unconverged[gene], refused += no;
  EXPECT_GT(needLook, 0u) << "short chains should leave some genes to look at";
  EXPECT_NE(page.find(std::to_string(needLook) + (needLook == 1 ? " needs" : " need") + " a look: " +
                      std::to_string(stuck) + " with a bulk or tail ESS below 400 or an R-hat above 1.01 (not "
                      "converged), " + std::to_string(refused) + " not acceptable."),
            std::string::npos);
  EXPECT_EQ(XPathNumber(context, "count(//h:table[@class='flagged']/h:tr[h:td])"), std::min<size_t>(needLook, 20));
  xmlXPathFreeContext(context);
  xmlFreeDoc(doc);

  // Two shards, each run as its own file with -n: telvo-rank draws the same page from their tables.
  std::vector<std::string> rankArgs = {"-o", "top.tsv", "--report", "shards.html"};
  for (size_t shard = 0, row = 3; row < lines.size(); ++shard, row += 70) {
    std::string sub = dir + "/s" + std::to_string(shard);
    std::filesystem::create_directories(sub);
    WriteFile(sub + "/" + input, Joined(lines, 0, 3) + Joined(lines, row, row + 70));
    ASSERT_EQ(RunProgram(sub, With(Quick, {"-n", std::to_string(row - 2), "--out", "x", input})).Status, 0);
    rankArgs.push_back("s" + std::to_string(shard) + "/x.contrasts.tsv");
  }
  ProgramRun rank = RunExecutable(TELVO_RANK_BINARY, dir, rankArgs);
  ASSERT_EQ(rank.Status, 0) << rank.Out;
  EXPECT_EQ(Timeless(ReadFile(dir + "/shards.html")), Timeless(page));
  EXPECT_NE(page.find("<tr class=\"time\"><th>Time used</th>"), std::string::npos);

  // A shard run with other settings is refused, and nothing is written.
  ASSERT_EQ(RunProgram(dir + "/s1", With(Quick, {"-n", "71", "-b", "301", "--out", "x", input})).Status, 0);
  rank = RunExecutable(TELVO_RANK_BINARY, dir, {"--report", "bad.html", "s0/x.contrasts.tsv", "s1/x.contrasts.tsv"});
  EXPECT_EQ(rank.Status, 1);
  EXPECT_FALSE(FileExistsOnDisk(dir + "/bad.html"));
}

TEST(Report, RendersInHeadlessChromium) {
  if (std::system("command -v chromium >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "chromium is not installed (apt-get install chromium; .ci/run installs it)";
  Scratch scratch;
  const std::string& dir = scratch.Dir;
  std::vector<std::string> lines = SimulatedLines(300);
  WriteFile(dir + "/x.txt", Joined(lines, 0, lines.size()));
  ASSERT_EQ(RunProgram(dir, With(Quick, {"--out", "x", "x.txt"})).Status, 0);

  const std::string browser = "cd '" + dir +
                              "' && timeout 120 chromium --headless --no-sandbox --disable-gpu "
                              "--disable-quic --no-first-run --disable-background-networking "
                              "--disable-component-update --disable-sync --user-data-dir=profile "
                              "--enable-logging=stderr --v=0 --window-size=1280,2000 ";
  int shot =
      std::system((browser + "--screenshot=shot.png file://" + dir + "/x.report.html 2>log.txt >/dev/null").c_str());
  int dump = std::system((browser + "--dump-dom file://" + dir + "/x.report.html 2>>log.txt >dom.html").c_str());
  ASSERT_EQ(shot, 0) << ReadFile(dir + "/log.txt");
  ASSERT_EQ(dump, 0) << ReadFile(dir + "/log.txt");

  // The browser logged no console message (a script error, a blocked load) and built every plot.
  std::string log = ReadFile(dir + "/log.txt");
  EXPECT_EQ(log.find("CONSOLE"), std::string::npos) << log;
  std::string dom = ReadFile(dir + "/dom.html");
  auto count = [&](const std::string& what) {
    size_t n = 0;
    for (size_t at = dom.find(what); at != std::string::npos; at = dom.find(what, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("class=\"plot volcano\""), 6u);
  EXPECT_EQ(count("class=\"plot forest\""), 6u);
  EXPECT_EQ(count("class=\"plot histogram\""), 4u);

  // The picture is not blank: much of it is drawn, in the colours of up and down calls among others.
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&image, (dir + "/shot.png").c_str()));
  image.format = PNG_FORMAT_RGB;
  std::vector<png_byte> pixels(PNG_IMAGE_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr));
  EXPECT_EQ(image.width, 1280u);
  size_t drawn = 0, vermillion = 0, blue = 0;
  for (size_t i = 0; i + 2 < pixels.size(); i += 3) {
    int r = pixels[i], g = pixels[i + 1], b = pixels[i + 2];
    drawn += r + g + b < 720;
    vermillion += r > 190 && g > 70 && g < 120 && b < 40;
    blue += r < 30 && g > 90 && g < 140 && b > 160;
  }
  EXPECT_GT(drawn, pixels.size() / 3 / 50) << "the screenshot is nearly blank";
  EXPECT_GT(vermillion, 20u);
  EXPECT_GT(blue, 20u);
}
