// Proxy credentials: kept in the instance for the product's network client, which stores
// them in the secure preferences file when their remember flag is set.
#include <cstring>
#include <string>

#include "corvel_tavlib.h"
#include "frame/frame_log.h"
#include "frame/tavlib_impl.h"
#include "records/text_arguments.h"

namespace corvel::frame {

namespace {

// The longest text a record field hands out; the field's last byte is its terminator.
constexpr size_t kMaxProxyFieldText = kTAVLibProxyFieldSize - 1;

// A field's text: up to its first NUL, or the whole field when the caller left none.
std::string FieldText(const char (&field)[kTAVLibProxyFieldSize]) {
  return std::string(field, strnlen(field, sizeof field));
}

void FillField(char (&field)[kTAVLibProxyFieldSize], const std::string& text) {
  const std::string kept = records::Utf8Prefix(text, kMaxProxyFieldText);
  std::memset(field, 0, sizeof field);
  std::memcpy(field, kept.data(), kept.size());
}

}  // namespace

uint32_t TAVLibImpl::SetCredentialsForProxy(const TAVLibProxyCredentials* credentials) {
  FrameLog(*this, "TAVLIB SetCredentialsForProxy: STARTED");
  uint32_t result = kTAVLibSuccess;
  std::string username, password;
  if (credentials != nullptr) {
    username = FieldText(credentials->username);
    password = FieldText(credentials->password);
  }
  if (credentials == nullptr || !records::IsUsableText(username.c_str()) ||
      !records::IsUsableText(password.c_str())) {
    FrameLog(*this, "TAVLIB Invalid argument passed ");
    result = kTAVLibInvalidArgument;
  } else {
    mProxyUsername = std::move(username);
    mProxyPassword = std::move(password);
    mProxyRemember = credentials->remember == 1;
  }
  FrameLog(*this, "TAVLIB SetCredentialsForProxy: ENDED");
  return result;
}

uint32_t TAVLibImpl::GetCredentialsForProxy(TAVLibProxyCredentials* credentials) {
  FrameLog(*this, "TAVLIB GetCredentialsForProxy: STARTED");
  if (credentials == nullptr) {
    FrameLog(*this, "TAVLIB Invalid argument passed ");
    FrameLog(*this, "TAVLIB GetCredentialsForProxy: ENDED");
    return kTAVLibInvalidArgument;
  }
  if (mProxyUsername.empty() && mProxyPassword.empty()) {
    FrameLog(*this, "TAVLIB Proxy credentials are empty ");
    FrameLog(*this, "TAVLIB GetCredentialsForProxy: ENDED");
    return kTAVLibNotFound;
  }
  FillField(credentials->username, mProxyUsername);
  FillField(credentials->password, mProxyPassword);
  credentials->remember = mProxyRemember ? 1 : 0;
  FrameLog(*this, "TAVLIB GetCredentialsForProxy: ENDED");
  return kTAVLibSuccess;
}

}  // namespace corvel::frame
