// The C interface of the library: every exported function. Each checks its instance handle,
// keeps exceptions inside and makes one call into the subsystem that owns the operation.
// A null handle, and a handle that is no longer live (already released, or destroyed), get
// the no-instance result without anything being logged.
#include <new>

#include "capi/commit.h"
#include "config/configuration_processing.h"
#include "config/payload_removal.h"
#include "corvel_tavlib.h"
#include "frame/application_data.h"
#include "frame/instance_registry.h"
#include "frame/tavlib_impl.h"
#include "frame/version.h"
#include "prefs/prefs_session.h"
#include "prefs/secure_prefs.h"
#include "records/record_operations.h"
#include "swtag/iso_tagging.h"

namespace {

using corvel::frame::InstanceRegistry;
using corvel::frame::TAVLibImpl;
namespace config = corvel::config;
namespace prefs = corvel::prefs;
namespace records = corvel::records;

template <typename Result, typename Operation>
Result OnInstance(TAVLibHandle handle, Result noInstance, Result onException,
                  Operation&& operation) noexcept {
  TAVLibImpl* instance = InstanceRegistry::Process().LiveInstance(handle);
  if (instance == nullptr) return noInstance;
  try {
    return operation(*instance);
  } catch (...) {
    return onException;
  }
}

// The results of most operations: no instance, or out of memory inside the operation.
template <typename Operation>
uint32_t OnInstance(TAVLibHandle handle, Operation&& operation) noexcept {
  return OnInstance(handle, uint32_t{kTAVLibNoInstance}, uint32_t{kTAVLibPreconditionFailed},
                    operation);
}

constexpr bool SameResult(int c_result, prefs::PrefsResult store_result) {
  return c_result == store_result;
}
static_assert(SameResult(kTAVLibPrefSuccess, prefs::kPrefsSuccess) &&
                  SameResult(kTAVLibPrefFailed, prefs::kPrefsFailed) &&
                  SameResult(kTAVLibPrefNoFile, prefs::kPrefsNoFile) &&
                  SameResult(kTAVLibPrefInvalidArgument, prefs::kPrefsInvalidArgument) &&
                  SameResult(kTAVLibPrefBufferTooSmall, prefs::kPrefsBufferTooSmall) &&
                  SameResult(kTAVLibPrefCannotWriteFile, prefs::kPrefsCannotWriteFile) &&
                  SameResult(kTAVLibPrefCannotCreateFolder, prefs::kPrefsCannotCreateFolder),
              "the C results are the preferences store's results");

}  // namespace

