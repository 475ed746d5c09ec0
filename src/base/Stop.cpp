// Raising a stop: the message cut to the longest text a message may have.
#include <cerrno>
#include <system_error>

#include "base/Base.h"

namespace telvo {

void Oops(const std::string& message, int status) { throw RunStop{Cut(message), status}; }

void OopsBecause(const std::string& message, const std::string& reason) { throw RunStop{Cut(message), 1, reason}; }

void OopsUsage(const std::string& message, const std::string& reason) { throw RunStop{Cut(message), 1, reason, true}; }

void Refuse(const std::string& reason) { throw RunStop{"", 1, reason}; }

std::string SystemReason(const std::string& what, const std::string& name) {
  return "cannot " + what + " '" + name + "': " + std::generic_category().message(errno);
}

}  // namespace telvo
