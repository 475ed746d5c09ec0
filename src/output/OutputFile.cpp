// Output files written a gene at a time without ever losing what a user already has: opened without
// emptying, emptied by the first gene the run writes, one write per row, cut back on failure.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "output/Output.h"

namespace telvo {

void RefuseUnsafeOutput(const std::string& name) {
  if (name.size() > MaxText)
    Oops("T.E.L.V.O. will not use an output file name longer than 255 characters (this one has " +
         std::to_string(name.size()) + "):\n" + name.substr(0, 60) + "...");
  struct stat st;
  if (lstat(name.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
    Oops("T.E.L.V.O. will not write through the symbolic link\n" + name + "\nPlease name a plain file instead.");
}

// Writes all of text at offset, or returns false with errno set.
static bool WriteAt(int fd, const std::string& text, long long offset) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = pwrite(fd, text.data() + done, text.size() - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == ESPIPE) n = write(fd, text.data() + done, text.size() - done);  // a pipe
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

void OpenOutputFile(OutputFile& f, const std::string& name, const std::string& header, bool headerLater) {
  f.Name = name;
  f.Header = header;
  f.End = 0;
  f.Fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  f.Emptied = f.Fd >= 0;
  if (f.Fd < 0 && errno == EEXIST) f.Fd = open(name.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
  if (f.Fd < 0 && errno == ELOOP) RefuseUnsafeOutput(name);
  if (f.Fd < 0) OopsBecause("T.E.L.V.O. could not create the output file\n" + name, SystemReason("create", name));
  if (f.Emptied && !headerLater) {  // a new file gets its header at once
    if (!WriteAt(f.Fd, header, 0))
      OopsBecause("T.E.L.V.O. could not write to the output file\n" + name, SystemReason("write to", name));
    f.End = static_cast<long long>(header.size());
    f.Header.clear();
  }
}

// Empties a file that still holds an earlier run's text; a device or pipe is left as it is.
static bool Empty(OutputFile& f) {
  struct stat st;
  if (fstat(f.Fd, &st) == 0 && S_ISREG(st.st_mode) && ftruncate(f.Fd, 0) != 0) return false;
  f.Emptied = true;
  f.End = 0;
  return true;
}

void WriteRowsTogether(const std::vector<RowText>& rows) {
  size_t written = 0;
  std::vector<long long> ends;  // what each file held before, to cut back to
  for (const RowText& r : rows) ends.push_back(r.File->End);
  for (; written < rows.size(); ++written) {
    OutputFile& f = *rows[written].File;
    if (f.Fd < 0) continue;
    bool ok = true;
    if (!f.Emptied) {
      ok = Empty(f);
      ends[written] = 0;
    }
    if (ok && !f.Header.empty()) {
      ok = WriteAt(f.Fd, f.Header, f.End);
      if (ok) f.End += static_cast<long long>(f.Header.size()), f.Header.clear();
    }
    if (ok && WriteAt(f.Fd, *rows[written].Text, f.End)) {
      f.End += static_cast<long long>(rows[written].Text->size());
      continue;
    }
    std::string reason = SystemReason("write to", f.Name);
    // Every file goes back to its last complete row, so all of them hold the same genes.
    for (size_t i = 0; i <= written; ++i) {
      OutputFile& back = *rows[i].File;
      if (back.Fd < 0) continue;
      if (ftruncate(back.Fd, static_cast<off_t>(ends[i])) == 0) back.End = ends[i];
    }
    OopsBecause("T.E.L.V.O. could not write to the output file\n" + f.Name, reason);
  }
}

bool CloseOutputFile(OutputFile& f) {
  if (f.Fd < 0) return true;
  bool ok = close(f.Fd) == 0;
  f.Fd = -1;
  return ok;
}

static std::string WriteFailure(const std::string& name) {
  return "cannot write " + name + ": " + std::generic_category().message(errno);
}

std::string WriteAllOut(int fd, const std::string& text) {
  for (size_t done = 0; done < text.size();) {
    ssize_t put = write(fd, text.data() + done, text.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put == 0) errno = ENOSPC;
    if (put <= 0) return WriteFailure("standard output");
    done += static_cast<size_t>(put);
  }
  return "";
}

std::string WriteWholeFile(const std::string& name, const std::string& text) {
  std::string temporary = name + ".tmp-" + std::to_string(getpid());
  int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
  if (fd < 0) return WriteFailure(temporary);
  bool written = WriteAt(fd, text, 0);
  int savedErrno = errno;
  if (close(fd) != 0 && written) written = false, savedErrno = errno;
  if (written && std::rename(temporary.c_str(), name.c_str()) == 0) return "";
  if (written) savedErrno = errno;
  unlink(temporary.c_str());
  errno = savedErrno;
  return WriteFailure(name);
}

}  // namespace telvo
