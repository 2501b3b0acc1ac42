// A failure of the tool itself (not of the library): a missing file, an unreadable store, a
// folder that cannot be made. It is thrown before the library is called wherever the tool can
// tell in advance, so a refused command writes nothing.
#pragma once

#include <stdexcept>
#include <string>

namespace tavctl {

class ToolError : public std::runtime_error {
 public:
  explicit ToolError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace tavctl

namespace tavctl {

// A command line that parsed but does not make sense (for example, nothing to do). Reported
// like CLI11's own parse errors: exit status 2 and a usage hint.
class UsageError : public std::runtime_error {
 public:
  explicit UsageError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace tavctl
