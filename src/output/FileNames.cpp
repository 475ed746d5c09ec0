// Derived output names: short enough for old file systems, and never one name for two files.
#include <sys/stat.h>

#include "output/Output.h"
#include "run/Run.h"

std::string TruncatedFileName(const std::string& base, const std::string& separator, const std::string& label,
                              const std::string& extension) {
  // Directory part: up to the last separator of either kind, so names stay beside their input.
  size_t k = 0;
  size_t slash = base.find_last_of("/\\");
  if (slash != std::string::npos) k = slash + 1;
  std::string name = base;
  if (base.size() - k + separator.size() + label.size() + extension.size() > 30) {
    if (base.size() - k > 2) name = base.substr(0, k + 1) + base.substr(base.size() - 1);
    name += "TLV_";
  }
  std::string cleaned = label;
  for (char& c : cleaned) {
    unsigned char code = static_cast<unsigned char>(c);
    bool kept = c == ' ' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (code < 32)
      c = ' ';
    else if (!kept)
      c = static_cast<char>('0' + code % 10);
  }
  return Cut(name + separator + cleaned + extension);
}

std::string WithCopyNumber(const std::string& name, int copy) {
  size_t slash = name.find_last_of("/\\");
  size_t dot = name.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) dot = name.size();
  return name.substr(0, dot) + "_" + std::to_string(copy) + name.substr(dot);
}

bool SameFile(const std::string& a, const std::string& b) {
  if (a == b) return true;
  struct stat sa, sb;
  if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}
