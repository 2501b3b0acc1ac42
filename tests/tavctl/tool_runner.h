// Runs the built tavctl (or another program) as a child process with the test's environment,
// and gives back its exit status and what it printed.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace tavctl_test {

struct RunResult {
  int exit = -1;  // -1 when the child did not exit normally
  std::string out;
  std::string err;

  // Standard output parsed as JSON; a test failure (and null) when it is not JSON.
  nlohmann::json Json() const;
  // The lines of standard error.
  std::vector<std::string> ErrLines() const;
};

// Environment changes for one child: a value sets the variable, nullopt removes it.
using EnvChanges = std::vector<std::pair<std::string, std::optional<std::string>>>;

// Runs `program` with `args`; `scratch` is a folder where the output is captured.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& scratch, const EnvChanges& env = {});

// Runs the tavctl under test.
RunResult RunTool(const std::vector<std::string>& args, const std::string& scratch,
                  const EnvChanges& env = {});

// Every path below `root` (files and folders), relative and sorted, to see what a run wrote.
std::vector<std::string> TreeOf(const std::string& root);

}  // namespace tavctl_test
