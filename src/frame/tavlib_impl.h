// TAVLibImpl: the object behind every instance handle. Construction starts the instance's
// logging session and gives it its identifier; CommitPCD writes what the operations gathered
// when the handle is released; destruction ends the session and, after the last instance,
// unloads the services library.
//
// The fields are public: the operations of the records, configuration and tagging
// subsystems read and write them directly.
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
  virtual ~TAVLibImpl();

  TAVLibImpl(const TAVLibImpl&) = delete;
  TAVLibImpl& operator=(const TAVLibImpl&) = delete;

  // Runs once, from Corvel_TAVLib_ReleaseRef. With `commit` false it only logs its two lines.
  void CommitPCD(bool commit);

  // ---- Operations defined by the frame ----------------------------------------------------

  // The application-data hand-over (Corvel_TAVLib_SetApplicationData).
  uint32_t SetApplicationData(const char* driverCode, const char* appProductId,
                              const char* driverProductId, const char* appLocale,
                              const char* payloadCode, int32_t tagging);

  // ---- Operations of the other subsystems (each defined in its own folder) ----------------
  // Each is reached through the export of the same name, which checks the handle first.

  // Cached data by subdomain (src/records).
  uint32_t EnumerateKeys(const char* inKey, const char** outValue, int32_t inSubDomainType);
  uint32_t SetValueforKeyInSubDomainInCache(int32_t inSubDomainType, const char* inKey,
                                            const char* inValue, const char* inSubDomain,
                                            bool inObfuscate);
  uint32_t GetValueforKeyInSubDomain(const char** outValue, int32_t inCapacity,
                                     const char* inKey, const char* inSubDomain,
                                     int32_t inDomain, bool inDeobfuscate);
  uint32_t RemoveKeyInSubDomainInCache(int32_t inSubDomainType, const char* inKey,
                                       const char* inSubDomain);
  uint32_t CleanUpCachePCD(const char* inSubDomain);

  // Installation records (src/records).
  uint32_t Set_Eula(const char* language, const char* productCode);
  uint32_t Set_InstallLocale(const char* locale, const char* productCode);
  uint32_t SetCorvelId(const char* productCode);
  uint32_t SaveCorvelId(const char* accountId);
  bool GetCorvelId(void* output);
  uint32_t SetCorvelIdExtProfile(const char* productCode);
  uint32_t SetCredentialsForProxy(const TAVLibProxyCredentials* credentials);
  uint32_t GetCredentialsForProxy(TAVLibProxyCredentials* credentials);

  // Install-time configuration (src/config).
  uint32_t Process_file(const char* configPath, const char* payloadCode, const char* driverCode,
                        const char* overrideDirectory);
  uint32_t Remove_payload(const char* payloadCode);

  // Tagging (src/swtag). DoISOTagging tags the running product; the commit calls it with two
  // nulls when tagging is pending and not suppressed.
  uint32_t ISOTaggingAtInstall(const char* payloadCode);
  void DoISOTagging(const char* productCodeOverride, const char* localeOverride);

  // ---- Fields -----------------------------------------------------------------------------

  uint32_t mRefID = 0;  // identifier, set by construction

  ZEPHandle mLogger = nullptr;          // file logger, held only during the logging set-up
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

  ZEPHandle mStore = nullptr;  // store handle of the commit in progress

  // Texts whose pointers the cached-data reads hand back.
  std::string mEnumResult;
  std::string mGetResult;
};

// The handle the C interface gives out for an instance, and back.
inline TAVLibHandle ToHandle(TAVLibImpl* instance) {
  return reinterpret_cast<TAVLibHandle>(instance);
}
inline TAVLibImpl* FromHandle(TAVLibHandle handle) {
  return reinterpret_cast<TAVLibImpl*>(handle);
}

}  // namespace corvel::frame
