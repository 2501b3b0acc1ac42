// A services library put beside the library in place of the real one: every entry point but
// C_ZEPLogv appends its name, one per line, to the file ZEP_CALL_RECORD names, and is then
// forwarded to the real services library.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

#include "zepservices.h"

namespace {

void* Real(const char* name) {
  static void* const real = dlopen(REAL_SERVICES_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  return real != nullptr ? dlsym(real, name) : nullptr;
}

void Record(const char* name) {
  const char* path = std::getenv("ZEP_CALL_RECORD");
  FILE* file = path != nullptr ? std::fopen(path, "a") : nullptr;
  if (file == nullptr) return;
  std::fprintf(file, "%s\n", name);
  std::fclose(file);
}

}  // namespace

#define EXPORTED extern "C" __attribute__((visibility("default")))
// An entry point that records its name and forwards the call.
#define RECORDED(type, name, params, args)                      \
  EXPORTED type name params {                                   \
    Record(#name);                                              \
    return reinterpret_cast<decltype(&name)>(Real(#name)) args; \
  }

RECORDED(ZEPHandle, C_ZEPPCDServiceCreate, (void), ())
RECORDED(void, C_ZEPRelease, (ZEPHandle h), (h))
RECORDED(ZEPHandle, C_ZEPLoggerCreateFileLoggerWithPathAndSize, (const char* path, uint32_t size),
         (path, size))
RECORDED(ZEPHandle, C_ZEPLoggingServiceCreateWithID, (uint32_t id), (id))
RECORDED(void, C_ZEPLoggingServiceAddLogger, (ZEPHandle service, ZEPHandle logger),
         (service, logger))
RECORDED(void, C_ZEPLoggingServiceCleanUpResource, (ZEPHandle service), (service))
RECORDED(ZEPStatus, C_ZEPPCDServiceBeginTransaction, (ZEPHandle h), (h))
RECORDED(ZEPStatus, C_ZEPPCDServiceEndTransaction, (ZEPHandle h), (h))
RECORDED(ZEPStatus, C_ZEPPCDServiceCheckDatabase, (ZEPHandle h, bool repair), (h, repair))
RECORDED(ZEPStatus, C_ZEPPCDServiceValueForKeyInSubDomain,
         (ZEPHandle h, char* buffer, uint32_t size, const char* key, const char* sub, bool open),
         (h, buffer, size, key, sub, open))
RECORDED(ZEPStatus, C_ZEPPCDServiceSetValueForKeyInSubDomain,
         (ZEPHandle h, const char* value, const char* key, const char* sub, bool open),
         (h, value, key, sub, open))
RECORDED(ZEPStatus, C_ZEPPCDServiceRemoveKeyInSubDomain,
         (ZEPHandle h, const char* key, const char* sub, bool open), (h, key, sub, open))
RECORDED(ZEPStatus, C_ZEPPCDServiceRemoveAllKeysInSubDomain,
         (ZEPHandle h, const char* sub, bool open), (h, sub, open))
RECORDED(ZEPStatus, C_ZEPPCDServiceLicensingCodeForCorvelCode,
         (ZEPHandle h, char* buffer, uint32_t size, const char* payload),
         (h, buffer, size, payload))
RECORDED(ZEPStatus, C_ZEPPCDServiceEnumerate,
         (ZEPHandle h, const char* sub, ZEPEnumerateCallback callback, void* context),
         (h, sub, callback, context))
RECORDED(ZEPHandle, C_EULAServiceCreate, (void), ())
RECORDED(ZEPStatus, C_EULA_SetState,
         (ZEPHandle h, const char* product, int state, int kind, const char* language),
         (h, product, state, kind, language))

EXPORTED void C_ZEPLogv(ZEPHandle service, const char* component, int level, const char* pattern,
                        const char* format, va_list args) {
  reinterpret_cast<decltype(&C_ZEPLogv)>(Real("C_ZEPLogv"))(service, component, level, pattern,
                                                            format, args);
}
