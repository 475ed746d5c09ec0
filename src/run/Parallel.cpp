// Independent genes (-j N): every gene has its own random stream and starts from the settings' step
// sizes, so genes can run on N worker threads and the output does not depend on N.
//
// The main thread reads rows into free slots (the chain file names are assigned there, in gene
// order), hands estimable genes to the workers and commits finished slots strictly in gene order:
// console text, result row, p-value rows, progress line. A window of 2N slots bounds what is held.
// A stop met while reading a row, or carried back from a worker, is raised when that gene's turn
// comes, after every earlier gene has been committed, so the files end as a one-stream run leaves them.
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>

#include "estimation/Estimation.h"
#include "input/Input.h"
#include "output/Output.h"
#include "run/Run.h"

namespace telvo {

namespace {

struct GeneSlot {
  GeneWork Work;                 // gene data, rows and console text; chain stores lent by a worker
  long Number = 0;               // gene number g
  bool Estimable = false;        // goes to a worker
  bool Started = false;          // a worker took it up
  bool Done = false;             // ready to commit
  std::optional<RunStop> Stop;   // raised inside the estimation
};

// What the main thread and the workers share, always under Lock.
struct SlotQueue {
  std::mutex Lock;
  std::condition_variable Changed;
  std::deque<GeneSlot*> Waiting;  // handed over, not yet taken up
  bool Quit = false;              // no more genes come
};

// Chain stores and pass state of one worker, lent to the slot it estimates.
struct WorkerStores {
  ChainStore Chains;
  SamplerState Pass;
};

void EstimateSlot(const InputDesign& d, const RunSettings& s, GeneSlot& slot, WorkerStores& own) {
  GeneWork& w = slot.Work;
  std::swap(w.Chains, own.Chains);
  std::swap(w.Pass, own.Pass);
  SeedRandom(w.Random, GeneSeed(s.SeedUsed, slot.Number));
  w.Steps = StepSizes{s.MuStepSize, s.VCVStepSize, 0, 0.0, 0.0};
  try {
    MCMCIt(d, s, w);
  } catch (const RunStop& stop) {
    slot.Stop = stop;
  } catch (const std::bad_alloc&) {
    slot.Stop = RunStop{"Not enough memory. Program halt...", 1};
  }
  if (slot.Stop && w.ChainFile) std::fclose(w.ChainFile);
  if (slot.Stop) w.ChainFile = nullptr;
  std::swap(w.Chains, own.Chains);
  std::swap(w.Pass, own.Pass);
}

// Sized on the main thread before any worker starts, so that a lack of memory stops the run there.
WorkerStores SizedStores(const InputDesign& d, const RunSettings& s) {
  GeneWork sizing;  // PrepareChains sizes the stores of a GeneWork; keep only those
  PrepareChains(sizing, d.NumExpressionNodes, s.ChainSampleSize, s.ConstrainedVCV, s.Tables);
  return WorkerStores{std::move(sizing.Chains), std::move(sizing.Pass)};
}

void WorkerLoop(const InputDesign& d, const RunSettings& s, SlotQueue& q, WorkerStores& own) {
  for (;;) {
    GeneSlot* slot;
    {
      std::unique_lock<std::mutex> hold(q.Lock);
      q.Changed.wait(hold, [&] { return q.Quit || !q.Waiting.empty(); });
      if (q.Quit) return;  // stopping: genes not taken up are dropped
      slot = q.Waiting.front();
      q.Waiting.pop_front();
      slot->Started = true;
    }
    EstimateSlot(d, s, *slot, own);
    {
      std::lock_guard<std::mutex> hold(q.Lock);
      slot->Done = true;
    }
    q.Changed.notify_all();
  }
}

// Stops and joins the workers on every way out of the loop. Chain files of genes after the last
// committed one are removed: a one-stream run would not have reached them.
struct Workers {
  SlotQueue& Queue;
  std::vector<std::thread> Threads;
  std::deque<GeneSlot*>& InFlight;
  ~Workers() {
    {
      std::lock_guard<std::mutex> hold(Queue.Lock);
      Queue.Quit = true;
    }
    Queue.Changed.notify_all();
    for (std::thread& t : Threads) t.join();
    for (GeneSlot* slot : InFlight)
      if (slot->Started && !slot->Work.ChainFileName.empty()) std::remove(slot->Work.ChainFileName.c_str());
  }
};

// Prints a slot's console text; a stop it carries is raised as in the one-stream loop, its gene's
// rows left out.
void RaiseIfStopped(RunState& run, GeneSlot& slot, const std::optional<RunStop>& stop) {
  Write(run.Con, slot.Work.Con.Text);
  slot.Work.Con.Text.clear();
  if (!stop) return;
  slot.Work.ChainFileName.clear();  // its own chain file stays, as it would
  throw *stop;
}

void Commit(RunState& run, GeneSlot& slot) {
  RaiseIfStopped(run, slot, slot.Stop);
  CommitGene(run, slot.Work);
}

}  // namespace

void ProcessGenesParallel(RunState& run) {
  const InputDesign& d = run.Design;
  const RunSettings& s = run.Settings;
  const int n = d.NumExpressionNodes;
  const int workers = s.Threads;
  std::vector<WorkerStores> stores;  // outlives the workers that use them
  for (int i = 0; i < workers; ++i) stores.push_back(SizedStores(d, s));
  std::vector<GeneSlot> slots(2 * static_cast<size_t>(workers));
  std::vector<GeneSlot*> free;
  for (GeneSlot& slot : slots) {
    PrepareGene(slot.Work.Gene, n, d.NumHybs);
    slot.Work.Out.PValueRows.assign(n + 1, "");
    if (s.Tables) PrepareSummaries(slot.Work.Summary, n);
    slot.Work.Con.Buffered = true;
    slot.Work.CarryOverSteps = false;
    free.push_back(&slot);
  }
  std::string header = std::move(run.Work.Out.ResultData);  // reaches the file with the first row
  run.Work.Out.ResultData.clear();
  run.Counters.Tally = 0;

  SlotQueue q;
  std::deque<GeneSlot*> inFlight;  // in gene order
  Workers pool{q, {}, inFlight};
  try {
    for (int i = 0; i < workers; ++i)
      pool.Threads.emplace_back(WorkerLoop, std::cref(d), std::cref(s), std::ref(q), std::ref(stores[i]));
  } catch (const std::system_error&) {
    throw RunStop{"T.E.L.V.O. could not start " + std::to_string(workers) + " worker threads.", 1};
  }

  // Commits the oldest gene, waiting for it when wait is set; false when it is not done yet.
  auto commitOldest = [&](bool wait) {
    GeneSlot* head = inFlight.front();
    {
      std::unique_lock<std::mutex> hold(q.Lock);
      if (wait)
        q.Changed.wait(hold, [&] { return head->Done; });
      else if (!head->Done)
        return false;
    }
    Commit(run, *head);
    inFlight.pop_front();
    head->Done = head->Started = head->Estimable = false;
    head->Stop.reset();
    free.push_back(head);
    return true;
  };

  long number = s.FirstGene;
  do {
    if (free.empty()) commitOldest(true);
    GeneSlot* slot = free.back();
    free.pop_back();
    GeneWork& w = slot->Work;
    if (!header.empty()) std::swap(w.Out.ResultData, header);
    slot->Number = number++;
    try {
      LoadGeneDataIntoMatrix(run, w);
    } catch (const RunStop& stop) {
      while (!inFlight.empty()) commitOldest(true);
      RaiseIfStopped(run, *slot, stop);
    }
    slot->Estimable = w.Gene.IrreducibleMatrix && w.Gene.EnoughData;
    if (slot->Estimable && s.FullOutput) AssignChainFileName(run, w);
    inFlight.push_back(slot);
    if (slot->Estimable) {
      {
        std::lock_guard<std::mutex> hold(q.Lock);
        q.Waiting.push_back(slot);
      }
      q.Changed.notify_one();
    } else {
      EndShortRows(w, n);
      slot->Done = true;  // no worker touches it: no lock needed
    }
    while (!inFlight.empty() && commitOldest(false)) {
    }
  } while (!OnlyEmptyLinesLeft(run.Design.DatFile));
  while (!inFlight.empty()) commitOldest(true);
}

}  // namespace telvo
