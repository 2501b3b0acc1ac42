// pref get | set: values of the user's secure preferences file. These functions need no
// instance; they answer signed results of their own (see the exit-status table).
#include <memory>
#include <vector>

#include "commands.h"
#include "corvel_tavlib.h"
#include "exit_status.h"
#include "files.h"
#include "locations.h"
#include "report.h"
#include "tool_error.h"

namespace tavctl {

namespace {

struct PrefOptions {
  std::string key;
  std::string value;
  std::string domain;
  std::string file;
};

const char* OrNull(const std::string& text) { return text.empty() ? nullptr : text.c_str(); }

void DescribeAddress(const PrefOptions& options, Report& report) {
  report.Set("domain",
             options.domain.empty() ? nlohmann::json(nullptr) : nlohmann::json(options.domain));
  report.Set("key", options.key);
  report.Set("file", options.file.empty() ? nlohmann::json(CurrentLocations().prefsFile)
                                          : nlohmann::json(options.file));
}

int RunPrefGet(const PrefOptions& options, const GlobalOptions& global) {
  if (!options.file.empty() && !PathExists(options.file)) {
    throw ToolError("no preferences file at " + options.file);
  }
  Report report("pref get");
  uint32_t size = 0;
  const int32_t sized = Corvel_TAVLib_GetSecurePreference(
      OrNull(options.domain), options.key.c_str(), nullptr, &size, OrNull(options.file));
  report.PrefCall("Corvel_TAVLib_GetSecurePreference", sized);
  nlohmann::json value = nullptr;
  if (sized == kTAVLibPrefSuccess && size > 0) {
    std::vector<char> buffer(size, '\0');
    const int32_t read = Corvel_TAVLib_GetSecurePreference(
        OrNull(options.domain), options.key.c_str(), buffer.data(), &size, OrNull(options.file));
    report.PrefCall("Corvel_TAVLib_GetSecurePreference", read);
    if (read == kTAVLibPrefSuccess) {
      value = std::string(buffer.data());
      report.Say(value.get<std::string>());
    }
  }
  DescribeAddress(options, report);
  report.Set("value", value);
  return report.Finish(global.json);
}

int RunPrefSet(const PrefOptions& options, const GlobalOptions& global) {
  Report report("pref set");
  report.PrefCall("Corvel_TAVLib_SetSecurePreference",
                  Corvel_TAVLib_SetSecurePreference(OrNull(options.domain), options.key.c_str(),
                                                    options.value.c_str(), OrNull(options.file)));
  DescribeAddress(options, report);
  report.Say("Set " + options.key + ": " + report.StatusText());
  return report.Finish(global.json);
}

void AddAddressOptions(CLI::App* command, PrefOptions& options) {
  command->add_option("key", options.key, "The key (an XML name without a colon)")->required();
  command->add_option("-d,--domain", options.domain, "The domain (default: DefaultDomain)");
  command->add_option("-f,--file", options.file,
                      "This preferences file instead of the user's securePrefs.xml");
}

}  // namespace

void AddPrefCommands(CLI::App& app, CommandSet& commands, const GlobalOptions& global) {
  CLI::App* pref = app.add_subcommand(
      "pref", "Get or set a value of the user's enciphered secure preferences file");
  pref->require_subcommand(1);

  auto get = std::make_shared<PrefOptions>();
  CLI::App* get_command = pref->add_subcommand(
      "get", "Print a preference value (Corvel_TAVLib_GetSecurePreference: size, then value)");
  AddAddressOptions(get_command, *get);
  commands.Add(get_command, [get, &global] { return RunPrefGet(*get, global); });

  auto set = std::make_shared<PrefOptions>();
  CLI::App* set_command = pref->add_subcommand(
      "set", "Store a preference value, enciphered (Corvel_TAVLib_SetSecurePreference)");
  AddAddressOptions(set_command, *set);
  set_command->add_option("value", set->value, "The value")->required();
  commands.Add(set_command, [set, &global] { return RunPrefSet(*set, global); });
}

}  // namespace tavctl
