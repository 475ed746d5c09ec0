// Derived output names: short enough for old file systems, never one name for two files, and never
// one shortened name for two inputs.
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>

#include "output/Output.h"

namespace telvo {

std::string NameTag(std::string_view name) {
  uint32_t hash = 2166136261u;  // 32-bit FNV-1a
  for (char c : name) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 16777619u;
  }
  char text[8];
  std::snprintf(text, sizeof text, "%06x", static_cast<unsigned>(hash & 0xffffffu));
  return text;
}

// The part of a name after its last separator of either kind, where the directory part ends.
static size_t DirectoryLength(const std::string& name) {
  size_t slash = name.find_last_of("/\\");
  return slash == std::string::npos ? 0 : slash + 1;
}

// A label as a file name may hold it: blanks, digits and ASCII letters stay, control characters
// become blanks, every other character the last digit of its code.
static std::string CleanLabel(std::string label) {
  for (char& c : label) {
    unsigned char code = static_cast<unsigned char>(c);
    bool kept = c == ' ' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (code < 32)
      c = ' ';
    else if (!kept)
      c = static_cast<char>('0' + code % 10);
  }
  return label;
}

// A long name loses the end of its label, never the extension that tells what the file is: held to 255
// characters as a whole path (names beside the input), or in its last part (names from --out).
static std::string WithExtension(const std::string& stem, const std::string& extension, bool wholePath = true) {
  size_t folder = wholePath ? 0 : DirectoryLength(stem);
  return stem.substr(0, folder) + Cut(stem.substr(folder), MaxText - std::min(extension.size(), MaxText)) + extension;
}

std::string TruncatedFileName(const std::string& base, const std::string& separator, const std::string& label,
                              const std::string& extension) {
  size_t k = DirectoryLength(base);
  std::string name = base;
  if (base.size() - k + separator.size() + label.size() + extension.size() > 30) {
    if (base.size() - k > 2) name = base.substr(0, k + 1) + base.substr(base.size() - 1);
    // The tag keeps two long inputs of one folder from sharing their outputs.
    name += "TLV_" + NameTag(std::string_view(base).substr(k));
  }
  return WithExtension(name + separator + CleanLabel(label), extension);
}

std::string PrefixedFileName(const std::string& prefix, const std::string& label, const std::string& extension) {
  return WithExtension(prefix + "_" + CleanLabel(label), extension, false);
}

std::string WithCopyNumber(const std::string& name, int copy, bool wholePath) {
  size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot < DirectoryLength(name)) dot = name.size();
  return WithExtension(name.substr(0, dot), "_" + std::to_string(copy) + name.substr(dot), wholePath);
}

std::string OutputKey(const std::string& name) {
  std::error_code error;
  std::filesystem::path path = std::filesystem::weakly_canonical(std::filesystem::absolute(name, error), error);
  return error ? name : path.string();
}

bool SameFile(const std::string& a, const std::string& b) {
  if (a == b || OutputKey(a) == OutputKey(b)) return true;
  struct stat sa, sb;
  if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace telvo
