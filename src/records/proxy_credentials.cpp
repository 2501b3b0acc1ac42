// Proxy credentials: kept in the instance for the product's network client; kept across
// runs in the user's secure preferences after a request whose outcome calls for it (the
// keeping rules are the preferences' own, proxy_credential_keeper.h), and given back to the
// instance for a retry.
#include <cstring>
#include <optional>
#include <string>

#include "corvel_tavlib.h"
#include "frame/frame_log.h"
#include "frame/tavlib_impl.h"
#include "prefs/proxy_credential_keeper.h"
#include "records/record_operations.h"
#include "util/text_arguments.h"

namespace corvel::records {

namespace {

using frame::FrameLog;

static_assert(kTAVLibProxyRequestSucceeded == int32_t(prefs::ProxyRequestOutcome::kSucceeded) &&
                  kTAVLibProxyAuthenticationRequired ==
                      int32_t(prefs::ProxyRequestOutcome::kAuthenticationRequired) &&
                  kTAVLibProxyAuthenticationFailed ==
                      int32_t(prefs::ProxyRequestOutcome::kAuthenticationFailed) &&
                  kTAVLibProxyRequestKeepsNothing ==
                      int32_t(prefs::ProxyRequestOutcome::kKeepsNothing),
              "the C outcomes are the keeper's outcomes");

// The longest text a record field hands out; the field's last byte is its terminator.
constexpr size_t kMaxProxyFieldText = kTAVLibProxyFieldSize - 1;

// A field's text: up to its first NUL, or the whole field when the caller left none.
std::string FieldText(const char (&field)[kTAVLibProxyFieldSize]) {
  return std::string(field, strnlen(field, sizeof field));
}

void FillField(char (&field)[kTAVLibProxyFieldSize], const std::string& text) {
  const std::string kept = util::Utf8Prefix(text, kMaxProxyFieldText);
  std::memset(field, 0, sizeof field);
  std::memcpy(field, kept.data(), kept.size());
}

uint32_t KeepInstanceCredentials(TAVLibImpl& instance, int32_t outcomeNumber, bool* kept) {
  std::optional<prefs::ProxyRequestOutcome> outcome =
      prefs::ProxyRequestOutcomeFromNumber(outcomeNumber);
  if (!outcome) {
    FrameLog(instance, "TAVLIB Invalid argument passed ");
    return kTAVLibInvalidArgument;
  }
  TAVLibProxyCredentials record{};
  uint32_t fetched = GetCredentialsForProxy(instance, &record);
  if (fetched != kTAVLibSuccess) return fetched;
  prefs::ProxyCredentials credentials{record.username, record.password, record.remember == 1};

  switch (prefs::KeepProxyCredentials(credentials, *outcome)) {
    case prefs::KeepResult::kKept:
      FrameLog(instance, "TAVLIB Proxy credentials kept");
      if (kept != nullptr) *kept = true;
      return kTAVLibSuccess;
    case prefs::KeepResult::kNotRemembered:
      FrameLog(instance, "TAVLIB Proxy credentials not kept: remember flag is not 1");
      return kTAVLibSuccess;
    case prefs::KeepResult::kOutcomeKeepsNothing:
      FrameLog(instance, "TAVLIB Proxy credentials not kept: request outcome %d keeps nothing",
               static_cast<int>(outcomeNumber));
      return kTAVLibSuccess;
    case prefs::KeepResult::kWriteFailed:
      break;
  }
  FrameLog(instance, "TAVLIB Proxy credentials not kept: writing the secure preferences failed");
  return kTAVLibStoreFailed;
}

uint32_t ReuseKeptCredentials(TAVLibImpl& instance, TAVLibProxyCredentials* credentials) {
  std::optional<prefs::ProxyCredentials> kept = prefs::ReadKeptProxyCredentials();
  if (!kept || (kept->username.empty() && kept->password.empty())) {
    FrameLog(instance, "TAVLIB No kept proxy credentials to reuse");
    return kTAVLibNotFound;
  }
  TAVLibProxyCredentials record{};
  FillField(record.username, kept->username);
  FillField(record.password, kept->password);
  record.remember = 1;
  if (!util::IsUsableText(record.username) || !util::IsUsableText(record.password)) {
    FrameLog(instance, "TAVLIB Kept proxy credentials are not well-formed text");
    return kTAVLibNotFound;
  }
  uint32_t given = SetCredentialsForProxy(instance, &record);
  if (given != kTAVLibSuccess) return given;
  if (credentials != nullptr) *credentials = record;
  FrameLog(instance, "TAVLIB Kept proxy credentials reused");
  return kTAVLibSuccess;
}

}  // namespace

uint32_t SetCredentialsForProxy(TAVLibImpl& instance, const TAVLibProxyCredentials* credentials) {
  FrameLog(instance, "TAVLIB SetCredentialsForProxy: STARTED");
  uint32_t result = kTAVLibSuccess;
  std::string username, password;
  if (credentials != nullptr) {
    username = FieldText(credentials->username);
    password = FieldText(credentials->password);
  }
  if (credentials == nullptr || !util::IsUsableText(username.c_str()) ||
      !util::IsUsableText(password.c_str())) {
    FrameLog(instance, "TAVLIB Invalid argument passed ");
    result = kTAVLibInvalidArgument;
  } else {
    instance.mProxyUsername = std::move(username);
    instance.mProxyPassword = std::move(password);
    instance.mProxyRemember = credentials->remember == 1;
  }
  FrameLog(instance, "TAVLIB SetCredentialsForProxy: ENDED");
  return result;
}

uint32_t GetCredentialsForProxy(TAVLibImpl& instance, TAVLibProxyCredentials* credentials) {
  FrameLog(instance, "TAVLIB GetCredentialsForProxy: STARTED");
  if (credentials == nullptr) {
    FrameLog(instance, "TAVLIB Invalid argument passed ");
    FrameLog(instance, "TAVLIB GetCredentialsForProxy: ENDED");
    return kTAVLibInvalidArgument;
  }
  if (instance.mProxyUsername.empty() && instance.mProxyPassword.empty()) {
    FrameLog(instance, "TAVLIB Proxy credentials are empty ");
    FrameLog(instance, "TAVLIB GetCredentialsForProxy: ENDED");
    return kTAVLibNotFound;
  }
  FillField(credentials->username, instance.mProxyUsername);
  FillField(credentials->password, instance.mProxyPassword);
  credentials->remember = instance.mProxyRemember ? 1 : 0;
  FrameLog(instance, "TAVLIB GetCredentialsForProxy: ENDED");
  return kTAVLibSuccess;
}

uint32_t KeepProxyCredentials(TAVLibImpl& instance, int32_t outcome, bool* kept) {
  if (kept != nullptr) *kept = false;
  FrameLog(instance, "TAVLIB KeepProxyCredentials: STARTED");
  uint32_t result = KeepInstanceCredentials(instance, outcome, kept);
  FrameLog(instance, "TAVLIB KeepProxyCredentials: ENDED");
  return result;
}

uint32_t ReuseProxyCredentials(TAVLibImpl& instance, TAVLibProxyCredentials* credentials) {
  FrameLog(instance, "TAVLIB ReuseProxyCredentials: STARTED");
  uint32_t result = ReuseKeptCredentials(instance, credentials);
  FrameLog(instance, "TAVLIB ReuseProxyCredentials: ENDED");
  return result;
}

}  // namespace corvel::records
