// Probing and reading whole files.
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "base/Base.h"

namespace telvo {

std::string CannotOpenReason(const std::string& name) {
  if (name.empty()) return "no input file named";
  std::error_code error;
  if (std::filesystem::is_directory(name, error))
    return "cannot open '" + name + "': " + std::make_error_code(std::errc::is_a_directory).message();
  errno = 0;
  std::FILE* probe = std::fopen(name.c_str(), "rb");
  std::string why = std::generic_category().message(errno);
  if (probe) std::fclose(probe);
  return "cannot open '" + name + "': " + why;
}

bool FileExists(const std::string& name) {
  if (name.empty()) return false;
  std::error_code error;
  if (std::filesystem::is_directory(name, error)) return false;
  std::FILE* probe = std::fopen(name.c_str(), "rb");
  if (!probe) return false;
  std::fclose(probe);
  return true;
}

std::string ReadWholeFile(const std::string& name, std::string& bytes) {
  std::FILE* file = std::fopen(name.c_str(), "rb");
  if (!file) return CannotOpenReason(name);
  bytes.clear();
  char buffer[1 << 16];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, got);
  std::string problem = std::ferror(file) ? SystemReason("read", name) : "";
  std::fclose(file);
  return problem;
}

uint64_t Checksum(std::string_view bytes) {
  uint64_t hash = 14695981039346656037ull;
  for (char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  return hash;
}

}  // namespace telvo
