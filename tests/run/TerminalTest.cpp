// The dialogue on a real terminal: answers typed one line at a time after each prompt appears.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/TestSupport.h"

namespace {

// Reads from the terminal until text appears in everything read so far, or 20 s pass.
bool WaitFor(int fd, std::string& seen, const std::string& text) {
  char buffer[4096];
  for (int waited = 0; seen.find(text) == std::string::npos; ) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) {
      if (++waited > 200) return false;
      continue;
    }
    ssize_t got = read(fd, buffer, sizeof buffer);
    if (got <= 0) return false;
    seen.append(buffer, got);
  }
  return true;
}

}  // namespace

TEST(Terminal, TypedAnswersDriveTheWholeDialogue) {
  std::string dir = ScratchDir();
  WriteFile(dir + "/s.txt", InputText({{"A", "B"}, {"B", "A"}, {"A", "B"}, {"B", "A"}}, {"G1\tone\t0\t0\t0\t0"}));
  int master = -1;
  pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(126);
    execl(TELVO_BINARY, TELVO_BINARY, static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string seen;
  // Each answer waits for its own prompt, as a person would; the one-letter answers are whole typed lines.
  const std::vector<std::pair<std::string, std::string>> script = {
      {"results to analyze:", "s.txt\r"},
      {"Number of Hybs: 4\r\n\r\nPress RETURN to verify or q to quit: ", "\r"},
      {"unique expression nodes.\r\nA\r\nB\r\n\r\nPress RETURN to verify or q to quit: ", "\r"},
      {"q to quit, or RETURN to go on: ", "e\r"},
      {"A)dditive or M)ultiplicative: ", "m\r"},
      {"and/or constrained: ", "v\r"},
      {"estimating/constraining Variance terms", ""},
      {"q to quit, or RETURN to go on: ", "r\r"},
      {"r\r\n", "42\r"},  // the seed is read on the line after the echoed letter
      {"(R)andom seed (0 for system clock): 42", ""},
      {"q to quit, or RETURN to go on: ", "\r"},
      {"Press RETURN when ready.", "\r"},
      {"Time used: ", ""},
  };
  for (const auto& [prompt, answer] : script) {
    ASSERT_TRUE(WaitFor(master, seen, prompt)) << "no prompt: " << prompt << "\n---\n"
                                               << seen.substr(seen.size() > 600 ? seen.size() - 600 : 0);
    seen = seen.substr(seen.find(prompt) + prompt.size());
    if (!answer.empty()) {
      ASSERT_EQ(write(master, answer.data(), answer.size()), static_cast<ssize_t>(answer.size()));
    }
  }
  int status = 0;
  waitpid(pid, &status, 0);
  close(master);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(FileExistsOnDisk(dir + "/s.txt_MV.TER"));
}
