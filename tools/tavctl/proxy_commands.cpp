// proxy keep | reuse: the rules a network client follows with an instance's proxy
// credentials, kept in the user's secure preferences.
#include <cstring>
#include <iostream>
#include <map>
#include <memory>

#include "commands.h"
#include "corvel_tavlib.h"
#include "exit_status.h"
#include "instance.h"
#include "report.h"
#include "tool_error.h"

namespace tavctl {

namespace {

struct KeepOptions {
  std::string user;
  std::string password;
  bool passwordFromInput = false;
  bool forget = false;
  std::string outcome = "succeeded";
};

const std::map<std::string, TAVLibProxyRequestOutcome>& Outcomes() {
  static const std::map<std::string, TAVLibProxyRequestOutcome> outcomes = {
      {"succeeded", kTAVLibProxyRequestSucceeded},
      {"auth-required", kTAVLibProxyAuthenticationRequired},
      {"auth-failed", kTAVLibProxyAuthenticationFailed},
      {"keeps-nothing", kTAVLibProxyRequestKeepsNothing}};
  return outcomes;
}

// Copies a text into a field, NUL-terminated; refuses one that does not fit.
void CopyField(char (&field)[kTAVLibProxyFieldSize], const std::string& text, const char* what) {
  if (text.size() >= kTAVLibProxyFieldSize) {
    throw UsageError(std::string(what) + " is longer than " +
                     std::to_string(kTAVLibProxyFieldSize - 1) + " bytes");
  }
  std::memcpy(field, text.c_str(), text.size() + 1);
}

int RunKeep(const KeepOptions& options, const GlobalOptions& global) {
  std::string password = options.password;
  if (options.passwordFromInput && !std::getline(std::cin, password)) {
    throw ToolError("no password on standard input");
  }
  TAVLibProxyCredentials credentials{};
  CopyField(credentials.username, options.user, "the user name");
  CopyField(credentials.password, password, "the password");
  credentials.remember = options.forget ? 0 : 1;

  Report report("proxy keep");
  bool kept = false;
  {
    LibraryInstance instance;
    report.Call("Corvel_TAVLib_SetCredentialsForProxy",
                Corvel_TAVLib_SetCredentialsForProxy(instance.handle(), &credentials));
    report.Call("Corvel_TAVLib_KeepProxyCredentials",
                Corvel_TAVLib_KeepProxyCredentials(instance.handle(),
                                                   Outcomes().at(options.outcome), &kept));
    instance.Release(false);
  }
  report.Set("kept", kept);
  report.Say(std::string(kept ? "Kept" : "Did not keep") + " the credentials of " + options.user +
             ": " + report.StatusText());
  return report.Finish(global.json);
}

int RunReuse(bool showPassword, const GlobalOptions& global) {
  Report report("proxy reuse");
  TAVLibProxyCredentials credentials{};
  {
    LibraryInstance instance;
    report.Call("Corvel_TAVLib_ReuseProxyCredentials",
                Corvel_TAVLib_ReuseProxyCredentials(instance.handle(), &credentials));
    instance.Release(false);
  }
  if (report.status() == kTAVLibSuccess) {
    const std::string user = credentials.username;
    const std::string password = credentials.password;
    report.Set("user", user);
    report.Set("password_length", password.size());
    if (showPassword) report.Set("password", password);
    report.Say("user " + user);
    report.Say(showPassword ? "password " + password
                            : "password (" + std::to_string(password.size()) +
                                  " bytes; --show-password prints it)");
  }
  std::memset(&credentials, 0, sizeof credentials);
  return report.Finish(global.json);
}

}  // namespace

void AddProxyCommands(CLI::App& app, CommandSet& commands, const GlobalOptions& global) {
  CLI::App* proxy = app.add_subcommand(
      "proxy", "Keep proxy credentials in the user's secure preferences, or reuse kept ones");
  proxy->require_subcommand(1);

  auto keep = std::make_shared<KeepOptions>();
  CLI::App* keep_command = proxy->add_subcommand(
      "keep",
      "Give an instance credentials (Corvel_TAVLib_SetCredentialsForProxy) and apply the "
      "keeping rules after a request (Corvel_TAVLib_KeepProxyCredentials)");
  keep_command->add_option("user", keep->user, "The proxy user name")->required();
  CLI::Option* password = keep_command->add_option("--password", keep->password, "The password");
  keep_command
      ->add_flag("--password-stdin", keep->passwordFromInput,
                 "Read the password from the first line of standard input")
      ->excludes(password);
  keep_command->add_flag("--forget", keep->forget, "Record the credentials with remember flag 0");
  keep_command->add_option("--outcome", keep->outcome, "How the request ended")
      ->check(CLI::IsMember({"succeeded", "auth-required", "auth-failed", "keeps-nothing"}))
      ->capture_default_str();
  commands.Add(keep_command, [keep, &global] { return RunKeep(*keep, global); });

  auto show = std::make_shared<bool>(false);
  CLI::App* reuse_command = proxy->add_subcommand(
      "reuse", "Read the kept credentials into an instance (Corvel_TAVLib_ReuseProxyCredentials)");
  reuse_command->add_flag("--show-password", *show, "Print the password too");
  commands.Add(reuse_command, [show, &global] { return RunReuse(*show, global); });
}

}  // namespace tavctl
