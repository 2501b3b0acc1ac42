// The commands of the tool. Each Add* function declares its commands and their options on the
// CLI11 application and registers the action to run when the command was given.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace tavctl {

// Options that apply to every command.
struct GlobalOptions {
  bool json = false;
};

using Action = std::function<int()>;

class CommandSet {
 public:
  void Add(CLI::App* command, Action action);
  // Runs the action of the command that the parse selected. ToolError, UsageError and
  // InstanceUnavailable propagate to the caller.
  int RunSelected() const;

 private:
  std::vector<std::pair<CLI::App*, Action>> mCommands;
};

// process, remove, tag
void AddConfigurationCommands(CLI::App& app, CommandSet& commands, const GlobalOptions& global);
// record
void AddRecordCommand(CLI::App& app, CommandSet& commands, const GlobalOptions& global);
// cache get | set | remove
void AddCacheCommands(CLI::App& app, CommandSet& commands, const GlobalOptions& global);
// pref get | set
void AddPrefCommands(CLI::App& app, CommandSet& commands, const GlobalOptions& global);
// proxy keep | reuse
void AddProxyCommands(CLI::App& app, CommandSet& commands, const GlobalOptions& global);
// version, where, dump
void AddInspectionCommands(CLI::App& app, CommandSet& commands, const GlobalOptions& global);
// demo
void AddDemoCommand(CLI::App& app, CommandSet& commands, const GlobalOptions& global);

}  // namespace tavctl
