#include "demo.h"

#include <iostream>

#include "commands.h"
#include "corvel_tavlib.h"
#include "demo_documents.h"
#include "exit_status.h"
#include "files.h"
#include "instance.h"
#include "locations.h"
#include "report.h"
#include "store_reader.h"
#include "tool_error.h"

namespace tavctl {

namespace {

// Where the demo works: the scratch folder and the documents written into it. Each folder the
// environment does not name is put inside the scratch folder, so a demo never touches the
// machine-wide folders unless asked to.
struct DemoPlaces {
  std::string scratch;
  std::string config;
  std::string overrideFolder;
  std::vector<std::string> fromEnvironment;  // variables the caller had set
  Locations where;
};

void UseScratchUnlessNamed(DemoPlaces& places, std::initializer_list<const char*> names,
                           const std::string& path, bool makeFolder) {
  for (const char* name : names) {
    if (NonEmptyVariable(name)) {
      places.fromEnvironment.push_back(name);
      return;
    }
  }
  if (makeFolder) MakeFolders(path);
  SetVariable(*names.begin(), path);
}

DemoPlaces PrepareScratch(const DemoOptions& options) {
  const std::string parent = options.parent.empty() ? CurrentLocations().temp : options.parent;
  if (!IsDirectory(parent)) throw ToolError("no folder at " + parent);
  DemoPlaces places;
  places.scratch = MakeScratchFolder(parent, "tavctl-demo-");
  UseScratchUnlessNamed(places, {"TMPDIR", "TEMP", "TMP"}, places.scratch + "/tmp", true);
  UseScratchUnlessNamed(places, {"ZEP_PCD_DB"}, places.scratch + "/store/pcd.db", false);
  UseScratchUnlessNamed(places, {"CORVEL_COMMON_APPDATA"}, places.scratch + "/common_appdata",
                        true);
  UseScratchUnlessNamed(places, {"CORVEL_LOCAL_APPDATA"}, places.scratch + "/local_appdata", true);
  UseScratchUnlessNamed(places, {"CORVEL_COMMON_FILES"}, places.scratch + "/common_files", true);
  places.where = CurrentLocations();

  const std::string product = places.scratch + "/product";
  places.overrideFolder = product + "/override";
  MakeFolders(places.overrideFolder);
  places.config = product + "/application.xml";
  WriteWholeFile(places.config, demo::ConfigurationDocument());
  WriteWholeFile(places.overrideFolder + "/application.xml.override", demo::OverrideDocument());
  return places;
}

// Lines of a text, each behind a prefix, without a final line break; carriage returns and
// trailing blank lines dropped.
std::string Indented(const std::string& text, const std::string& prefix) {
  std::vector<std::string> lines(1);
  for (char c : text) {
    if (c == '\r') continue;
    if (c == '\n') {
      lines.emplace_back();
    } else {
      lines.back() += c;
    }
  }
  while (!lines.empty() && lines.back().find_first_not_of(" \t") == std::string::npos)
    lines.pop_back();
  std::string out;
  for (const std::string& line : lines) out += (out.empty() ? "" : "\n") + prefix + line;
  return out;
}

class Demo {
 public:
  Demo(DemoPlaces places, bool json) : mPlaces(std::move(places)), mJson(json), mReport("demo") {}

  int Run() {
    Introduce();
    ShowDocuments();
    Install();
    ShowInstallation();
    Uninstall();
    ShowRemains();
    return Finish();
  }

 private:
  void Say(const std::string& text) { mReport.Say(text); }
  void Section(const std::string& title) { Say("\n== " + title); }

  void Step(const std::string& call, uint32_t status) {
    const std::string function = call.substr(0, call.find('('));
    mReport.Call(function, status);
    std::string line = "   " + call;
    if (line.size() < 72) line.resize(72, ' ');
    Say(line + "  " + DescribeStatus(status));
  }

  void Check(bool passed, const std::string& what) {
    mChecks.push_back({{"check", what}, {"passed", passed}});
    if (!passed) {
      mFailedChecks.push_back(what);
      Say("   CHECK FAILED: " + what);
    }
  }

