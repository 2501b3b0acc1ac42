#include "commands.h"

#include "tool_error.h"

namespace tavctl {

void CommandSet::Add(CLI::App* command, Action action) {
  mCommands.emplace_back(command, std::move(action));
}

int CommandSet::RunSelected() const {
  for (const auto& [command, action] : mCommands) {
    if (command->parsed()) return action();
  }
  throw UsageError("no command given");
}

}  // namespace tavctl
