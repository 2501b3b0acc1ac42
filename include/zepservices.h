/*
 * zepservices.h - entry points of the services library (libzepservices.so): the persistent
 * cached data store (PCD), the logging service and the end-user-agreement service.
 *
 * The corvel_tavlib library never links this library; it finds it beside itself or in the
 * current directory and binds to these names at run time. Statuses are 0 for success and
 * anything else for failure; functions that create objects return a null handle on failure.
 * Every handle is given back with C_ZEPRelease.
 *
 * Store addressing: a value is named by key, subdomain and domain flag. The flag is false
 * for the protected domain and true for the unprotected one; the two domains are
 * independent, so one key can hold a value in each.
 */
#ifndef ZEPSERVICES_H
#define ZEPSERVICES_H

#include <stdarg.h>
#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define ZEP_CALL __cdecl
#else
#define ZEP_CALL
#endif

/* An opaque, reference-counted service object. */
typedef void* ZEPHandle;
typedef uint32_t ZEPStatus;

/* The status the library's bindings answer when an entry point cannot be resolved. */
#define ZEP_STATUS_UNBOUND 0xABAD10ADu

/* The argument pattern that means "no pattern" (never dereferenced). */
#define ZEP_LOG_PATTERN_NONE ((const char*)(intptr_t)-1)

void ZEP_CALL C_ZEPRelease(ZEPHandle handle);

/* Logging. */
ZEPHandle ZEP_CALL C_ZEPLoggerCreateFileLoggerWithPathAndSize(const char* path, uint32_t max_size);
ZEPHandle ZEP_CALL C_ZEPLoggingServiceCreateWithID(uint32_t id);
void ZEP_CALL C_ZEPLoggingServiceAddLogger(ZEPHandle service, ZEPHandle logger);
void ZEP_CALL C_ZEPLoggingServiceCleanUpResource(ZEPHandle service);
/* A null service writes through the process's first live logging service. */
void ZEP_CALL C_ZEPLogv(ZEPHandle service, const char* component, int level,
                        const char* pattern, const char* format, va_list args);

/* Persistent cached data store. */
ZEPHandle ZEP_CALL C_ZEPPCDServiceCreate(void);
ZEPStatus ZEP_CALL C_ZEPPCDServiceBeginTransaction(ZEPHandle store);
ZEPStatus ZEP_CALL C_ZEPPCDServiceEndTransaction(ZEPHandle store);
ZEPStatus ZEP_CALL C_ZEPPCDServiceCheckDatabase(ZEPHandle store, bool repair);
/* Copies at most size - 1 bytes of the value, NUL-terminated; a size of 0 fails. */
ZEPStatus ZEP_CALL C_ZEPPCDServiceValueForKeyInSubDomain(ZEPHandle store, char* buffer, uint32_t size,
                                                         const char* key, const char* subdomain,
                                                         bool unprotected_domain);
ZEPStatus ZEP_CALL C_ZEPPCDServiceSetValueForKeyInSubDomain(ZEPHandle store, const char* value,
                                                            const char* key, const char* subdomain,
                                                            bool unprotected_domain);
ZEPStatus ZEP_CALL C_ZEPPCDServiceRemoveKeyInSubDomain(ZEPHandle store, const char* key,
                                                       const char* subdomain, bool unprotected_domain);
ZEPStatus ZEP_CALL C_ZEPPCDServiceRemoveAllKeysInSubDomain(ZEPHandle store, const char* subdomain,
                                                           bool unprotected_domain);
/* The "LicensingCode" value stored under the payload code in the protected domain. */
ZEPStatus ZEP_CALL C_ZEPPCDServiceLicensingCodeForCorvelCode(ZEPHandle store, char* buffer,
                                                             uint32_t size, const char* payload_code);

/* End-user agreement. */
ZEPHandle ZEP_CALL C_EULAServiceCreate(void);
ZEPStatus ZEP_CALL C_EULA_SetState(ZEPHandle eula, const char* product_code, int state, int kind,
                                   const char* language);

#ifdef __cplusplus
}
#endif

#endif /* ZEPSERVICES_H */
