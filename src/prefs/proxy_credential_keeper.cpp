#include "prefs/proxy_credential_keeper.h"

#include <vector>

#include "prefs/prefs_log.h"
#include "prefs/prefs_session.h"
#include "prefs/secure_prefs.h"

namespace corvel::prefs {

namespace {

constexpr const char* kCategory = "NVX";

bool WriteKeptValue(const char* key, const std::string& value) {
  PrefsSession session;
  int result = SetPrefValue(kProxyCredentialsDomain, key, value.c_str(), nullptr);
  if (result == kPrefsSuccess) return true;
  PrefsError(kCategory, "Failed to keep proxy credentials, key:%s result:%d", key, result);
  return false;
}

// A kept value, asking for its size first and then for the value.
std::optional<std::string> ReadKeptValue(const char* key) {
  PrefsSession session;
  uint32_t size = 0;
  int result = GetPrefValue(kProxyCredentialsDomain, key, nullptr, &size, nullptr);
  if (result == kPrefsSuccess) {
    std::vector<char> buffer(size);
    result = GetPrefValue(kProxyCredentialsDomain, key, buffer.data(), &size, nullptr);
    if (result == kPrefsSuccess) return std::string(buffer.data());
  }
  PrefsWarn(kCategory, "Failed to read kept proxy credentials, key:%s result:%d", key, result);
  return std::nullopt;
}

}  // namespace

std::optional<ProxyRequestOutcome> ProxyRequestOutcomeFromNumber(int32_t number) {
  switch (static_cast<ProxyRequestOutcome>(number)) {
    case ProxyRequestOutcome::kSucceeded:
    case ProxyRequestOutcome::kAuthenticationRequired:
    case ProxyRequestOutcome::kAuthenticationFailed:
    case ProxyRequestOutcome::kKeepsNothing:
      return static_cast<ProxyRequestOutcome>(number);
  }
  return std::nullopt;
}

bool OutcomeAllowsKeeping(ProxyRequestOutcome outcome) {
  return outcome == ProxyRequestOutcome::kSucceeded;
}

KeepResult KeepProxyCredentials(const ProxyCredentials& credentials, ProxyRequestOutcome outcome) {
  if (!credentials.remember) return KeepResult::kNotRemembered;
  if (!OutcomeAllowsKeeping(outcome)) return KeepResult::kOutcomeKeepsNothing;
  if (!WriteKeptValue(kProxyUsernameKey, credentials.username) ||
      !WriteKeptValue(kProxyPasswordKey, credentials.password)) {
    return KeepResult::kWriteFailed;
  }
  return KeepResult::kKept;
}

std::optional<ProxyCredentials> ReadKeptProxyCredentials() {
  std::optional<std::string> username = ReadKeptValue(kProxyUsernameKey);
  if (!username) return std::nullopt;
  std::optional<std::string> password = ReadKeptValue(kProxyPasswordKey);
  if (!password) return std::nullopt;
  return ProxyCredentials{std::move(*username), std::move(*password), true};
}

}  // namespace corvel::prefs
