// The run driver: start-up on one of two roads, the gene loop and the end of the run.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <ctime>
#include <new>

#include "run/Run.h"

namespace telvo {

const char* const TableExtensions[TableOutputCount] = {".nodes.tsv", ".contrasts.tsv", ".top.tsv",
                                                       ".genes.tsv", ".report.html",   ".run.tsv"};

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

// The header rows; a file whose first row is cut by commas or semicolons gets the advice it needs.
static void VerifyHeader(RunState& run) {
  try {
    VerifyFileHeader(run.Con, run.Design, run.InteractiveFlag);
  } catch (RunStop& stop) {
    if (const char* separator = OtherSeparator(run.Design.DatFile.Bytes))
      stop.Hint = std::string("the file looks ") + separator + "-separated: save it with TABs between the cells";
    throw;
  }
}

// A design no gene of which can be estimated runs as specified, each gene "not estimated"; the user
// hears why before the first gene.
static void WarnAboutDesign(const RunState& run) {
  for (const std::string& problem : DesignProblems(run.Design, run.Settings.ConstrainedVCV))
    std::fprintf(stderr, "telvo: warning: %s: no gene can be estimated\n", problem.c_str());
}

void SetParametersCLI(RunState& run) {
  run.InteractiveFlag = false;
  TakeLongOptions(run.Settings, run.Args);
  IntroCLI(run);
  VerifyHeader(run);
  SetOptionsCLI(run.Settings, run.Design, run.Args);
  WarnAboutDesign(run);
  OpenOutputs(run);
}

void SetParametersInteractive(RunState& run) {
  Intro(run);
  VerifyHeader(run);
  SetOptions(run.Con, run.Settings, run.Design);
  WarnAboutDesign(run);
  OpenOutputs(run);
}

void OpenOutputs(RunState& run) {
  FinalizeOptions(run.Con, run.Settings);
  SeedRandom(run.Random, run.Settings.SeedUsed);
  std::vector<ExtraOutput> tables;
  if (run.Settings.Tables) {
    tables.push_back({TableExtensions[NodesOutput], NodesHeader()});
    tables.push_back({TableExtensions[ContrastsOutput], ContrastsHeader()});
    for (int t = TopOutput; t < TableOutputCount; ++t) tables.push_back({TableExtensions[t], "", true});
  }
  CreateOutputFiles(run.Design, run.Settings, tables, run.Output);
  if (run.Settings.Resume) ResumeRun(run);
  for (const std::string& name : run.Output.Stale)
    std::fprintf(stderr, "telvo: warning: %s is an earlier run's p-value file, of a node this run does not have\n",
                 name.c_str());
}

void Finish(RunState& run) {
  CloseOutputFiles(run.Output);
  if (run.InteractiveFlag) {
    Write(run.Con, "\nPress RETURN when ready.");
    std::string line;
    ReadLine(line);  // the end of input is as good as RETURN here
  }
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

// What the files hold stays: every finished gene; the rows of the gene that stopped the run are
// left out, so the result file and the p-value files hold the same genes.
static int StopRun(RunState& run, const RunStop& stop) {
  AbandonChainFile(run.Job.Chain);
  try {
    CloseOutputFiles(run.Output);
  } catch (const RunStop&) {
  }
  ReportStop(run, stop);
  WarnAboutInput(run);
  return stop.Status;
}

// -q: the file and the settings are checked and the output files open; nothing more.
static int EndDryRun(RunState& run) {
  CloseOutputFiles(run.Output);
  WriteLine(run.Con, "Aborting run due to -q command-line flag.");
  FlushConsole();
  return 0;
}

// The run from its settings to its last line; the status it ends with.
static int RunStages(RunState& run, int argc) {
  if (argc > 1)
    SetParametersCLI(run);
  else
    SetParametersInteractive(run);
  if (run.Settings.DryRun) return EndDryRun(run);
  StartProgress(run);
  CatchStopSignals();
  ProcessGenes(run);
  ClearStatusLine();
  std::chrono::duration<double> used = std::chrono::steady_clock::now() - run.StartTime;
  if (run.Settings.Tables) WriteEndTables(run, used.count());
  Finish(run);
  WriteLine(run.Con, "Time used: " + ElapsedText(used.count()));
  FlushConsole();
  if (ConsoleFailed()) Oops(ConsoleFailedMessage(run.Counts.Read));
  WarnAboutInput(run);
  WriteSummary(run);
  return 0;
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
  if (HasLongOption(run.Args, "quiet")) SilenceConsole();  // before the first line of a run
  if (!IsMemoryEnough(run)) {
    ReportFailure(RunStop{"", 1, "not enough memory: a trial block of 400000000 bytes was refused"}, "telvo", "");
    return 1;
  }
  run.StartTime = std::chrono::steady_clock::now();
  run.StartClock = std::time(nullptr);
  SetGlobals(run.Settings);
  try {
    try {
      return RunStages(run, argc);
    } catch (const RunStop&) {
      if (StopSignal) StopForSignal(run);  // whatever the signal interrupted, the run stops for the signal
      throw;
    }
  } catch (const RunStop& stop) {
    return StopRun(run, stop);
  } catch (const std::bad_alloc&) {
    return StopRun(run, RunStop{"Not enough memory. Program halt...", 1});
  }
}

}  // namespace telvo