  void Introduce() {
    int32_t major = 0, minor = 0, patch = 0;
    const char* text = "";
    Corvel_TAVLib_Getversion(&major, &minor, &patch, &text);
    const Locations& where = mPlaces.where;
    Say("corvel_tavlib installation demo, library " + std::to_string(major) + "." +
        std::to_string(minor) + "." + std::to_string(patch) + " (" + text + ")");
    Say("");
    Say("Scratch folder  " + mPlaces.scratch + "  (left in place for you to look at)");
    Say("  store          " + where.store);
    Say("  tag directory  " + where.tagDirectory);
    Say("  temporary      " + where.temp + "  (main log tavlib.log, tag log swtag.log)");
    for (const std::string& name : mPlaces.fromEnvironment) {
      Say("  (" + name + " comes from the environment)");
    }
    mReport.Set("scratch", mPlaces.scratch);
    mReport.Set("store", where.store);
    mReport.Set("tag_directory", where.tagDirectory);
    mReport.Set("temp", where.temp);
    mLogStart = StampOf(where.mainLog).value_or(FileStamp{}).size;
    mTagLogStart = StampOf(where.tagLog).value_or(FileStamp{}).size;
    if (mLogStart < 0) mLogStart = 0;
    if (mTagLogStart < 0) mTagLogStart = 0;
  }

  void ShowDocuments() {
    Section("1. The product's configuration documents");
    Say("   " + mPlaces.config + ":");
    Say(Indented(demo::ConfigurationDocument(), "   | "));
    Say("   " + mPlaces.overrideFolder + "/application.xml.override:");
    Say(Indented(demo::OverrideDocument(), "   | "));
  }

  void Install() {
    Section("2. Installation: one instance, released with commit");
    LibraryInstance instance;
    const TAVLibHandle handle = instance.handle();
    Say("   Corvel_TAVLib_CreateRef()  instance " + std::to_string(Corvel_TAVLib_GetRefID(handle)));
    Step(std::string("Corvel_TAVLib_Process_file(application.xml, ") + demo::kPayloadCode +
             ", null, override folder)",
         Corvel_TAVLib_Process_file(handle, mPlaces.config.c_str(), demo::kPayloadCode, nullptr,
                                    mPlaces.overrideFolder.c_str()));
    Step(std::string("Corvel_TAVLib_ISOTaggingAtInstall(") + demo::kPayloadCode + ")",
         Corvel_TAVLib_ISOTaggingAtInstall(handle, demo::kPayloadCode));
    Step(std::string("Corvel_TAVLib_Set_Eula(") + demo::kAgreementLanguage + ", " +
             demo::kProductCode + ")",
         Corvel_TAVLib_Set_Eula(handle, demo::kAgreementLanguage, demo::kProductCode));
    Step(std::string("Corvel_TAVLib_Set_InstallLocale(") + demo::kInstallLocale + ", " +
             demo::kProductCode + ")",
         Corvel_TAVLib_Set_InstallLocale(handle, demo::kInstallLocale, demo::kProductCode));
    Step(std::string("Corvel_TAVLib_SetCorvelId(") + demo::kProductCode + ")",
         Corvel_TAVLib_SetCorvelId(handle, demo::kProductCode));
    Step(std::string("Corvel_TAVLib_SaveCorvelId(") + demo::kAccountId + ")",
         Corvel_TAVLib_SaveCorvelId(handle, demo::kAccountId));
    instance.Release(true);
    Say("   Corvel_TAVLib_ReleaseRef(handle, 1)  the records are committed");
  }

  std::string TagPath() const {
    return mPlaces.where.tagDirectory + "/" + TagEntityRegid() + "_" + demo::kProductCode +
           ".swidtag";
  }

  std::vector<StoreRow> ShowStore(const std::string& jsonKey) {
    const std::vector<StoreRow> rows = ReadStoreRows(std::nullopt);
    Say(Indented(FormatRows(rows), "   "));
    nlohmann::json list = nlohmann::json::array();
    for (const StoreRow& row : rows) {
      list.push_back({{"domain", DomainName(row.unprotected)},
                      {"subdomain", row.subdomain},
                      {"key", row.key},
                      {"value", row.value}});
    }
    mReport.Set(jsonKey, list);
    return rows;
  }

  static bool Holds(const std::vector<StoreRow>& rows, bool unprotected,
                    const std::string& subdomain, const std::string& key) {
    for (const StoreRow& row : rows) {
      if (row.unprotected == unprotected && row.subdomain == subdomain && row.key == key)
        return true;
    }
    return false;
  }

  static bool HoldsSubdomain(const std::vector<StoreRow>& rows, const std::string& subdomain) {
    for (const StoreRow& row : rows) {
      if (row.subdomain == subdomain) return true;
    }
    return false;
  }

  void ShowLogSince(const std::string& title, const std::string& path, long long offset) {
    Section(title + " " + path);
    const std::string text = ReadWholeFile(path).value_or("");
    const size_t start =
        static_cast<size_t>(offset) <= text.size() ? static_cast<size_t>(offset) : 0;
    Say(text.empty() ? "   (no log)" : Indented(text.substr(start), "   "));
  }

