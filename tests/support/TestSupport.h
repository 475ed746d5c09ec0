// Helpers for tests that run the built program on files in a scratch directory.
#pragma once

#include <string>
#include <vector>

#include "base/Base.h"

struct ProgramRun {
  int Status = -1;   // exit status
  std::string Out;   // everything written to standard output
  std::string Err;   // everything written to standard error
};

// Runs the program in dir with the given arguments and standard input.
ProgramRun RunProgram(const std::string& dir, const std::vector<std::string>& args, const std::string& input = "");
// Runs any executable the same way (the simulator, for instance).
ProgramRun RunExecutable(const std::string& path, const std::string& dir, const std::vector<std::string>& args,
                         const std::string& input = "");
[[noreturn]] void ExecProgram(const std::string& path, const std::vector<std::string>& args);  // in a child
// The program started in dir and left running: its process, and what its standard output showed so far.
struct RunningProgram {
  int Pid = -1;      // its process
  int Out = -1;      // the read end of its standard output
  std::string Seen;  // what was read from it so far
  std::string ErrPath;  // where its standard error goes
};
RunningProgram StartProgram(const std::string& dir, const std::vector<std::string>& args);
bool WaitForOutput(RunningProgram& program, const std::string& text);  // false when it ended without it
ProgramRun FinishProgram(RunningProgram& program);  // reads the rest, waits for its end
std::string ScratchDir();  // a new empty directory, removed with its content when the test ends
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& text);
bool FileExistsOnDisk(const std::string& path);
std::vector<std::string> FilesIn(const std::string& dir);  // sorted names
// A small input file: header rows for the hybs (exp, ref) and the given gene rows.
std::string InputText(const std::vector<std::pair<std::string, std::string>>& hybs,
                      const std::vector<std::string>& geneRows);
std::vector<std::string> Lines(const std::string& text);  // split at LF
std::vector<std::string> Cells(const std::string& line);  // split at TAB, empty cells kept
std::vector<std::string> With(std::vector<std::string> flags, const std::vector<std::string>& more);  // joined

// The reason of the stop that f raises; "" when it raises none.
template <class F>
std::string Refusal(F f) {
  try {
    f();
  } catch (const telvo::RunStop& stop) {
    return stop.Reason.empty() ? stop.Message : stop.Reason;
  }
  return "";
}
