// The run table: the run's settings and counts as key/value rows, and the run tables of shards joined.
#include <cstdio>
#include <ctime>
#include <set>

#include "tables/Tables.h"

namespace telvo {
namespace {

// Keys of the run table that each shard has for itself; the rest are settings every shard shares.
const std::set<std::string> CountKeys = {"genes_read",   "estimated", "acceptable",
                                         "not_connected", "too_few_data", "negative_ratios", "shards"};
const std::set<std::string> ShardKeys = {"input_file", "output_prefix", "result_file", "threads",
                                         "first_gene", "start_time",    "end_time",    "time_used"};

constexpr long long MostCount = 1LL << 50;  // far above any count of genes, far below an overflow

// A count of a run table: a whole number from 0 to MostCount.
long long Whole(const std::string& key, const std::string& text, const std::string& which) {
  double value = -1;
  if (!ParseStrictReal(text, value) || value < 0 || value > MostCount || value != static_cast<long long>(value))
    Refuse(which + ": " + key + " '" + text + "' is not a count");
  return static_cast<long long>(value);
}

// Seconds of an hh:mm:ss time, hours from 0 to a million.
long long Seconds(const std::string& hms, const std::string& which) {
  int used = 0;
  long long h = -1, m = -1, s = -1;
  if (std::sscanf(hms.c_str(), "%lld:%2lld:%2lld%n", &h, &m, &s, &used) != 3 || used != static_cast<int>(hms.size()) ||
      h < 0 || h > 1000000 || m < 0 || m > 59 || s < 0 || s > 59)
    Refuse(which + ": time_used '" + hms + "' is not a time hh:mm:ss");
  return h * 3600 + m * 60 + s;
}

// Shard s starts at the gene after the last of shard s - 1, so that the shards are one split of one file.
void RefuseAGap(const RunRows& before, const RunRows& shard, const std::string& which) {
  long long next = Whole("first_gene", RunValue(before, "first_gene"), which) +
                   Whole("genes_read", RunValue(before, "genes_read"), which);
  long long first = Whole("first_gene", RunValue(shard, "first_gene"), which);
  if (first != next)
    Refuse(which + " begins at gene " + std::to_string(first) + " where the shard before it ends before gene " +
           std::to_string(next) + ": the shards are not one split of one file");
}

std::string LocalTime(std::time_t when) {
  char text[32];
  std::tm local{};
  localtime_r(&when, &local);
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  return text;
}

std::string RealList(const NodeReals& values, int count) {
  std::string list;
  for (int i = 1; i <= count; ++i) list += (i > 1 ? "," : "") + TableReal(values[i]);
  return list;
}

}  // namespace

RunRows RunSettingsRows(const InputDesign& d, const RunSettings& s) {
  const int n = d.NumExpressionNodes;
  return {
      {"program", "telvo"},
      {"version", TELVO_VERSION},
      {"input_file", d.FileName},
      {"output_prefix", s.OutPrefix},
      {"result_file", s.ResultFileName},
      {"error_model", ModelCode(s.Model)},
      {"error_terms", s.ConstrainedVCV ? "shared" : "separate"},
      {"initial_mu", RealList(s.InitialMu, n)},
      {"initial_error_terms", RealList(s.InitialVCV, n)},
      {"mu_step_size", TableReal(s.MuStepSize)},
      {"error_step_size", TableReal(s.VCVStepSize)},
      {"burn_in", std::to_string(s.BurnIn)},
      {"sampling_period", std::to_string(s.SamplingPeriod)},
      {"samples", std::to_string(s.ChainSampleSize)},
      {"max_tuning_passes", std::to_string(s.MaxTuningDepth)},
      {"full_output", TableBool(s.FullOutput)},
      {"seed", std::to_string(s.SeedUsed)},
      {"threads", s.Threads > 0 ? std::to_string(s.Threads) : "NA"},
      {"first_gene", std::to_string(s.FirstGene)},
      {"fdr", TableReal(s.Fdr)},
      {"min_log2", s.MinLog2 >= 0 ? TableReal(s.MinLog2) : "NA"},
  };
}

RunRows RunTableRows(const InputDesign& d, const RunSettings& s, const GeneCounts& c, std::time_t start,
                     std::time_t end, double secondsUsed) {
  RunRows rows = RunSettingsRows(d, s);
  RunRows counts = {
      {"genes_read", std::to_string(c.Read)},
      {"estimated", std::to_string(c.Estimated)},
      {"acceptable", std::to_string(c.Acceptable)},
      {"not_connected", std::to_string(c.NotConnected)},
      {"too_few_data", std::to_string(c.TooFewData)},
      {"negative_ratios", std::to_string(c.NegativeRatios)},
      {"start_time", LocalTime(start)},
      {"end_time", LocalTime(end)},
      {"time_used", ElapsedText(secondsUsed)},
  };
  rows.insert(rows.end(), counts.begin(), counts.end());
  return rows;
}

RunRows CallRows(const std::vector<PairCalls>& pairs, const std::vector<GeneRow>& genes, long notConverged) {
  long called = 0;
  for (const GeneRow& g : genes) called += g.Called;
  RunRows rows = {{"genes_called", std::to_string(called)}, {"not_converged", std::to_string(notConverged)}};
  for (const PairCalls& p : pairs) {
    rows.emplace_back("pi0:" + p.NodeA + "/" + p.NodeB, TableReal(p.Pi0));
    rows.emplace_back("called:" + p.NodeA + "/" + p.NodeB, std::to_string(p.Called));
  }
  return rows;
}

// The rows CallRows adds: made again over all shards, never joined.
static bool IsCallKey(const std::string& key) {
  return key == "genes_called" || key == "not_converged" || key.rfind("pi0:", 0) == 0 || key.rfind("called:", 0) == 0;
}

std::string RunTableText(const RunRows& run) {
  std::string text = "key\tvalue\n";
  for (const auto& [key, value] : run)
    text += TableText(key) + "\t" + TableText(value) + "\n";  // a node name holds any text
  return text;
}

std::string RunValue(const RunRows& run, std::string_view key) {
  for (const auto& [k, value] : run)
    if (k == key) return value;
  return "";
}

RunRows CombineRunTables(const std::vector<RunRows>& tables, const std::string& input, const std::string& prefix) {
  if (tables.empty()) Refuse("no run table");
  std::vector<RunRows> shards = tables;
  for (RunRows& shard : shards) std::erase_if(shard, [](const auto& row) { return IsCallKey(row.first); });
  RunRows out = shards[0];
  for (size_t s = 1; s < shards.size(); ++s) {
    const RunRows& shard = shards[s];
    std::string which = "shard " + std::to_string(s + 1);
    if (shard.size() != out.size()) Refuse(which + " has other run-table keys than shard 1");
    RefuseAGap(shards[s - 1], shard, which);
    for (size_t k = 0; k < out.size(); ++k) {
      auto& [key, value] = out[k];
      const std::string& other = shard[k].second;
      if (shard[k].first != key) Refuse(which + " has other run-table keys than shard 1");
      if (CountKeys.count(key)) {
        value = std::to_string(Whole(key, value, "shard 1") + Whole(key, other, which));
      } else if (key == "time_used") {
        value = ElapsedText(static_cast<double>(Seconds(value, "shard 1") + Seconds(other, which)));
      } else if (key == "start_time" || key == "end_time") {  // local times, as text in their order
        value = (key == "start_time") == (other < value) ? other : value;
      } else if (!ShardKeys.count(key) && other != value) {
        Refuse("the shards were not run with the same settings: " + key + " is " + value + " in shard 1 and " + other +
               " in " + which);
      }
    }
  }
  for (auto& [key, value] : out) {
    std::string last = RunValue(shards.back(), key);
    if (key == "input_file" && !input.empty()) value = input;
    else if (key == "input_file" && last != value)
      value += " ... " + last + " (" + std::to_string(shards.size()) + " shards)";
    if (key == "output_prefix" && !prefix.empty()) value = prefix;
    if (key == "result_file" && !prefix.empty()) value = prefix + ".TER";
  }
  if (RunValue(out, "shards").empty()) out.emplace_back("shards", std::to_string(shards.size()));
  return out;
}

}  // namespace telvo
