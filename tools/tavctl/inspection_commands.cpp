// version, where and dump: what the library is, where its files are, and what the store holds.
#include <iostream>
#include <memory>
#include <optional>

#include "commands.h"
#include "corvel_tavlib.h"
#include "files.h"
#include "locations.h"
#include "report.h"
#include "store_reader.h"
#include "table.h"

namespace tavctl {

namespace {

int RunVersion(const GlobalOptions& global) {
  int32_t major = 0, minor = 0, patch = 0;
  const char* text = nullptr;
  Corvel_TAVLib_Getversion(&major, &minor, &patch, &text);
  Report report("version");
  report.Set("major", major);
  report.Set("minor", minor);
  report.Set("patch", patch);
  report.Set("version", text ? text : "");
  report.Say("corvel_tavlib " + std::to_string(major) + "." + std::to_string(minor) + "." +
             std::to_string(patch) + " (" + (text ? text : "") + ")");
  return report.Finish(global.json);
}

int RunWhere(const GlobalOptions& global) {
  const Locations where = CurrentLocations();
  const std::vector<std::pair<std::string, std::string>> places = {
      {"store", where.store},        {"tag_directory", where.tagDirectory},
      {"temp", where.temp},          {"main_log", where.mainLog},
      {"tag_log", where.tagLog},     {"prefs_file", where.prefsFile},
      {"prefs_log", where.prefsLog},
  };
  Report report("where");
  TextTable table({"WHAT", "PATH", "PRESENT"});
  for (const auto& [name, path] : places) {
    report.Set(name, path);
    table.AddRow({name, path, PathExists(path) ? "yes" : "no"});
  }
  report.Say(table.Render());
  return report.Finish(global.json);
}

int RunDump(const std::optional<std::string>& subdomain, const GlobalOptions& global) {
  const Locations where = CurrentLocations();
  RequireExistingStore(where);
  const std::vector<StoreRow> rows = ReadStoreRows(subdomain);
  Report report("dump");
  nlohmann::json list = nlohmann::json::array();
  for (const StoreRow& row : rows) {
    list.push_back({{"domain", DomainName(row.unprotected)},
                    {"subdomain", row.subdomain},
                    {"key", row.key},
                    {"value", row.value}});
  }
  report.Set("store", where.store);
  report.Set("subdomain", subdomain ? nlohmann::json(*subdomain) : nlohmann::json(nullptr));
  report.Set("rows", list);
  report.Say("Store " + where.store + (subdomain ? ", subdomain " + *subdomain : std::string()) +
             ": " + std::to_string(rows.size()) + (rows.size() == 1 ? " entry" : " entries"));
  report.Say(FormatRows(rows));
  return report.Finish(global.json);
}

}  // namespace

void AddInspectionCommands(CLI::App& app, CommandSet& commands, const GlobalOptions& global) {
  CLI::App* version =
      app.add_subcommand("version", "Show the library's version (Corvel_TAVLib_Getversion)");
  commands.Add(version, [&global] { return RunVersion(global); });

  CLI::App* where = app.add_subcommand(
      "where", "Show where the store, the tag directory and the logs are under this environment");
  commands.Add(where, [&global] { return RunWhere(global); });

  auto subdomain = std::make_shared<std::string>();
  CLI::App* dump = app.add_subcommand(
      "dump", "Show the store, or one subdomain of it, as a table (never creates a store)");
  dump->add_option("subdomain", *subdomain, "Only this subdomain (both domains)");
  commands.Add(dump, [subdomain, dump, &global] {
    return RunDump(dump->count("subdomain") ? std::optional<std::string>(*subdomain) : std::nullopt,
                   global);
  });
}

}  // namespace tavctl
