// The proxy-credential exports: keep an instance's credentials in the user's secure
// preferences after a request, and give kept credentials back to the instance for a retry.
// The rules themselves are in proxy_credential_keeper.h; this file joins them to the instance.
#include <cstring>

#include "corvel_tavlib.h"
#include "frame/export_support.h"
#include "frame/frame_log.h"
#include "frame/tavlib_impl.h"
#include "prefs/proxy_credential_keeper.h"
#include "records/text_arguments.h"

namespace {

using corvel::frame::FrameLog;
using corvel::frame::TAVLibImpl;
namespace prefs = corvel::prefs;

static_assert(kTAVLibProxyRequestSucceeded == int32_t(prefs::ProxyRequestOutcome::kSucceeded) &&
              kTAVLibProxyAuthenticationRequired ==
                  int32_t(prefs::ProxyRequestOutcome::kAuthenticationRequired) &&
              kTAVLibProxyAuthenticationFailed ==
                  int32_t(prefs::ProxyRequestOutcome::kAuthenticationFailed) &&
              kTAVLibProxyRequestKeepsNothing == int32_t(prefs::ProxyRequestOutcome::kKeepsNothing),
              "the C outcomes are the keeper's outcomes");

// The longest text a record field holds; its last byte is the terminator.
constexpr size_t kMaxFieldText = kTAVLibProxyFieldSize - 1;

uint32_t KeepInstanceCredentials(TAVLibImpl& instance, int32_t outcomeNumber, bool* kept) {
  std::optional<prefs::ProxyRequestOutcome> outcome =
      prefs::ProxyRequestOutcomeFromNumber(outcomeNumber);
  if (!outcome) {
    FrameLog(instance, "TAVLIB Invalid argument passed ");
    return kTAVLibInvalidArgument;
  }
  TAVLibProxyCredentials record{};
  uint32_t fetched = instance.GetCredentialsForProxy(&record);
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

// Fills a record field with at most 256 bytes of `text`, never splitting a UTF-8 sequence.
void FillField(char (&field)[kTAVLibProxyFieldSize], const std::string& text) {
  std::memset(field, 0, sizeof field);
  const std::string kept = corvel::records::Utf8Prefix(text, kMaxFieldText);
  std::memcpy(field, kept.data(), kept.size());
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
  if (!corvel::records::IsUsableText(record.username) ||
      !corvel::records::IsUsableText(record.password)) {
    FrameLog(instance, "TAVLIB Kept proxy credentials are not well-formed text");
    return kTAVLibNotFound;
  }
  uint32_t given = instance.SetCredentialsForProxy(&record);
  if (given != kTAVLibSuccess) return given;
  if (credentials != nullptr) *credentials = record;
  FrameLog(instance, "TAVLIB Kept proxy credentials reused");
  return kTAVLibSuccess;
}

template <typename Operation>
uint32_t Forward(TAVLibHandle handle, Operation&& operation) noexcept {
  return corvel::frame::ForwardToInstance(handle, uint32_t{kTAVLibNoInstance},
                                          uint32_t{kTAVLibPreconditionFailed},
                                          std::forward<Operation>(operation));
}

}  // namespace

extern "C" {

CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_KeepProxyCredentials(
    TAVLibHandle handle, TAVLibProxyRequestOutcome outcome, bool* kept) {
  return Forward(handle, [&](TAVLibImpl& instance) {
    if (kept != nullptr) *kept = false;
    FrameLog(instance, "TAVLIB KeepProxyCredentials: STARTED");
    uint32_t result = KeepInstanceCredentials(instance, outcome, kept);
    FrameLog(instance, "TAVLIB KeepProxyCredentials: ENDED");
    return result;
  });
}

CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_ReuseProxyCredentials(
    TAVLibHandle handle, TAVLibProxyCredentials* credentials) {
  return Forward(handle, [&](TAVLibImpl& instance) {
    FrameLog(instance, "TAVLIB ReuseProxyCredentials: STARTED");
    uint32_t result = ReuseKeptCredentials(instance, credentials);
    FrameLog(instance, "TAVLIB ReuseProxyCredentials: ENDED");
    return result;
  });
}

}  // extern "C"
