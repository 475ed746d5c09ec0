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
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>

#include "run/Run.h"

namespace telvo {

namespace {

struct GeneSlot {
  GeneJob Job;                   // the gene, its estimate, rows and console text
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

// What one worker estimates its genes in.
struct WorkerStores {
  SamplerWorkspace Work;  // chain stores and pass state
  RandomStream Random;    // the stream of the gene in hand
};

void EstimateSlot(const InputDesign& d, const RunSettings& s, GeneSlot& slot, WorkerStores& own) {
  SeedRandom(own.Random, GeneSeed(s.SeedUsed, slot.Job.Number));
  StepSizes steps{s.MuStepSize, s.VCVStepSize, 0, 0.0, 0.0};
  try {
    EstimateJob(d, s, slot.Job, own.Work, own.Random, steps, false);
  } catch (const RunStop& stop) {
    slot.Stop = stop;
  } catch (const std::bad_alloc&) {
    slot.Stop = RunStop{"Not enough memory. Program halt...", 1};
  }
  if (slot.Stop) AbandonChainFile(slot.Job.Chain);
}

// Sized on the main thread before any worker starts, so that a lack of memory stops the run there.
std::unique_ptr<WorkerStores> SizedStores(const InputDesign& d, const RunSettings& s) {
  auto stores = std::make_unique<WorkerStores>();
  PrepareWorkspace(stores->Work, d.NumExpressionNodes, s.ChainSampleSize, s.ConstrainedVCV, s.Tables);
  return stores;
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

// The genes in hand and the workers. The destructor stops and joins the workers on every way out of
// the loop; chain files of genes after the last committed one are removed: a one-stream run would
// not have reached them.
struct Pool {
  SlotQueue Queue;                                    // what the workers are handed
  std::vector<std::unique_ptr<WorkerStores>> Stores;  // one per worker, outliving it
  std::vector<GeneSlot> Slots;                        // 2N slots: what the run holds at once
  std::vector<GeneSlot*> Free;                        // slots not in use
  std::deque<GeneSlot*> InFlight;                     // slots in use, in gene order
  std::vector<std::thread> Threads;                   // the workers
  ~Pool() {
    {
      std::lock_guard<std::mutex> hold(Queue.Lock);
      Queue.Quit = true;
    }
    Queue.Changed.notify_all();
    for (std::thread& t : Threads) t.join();
    for (GeneSlot* slot : InFlight)
      if (slot->Started && !slot->Job.Chain.Name.empty()) std::remove(slot->Job.Chain.Name.c_str());
  }
};

// Stores and slots sized on the main thread, then the workers started.
void StartPool(Pool& pool, const InputDesign& d, const RunSettings& s) {
  const int workers = s.Threads;
  for (int i = 0; i < workers; ++i) pool.Stores.push_back(SizedStores(d, s));
  pool.Slots = std::vector<GeneSlot>(2 * static_cast<size_t>(workers));
  for (GeneSlot& slot : pool.Slots) {
    PrepareJob(slot.Job, s, d.NumExpressionNodes);
    slot.Job.Con.Buffered = true;
    pool.Free.push_back(&slot);
  }
  try {
    for (int i = 0; i < workers; ++i)
      pool.Threads.emplace_back(WorkerLoop, std::cref(d), std::cref(s), std::ref(pool.Queue),
                                std::ref(*pool.Stores[i]));
  } catch (const std::system_error&) {
    throw RunStop{"T.E.L.V.O. could not start " + std::to_string(workers) + " worker threads.", 1};
  }
}

// Prints a slot's console text; a stop it carries is raised as in the one-stream loop, its gene's
// rows left out.
void RaiseIfStopped(RunState& run, GeneSlot& slot, const std::optional<RunStop>& stop) {
  Write(run.Con, slot.Job.Con.Text);
  slot.Job.Con.Text.clear();
  if (!stop) return;
  slot.Job.Chain.Name.clear();  // its own chain file stays, as it would
  throw *stop;
}

// Commits the oldest gene, waiting for it when wait is set; false when it is not done yet.
bool CommitOldest(RunState& run, Pool& pool, bool wait) {
  GeneSlot* head = pool.InFlight.front();
  {
    std::unique_lock<std::mutex> hold(pool.Queue.Lock);
    if (wait)
      pool.Queue.Changed.wait(hold, [&] { return head->Done; });
    else if (!head->Done)
      return false;
  }
  RaiseIfStopped(run, *head, head->Stop);
  CommitGene(run, head->Job);
  pool.InFlight.pop_front();
  head->Done = head->Started = false;
  head->Stop.reset();
  pool.Free.push_back(head);
  return true;
}

// An estimable gene to the workers; another is ready to commit at once.
void HandOver(Pool& pool, const InputDesign& d, const RunSettings& s, GeneSlot& slot) {
  if (slot.Job.Estimable) {
    {
      std::lock_guard<std::mutex> hold(pool.Queue.Lock);
      pool.Queue.Waiting.push_back(&slot);
    }
    pool.Queue.Changed.notify_one();
  } else {
    MakeShortRows(d, s, slot.Job);
    slot.Done = true;  // no worker touches it: no lock needed
  }
}

}  // namespace

void ProcessGenesParallel(RunState& run) {
  const InputDesign& d = run.Design;
  const RunSettings& s = run.Settings;
  Pool pool;
  StartPool(pool, d, s);
  long number = s.FirstGene + run.Counts.Read;  // a resumed run goes on after the genes held
  do {
    if (pool.Free.empty()) CommitOldest(run, pool, true);
    GeneSlot* slot = pool.Free.back();
    pool.Free.pop_back();
    GeneJob& job = slot->Job;
    job.Number = number++;
    try {
      ReadGene(run, job);
    } catch (const RunStop& stop) {
      while (!pool.InFlight.empty()) CommitOldest(run, pool, true);
      RaiseIfStopped(run, *slot, stop);
    }
    if (job.Estimable && s.FullOutput) AssignChainFileName(d, s, run.Output, job.Gene, job.Chain);
    pool.InFlight.push_back(slot);
    HandOver(pool, d, s, *slot);
    while (!pool.InFlight.empty() && CommitOldest(run, pool, false)) {
    }
  } while (!OnlyEmptyLinesLeft(run.Design.DatFile));
  while (!pool.InFlight.empty()) CommitOldest(run, pool, true);
}

}  // namespace telvo
