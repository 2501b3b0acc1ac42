// process, remove and tag: the install-time and uninstall-time operations on a payload.
#include <filesystem>
#include <map>
#include <memory>

#include "commands.h"
#include "corvel_tavlib.h"
#include "exit_status.h"
#include "files.h"
#include "instance.h"
#include "locations.h"
#include "report.h"
#include "store_reader.h"
#include "tool_error.h"

namespace tavctl {

namespace {

struct ProcessOptions {
  std::string config;
  std::string payload;
  std::string driver;
  std::string overrideDir;
};

// The path made absolute, so that the store records where the document really is.
std::string Absolute(const std::string& path) {
  return path.empty() ? path : std::filesystem::absolute(path).lexically_normal().string();
}

int RunProcess(const ProcessOptions& given, const GlobalOptions& global) {
  ProcessOptions options = given;
  options.config = Absolute(given.config);
  options.overrideDir = Absolute(given.overrideDir);
  const Locations where = CurrentLocations();
  if (!PathExists(options.config)) {
    throw ToolError("no configuration document at " + options.config);
  }
  if (!options.overrideDir.empty() && !IsDirectory(options.overrideDir)) {
    throw ToolError("no override folder at " + options.overrideDir);
  }
  RequireWritableStore(where);

  Report report("process");
  {
    LibraryInstance instance;
    const uint32_t status = Corvel_TAVLib_Process_file(
        instance.handle(), options.config.c_str(), options.payload.c_str(),
        options.driver.empty() ? nullptr : options.driver.c_str(),
        options.overrideDir.empty() ? nullptr : options.overrideDir.c_str());
    report.Call("Corvel_TAVLib_Process_file", status);
    instance.Release(false);
  }
  report.Set("config", options.config);
  report.Set("payload", options.payload);
  report.Set("driver",
             options.driver.empty() ? nlohmann::json(nullptr) : nlohmann::json(options.driver));
  report.Set("override_dir", options.overrideDir.empty() ? nlohmann::json(nullptr)
                                                         : nlohmann::json(options.overrideDir));
  report.Say("Processed " + options.config + " for payload " + options.payload + ": " +
             report.StatusText());
  if (PathExists(where.store) && !options.payload.empty()) {
    const size_t count = ReadStoreRows(options.payload).size();
    report.Set("payload_entries", count);
    report.Say("The store holds " + std::to_string(count) + (count == 1 ? " entry" : " entries") +
               " under " + options.payload + " (tavctl dump " + options.payload + ").");
  }
  return report.Finish(global.json);
}

int RunRemove(const std::string& payload, const GlobalOptions& global) {
  RequireExistingStore(CurrentLocations());
  Report report("remove");
  {
    LibraryInstance instance;
    report.Call("Corvel_TAVLib_Remove_payload",
                Corvel_TAVLib_Remove_payload(instance.handle(), payload.c_str()));
    instance.Release(false);
  }
  report.Set("payload", payload);
  report.Say("Removed payload " + payload + ": " + report.StatusText());
  return report.Finish(global.json);
}

// The tag files of the tag directory with their stamps, to see what a pass changed.
std::map<std::string, FileStamp> TagFileStamps(const std::string& folder) {
  std::map<std::string, FileStamp> stamps;
  for (const std::string& name : FilesEndingIn(folder, ".swidtag")) {
    if (std::optional<FileStamp> stamp = StampOf(folder + "/" + name)) stamps[name] = *stamp;
  }
  return stamps;
}

int RunTag(const std::string& payload, const GlobalOptions& global) {
  const Locations where = CurrentLocations();
  RequireExistingStore(where);
  const std::map<std::string, FileStamp> before = TagFileStamps(where.tagDirectory);
  Report report("tag");
  {
    LibraryInstance instance;
    report.Call("Corvel_TAVLib_ISOTaggingAtInstall",
                Corvel_TAVLib_ISOTaggingAtInstall(instance.handle(), payload.c_str()));
    instance.Release(false);
  }
  nlohmann::json written = nlohmann::json::array();
  for (const auto& [name, stamp] : TagFileStamps(where.tagDirectory)) {
    auto old = before.find(name);
    if (old == before.end() || !(old->second == stamp)) {
      written.push_back(where.tagDirectory + "/" + name);
      report.Say("Wrote " + where.tagDirectory + "/" + name);
    }
  }
  if (written.empty()) {
    report.Say(
        "No tag file was written or changed (only the driver payload of a product is "
        "tagged; see " +
        where.tagLog + " and " + where.mainLog + ").");
  }
  report.Set("payload", payload);
  report.Set("tag_directory", where.tagDirectory);
  report.Set("tag_files_written", written);
  return report.Finish(global.json);
}

}  // namespace

void AddConfigurationCommands(CLI::App& app, CommandSet& commands, const GlobalOptions& global) {
  auto process = std::make_shared<ProcessOptions>();
  CLI::App* process_command = app.add_subcommand(
      "process",
      "Record a payload's configuration document in the store (Corvel_TAVLib_Process_file)");
  process_command
      ->add_option(
          "config", process->config,
          "The configuration document (application.xml); it is rewritten with the payload code")
      ->required();
  process_command->add_option("-p,--payload", process->payload, "The payload code")->required();
  process_command->add_option("-d,--driver", process->driver,
                              "The driver payload's code (default: the payload is its own driver)");
  process_command->add_option("-o,--override-dir", process->overrideDir,
                              "Folder that may hold application.xml.override");
  commands.Add(process_command, [process, &global] { return RunProcess(*process, global); });

  auto remove_payload = std::make_shared<std::string>();
  CLI::App* remove_command = app.add_subcommand(
      "remove",
      "Remove a payload's data from the store at uninstall (Corvel_TAVLib_Remove_payload)");
  remove_command->add_option("payload", *remove_payload, "The payload code")->required();
  commands.Add(remove_command,
               [remove_payload, &global] { return RunRemove(*remove_payload, global); });

  auto tag_payload = std::make_shared<std::string>();
  CLI::App* tag_command =
      app.add_subcommand("tag",
                         "Write the product's software identification tag for its driver payload "
                         "(Corvel_TAVLib_ISOTaggingAtInstall)");
  tag_command->add_option("payload", *tag_payload, "The payload code")->required();
  commands.Add(tag_command, [tag_payload, &global] { return RunTag(*tag_payload, global); });
}

}  // namespace tavctl
