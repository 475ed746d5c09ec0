// A user's results are never lost, mixed or cut by a closed or broken console or a full disk. Runs
// that write no gene and refusals are pinned by the golden run kept-results.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "support/TestSupport.h"

namespace {

const std::vector<std::string> Quick = {"-b", "40", "-p", "2", "-g", "80", "-t", "1", "-r", "5"};

std::string Example() { return ReadFile(std::string(TELVO_SOURCE_DIR) + "/examples/example.txt"); }

// Every file of a folder with its bytes (links by their target).
std::map<std::string, std::string> Snapshot(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const std::string& name : FilesIn(dir)) {
    std::filesystem::path path = std::filesystem::path(dir) / name;
    files[name] = std::filesystem::is_symlink(path) ? "-> " + std::filesystem::read_symlink(path).string()
                                                    : ReadFile(path.string());
  }
  return files;
}

// Runs the program through the shell, for redirections the plain runner cannot make.
int Shell(const std::string& dir, const std::string& command) {
  int status = std::system(("cd '" + dir + "' && " + command).c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs the program with its standard output on a pipe that nobody reads any more, standard error to err.txt.
int RunWithGoneReader(const std::string& dir, const std::vector<std::string>& args) {
  int ends[2];
  if (pipe(ends) != 0) return -1;
  close(ends[0]);
  pid_t pid = fork();
  if (pid == 0) {
    int err = open((dir + "/err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (chdir(dir.c_str()) != 0 || err < 0) _exit(126);
    dup2(ends[1], 1);
    dup2(err, 2);
    ExecProgram(TELVO_BINARY, args);
  }
  close(ends[1]);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string Quoted(const std::vector<std::string>& args) {
  std::string text = std::string("'") + TELVO_BINARY + "'";
  for (const std::string& a : args) text += " '" + a + "'";
  return text;
}

}  // namespace

TEST(Safety, ClosedOrBrokenConsoleNeverReachesTheFiles) {
  std::string dir = ScratchDir();
  WriteFile(dir + "/x.txt", Example());
  ASSERT_EQ(RunProgram(dir, With(Quick, {"x.txt"})).Status, 0);
  const auto normal = Snapshot(dir);
  // Closed standard output, input and error: the console text must not become the result file.
  ASSERT_EQ(Shell(dir, Quoted(With(Quick, {"x.txt"})) + " <&- >&- 2>&-"), 0);
  EXPECT_EQ(Snapshot(dir), normal);
  // A console whose reader has gone: the run stops at its first commit with a reason on standard
  // error, and the files hold exactly the finished gene.
  EXPECT_EQ(RunWithGoneReader(dir, With(Quick, {"x.txt"})), 1);
  EXPECT_EQ(ReadFile(dir + "/err.txt"),
            "telvo: T.E.L.V.O. could not write to its console (standard output) and stopped "
            "after 1 genes; their rows are in the output files.\n");
  std::string result = ReadFile(dir + "/x.txt_AC.TER"), pvalue = ReadFile(dir + "/x.txt_N1.pvalue");
  EXPECT_EQ(Lines(result).size(), 14u);
  EXPECT_EQ(Lines(pvalue).size(), 2u);
  EXPECT_EQ(normal.at("x.txt_AC.TER").compare(0, result.size(), result), 0);
  EXPECT_EQ(normal.at("x.txt_N1.pvalue").compare(0, pvalue.size(), pvalue), 0);
  std::filesystem::remove_all(dir);
}

TEST(Safety, FullDiskLeavesCompleteRowsOfTheSameGenes) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to mount a small file system";
  std::string dir = ScratchDir();
  if (mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=28k") != 0) GTEST_SKIP() << "cannot mount a tmpfs here";
  WriteFile(dir + "/x.txt", Example());
  std::string log = ScratchDir();
  int status = Shell(dir, Quoted(With(Quick, {"x.txt"})) + " >'" + log + "/out.txt'");
  std::string result = ReadFile(dir + "/x.txt_AC.TER"), pvalue = ReadFile(dir + "/x.txt_N4.pvalue");
  std::string out = ReadFile(log + "/out.txt");
  umount(dir.c_str());
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find("T.E.L.V.O. could not write to the output file\n"), std::string::npos);
  ASSERT_FALSE(result.empty());
  EXPECT_EQ(result.back(), '\n');
  EXPECT_EQ(pvalue.back(), '\n');
  EXPECT_GT(Lines(result).size(), 13u);
  EXPECT_EQ(Lines(result).size() - 13, Lines(pvalue).size() - 1);
  std::filesystem::remove_all(dir);
  std::filesystem::remove_all(log);
}