extern "C" {

// ---- Instances and version ---------------------------------------------------------------

CORVEL_TAVLIB_API TAVLibHandle CORVEL_TAVLIB_CALL Corvel_TAVLib_CreateRef(void) {
  InstanceRegistry& registry = InstanceRegistry::Process();
  // Room in the list first: once constructed, the instance is counted and must be listed.
  if (!registry.ReserveEntry()) return nullptr;
  TAVLibImpl* instance = new (std::nothrow) TAVLibImpl();
  if (instance == nullptr) return nullptr;
  registry.Append(instance);
  return corvel::frame::ToHandle(instance);
}

CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_ReleaseRef(TAVLibHandle handle,
                                                                       int32_t commit) {
  InstanceRegistry& registry = InstanceRegistry::Process();
  TAVLibImpl* instance = registry.LiveInstance(handle);
  if (instance == nullptr) return 0;
  try {
    corvel::capi::CommitPCD(*instance, commit == 1);
  } catch (...) {
    // The release goes on: the instance is counted out whatever the commit did.
  }
  registry.Release(instance);
  return 0;
}

CORVEL_TAVLIB_API int32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_GetRefID(TAVLibHandle handle) {
  TAVLibImpl* instance = InstanceRegistry::Process().LiveInstance(handle);
  if (instance == nullptr) return -1;
  return static_cast<int32_t>(instance->mRefID);
}

CORVEL_TAVLIB_API void CORVEL_TAVLIB_CALL Corvel_TAVLib_Getversion(int32_t* major, int32_t* minor,
                                                                   int32_t* patch,
                                                                   const char** version) {
  if (major != nullptr) *major = corvel::frame::kVersionMajor;
  if (minor != nullptr) *minor = corvel::frame::kVersionMinor;
  if (patch != nullptr) *patch = corvel::frame::kVersionPatch;
  if (version != nullptr) *version = corvel::frame::kVersionText;
}

CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_SetApplicationData(
    TAVLibHandle handle, const char* driverCode, const char* appProductId,
    const char* driverProductId, const char* appLocale, const char* payloadCode, int32_t tagging) {
  return OnInstance(handle, [&](TAVLibImpl& instance) {
    return corvel::frame::SetApplicationData(instance, driverCode, appProductId, driverProductId,
                                             appLocale, payloadCode, tagging);
  });
}

// ---- Cached data by subdomain ------------------------------------------------------------

CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_EnumerateKeys(TAVLibHandle handle,
                                                                          const char* inKey,
                                                                          const char** outValue,
                                                                          int32_t inSubDomainType) {
  return OnInstance(handle, [&](TAVLibImpl& instance) {
    return records::EnumerateKeys(instance, inKey, outValue, inSubDomainType);
  });
}

CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_SetValueforKeyInSubDomainInCache(
    TAVLibHandle handle, int32_t inSubDomainType, const char* inKey, const char* inValue,
    const char* inSubDomain, bool inObfuscate) {
  return OnInstance(handle, [&](TAVLibImpl& instance) {
    return records::SetValueforKeyInSubDomainInCache(instance, inSubDomainType, inKey, inValue,
                                                     inSubDomain, inObfuscate);
  });
}

CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_GetValueforKeyInSubDomain(
    TAVLibHandle handle, const char** outValue, int32_t inCapacity, const char* inKey,
    const char* inSubDomain, int32_t inDomain, bool inDeobfuscate) {
  return OnInstance(handle, [&](TAVLibImpl& instance) {
    return records::GetValueforKeyInSubDomain(instance, outValue, inCapacity, inKey, inSubDomain,
                                              inDomain, inDeobfuscate);
  });
}

CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_RemoveKeyInSubDomainInCache(
    TAVLibHandle handle, int32_t inSubDomainType, const char* inKey, const char* inSubDomain) {
  return OnInstance(handle, [&](TAVLibImpl& instance) {
    return records::RemoveKeyInSubDomainInCache(instance, inSubDomainType, inKey, inSubDomain);
  });
}

CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL
Corvel_TAVLib_CleanUpCachePCD(TAVLibHandle handle, const char* inSubDomain) {
  return OnInstance(handle, [&](TAVLibImpl& instance) {
    return records::CleanUpCachePCD(instance, inSubDomain);
  });
}

// ---- Installation records ----------------------------------------------------------------

CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_Set_Eula(TAVLibHandle handle,
                                                                     const char* language,
                                                                     const char* productCode) {
  return OnInstance(handle, [&](TAVLibImpl& instance) {
    return records::Set_Eula(instance, language, productCode);
  });
}

CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL
Corvel_TAVLib_Set_InstallLocale(TAVLibHandle handle, const char* locale, const char* productCode) {
  return OnInstance(handle, [&](TAVLibImpl& instance) {
    return records::Set_InstallLocale(instance, locale, productCode);
  });
}

CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_SetCorvelId(TAVLibHandle handle,
                                                                        const char* productCode) {
  return OnInstance(
      handle, [&](TAVLibImpl& instance) { return records::SetCorvelId(instance, productCode); });
}

CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_SaveCorvelId(TAVLibHandle handle,
                                                                         const char* accountId) {
  return OnInstance(
      handle, [&](TAVLibImpl& instance) { return records::SaveCorvelId(instance, accountId); });
}

CORVEL_TAVLIB_API bool CORVEL_TAVLIB_CALL Corvel_TAVLib_GetCorvelId(TAVLibHandle handle,
                                                                    void* output) {
  return OnInstance(handle, false, false,
                    [&](TAVLibImpl& instance) { return records::GetCorvelId(instance, output); });
}

CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL
Corvel_TAVLib_SetCorvelIdExtProfile(TAVLibHandle handle, const char* productCode) {
  return OnInstance(handle, [&](TAVLibImpl& instance) {
    return records::SetCorvelIdExtProfile(instance, productCode);
  });
}

// ---- Proxy credentials -------------------------------------------------------------------

CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_SetCredentialsForProxy(
    TAVLibHandle handle, const TAVLibProxyCredentials* credentials) {
  return OnInstance(handle, [&](TAVLibImpl& instance) {
    return records::SetCredentialsForProxy(instance, credentials);
  });
}

CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_KeepProxyCredentials(
    TAVLibHandle handle, TAVLibProxyRequestOutcome outcome, bool* kept) {
  return OnInstance(handle, [&](TAVLibImpl& instance) {
    return records::KeepProxyCredentials(instance, outcome, kept);
  });
}

CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL
Corvel_TAVLib_ReuseProxyCredentials(TAVLibHandle handle, TAVLibProxyCredentials* credentials) {
  return OnInstance(handle, [&](TAVLibImpl& instance) {
    return records::ReuseProxyCredentials(instance, credentials);
  });
}

// ---- Install-time configuration ----------------------------------------------------------

CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL
Corvel_TAVLib_Process_file(TAVLibHandle handle, const char* configPath, const char* payloadCode,
                           const char* driverCode, const char* overrideDirectory) {
  return OnInstance(handle, [&](TAVLibImpl& instance) {
    return config::Process_file(instance, configPath, payloadCode, driverCode, overrideDirectory);
  });
}

// Removal reports only its argument check and its commit: out of memory, it answers 0.
CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL
Corvel_TAVLib_Remove_payload(TAVLibHandle handle, const char* payloadCode) {
  return OnInstance(
      handle, uint32_t{kTAVLibNoInstance}, uint32_t{kTAVLibSuccess},
      [&](TAVLibImpl& instance) { return config::Remove_payload(instance, payloadCode); });
}

// ---- Tagging -----------------------------------------------------------------------------

CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL
Corvel_TAVLib_ISOTaggingAtInstall(TAVLibHandle handle, const char* payloadCode) {
  return OnInstance(handle, uint32_t{kTAVLibNoInstance}, uint32_t{kTAVLibSuccess},
                    [&](TAVLibImpl& instance) {
                      return corvel::swtag::ISOTaggingAtInstall(instance, payloadCode);
                    });
}

// ---- Secure preferences (no instance; each call is one session with the store) ------------

CORVEL_TAVLIB_API int32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_GetSecurePreference(
    const char* domain, const char* key, char* buffer, uint32_t* size, const char* prefsFilePath) {
  prefs::PrefsSession session;
  return prefs::GetPrefValue(domain, key, buffer, size, prefsFilePath);
}

CORVEL_TAVLIB_API int32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_SetSecurePreference(
    const char* domain, const char* key, const char* value, const char* prefsFilePath) {
  prefs::PrefsSession session;
  return prefs::SetPrefValue(domain, key, value, prefsFilePath);
}

}  // extern "C"
