// The progress line: genes done of the file's gene rows, rate, elapsed time and time left, on
// standard error only, so that the console text and the files stay as they are.
#include <unistd.h>

#include <cstdio>

#include "run/Run.h"

namespace telvo {

using ProgressClock = std::chrono::steady_clock;

static constexpr std::chrono::milliseconds RedrawInterval{250};  // at most four lines a second

// "done/total genes (percent), rate, elapsed, left"; rate and time left once this run has done a gene
// (a resumed run's first genes were done by the run it goes on with).
static std::string ProgressText(long done, long before, long total, double seconds) {
  char rate[32] = "-", left[32] = "--:--:--";
  if (done > before && seconds > 0) {
    double perSecond = (done - before) / seconds;
    std::snprintf(rate, sizeof rate, "%.1f", perSecond);
    std::snprintf(left, sizeof left, "%s", ElapsedText((total - done) / perSecond).c_str());
  }
  char line[160];
  std::snprintf(line, sizeof line, "%ld/%ld genes (%ld%%), %s genes/s, %s elapsed, %s left", done, total,
                total > 0 ? done * 100 / total : 100L, rate, ElapsedText(seconds).c_str(), left);
  return line;
}

static void DrawProgress(RunState& run, ProgressClock::time_point now) {
  ProgressMeter& m = run.Progress;
  long done = run.Counts.Read;
  if (done > m.Total) m.Total = done;  // a row the count did not foresee
  std::chrono::duration<double> seconds = now - m.Start;
  ShowStatusLine(ProgressText(done, m.Done, m.Total, seconds.count()));
  m.LastDrawn = now;
}

void StartProgress(RunState& run) {
  ProgressMeter& m = run.Progress;
  ProgressChoice choice = run.Settings.Progress;
  m.On = choice == ProgressChoice::Always || (choice == ProgressChoice::Terminal && isatty(STDERR_FILENO));
  if (!m.On) return;
  m.Total = CountRowsLeft(run.Design.DatFile) + run.Counts.Read;  // a resumed run has genes done already
  m.Done = run.Counts.Read;
  m.Start = ProgressClock::now();
  DrawProgress(run, m.Start);
}

void AdvanceProgress(RunState& run) {
  if (!run.Progress.On) return;
  ProgressClock::time_point now = ProgressClock::now();
  if (now - run.Progress.LastDrawn >= RedrawInterval) DrawProgress(run, now);
}

}  // namespace telvo
