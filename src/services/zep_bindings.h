// The bound entry points of the services library. Each wrapper has the entry point's name,
// resolves it through the ServiceLoader on every call, and answers the unbound result
// (null, ZEP_STATUS_UNBOUND or nothing) with its failure line on the debugger output when
// the entry point cannot be resolved.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "zepservices.h"

namespace corvel::zep {

void C_ZEPRelease(ZEPHandle handle);

ZEPHandle C_ZEPLoggerCreateFileLoggerWithPathAndSize(const char* path, uint32_t max_size);
ZEPHandle C_ZEPLoggingServiceCreateWithID(uint32_t id);
void C_ZEPLoggingServiceAddLogger(ZEPHandle service, ZEPHandle logger);
void C_ZEPLoggingServiceCleanUpResource(ZEPHandle service);
void C_ZEPLogv(ZEPHandle service, const char* component, int level, const char* pattern,
               const char* format, va_list args);

ZEPHandle C_ZEPPCDServiceCreate();
ZEPStatus C_ZEPPCDServiceBeginTransaction(ZEPHandle store);
ZEPStatus C_ZEPPCDServiceEndTransaction(ZEPHandle store);
ZEPStatus C_ZEPPCDServiceCheckDatabase(ZEPHandle store, bool repair);
ZEPStatus C_ZEPPCDServiceValueForKeyInSubDomain(ZEPHandle store, char* buffer, uint32_t size,
                                                const char* key, const char* subdomain,
                                                bool unprotected_domain);
ZEPStatus C_ZEPPCDServiceSetValueForKeyInSubDomain(ZEPHandle store, const char* value,
                                                   const char* key, const char* subdomain,
                                                   bool unprotected_domain);
ZEPStatus C_ZEPPCDServiceRemoveKeyInSubDomain(ZEPHandle store, const char* key,
                                              const char* subdomain, bool unprotected_domain);
ZEPStatus C_ZEPPCDServiceRemoveAllKeysInSubDomain(ZEPHandle store, const char* subdomain,
                                                  bool unprotected_domain);
ZEPStatus C_ZEPPCDServiceLicensingCodeForCorvelCode(ZEPHandle store, char* buffer, uint32_t size,
                                                    const char* payload_code);
ZEPStatus C_ZEPPCDServiceEnumerate(ZEPHandle store, const char* subdomain,
                                   ZEPEnumerateCallback callback, void* context);

ZEPHandle C_EULAServiceCreate();
ZEPStatus C_EULA_SetState(ZEPHandle eula, const char* product_code, int state, int kind,
                          const char* language);

// Gives a handle back with C_ZEPRelease when it goes out of scope.
class ScopedHandle {
 public:
  explicit ScopedHandle(ZEPHandle handle = nullptr) : mHandle(handle) {}
  ~ScopedHandle() { reset(); }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ZEPHandle get() const { return mHandle; }
  explicit operator bool() const { return mHandle != nullptr; }
  void reset(ZEPHandle handle = nullptr) {
    if (mHandle) C_ZEPRelease(mHandle);
    mHandle = handle;
  }
  ZEPHandle release() {
    ZEPHandle h = mHandle;
    mHandle = nullptr;
    return h;
  }

 private:
  ZEPHandle mHandle;
};

}  // namespace corvel::zep
