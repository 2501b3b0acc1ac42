// TAVLibImpl: the state behind every instance handle. Construction starts the instance's
// logging session and gives it its identifier; destruction ends the session and, after the
// last instance, unloads the services library.
//
// The fields are public: the operations of the frame, records, configuration and tagging
// subsystems are free functions that read and write them directly.
#pragma once

#include <cstdint>
#include <string>

#include "corvel_tavlib.h"
#include "zepservices.h"

namespace corvel::frame {

class TAVLibImpl {
 public:
  // Defaults, logging set-up, session banner, identifier (in that order).
  TAVLibImpl() noexcept;
  // Session end banner, logging teardown, loader shutdown once no instance is live.
  ~TAVLibImpl();

  TAVLibImpl(const TAVLibImpl&) = delete;
  TAVLibImpl& operator=(const TAVLibImpl&) = delete;

  uint32_t mRefID = 0;  // identifier, set by construction

  ZEPHandle mLogger = nullptr;  // file logger, held only during the logging set-up
  // Set only in the instance that set logging up, until its teardown; the process holds the
  // service itself (see main_log.h).
  ZEPHandle mLoggingService = nullptr;

  // Application context (SetApplicationData).
  bool mIsAppContext = false;
  std::string mPayloadCode;  // also set by CleanUpCachePCD
  bool mCleanUpPCD = false;  // remove every key of mPayloadCode at commit
  std::string mDriverCode;
  std::string mAppProductId;
  std::string mDriverProductId;
  std::string mAppLocale = "en_US";

  // Installation records, written by the commit.
  std::string mEulaLanguage = "en_US";
  std::string mEulaProductCode;
  std::string mInstallLocale = "en_US";
  std::string mInstallLocaleProductCode;
  std::string mAccountProductCode;
  std::string mEncryptedAccountId;
  std::string mAccountIdDigest;
  std::string mAccountId;
  std::string mExtProfileProductCode;
  std::string mProxyUsername;
  std::string mProxyPassword;
  bool mProxyRemember = false;

  // Tagging at commit.
  bool mTaggingPending = false;
  bool mTaggingSuppressed = false;

  // Texts whose pointers the cached-data reads hand back.
  std::string mEnumResult;
  std::string mGetResult;
};

// The handle the C interface gives out for an instance, and back.
inline TAVLibHandle ToHandle(TAVLibImpl* instance) {
  return reinterpret_cast<TAVLibHandle>(instance);
}
inline TAVLibImpl* FromHandle(TAVLibHandle handle) { return reinterpret_cast<TAVLibImpl*>(handle); }

}  // namespace corvel::frame
