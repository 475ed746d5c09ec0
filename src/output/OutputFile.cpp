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

void RefuseUnsafeOutput(const std::string& name, bool wholePath) {
  size_t length = wholePath ? name.size() : name.size() - std::min(name.size(), name.find_last_of('/') + 1);
  if (length > MaxText)
    Oops("T.E.L.V.O. will not use an output file name longer than 255 characters (this one has " +
         std::to_string(length) + "):\n" + name.substr(0, 60) + "...");
  struct stat st;
  if (lstat(name.c_str(), &st) != 0) return;
  if (S_ISLNK(st.st_mode))
    Oops("T.E.L.V.O. will not write through the symbolic link\n" + name + "\nPlease name a plain file instead.");
  if (S_ISDIR(st.st_mode))
    Oops("T.E.L.V.O. will not write an output file where there is a folder:\n" + name);
}

// The process that holds a lock on the file open at fd; 0 when none does.
static long LockHolder(int fd) {
  struct flock lock {};
  lock.l_type = F_WRLCK, lock.l_whence = SEEK_SET;
  if (fcntl(fd, F_GETLK, &lock) != 0 || lock.l_type == F_UNLCK) return 0;
  return static_cast<long>(lock.l_pid);
}

[[noreturn]] static void RefuseHeld(const std::string& name, long holder) {
  std::string process = "another run (process " + std::to_string(holder) + ")";
  OopsBecause("T.E.L.V.O. will not write into\n" + name + "\nwhile " + process + " is writing it.",
              process + " is writing '" + name + "': wait for it to end, or name this run's outputs otherwise");
}

void RefuseOutputsInUse(const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    int fd = open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) continue;
    struct stat st;
    long holder = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? LockHolder(fd) : 0;
    close(fd);
    if (holder != 0) RefuseHeld(name, holder);
  }
}

// A write lock on the whole of a regular file, held while its descriptor stays open and dropped by the
// kernel when the process ends, however it ends.
static void LockOutput(const OutputFile& f) {
  struct stat st;
  if (fstat(f.Fd, &st) != 0 || !S_ISREG(st.st_mode)) return;
  struct flock lock {};
  lock.l_type = F_WRLCK, lock.l_whence = SEEK_SET;
  if (fcntl(f.Fd, F_SETLK, &lock) == 0) return;
  if (errno == EACCES || errno == EAGAIN) RefuseHeld(f.Name, LockHolder(f.Fd));
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
  // Read and write, so that a resumed run reads back through the descriptor that holds the lock.
  f.Fd = open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  f.Emptied = f.Fd >= 0;
  if (f.Fd < 0 && errno == EEXIST) f.Fd = open(name.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
  if (f.Fd < 0 && errno == EACCES) f.Fd = open(name.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);  // write-only
  if (f.Fd < 0 && errno == ELOOP) RefuseUnsafeOutput(name, true);
  if (f.Fd < 0) OopsBecause("T.E.L.V.O. could not create the output file\n" + name, SystemReason("create", name));
  LockOutput(f);
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
  // A file of an earlier run is emptied before any is written, the last (committing) one first.
  for (size_t i = rows.size(); i-- > 0;) {
    OutputFile& f = *rows[i].File;
    if (f.Fd < 0 || f.Emptied) continue;
    ends[i] = 0;
    if (!Empty(f)) OopsBecause("T.E.L.V.O. could not empty the output file\n" + f.Name, SystemReason("empty", f.Name));
  }
  for (; written < rows.size(); ++written) {
    OutputFile& f = *rows[written].File;
    if (f.Fd < 0) continue;
    bool ok = true;
    if (!f.Header.empty()) {
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

std::string ReadOutputFile(const OutputFile& f) {
  std::string text;
  char buffer[1 << 16];
  for (;;) {
    ssize_t got = pread(f.Fd, buffer, sizeof buffer, static_cast<off_t>(text.size()));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) OopsBecause("T.E.L.V.O. could not read back the output file\n" + f.Name, SystemReason("read", f.Name));
    if (got == 0) return text;
    text.append(buffer, static_cast<size_t>(got));
  }
}

void CutOutputFile(OutputFile& f, long long length) {
  if (ftruncate(f.Fd, static_cast<off_t>(length)) != 0)
    OopsBecause("T.E.L.V.O. could not cut back the output file\n" + f.Name, SystemReason("cut back", f.Name));
  f.Emptied = true, f.Header.clear(), f.End = length;
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

// Into a FIFO or a device the text is written as it stands, as sort -o does: there is nothing to replace.
static std::string WriteInto(const std::string& name, const std::string& text) {
  int fd = open(name.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return WriteFailure(name);
  std::string problem = WriteAllOut(fd, text);
  if (close(fd) != 0 && problem.empty()) problem = WriteFailure(name);
  return problem.empty() ? "" : WriteFailure(name);
}

std::string WriteWholeFile(const std::string& name, const std::string& text) {
  struct stat old;
  const bool exists = stat(name.c_str(), &old) == 0;
  if (exists && S_ISDIR(old.st_mode)) return "will not write over the folder " + name;
  if (exists && !S_ISREG(old.st_mode)) return WriteInto(name, text);
  if (exists && (old.st_mode & 0222) == 0) return "will not replace the read-only file " + name;
  std::string temporary = name + ".tmp-" + std::to_string(getpid());
  int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return WriteFailure(temporary);
  bool written = (!exists || fchmod(fd, old.st_mode & 07777) == 0) && WriteAt(fd, text, 0);  // the mode it had
  int savedErrno = errno;
  if (close(fd) != 0 && written) written = false, savedErrno = errno;
  if (written && std::rename(temporary.c_str(), name.c_str()) == 0) return "";
  if (written) savedErrno = errno;
  unlink(temporary.c_str());
  errno = savedErrno;
  return WriteFailure(name);
}

}  // namespace telvo
