// The run driver: start-up on one of two roads, the per-gene loop and the end of the run.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "estimation/Estimation.h"
#include "input/Input.h"
#include "output/Output.h"
#include "run/Run.h"
#include "settings/Settings.h"
#include "tables/Tables.h"

namespace telvo {

static void* volatile MemoryProbe;  // keeps the trial block from being optimised away

bool IsMemoryEnough(RunState& run) {
  const size_t bytes = 400000000;
  MemoryProbe = std::malloc(bytes);
  if (!MemoryProbe) {
    WriteLine(run.Con, "Not enough memory. Program halt...");
    return false;
  }
  std::free(MemoryProbe);
  MemoryProbe = nullptr;
  WriteLine(run.Con, "Checking memory: " + std::to_string(bytes) + " Byte [OK]");
  return true;
}

void SetParametersCLI(RunState& run) {
  run.InteractiveFlag = false;
  TakeLongOptions(run);
  IntroCLI(run);
  VerifyFileHeader(run);
  SetOptionsCLI(run);
}

void SetParametersInteractive(RunState& run) {
  Intro(run);
  VerifyFileHeader(run);
  SetOptions(run);
}

void EndShortRows(GeneWork& work, int numNodes) {
  work.Out.ResultData += "\n";
  for (int i = 1; i <= numNodes; ++i) work.Out.PValueRows[i] += "\n";
}

void CommitGene(RunState& run, GeneWork& work) {
  RunCounters& c = run.Counters;
  const CurrentGene& g = work.Gene;
  ++c.Tally;
  if (g.IrreducibleMatrix && g.EnoughData) {
    ++c.Estimated;
    c.Acceptable += work.Summary.Acceptable;
  } else {
    ++(g.IrreducibleMatrix ? c.TooFewData : c.NotConnected);
  }
  if (run.Settings.Tables) AppendTableRows(run.Design, work);
  WriteGeneRows(run, work);
  WriteLine(run.Con, "Genes Examined:\t" + IntegerToString(run.Counters.Tally));
  WriteLine(run.Con, "");
  FlushConsole();
  if (ConsoleFailed()) Oops(ConsoleFailedMessage(run.Counters.Tally));
  AdvanceProgress(run);
}

std::string ConsoleFailedMessage(long genes) {
  return "T.E.L.V.O. could not write to its console (standard output) and stopped after " + IntegerToString(genes) +
         " genes; their rows are in the output files.";
}

// A closed standard stream would lend its number to the first output file, and console text would
// land among the results.
static void KeepStandardStreamsOpen() {
  for (int fd = 0; fd <= 2; ++fd)
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);  // the lowest free number: fd
      if (opened > fd) {
        dup2(opened, fd);
        close(opened);
      }
    }
}

void ProcessGenes(RunState& run) {
  if (run.Settings.Threads > 0) return ProcessGenesParallel(run);
  const InputDesign& d = run.Design;
  const RunSettings& s = run.Settings;
  const int n = d.NumExpressionNodes;
  GeneWork& work = run.Work;
  PrepareGene(work.Gene, n, d.NumHybs);
  PrepareChains(work, n, s.ChainSampleSize, s.ConstrainedVCV, s.Tables);
  if (s.Tables) PrepareSummaries(work.Summary, n);
  work.Steps = StepSizes{s.MuStepSize, s.VCVStepSize, 0, 0.0, 0.0};
  work.Out.PValueRows.assign(n + 1, "");
  run.Counters.Tally = 0;
  do {
    LoadGeneDataIntoMatrix(run, work);
    if (work.Gene.IrreducibleMatrix && work.Gene.EnoughData) {
      if (s.FullOutput) AssignChainFileName(run, work);
      MCMCIt(d, s, work);
    } else {
      EndShortRows(work, n);
    }
    CommitGene(run, work);
  } while (!OnlyEmptyLinesLeft(run.Design.DatFile));
}

void Finish(RunState& run) {
  CloseOutputFiles(run);
  if (run.InteractiveFlag) {
    Write(run.Con, "\nPress RETURN when ready.");
    std::string line;
    ReadLine(line);  // the end of input is as good as RETURN here
  }
}

// What the files hold stays: every finished gene; the rows of the gene that stopped the run are
// left out, so the result file and the p-value files hold the same genes.
static int StopRun(RunState& run, const RunStop& stop) {
  if (run.Work.ChainFile) std::fclose(run.Work.ChainFile);
  run.Work.ChainFile = nullptr;
  try {
    CloseOutputFiles(run);
  } catch (const RunStop&) {
  }
  ReportStop(run, stop);
  return stop.Status;
}

int RunTelvo(int argc, char** argv) {
  KeepStandardStreamsOpen();
  std::signal(SIGPIPE, SIG_IGN);  // a closed console is reported like any other output failure
  RunState run;
  for (int i = 1; i < argc; ++i) run.Args.push_back(argv[i]);
  // Questions about the program are answered before anything of a run is printed.
  InfoRequest request = FindInfoRequest(run.Args);
  if (request == InfoRequest::Help) Write(run.Con, UsageText());
  if (request == InfoRequest::Version) WriteLine(run.Con, "telvo " TELVO_VERSION);
  if (request != InfoRequest::None) {
    FlushConsole();
    return 0;
  }
  if (!IsMemoryEnough(run)) {
    ReportFailure(RunStop{"", 1, "not enough memory: a trial block of 400000000 bytes was refused"});
    return 1;
  }
  run.Counters.StartTime = std::chrono::steady_clock::now();
  run.Counters.StartClock = std::time(nullptr);
  SetGlobals(run.Settings);
  try {
    if (argc > 1)
      SetParametersCLI(run);
    else
      SetParametersInteractive(run);
    StartProgress(run);
    ProcessGenes(run);
    ClearStatusLine();
    std::chrono::duration<double> used = std::chrono::steady_clock::now() - run.Counters.StartTime;
    if (run.Settings.Tables) WriteEndTables(run, used.count());
    Finish(run);
    WriteLine(run.Con, "Time used: " + ElapsedText(used.count()));
    FlushConsole();
    if (ConsoleFailed()) Oops(ConsoleFailedMessage(run.Counters.Tally));
  } catch (const RunStop& stop) {
    return StopRun(run, stop);
  } catch (const std::bad_alloc&) {
    return StopRun(run, RunStop{"Not enough memory. Program halt...", 1});
  }
  FlushConsole();
  return 0;
}

}  // namespace telvo
