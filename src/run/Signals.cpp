// Stop signals: the handler only notes the signal; the run commits the gene in hand whole, then stops as
// a failed write does, every file holding the same genes.
#include <csignal>
#include <string>

#include "run/Run.h"

namespace telvo {

volatile std::sig_atomic_t StopSignal = 0;

static void NoteStopSignal(int signal) { StopSignal = signal; }

void CatchStopSignals() {
  struct sigaction action {};
  action.sa_handler = NoteStopSignal;
  action.sa_flags = SA_RESTART | SA_RESETHAND;  // the second signal ends the process at once
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

void StopForSignal(const RunState& run) {
  const int signal = StopSignal;
  const char* name = signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "SIGHUP";
  std::string genes = Count(run.Counts.Read, "gene", "genes");
  std::string hold = run.Settings.Tables ? "the result file, the p-value files and the nodes and contrasts tables"
                                         : "the result file and the p-value files";
  std::string missing = run.Settings.Tables ? "; the ranked, genes and run tables and the report are not written" : "";
  throw RunStop{"", 128 + signal, "stopped by " + std::string(name) + " after " + genes + ": " + hold +
                                      " hold those " + genes + missing};
}

}  // namespace telvo
