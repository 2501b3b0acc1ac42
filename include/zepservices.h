/*
 * zepservices.h - entry points of the services library (libzepservices.so): the persistent
 * cached data store (PCD), the logging service and the end-user-agreement service.
 *
 * The corvel_tavlib library never links this library; it finds it beside itself or in the
 * current directory and binds to these names at run time. Statuses are 0 for success and
 * anything else for failure; functions that create objects return a null handle on failure.
 * Every handle is given back with C_ZEPRelease. Null handles and null texts are refused (a
 * failure status or a null handle), as are handles of the wrong kind or already released.
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

/* Statuses. Callers test only for zero; the failure values tell a person (or the tool) why. */
#define ZEP_STATUS_OK 0u
#define ZEP_STATUS_INVALID_ARGUMENT 1u /* null handle or text, wrong kind of handle, size 0 */
#define ZEP_STATUS_NOT_FOUND 2u        /* no value under that key, subdomain and domain */
#define ZEP_STATUS_STORE_ERROR 3u      /* the database failed (I/O, corrupt file, full disk) */
#define ZEP_STATUS_READ_ONLY 4u        /* the store file cannot be written by this process */
#define ZEP_STATUS_BUSY 5u             /* another process kept the store locked too long */
#define ZEP_STATUS_NO_TRANSACTION 6u   /* EndTransaction without a matching Begin on the handle */
/* The status the library's bindings answer when an entry point cannot be resolved. */
#define ZEP_STATUS_UNBOUND 0xABAD10ADu

/* The argument pattern that means "no pattern" (never dereferenced). */
#define ZEP_LOG_PATTERN_NONE ((const char*)(intptr_t)-1)

void ZEP_CALL C_ZEPRelease(ZEPHandle handle);

/* Logging.
 *
 * A file logger appends one line per C_ZEPLogv call and flushes it at once:
 *   "YYYY-MM-DD hh:mm:ss.mmm <pid> <level name> <component>: <message>"
 * in local time, the level names being "critical", "error", "warning", "informational" and
 * "debug" for 1 to 5 (level 0, "off", and negative levels write nothing; levels above 5 are
 * named "unknown"). Line breaks inside a message become
 * blanks and trailing ones are dropped. With the environment variable ZEPLogFormat set to
 * "obscured" when the logger is created, everything after the process id is written in
 * base64 behind a "~"; any other value, or none, gives the clear form.
 * The logger opens (creating it, mode 0644) its file when it is created, and only a regular
 * file with one link reached without a symbolic link; a FIFO planted under the name does not
 * make it wait. When a line would take the file beyond its maximum size (0: no limit), the file
 * is renamed to "<path>.1" (replacing an older one) and a new file begins with the old file's
 * first line. Several processes may share one file: each line is one write at the end of the
 * file, and a lock on the file that another process keeps longer than about two seconds is
 * given up (the line is still written, the file is then not rotated).
 *
 * The argument pattern of C_ZEPLogv describes the arguments of the format for a reader of the
 * call; the library does not need it. It may be null, a text, or ZEP_LOG_PATTERN_NONE, which
 * is never dereferenced. A null service writes through the process's first live logging
 * service (created first and not yet cleaned up or released); with none, the line is lost.
 */
ZEPHandle ZEP_CALL C_ZEPLoggerCreateFileLoggerWithPathAndSize(const char* path, uint32_t max_size);
ZEPHandle ZEP_CALL C_ZEPLoggingServiceCreateWithID(uint32_t id);
void ZEP_CALL C_ZEPLoggingServiceAddLogger(ZEPHandle service, ZEPHandle logger);
void ZEP_CALL C_ZEPLoggingServiceCleanUpResource(ZEPHandle service);
/* A null service writes through the process's first live logging service. */
void ZEP_CALL C_ZEPLogv(ZEPHandle service, const char* component, int level, const char* pattern,
                        const char* format, va_list args);

