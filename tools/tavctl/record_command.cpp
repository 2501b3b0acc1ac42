// record: the installation records an instance gathers (agreement, locale, account, extended
// profile, payload clean-up), written to the store when the instance is released with commit.
#include <memory>

#include "commands.h"
#include "corvel_tavlib.h"
#include "exit_status.h"
#include "instance.h"
#include "locations.h"
#include "report.h"
#include "store_reader.h"
#include "tool_error.h"

namespace tavctl {

namespace {

struct RecordOptions {
  std::vector<std::string> agreement;  // language, product
  std::vector<std::string> locale;     // locale, product
  std::vector<std::string> account;    // product, account identifier
  std::string extProfile;
  std::string cleanup;
  bool discard = false;
};

bool NothingToRecord(const RecordOptions& options, const CLI::App& command) {
  return options.agreement.empty() && options.locale.empty() && options.account.empty() &&
         command.count("--ext-profile") == 0 && command.count("--cleanup") == 0;
}

void RecordCalls(TAVLibHandle handle, const RecordOptions& options, const CLI::App& command,
                 Report& report) {
  if (!options.agreement.empty()) {
    report.Call(
        "Corvel_TAVLib_Set_Eula",
        Corvel_TAVLib_Set_Eula(handle, options.agreement[0].c_str(), options.agreement[1].c_str()));
  }
  if (!options.locale.empty()) {
    report.Call("Corvel_TAVLib_Set_InstallLocale",
                Corvel_TAVLib_Set_InstallLocale(handle, options.locale[0].c_str(),
                                                options.locale[1].c_str()));
  }
  if (!options.account.empty()) {
    report.Call("Corvel_TAVLib_SetCorvelId",
                Corvel_TAVLib_SetCorvelId(handle, options.account[0].c_str()));
    report.Call("Corvel_TAVLib_SaveCorvelId",
                Corvel_TAVLib_SaveCorvelId(handle, options.account[1].c_str()));
  }
  if (command.count("--ext-profile") != 0) {
    report.Call("Corvel_TAVLib_SetCorvelIdExtProfile",
                Corvel_TAVLib_SetCorvelIdExtProfile(handle, options.extProfile.c_str()));
  }
  if (command.count("--cleanup") != 0) {
    report.Call("Corvel_TAVLib_CleanUpCachePCD",
                Corvel_TAVLib_CleanUpCachePCD(handle, options.cleanup.c_str()));
  }
}

int RunRecord(const RecordOptions& options, const CLI::App& command, const GlobalOptions& global) {
  if (NothingToRecord(options, command)) {
    throw UsageError(
        "nothing to record: give at least one of --agreement, --locale, --account, "
        "--ext-profile, --cleanup");
  }
  if (!options.discard) RequireWritableStore(CurrentLocations());
  Report report("record");
  {
    LibraryInstance instance;
    RecordCalls(instance.handle(), options, command, report);
    instance.Release(!options.discard);
  }
  report.Set("committed", !options.discard);
  report.Say(std::string(options.discard ? "Released without commit (nothing written)"
                                         : "Released with commit") +
             ": " + report.StatusText());
  return report.Finish(global.json);
}

}  // namespace

void AddRecordCommand(CLI::App& app, CommandSet& commands, const GlobalOptions& global) {
  auto options = std::make_shared<RecordOptions>();
  CLI::App* command = app.add_subcommand(
      "record", "Record installation facts in one instance and release it with commit");
  command
      ->add_option("--agreement", options->agreement,
                   "End-user agreement accepted in LANGUAGE for PRODUCT (Corvel_TAVLib_Set_Eula)")
      ->expected(2)
      ->type_name("LANGUAGE PRODUCT");
  command
      ->add_option("--locale", options->locale,
                   "LOCALE installed for PRODUCT (Corvel_TAVLib_Set_InstallLocale)")
      ->expected(2)
      ->type_name("LOCALE PRODUCT");
  command
      ->add_option("--account", options->account,
                   "The user's ACCOUNT for PRODUCT (Corvel_TAVLib_SetCorvelId, then "
                   "Corvel_TAVLib_SaveCorvelId)")
      ->expected(2)
      ->type_name("PRODUCT ACCOUNT");
  command
      ->add_option("--ext-profile", options->extProfile,
                   "Extended account profile completed for PRODUCT "
                   "(Corvel_TAVLib_SetCorvelIdExtProfile)")
      ->type_name("PRODUCT");
  command
      ->add_option(
          "--cleanup", options->cleanup,
          "Remove every unprotected key of SUBDOMAIN at commit (Corvel_TAVLib_CleanUpCachePCD)")
      ->type_name("SUBDOMAIN");
  command->add_flag(
      "--discard", options->discard,
      "Release without commit, so nothing is written (the calls' statuses are still shown)");
  commands.Add(command,
               [options, command, &global] { return RunRecord(*options, *command, global); });
}

}  // namespace tavctl