  void ShowInstallation() {
    Section("3. The store after installation (protected: configuration; unprotected: records)");
    const std::vector<StoreRow> rows = ShowStore("rows_after_install");
    Check(Holds(rows, false, demo::kPayloadCode, "DefaultDriverPayload"),
          "the payload's configuration is in the store");
    Check(Holds(rows, false, demo::kProductCode, "PayloadCode"),
          "the LicensingCode's reverse entry is in the store");
    Check(Holds(rows, true, demo::kProductCode, "EULA_ACCEPTED"), "the commit wrote the agreement");
    Check(Holds(rows, true, "CORVELIDWTTS", "DATA"), "the commit wrote the account record");

    Section("4. The tag file " + TagPath());
    const std::optional<std::string> tag = ReadWholeFile(TagPath());
    Check(tag.has_value(), "tagging at install wrote the tag file");
    Say(tag ? Indented(*tag, "   | ") : "   (none)");
    mReport.Set("tag_file", tag ? nlohmann::json(TagPath()) : nlohmann::json(nullptr));

    ShowLogSince("5. The main log", mPlaces.where.mainLog, mLogStart);
    ShowLogSince("6. The tag log", mPlaces.where.tagLog, mTagLogStart);
    mLogStart = StampOf(mPlaces.where.mainLog).value_or(FileStamp{}).size;
  }

  void Uninstall() {
    Section("7. Uninstallation: a second instance");
    LibraryInstance instance;
    Say("   Corvel_TAVLib_CreateRef()  instance " +
        std::to_string(Corvel_TAVLib_GetRefID(instance.handle())));
    Step(std::string("Corvel_TAVLib_Remove_payload(") + demo::kPayloadCode + ")",
         Corvel_TAVLib_Remove_payload(instance.handle(), demo::kPayloadCode));
    instance.Release(false);
    Say("   Corvel_TAVLib_ReleaseRef(handle, 0)");
  }

  void ShowRemains() {
    Section("8. What remains in the store");
    Say("   The payload, its product (LicensingCode) and its helper (MurmelCode) are gone; the");
    Say("   shared component no linked code names and the time-stamped account record stay.");
    const std::vector<StoreRow> rows = ShowStore("rows_after_uninstall");
    Check(!HoldsSubdomain(rows, demo::kPayloadCode), "the payload's entries are gone");
    Check(!HoldsSubdomain(rows, demo::kProductCode), "the product's entries are gone");
    Check(!HoldsSubdomain(rows, demo::kHelperCode), "the helper's entries are gone");
    Check(HoldsSubdomain(rows, demo::kSharedCode), "the shared component stays");

    Section("9. What remains on disk");
    const std::vector<std::string> tags = FilesEndingIn(mPlaces.where.tagDirectory, ".swidtag");
    Say("   Tag files in " + mPlaces.where.tagDirectory + " (uninstallation leaves tags alone):");
    for (const std::string& name : tags) Say("     " + name);
    if (tags.empty()) Say("     (none)");
    ShowLogSince("10. The main log of the uninstallation", mPlaces.where.mainLog, mLogStart);
  }

  int Finish() {
    mReport.Set("checks", mChecks);
    const bool statuses_ok = mReport.status().value_or(0) == 0;
    if (mFailedChecks.empty() && statuses_ok) {
      Say("\nDemo complete: installed, tagged, recorded and uninstalled through the library.");
      Say("Inspect the store with: tavctl --store " + mPlaces.where.store + " dump");
    }
    const int exit = mReport.Finish(mJson);
    if (exit != kExitSuccess || mFailedChecks.empty()) return exit;
    std::cerr << "tavctl: demo: check failed: " << mFailedChecks.front() << "\n";
    return kExitToolError;
  }

  DemoPlaces mPlaces;
  bool mJson;
  Report mReport;
  nlohmann::json mChecks = nlohmann::json::array();
  std::vector<std::string> mFailedChecks;
  long long mLogStart = 0;
  long long mTagLogStart = 0;
};

}  // namespace

int RunDemo(const DemoOptions& options) {
  Demo demo(PrepareScratch(options), options.json);
  return demo.Run();
}

void AddDemoCommand(CLI::App& app, CommandSet& commands, const GlobalOptions& global) {
  auto parent = std::make_shared<std::string>();
  CLI::App* command = app.add_subcommand(
      "demo",
      "Install a sample product in a scratch folder, show the store, the tag and the logs, "
      "then uninstall it and show what remains");
  command->add_option("--dir", *parent,
                      "Make the scratch folder in this folder (default: the temporary folder)");
  commands.Add(command, [parent, &global] { return RunDemo({*parent, global.json}); });
}

}  // namespace tavctl
