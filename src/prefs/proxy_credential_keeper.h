// The rules a network client follows with proxy credentials and the user's secure
// preferences: after a request that used an instance's credentials, keep them in domain
// "ProxyCredentials" when their remember flag is set and the request's outcome allows it;
// when a request ends with proxy authentication required, read them back for a retry.
//
// Every store access is a session of its own (prefs_session.h). Nothing here logs the
// credentials themselves.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace corvel::prefs {

inline constexpr const char* kProxyCredentialsDomain = "ProxyCredentials";
inline constexpr const char* kProxyUsernameKey = "ProxyUsername";
inline constexpr const char* kProxyPasswordKey = "ProxyPassword";

// How a request through the proxy ended; the numbers are those of the C interface.
enum class ProxyRequestOutcome : int32_t {
  kSucceeded = 0,               // any end but the three below
  kAuthenticationRequired = 1,  // the proxy asked for credentials
  kAuthenticationFailed = 2,    // the proxy refused the credentials given
  kKeepsNothing = 3,            // the client's own status that keeps nothing
};

// The outcome a number names; nullopt for any other number.
std::optional<ProxyRequestOutcome> ProxyRequestOutcomeFromNumber(int32_t number);

// Whether a request that ended so may keep the credentials it used.
bool OutcomeAllowsKeeping(ProxyRequestOutcome outcome);

struct ProxyCredentials {
  std::string username;
  std::string password;
  bool remember = false;  // keep them on disk
};

enum class KeepResult {
  kKept,                 // both values written
  kNotRemembered,        // the remember flag is not set: nothing written
  kOutcomeKeepsNothing,  // the outcome keeps nothing: nothing written
  kWriteFailed,          // a write failed: not kept (the user name may have been written)
};

// Applies the keeping rule: writes "ProxyUsername", then "ProxyPassword", into the user's
// preferences file when `credentials.remember` is set and the outcome allows keeping.
KeepResult KeepProxyCredentials(const ProxyCredentials& credentials, ProxyRequestOutcome outcome);

// The kept credentials, each read size first and then value, with `remember` set; nullopt when
// either read fails.
std::optional<ProxyCredentials> ReadKeptProxyCredentials();

}  // namespace corvel::prefs
