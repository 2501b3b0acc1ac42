// tavctl: drives and inspects the corvel_tavlib library through its C interface, for
// installer authors, QA and support.
#include <filesystem>
#include <iostream>
#include <string>

#include <CLI/CLI.hpp>

#include "commands.h"
#include "exit_status.h"
#include "instance.h"
#include "locations.h"
#include "report.h"
#include "tool_error.h"

namespace {

using namespace tavctl;

const char* kDescription =
    "tavctl - drive and inspect the corvel_tavlib library through its C interface.\n"
    "Every command creates one library instance (where it needs one) and releases it before it\n"
    "ends; only 'record' and the demo's installation release with commit.";

std::string EnvironmentHelp() {
  return "Environment (the library's own; see 'tavctl where'):\n"
         "  ZEP_PCD_DB             the store's database file (default <common app "
         "data>/Corvel/PCD/pcd.db)\n"
         "  CORVEL_COMMON_APPDATA  machine-wide data folder, holds the tag directory (default "
         "/var/lib)\n"
         "  TMPDIR, TEMP, TMP      temporary folder: tavlib.log, swtag.log, Velmo.log (default "
         "/tmp)\n"
         "  CORVEL_LOCAL_APPDATA   per-user data folder: Corvel/TAV/securePrefs.xml\n"
         "  CORVEL_COMMON_FILES    shared read-only fallback for the preferences file\n"
         "  ZEP_DEBUG_OUTPUT       where debugger-output lines go: stderr or a file\n";
}

// The chain of commands the parse selected, outermost first.
std::vector<CLI::App*> SelectedChain(CLI::App& app) {
  std::vector<CLI::App*> chain;
  for (CLI::App* current = &app;;) {
    std::vector<CLI::App*> selected = current->get_subcommands();
    if (selected.empty()) break;
    current = selected.front();
    chain.push_back(current);
  }
  return chain;
}

// "cache set": the command words the parse selected, for messages and hints.
std::string SelectedCommand(CLI::App& app) {
  std::string words;
  for (CLI::App* command : SelectedChain(app))
    words += (words.empty() ? "" : " ") + command->get_name();
  return words;
}

// "Run 'tavctl cache set --help' for usage."
std::string UsageHint(const std::string& command) {
  return "Run 'tavctl " + (command.empty() ? std::string() : command + " ") + "--help' for usage.";
}

std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

int UsageFailure(CLI::App& app, const std::string& message) {
  std::cerr << "tavctl: " << OneLine(message) << "\n" << UsageHint(SelectedCommand(app)) << "\n";
  return kExitUsage;
}

int ToolFailure(CLI::App& app, const GlobalOptions& global, const std::string& message, int exit) {
  const std::string command = SelectedCommand(app);
  if (global.json) {
    std::cout
        << JsonText({{"command", command}, {"status", nullptr}, {"error", message}, {"exit", exit}})
        << "\n";
  }
  std::cerr << "tavctl: " << command << ": " << OneLine(message) << "\n"
            << UsageHint(command) << "\n";
  return exit;
}

// CLI11 reports a word that names no command as a missing subcommand or an unexpected
// argument; say which word it was.
std::string UsageMessage(CLI::App& app, const CLI::ParseError& error) {
  const std::vector<CLI::App*> chain = SelectedChain(app);
  const CLI::App* innermost = chain.empty() ? &app : chain.back();
  if (innermost->get_require_subcommand_min() > 0) {
    for (const std::string& word : app.remaining(true)) {
      if (!word.empty() && word.front() != '-') return "unknown command '" + word + "'";
    }
  }
  return error.what();
}

// The exit statuses and the environment are the same for every command: the top-level help
// lists them, each command's help points there.
void AddFooters(CLI::App& app) {
  const std::string pointer =
      "Run 'tavctl --help' for the global options (--json, --store), exit statuses and\n"
      "environment variables.";
  for (CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; })) {
    sub->footer(pointer);
    AddFooters(*sub);
  }
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app(kDescription, "tavctl");
  app.require_subcommand(1);
  app.fallthrough();
  GlobalOptions global;
  std::string store;
  app.add_flag("--json", global.json,
               "Print one JSON object with the library's status and results");
  app.add_option("--store", store, "Use this store file (sets ZEP_PCD_DB for the run)");

  CommandSet commands;
  AddConfigurationCommands(app, commands, global);
  AddRecordCommand(app, commands, global);
  AddCacheCommands(app, commands, global);
  AddPrefCommands(app, commands, global);
  AddProxyCommands(app, commands, global);
  AddInspectionCommands(app, commands, global);
  AddDemoCommand(app, commands, global);
  app.footer("\n" + ExitStatusTable() + "\n" + EnvironmentHelp());
  AddFooters(app);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& help) {
    return app.exit(help);
  } catch (const CLI::CallForAllHelp& help) {
    return app.exit(help);
  } catch (const CLI::ParseError& error) {
    return UsageFailure(app, UsageMessage(app, error));
  }

  try {
    if (!store.empty()) SetVariable("ZEP_PCD_DB", std::filesystem::absolute(store).string());
    return commands.RunSelected();
  } catch (const UsageError& error) {
    return UsageFailure(app, error.what());
  } catch (const ToolError& error) {
    return ToolFailure(app, global, error.what(), kExitToolError);
  } catch (const InstanceUnavailable&) {
    return ToolFailure(app, global, "the library could not create an instance", kExitNoInstance);
  } catch (const std::exception& error) {
    return ToolFailure(app, global, error.what(), kExitToolError);
  }
}