/* Persistent cached data store.
 *
 * The store is one SQLite database: the file that ZEP_PCD_DB names, else
 * "<common application data>/Corvel/PCD/pcd.db". Create opens it, making missing folders
 * (0755), the file (0644) and the schema, and answers null only when that fails; other users
 * can read such a store but their writes fail with ZEP_STATUS_READ_ONLY. Table pcd_values
 * holds (unprotected, subdomain, key, value) with the first three as the primary key; keys,
 * subdomains and values are stored byte for byte and compared byte for byte.
 *
 * All handles of a process share one connection. Begin/EndTransaction nest by a counter: the
 * outermost begin starts an immediate write transaction, the outermost end commits, and every
 * handle's writes in between (handles created meanwhile included) go into that transaction.
 * A handle released inside transactions it began ends them; if that ends the outermost one,
 * the transaction is rolled back. Outside a transaction each write commits on its own. Writers
 * of other processes wait for each other (up to 30 seconds) instead of failing. A process that
 * dies inside a transaction leaves the store as it was before that transaction.
 * An outermost end whose commit fails (another process kept a read transaction open past the
 * wait, a full disk) rolls the whole transaction back and answers non-zero (ZEP_STATUS_BUSY
 * for the lock); the connection is ready for the next begin. A transaction that changed
 * nothing ends without the commit's lock, so readers neither delay nor fail it.
 */
ZEPHandle ZEP_CALL C_ZEPPCDServiceCreate(void);
ZEPStatus ZEP_CALL C_ZEPPCDServiceBeginTransaction(ZEPHandle store);
ZEPStatus ZEP_CALL C_ZEPPCDServiceEndTransaction(ZEPHandle store);
ZEPStatus ZEP_CALL C_ZEPPCDServiceCheckDatabase(ZEPHandle store, bool repair);
/* Copies at most size - 1 bytes of the value, NUL-terminated, and succeeds (a longer value is
 * cut); a size of 0 fails. An empty value is a value. On failure the buffer, when it has room,
 * holds an empty text. */
ZEPStatus ZEP_CALL C_ZEPPCDServiceValueForKeyInSubDomain(ZEPHandle store, char* buffer,
                                                         uint32_t size, const char* key,
                                                         const char* subdomain,
                                                         bool unprotected_domain);
ZEPStatus ZEP_CALL C_ZEPPCDServiceSetValueForKeyInSubDomain(ZEPHandle store, const char* value,
                                                            const char* key, const char* subdomain,
                                                            bool unprotected_domain);
/* ZEP_STATUS_NOT_FOUND when the key held no value in that domain. */
ZEPStatus ZEP_CALL C_ZEPPCDServiceRemoveKeyInSubDomain(ZEPHandle store, const char* key,
                                                       const char* subdomain,
                                                       bool unprotected_domain);
/* Removes every key of the subdomain in one domain; 0 also when there was none. */
ZEPStatus ZEP_CALL C_ZEPPCDServiceRemoveAllKeysInSubDomain(ZEPHandle store, const char* subdomain,
                                                           bool unprotected_domain);
/* The "LicensingCode" value stored under the payload code in the protected domain. */
ZEPStatus ZEP_CALL C_ZEPPCDServiceLicensingCodeForCorvelCode(ZEPHandle store, char* buffer,
                                                             uint32_t size,
                                                             const char* payload_code);

/* Enumeration (an extension for the tool): calls `callback` once per stored value, ordered by
 * domain (protected first), subdomain and key, all of them or those of one subdomain (both
 * domains) when `subdomain` is not null. The rows are read first, so the callback may call
 * the store. A non-zero result of the callback stops the walk; the status is still 0. */
typedef int(ZEP_CALL* ZEPEnumerateCallback)(void* context, bool unprotected_domain,
                                            const char* subdomain, const char* key,
                                            const char* value);
ZEPStatus ZEP_CALL C_ZEPPCDServiceEnumerate(ZEPHandle store, const char* subdomain,
                                            ZEPEnumerateCallback callback, void* context);

/* End-user agreement. C_EULA_SetState records the state in the store's database, table
 * eula_states: one row per (product_code, kind) holding state, language and the time of the
 * call (recorded_at, seconds since 1970-01-01 UTC); a later call for the same pair replaces
 * the row. The library records an accepted agreement as state 1, kind 4. Inside an open store
 * transaction of the process the row is written into that transaction. */
ZEPHandle ZEP_CALL C_EULAServiceCreate(void);
ZEPStatus ZEP_CALL C_EULA_SetState(ZEPHandle eula, const char* product_code, int state, int kind,
                                   const char* language);

#ifdef __cplusplus
}
#endif

#endif /* ZEPSERVICES_H */
