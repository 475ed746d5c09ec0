// A run resumed after a stop. With -j every gene depends only on its data, the seed and its number, so a
// run stopped after gene k, however it stopped, can go on from gene k + 1 and end as if it never had:
// the result file is written last for every gene, so the genes it holds are whole in every file.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "run/Run.h"

namespace telvo {
namespace {

std::string RecordName(const RunSettings& s) { return s.OutPrefix + ".resume"; }

// What a resumed run must share with the run it goes on with: every setting, the input and its bytes.
RunRows Record(const RunState& run) {
  RunRows rows;
  for (const auto& row : RunSettingsRows(run.Design, run.Settings))
    if (row.first != "threads") rows.push_back(row);  // no output depends on the worker count
  char checksum[32];
  std::snprintf(checksum, sizeof checksum, "%016" PRIx64, Checksum(run.Design.DatFile.Bytes));
  rows.emplace_back("input_bytes", std::to_string(run.Design.DatFile.Bytes.size()));
  rows.emplace_back("input_checksum", checksum);
  return rows;
}

void RefuseAnotherRun(const RunState& run) {
  const std::string name = RecordName(run.Settings);
  std::string text;
  if (!ReadWholeFile(name, text).empty())
    OopsBecause("T.E.L.V.O. has no run to resume: there is no\n" + name +
                    "\nThe run ended normally, or it stopped before its first gene: start it again.",
                "nothing to resume: no '" + name + "' (the run ended normally, or stopped before its first gene)");
  RunRows earlier = ReadRunTable({name, text}), now = Record(run);
  for (const auto& [key, value] : now) {
    std::string was = RunValue(earlier, key);
    if (was == value) continue;
    std::string hint = key == "seed" ? " (give the stopped run's seed with -r " + was + ")" : "";
    OopsBecause("T.E.L.V.O. will not resume a run of other settings or input: " + key + " is " + was +
                    " in the stopped run and " + value + " now" + hint + ".",
                "will not resume: " + key + " is '" + was + "' in the stopped run and '" + value + "' now" + hint);
  }
}

// Length of text through its first lines lines; npos when it has fewer.
size_t LengthOfLines(const std::string& text, size_t lines) {
  size_t at = 0;
  for (size_t line = 0; line < lines; ++line) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) return std::string::npos;
    at = end + 1;
  }
  return at;
}

// The genes the result file holds: its header, then whole rows; a row cut short is not one.
size_t GenesHeld(const RunState& run) {
  const OutputFile& result = run.Output.Result;
  std::string text = ReadOutputFile(result), header = ResultHeader(run.Design, run.Settings);
  const size_t shared = std::min(text.size(), header.size());
  if (text.compare(0, shared, header, 0, shared) != 0)
    Oops("T.E.L.V.O. will not resume: the result file\n" + result.Name + "\nis not the stopped run's.");
  size_t genes = 0;
  for (size_t at = header.size(); at < text.size(); ++at) genes += text[at] == '\n';
  return genes;
}

// The result file back to its header and the genes it holds whole; without a gene, the header waits.
void CutResult(RunState& run, size_t genes) {
  OutputFile& result = run.Output.Result;
  const std::string header = ResultHeader(run.Design, run.Settings);
  if (genes == 0) {
    CutOutputFile(result, 0);
    result.Header = header;
    return;
  }
  std::string text = ReadOutputFile(result);
  CutOutputFile(result, static_cast<long long>(header.size() + LengthOfLines(text.substr(header.size()), genes)));
}

void CutLines(OutputFile& file, size_t lines) {
  size_t length = LengthOfLines(ReadOutputFile(file), lines);
  if (length == std::string::npos)
    Oops("T.E.L.V.O. cannot resume: the output file\n" + file.Name + "\nholds fewer genes than the result file.");
  CutOutputFile(file, static_cast<long long>(length));
}

// The tables back to the genes held, and their rows kept for the end of the run.
void CutTables(RunState& run, size_t genes) {
  const long n = run.Design.NumExpressionNodes;
  OutputFile& nodes = run.Output.Extra[NodesOutput];
  std::string text = ReadOutputFile(nodes);
  size_t length = TableLengthOfRows({nodes.Name, text}, genes * n);
  ReadNodesTable({nodes.Name, text.substr(0, length)}, run.NodeRows);
  CutOutputFile(nodes, static_cast<long long>(length));
  size_t estimated = 0;
  for (size_t k = 0; k < run.NodeRows.size(); k += n) estimated += run.NodeRows[k].Status == GeneStatus::Estimated;
  OutputFile& contrasts = run.Output.Extra[ContrastsOutput];
  text = ReadOutputFile(contrasts);
  length = TableLengthOfRows({contrasts.Name, text}, estimated * n * (n - 1) / 2);
  if (estimated > 0) ReadContrastsTables({{contrasts.Name, text.substr(0, length)}}, run.ContrastRows);
  CutOutputFile(contrasts, static_cast<long long>(length));
}

// The counts of the genes held, as their commits left them.
void CountHeld(RunState& run) {
  const size_t n = run.Design.NumExpressionNodes;
  for (size_t k = 0; k < run.NodeRows.size(); k += n) {
    const NodeRow& row = run.NodeRows[k];
    ++run.Counts.Read;
    switch (row.Status) {
      case GeneStatus::Estimated: ++run.Counts.Estimated, run.Counts.Acceptable += row.Acceptable; break;
      case GeneStatus::NotConnected: ++run.Counts.NotConnected; break;
      case GeneStatus::TooFewData: ++run.Counts.TooFewData; break;
    }
  }
}

// The input read past the genes held; their chain files' names taken again, so that later ones are as
// an uninterrupted run names them.
void SkipGenes(RunState& run, size_t genes) {
  GeneJob& job = run.Job;
  PrepareJob(job, run.Settings, run.Design.NumExpressionNodes);
  for (size_t k = 0; k < genes; ++k) {
    RowRead read = ReadGeneRow(run.Design.DatFile, run.Design, job.Gene);
    if (read.Problem) throw *read.Problem;
    JudgeGeneData(run.Design, run.Settings.ConstrainedVCV, job.Gene);
    if (run.Settings.FullOutput && job.Gene.IrreducibleMatrix && job.Gene.EnoughData)
      AssignChainFileName(run.Design, run.Settings, run.Output, job.Gene, job.Chain);
  }
}

}  // namespace

void WriteResumeRecord(const RunState& run) {
  std::string problem = WriteWholeFile(RecordName(run.Settings), RunTableText(Record(run)));
  if (!problem.empty()) OopsBecause("T.E.L.V.O. could not write\n" + RecordName(run.Settings), problem);
}

void RemoveResumeRecord(const RunState& run) { std::remove(RecordName(run.Settings).c_str()); }

void ResumeRun(RunState& run) {
  RefuseAnotherRun(run);
  OutputFiles& out = run.Output;
  const size_t genes = GenesHeld(run);
  for (size_t i = 1; i < out.PValue.size(); ++i) CutLines(out.PValue[i], genes + 1);
  CutTables(run, genes);
  CutResult(run, genes);
  CountHeld(run);
  SkipGenes(run, genes);
  std::fprintf(stderr, "telvo: resuming after gene %ld: the files hold its %zu genes\n",
               run.Settings.FirstGene + static_cast<long>(genes) - 1, genes);
}

}  // namespace telvo
