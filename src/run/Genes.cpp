// The gene loop of a run without -j: one random stream, and the step sizes carried from gene to gene;
// and the stages every gene goes through, with or without -j.
#include "run/Run.h"

namespace telvo {

void PrepareJob(GeneJob& job, const RunSettings& s, int numNodes) {
  PrepareGene(job.Gene, numNodes);
  job.Rows.PValue.reserve(numNodes + 1);
  if (s.Tables) job.NodeRows.reserve(numNodes), job.ContrastRows.reserve(static_cast<size_t>(numNodes) * numNodes / 2);
}

// What a row may say of a mistake: log ratios, or an identifier that came before.
static void NoteGeneRow(RunState& run, const CurrentGene& g) {
  InputNotes& notes = run.Notes;
  run.Counts.NegativeRatios += g.NegativeRatios;
  if (g.NegativeRatios > 0 && notes.FirstNegative.empty()) notes.FirstNegative = g.GeneUniqueID;
  if (notes.Ids.insert(g.GeneUniqueID).second) return;
  if (notes.Repeats++ == 0) notes.FirstRepeat = g.GeneUniqueID;
}

void ReadGene(RunState& run, GeneJob& job) {
  const InputDesign& d = run.Design;
  const RunSettings& s = run.Settings;
  RowRead read = ReadGeneRow(run.Design.DatFile, d, job.Gene);
  WriteGeneOpening(job.Con, job.Gene, s.FullOutput, read.Reached);
  if (read.Problem) throw *read.Problem;
  NoteGeneRow(run, job.Gene);
  if (s.FullOutput) VerifyOrQuit(run.Con, run.InteractiveFlag, d.FileName);
  WriteComparisonMatrix(job.Con, d, job.Gene);
  JudgeGeneData(d, s.ConstrainedVCV, job.Gene);
  WriteGeneVerdict(job.Con, job.Gene);
  if (s.FullOutput) VerifyOrQuit(run.Con, run.InteractiveFlag, d.FileName);
  job.Estimable = job.Gene.IrreducibleMatrix && job.Gene.EnoughData;
}

// The gene's result and p-value rows and, with --out, its table rows.
static void MakeRows(const InputDesign& d, const RunSettings& s, GeneJob& job, const GeneEstimate* estimate) {
  FormatGeneRows(job.Gene, estimate, job.Rows);
  if (!s.Tables) return;
  job.NodeRows.clear(), job.ContrastRows.clear();
  GeneTableRows(d, job.Gene, job.Number, estimate, job.NodeRows, job.ContrastRows);
  job.NodeText.clear(), job.ContrastText.clear();
  for (const NodeRow& row : job.NodeRows) AppendNodeRow(job.NodeText, row);
  for (const ContrastRow& row : job.ContrastRows) AppendContrastRow(job.ContrastText, row);
}

void EstimateJob(const InputDesign& d, const RunSettings& s, GeneJob& job, SamplerWorkspace& work,
                 RandomStream& stream, StepSizes& steps, bool carryOver) {
  GeneSinkContext context{&d, &s, &job.Con, &job.Chain, &StopSignal};
  job.Estimate = MCMCIt(job.Gene, s, steps, stream, work, GeneSink(context));
  WriteEstimateLines(job.Con, d, s, job.Gene, job.Estimate);
  if (carryOver && CarryOverStepSizes(s, job.Estimate, steps)) WriteCarryOverLines(job.Con, steps);
  WriteSampledLine(job.Con, job.Estimate);
  MakeRows(d, s, job, &job.Estimate);
}

void MakeShortRows(const InputDesign& d, const RunSettings& s, GeneJob& job) { MakeRows(d, s, job, nullptr); }

void CommitGene(RunState& run, GeneJob& job) {
  GeneCounts& c = run.Counts;
  ++c.Read;
  switch (StatusOf(job.Gene)) {
    case GeneStatus::Estimated: ++c.Estimated, c.Acceptable += job.Estimate.Acceptable; break;
    case GeneStatus::NotConnected: ++c.NotConnected; break;
    case GeneStatus::TooFewData: ++c.TooFewData; break;
  }
  OutputFiles& out = run.Output;
  if (c.Read == 1) RemoveEndOutputs(out);  // an earlier run's ranking and run table go with its rows
  out.Pending.clear();
  for (size_t i = 1; i < out.PValue.size(); ++i) out.Pending.push_back({&out.PValue[i], &job.Rows.PValue[i]});
  if (run.Settings.Tables) {
    out.Pending.push_back({&out.Extra[NodesOutput], &job.NodeText});
    out.Pending.push_back({&out.Extra[ContrastsOutput], &job.ContrastText});
  }
  out.Pending.push_back({&out.Result, &job.Rows.Result});  // last: the result file commits the gene
  WriteRowsTogether(out.Pending);
  if (c.Read == 1 && run.Settings.Tables) WriteResumeRecord(run);  // once the earlier run's rows are gone
  if (run.Settings.Tables) {
    run.NodeRows.insert(run.NodeRows.end(), job.NodeRows.begin(), job.NodeRows.end());
    run.ContrastRows.insert(run.ContrastRows.end(), job.ContrastRows.begin(), job.ContrastRows.end());
  }
  WriteLine(run.Con, "Genes Examined:\t" + IntegerToString(c.Read));
  WriteLine(run.Con, "");
  FlushConsole();
  if (ConsoleFailed()) Oops(ConsoleFailedMessage(c.Read));
  AdvanceProgress(run);
  if (StopSignal) StopForSignal(run);
}

void ProcessGenes(RunState& run) {
  if (run.Settings.Threads > 0) return ProcessGenesParallel(run);
  const InputDesign& d = run.Design;
  const RunSettings& s = run.Settings;
  const int n = d.NumExpressionNodes;
  GeneJob& job = run.Job;
  PrepareJob(job, s, n);
  PrepareWorkspace(run.Work, n, s.ChainSampleSize, s.ConstrainedVCV, s.Tables);
  run.Steps = StepSizes{s.MuStepSize, s.VCVStepSize, 0, 0.0, 0.0};
  do {
    job.Number = s.FirstGene + run.Counts.Read;
    ReadGene(run, job);
    if (job.Estimable) {
      if (s.FullOutput) AssignChainFileName(d, s, run.Output, job.Gene, job.Chain);
      EstimateJob(d, s, job, run.Work, run.Random, run.Steps, true);
    } else {
      MakeShortRows(d, s, job);
    }
    CommitGene(run, job);
  } while (!OnlyEmptyLinesLeft(run.Design.DatFile));
}

}  // namespace telvo
