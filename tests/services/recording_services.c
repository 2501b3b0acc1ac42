/* A services library put beside the library in place of the real one: every entry point but
 * C_ZEPLogv appends its name, one per line, to the file ZEP_CALL_RECORD names, and is then
 * forwarded to the real services library. While ZEP_FAIL_STORE_CREATE is set,
 * C_ZEPPCDServiceCreate answers null (and is recorded) without asking the real library. */
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>

#include "zepservices.h"

#define RECORDING_EXPORT __attribute__((visibility("default")))

static void* gReal;

static void* Real(const char* name) {
  if (gReal == NULL) gReal = dlopen(REAL_SERVICES_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  return gReal != NULL ? dlsym(gReal, name) : NULL;
}

__attribute__((destructor)) static void CloseReal(void) {
  if (gReal != NULL) dlclose(gReal);
}

static void Record(const char* name) {
  const char* path = getenv("ZEP_CALL_RECORD");
  FILE* file = path != NULL ? fopen(path, "a") : NULL;
  if (file == NULL) return;
  fprintf(file, "%s\n", name);
  fclose(file);
}

#define FORWARD(name, ...) ((__typeof__(&name))Real(#name))(__VA_ARGS__)
#define RECORD_AND_FORWARD(name, ...) (Record(#name), FORWARD(name, __VA_ARGS__))

RECORDING_EXPORT void C_ZEPRelease(ZEPHandle h) { RECORD_AND_FORWARD(C_ZEPRelease, h); }

RECORDING_EXPORT ZEPHandle C_ZEPLoggerCreateFileLoggerWithPathAndSize(const char* path,
                                                                      uint32_t size) {
  return RECORD_AND_FORWARD(C_ZEPLoggerCreateFileLoggerWithPathAndSize, path, size);
}
RECORDING_EXPORT ZEPHandle C_ZEPLoggingServiceCreateWithID(uint32_t id) {
  return RECORD_AND_FORWARD(C_ZEPLoggingServiceCreateWithID, id);
}
RECORDING_EXPORT void C_ZEPLoggingServiceAddLogger(ZEPHandle service, ZEPHandle logger) {
  RECORD_AND_FORWARD(C_ZEPLoggingServiceAddLogger, service, logger);
}
RECORDING_EXPORT void C_ZEPLoggingServiceCleanUpResource(ZEPHandle service) {
  RECORD_AND_FORWARD(C_ZEPLoggingServiceCleanUpResource, service);
}
RECORDING_EXPORT void C_ZEPLogv(ZEPHandle service, const char* component, int level,
                                const char* pattern, const char* format, va_list args) {
  FORWARD(C_ZEPLogv, service, component, level, pattern, format, args);
}

RECORDING_EXPORT ZEPHandle C_ZEPPCDServiceCreate(void) {
  if (getenv("ZEP_FAIL_STORE_CREATE") != NULL) {
    Record("C_ZEPPCDServiceCreate");
    return NULL;
  }
  return RECORD_AND_FORWARD(C_ZEPPCDServiceCreate);
}
RECORDING_EXPORT ZEPStatus C_ZEPPCDServiceBeginTransaction(ZEPHandle h) {
  return RECORD_AND_FORWARD(C_ZEPPCDServiceBeginTransaction, h);
}
RECORDING_EXPORT ZEPStatus C_ZEPPCDServiceEndTransaction(ZEPHandle h) {
  return RECORD_AND_FORWARD(C_ZEPPCDServiceEndTransaction, h);
}
RECORDING_EXPORT ZEPStatus C_ZEPPCDServiceCheckDatabase(ZEPHandle h, bool repair) {
  return RECORD_AND_FORWARD(C_ZEPPCDServiceCheckDatabase, h, repair);
}
RECORDING_EXPORT ZEPStatus C_ZEPPCDServiceValueForKeyInSubDomain(ZEPHandle h, char* buffer,
                                                                 uint32_t size, const char* key,
                                                                 const char* subdomain,
                                                                 bool unprotected) {
  return RECORD_AND_FORWARD(C_ZEPPCDServiceValueForKeyInSubDomain, h, buffer, size, key, subdomain,
                            unprotected);
}
RECORDING_EXPORT ZEPStatus C_ZEPPCDServiceSetValueForKeyInSubDomain(ZEPHandle h, const char* value,
                                                                    const char* key,
                                                                    const char* subdomain,
                                                                    bool unprotected) {
  return RECORD_AND_FORWARD(C_ZEPPCDServiceSetValueForKeyInSubDomain, h, value, key, subdomain,
                            unprotected);
}
RECORDING_EXPORT ZEPStatus C_ZEPPCDServiceRemoveKeyInSubDomain(ZEPHandle h, const char* key,
                                                               const char* subdomain,
                                                               bool unprotected) {
  return RECORD_AND_FORWARD(C_ZEPPCDServiceRemoveKeyInSubDomain, h, key, subdomain, unprotected);
}
RECORDING_EXPORT ZEPStatus C_ZEPPCDServiceRemoveAllKeysInSubDomain(ZEPHandle h,
                                                                   const char* subdomain,
                                                                   bool unprotected) {
  return RECORD_AND_FORWARD(C_ZEPPCDServiceRemoveAllKeysInSubDomain, h, subdomain, unprotected);
}
RECORDING_EXPORT ZEPStatus C_ZEPPCDServiceLicensingCodeForCorvelCode(ZEPHandle h, char* buffer,
                                                                     uint32_t size,
                                                                     const char* payload) {
  return RECORD_AND_FORWARD(C_ZEPPCDServiceLicensingCodeForCorvelCode, h, buffer, size, payload);
}
RECORDING_EXPORT ZEPStatus C_ZEPPCDServiceEnumerate(ZEPHandle h, const char* subdomain,
                                                    ZEPEnumerateCallback callback, void* context) {
  return RECORD_AND_FORWARD(C_ZEPPCDServiceEnumerate, h, subdomain, callback, context);
}

RECORDING_EXPORT ZEPHandle C_EULAServiceCreate(void) {
  return RECORD_AND_FORWARD(C_EULAServiceCreate);
}
RECORDING_EXPORT ZEPStatus C_EULA_SetState(ZEPHandle h, const char* product, int state, int kind,
                                           const char* language) {
  return RECORD_AND_FORWARD(C_EULA_SetState, h, product, state, kind, language);
}
