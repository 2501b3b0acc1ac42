// The exports of the records subsystem: cached data by subdomain and installation records.
// Each checks the handle and forwards to the instance operation of the same name.
#include <utility>

#include "corvel_tavlib.h"
#include "frame/export_support.h"
#include "frame/tavlib_impl.h"

using corvel::frame::ForwardToInstance;
using corvel::frame::TAVLibImpl;

namespace {

// The status of an operation that ran out of memory.
constexpr uint32_t kOnException = kTAVLibPreconditionFailed;

template <typename Operation>
uint32_t Forward(TAVLibHandle handle, Operation&& operation) noexcept {
  return ForwardToInstance(handle, uint32_t{kTAVLibNoInstance}, kOnException,
                           std::forward<Operation>(operation));
}

}  // namespace

extern "C" {

CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_EnumerateKeys(
    TAVLibHandle handle, const char* inKey, const char** outValue, int32_t inSubDomainType) {
  return Forward(handle, [&](TAVLibImpl& instance) {
    return instance.EnumerateKeys(inKey, outValue, inSubDomainType);
  });
}

CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_SetValueforKeyInSubDomainInCache(
    TAVLibHandle handle, int32_t inSubDomainType, const char* inKey, const char* inValue,
    const char* inSubDomain, bool inObfuscate) {
  return Forward(handle, [&](TAVLibImpl& instance) {
    return instance.SetValueforKeyInSubDomainInCache(inSubDomainType, inKey, inValue,
                                                     inSubDomain, inObfuscate);
  });
}

CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_GetValueforKeyInSubDomain(
    TAVLibHandle handle, const char** outValue, int32_t inCapacity, const char* inKey,
    const char* inSubDomain, int32_t inDomain, bool inDeobfuscate) {
  return Forward(handle, [&](TAVLibImpl& instance) {
    return instance.GetValueforKeyInSubDomain(outValue, inCapacity, inKey, inSubDomain,
                                              inDomain, inDeobfuscate);
  });
}

CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_RemoveKeyInSubDomainInCache(
    TAVLibHandle handle, int32_t inSubDomainType, const char* inKey, const char* inSubDomain) {
  return Forward(handle, [&](TAVLibImpl& instance) {
    return instance.RemoveKeyInSubDomainInCache(inSubDomainType, inKey, inSubDomain);
  });
}

CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_CleanUpCachePCD(
    TAVLibHandle handle, const char* inSubDomain) {
  return Forward(handle,
                 [&](TAVLibImpl& instance) { return instance.CleanUpCachePCD(inSubDomain); });
}

CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_Set_Eula(TAVLibHandle handle,
                                                                      const char* language,
                                                                      const char* productCode) {
  return Forward(handle,
                 [&](TAVLibImpl& instance) { return instance.Set_Eula(language, productCode); });
}

CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_Set_InstallLocale(
    TAVLibHandle handle, const char* locale, const char* productCode) {
  return Forward(handle, [&](TAVLibImpl& instance) {
    return instance.Set_InstallLocale(locale, productCode);
  });
}

CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_SetCorvelId(TAVLibHandle handle,
                                                                         const char* productCode) {
  return Forward(handle,
                 [&](TAVLibImpl& instance) { return instance.SetCorvelId(productCode); });
}

CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_SaveCorvelId(TAVLibHandle handle,
                                                                          const char* accountId) {
  return Forward(handle,
                 [&](TAVLibImpl& instance) { return instance.SaveCorvelId(accountId); });
}

CORVEL_TAVLIB_API bool CORVEL_TAVLIB_CALL Corvel_TAVLib_GetCorvelId(TAVLibHandle handle,
                                                                     void* output) {
  return ForwardToInstance(handle, false, false,
                           [&](TAVLibImpl& instance) { return instance.GetCorvelId(output); });
}

CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_SetCorvelIdExtProfile(
    TAVLibHandle handle, const char* productCode) {
  return Forward(handle, [&](TAVLibImpl& instance) {
    return instance.SetCorvelIdExtProfile(productCode);
  });
}

CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_SetCredentialsForProxy(
    TAVLibHandle handle, const TAVLibProxyCredentials* credentials) {
  return Forward(handle, [&](TAVLibImpl& instance) {
    return instance.SetCredentialsForProxy(credentials);
  });
}

}  // extern "C"
