// cache get | set | remove: single keys of the store by subdomain, acting at once.
#include <memory>

#include "commands.h"
#include "corvel_tavlib.h"
#include "exit_status.h"
#include "instance.h"
#include "locations.h"
#include "report.h"
#include "store_reader.h"

namespace tavctl {

namespace {

// The largest capacity the library reads with.
constexpr int kMaxCapacity = 512;

struct CacheOptions {
  std::string key;
  std::string value;
  std::string subdomain;
  int subdomainType = 1;
  bool obfuscate = false;
  bool deobfuscate = false;
  bool protectedDomain = false;
  int capacity = kMaxCapacity;
};

int RunGet(const CacheOptions& options, const GlobalOptions& global) {
  RequireExistingStore(CurrentLocations());
  Report report("cache get");
  {
    LibraryInstance instance;
    const char* value = nullptr;
    const uint32_t status = Corvel_TAVLib_GetValueforKeyInSubDomain(
        instance.handle(), &value, options.capacity, options.key.c_str(), options.subdomain.c_str(),
        options.protectedDomain ? 0 : 1, options.deobfuscate);
    report.Call("Corvel_TAVLib_GetValueforKeyInSubDomain", status);
    // The text belongs to the instance: copy it before the release.
    if (status == kTAVLibSuccess) {
      const std::string text = value ? value : "";
      report.Set("value", text);
      report.Say(text);
    } else {
      report.Set("value", nullptr);
    }
    instance.Release(false);
  }
  report.Set("subdomain", options.subdomain);
  report.Set("key", options.key);
  report.Set("domain", DomainName(!options.protectedDomain));
  return report.Finish(global.json);
}

int RunSet(const CacheOptions& options, const GlobalOptions& global) {
  RequireWritableStore(CurrentLocations());
  Report report("cache set");
  {
    LibraryInstance instance;
    report.Call("Corvel_TAVLib_SetValueforKeyInSubDomainInCache",
                Corvel_TAVLib_SetValueforKeyInSubDomainInCache(
                    instance.handle(), options.subdomainType, options.key.c_str(),
                    options.value.c_str(), options.subdomain.c_str(), options.obfuscate));
    instance.Release(false);
  }
  report.Set("subdomain", options.subdomain);
  report.Set("key", options.key);
  report.Set("obfuscated", options.obfuscate);
  report.Say("Set " + options.key + " in " + options.subdomain +
             (options.obfuscate ? " (obfuscated)" : "") + ": " + report.StatusText());
  return report.Finish(global.json);
}

int RunRemoveKey(const CacheOptions& options, const GlobalOptions& global) {
  RequireExistingStore(CurrentLocations());
  Report report("cache remove");
  {
    LibraryInstance instance;
    report.Call(
        "Corvel_TAVLib_RemoveKeyInSubDomainInCache",
        Corvel_TAVLib_RemoveKeyInSubDomainInCache(instance.handle(), options.subdomainType,
                                                  options.key.c_str(), options.subdomain.c_str()));
    instance.Release(false);
  }
  report.Set("subdomain", options.subdomain);
  report.Set("key", options.key);
  report.Say("Removed " + options.key + " from " + options.subdomain + ": " + report.StatusText());
  return report.Finish(global.json);
}

void AddSubdomainOptions(CLI::App* command, CacheOptions& options, bool withType) {
  command->add_option("key", options.key, "The key")->required();
  command
      ->add_option("-s,--subdomain", options.subdomain, "The subdomain (a product or payload code)")
      ->required();
  if (withType) {
    command
        ->add_option("-t,--type", options.subdomainType,
                     "Subdomain type: 0 a product, 1 any other subdomain")
        ->check(CLI::Range(0, 1))
        ->capture_default_str();
  }
}

}  // namespace

void AddCacheCommands(CLI::App& app, CommandSet& commands, const GlobalOptions& global) {
  CLI::App* cache = app.add_subcommand("cache", "Get, set or remove a single key of the store");
  cache->require_subcommand(1);

  auto get = std::make_shared<CacheOptions>();
  CLI::App* get_command =
      cache->add_subcommand("get",
                            "Print a key's value (Corvel_TAVLib_GetValueforKeyInSubDomain); "
                            "unprotected domain by default");
  AddSubdomainOptions(get_command, *get, false);
  get_command->add_flag(
      "--protected", get->protectedDomain,
      "Read the protected domain (configuration entries) instead of the unprotected one");
  get_command->add_flag("--deobfuscate", get->deobfuscate,
                        "De-obfuscate the value under the subdomain");
  get_command->add_option("--capacity", get->capacity, "Read at most CAPACITY - 1 bytes")
      ->check(CLI::Range(1, kMaxCapacity))
      ->capture_default_str();
  commands.Add(get_command, [get, &global] { return RunGet(*get, global); });

  auto set = std::make_shared<CacheOptions>();
  CLI::App* set_command = cache->add_subcommand(
      "set",
      "Store a value in the unprotected domain (Corvel_TAVLib_SetValueforKeyInSubDomainInCache)");
  AddSubdomainOptions(set_command, *set, true);
  set_command->add_option("value", set->value, "The value")->required();
  set_command->add_flag("--obfuscate", set->obfuscate,
                        "Store the value obfuscated under the subdomain (upper-case hexadecimal)");
  commands.Add(set_command, [set, &global] { return RunSet(*set, global); });

  auto remove = std::make_shared<CacheOptions>();
  CLI::App* remove_command = cache->add_subcommand(
      "remove",
      "Remove a key from the unprotected domain (Corvel_TAVLib_RemoveKeyInSubDomainInCache)");
  AddSubdomainOptions(remove_command, *remove, true);
  commands.Add(remove_command, [remove, &global] { return RunRemoveKey(*remove, global); });
}

}  // namespace tavctl
