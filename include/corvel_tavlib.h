/*
 * corvel_tavlib.h - the C interface of the corvel_tavlib library (libcorvel_tavlib.so).
 *
 * Usage: create an instance with Corvel_TAVLib_CreateRef, call operations on it, and give it
 * back exactly once with Corvel_TAVLib_ReleaseRef. Releasing with the commit flag 1 writes what
 * the instance gathered to the persistent cached data store; any other flag releases without
 * writing.
 *
 * Every function uses the cdecl convention. Strings are narrow (UTF-8), NUL-terminated, and
 * read only during the call; a string the library hands back stays owned by the instance.
 * Instance operations answer kTAVLibNoInstance (4) for a null handle and then do nothing else,
 * not even log. No function lets an exception escape.
 *
 * Instances are destroyed only when the last live instance of the process is released; all of
 * them are destroyed then, in creation order. Instances must be created, used and released by
 * one thread at a time.
 *
 * Releasing a handle twice or using it after its release is a caller error. The library answers
 * such a handle as it answers a null one as long as it can tell (the object still exists, or
 * its address has not been given to a newer instance), and never lets it disturb the count of
 * the other instances.
 *
 * This header is usable from C99 and C++.
 */
#ifndef CORVEL_TAVLIB_H
#define CORVEL_TAVLIB_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define CORVEL_TAVLIB_CALL __cdecl
#if defined(CORVEL_TAVLIB_BUILDING)
#define CORVEL_TAVLIB_API __declspec(dllexport)
#else
#define CORVEL_TAVLIB_API __declspec(dllimport)
#endif
#else
#define CORVEL_TAVLIB_CALL
#if defined(__GNUC__)
#define CORVEL_TAVLIB_API __attribute__((visibility("default")))
#else
#define CORVEL_TAVLIB_API
#endif
#endif

/* ---- Status codes --------------------------------------------------------------------------- */

/* Every instance operation returns one of these, as an unsigned 32-bit value. */
typedef uint32_t TAVLibStatus;

enum {
  kTAVLibSuccess = 0,
  /* The instance handle is null. */
  kTAVLibNoInstance = 4,
  /* A required file does not exist, or nothing is stored. */
  kTAVLibNotFound = 6,
  /* A required argument is null or empty, or a subdomain type is neither 0 nor 1. */
  kTAVLibInvalidArgument = 9,
  /* The store refused a read or a write, or its database could not be created. */
  kTAVLibStoreFailed = 10,
  /* Configuration processing recorded everything except the unreadable override document. */
  kTAVLibProcessingFailed = 35,
  /* A step was called before the step that must precede it, or processing failed otherwise. */
  kTAVLibPreconditionFailed = 257
};

/* ---- Types ---------------------------------------------------------------------------------- */

/* An instance handle: opaque, created by Corvel_TAVLib_CreateRef. */
typedef struct CorvelTAVLibInstance* TAVLibHandle;

/* Proxy credentials: a block of 515 bytes. */
enum { kTAVLibProxyFieldSize = 257 };

typedef struct TAVLibProxyCredentials {
  char username[kTAVLibProxyFieldSize]; /* NUL-terminated within the field */
  char password[kTAVLibProxyFieldSize]; /* NUL-terminated within the field */
  unsigned char remember;               /* 1: keep the credentials on disk */
} TAVLibProxyCredentials;

#if defined(__cplusplus)
static_assert(sizeof(TAVLibProxyCredentials) == 515, "proxy credentials record must be 515 bytes");
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
_Static_assert(sizeof(TAVLibProxyCredentials) == 515, "proxy credentials record must be 515 bytes");
#else
typedef char TAVLibProxyCredentialsSizeCheck[(sizeof(TAVLibProxyCredentials) == 515) ? 1 : -1];
#endif

/* Tagging requests of Corvel_TAVLib_SetApplicationData. */
enum {
  /* No tagging at commit. */
  kTAVLibTaggingNone = 0,
  /* Tag the running product when the instance is released with commit flag 1. */
  kTAVLibTaggingAtCommit = 1,
  /* Never tag from this instance's commit. */
  kTAVLibTaggingSuppressed = 2
};

/* ---- Instances and version ------------------------------------------------------------------ */

/* A new instance, or null when it could not be allocated or registered. */
CORVEL_TAVLIB_API TAVLibHandle CORVEL_TAVLIB_CALL Corvel_TAVLib_CreateRef(void);

/* Commits (commit == 1) or discards (any other value) what the instance gathered and gives the
 * handle back. Always returns 0; a null handle does nothing. */
CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_ReleaseRef(TAVLibHandle handle,
                                                                        int32_t commit);

/* The instance's identifier: 1 for the first instance of the process, then 2, 3, ... (never
 * reused); -1 for a null handle. */
CORVEL_TAVLIB_API int32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_GetRefID(TAVLibHandle handle);

/* Writes 3, 0, 0 and a pointer to the text "3.0.0.10,3.0" (valid as long as the library is
 * loaded) to every output whose pointer is non-null. Needs no instance. */
CORVEL_TAVLIB_API void CORVEL_TAVLIB_CALL Corvel_TAVLib_Getversion(int32_t* major, int32_t* minor,
                                                                   int32_t* patch,
                                                                   const char** version);

/* ---- Application data ----------------------------------------------------------------------- */

/*
 * Puts an instance into application context: a launched product, rather than an installer,
 * is using it. Application context changes where cached-data reads look and how the agreement
 * is recorded at commit.
 *
 *   driverCode       the driver payload's code (subdomain of cached-data reads); required
 *   appProductId     the running product's code; required
 *   driverProductId  the driver's product code; null or "" when unknown
 *   appLocale        the application locale; null or "" means "en_US"
 *   payloadCode      the application's payload code; null or "" when unknown
 *   tagging          kTAVLibTaggingNone, kTAVLibTaggingAtCommit (tag the running product when
 *                    the instance is released with commit flag 1) or kTAVLibTaggingSuppressed
 *
 * Returns kTAVLibSuccess; kTAVLibNoInstance for a null handle; kTAVLibInvalidArgument when a
 * required text is null or empty or the tagging request is none of the three values; or
 * kTAVLibPreconditionFailed when memory ran out. On a failure the instance stays as it was.
 * A later call replaces every value of an earlier one.
 */
CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_SetApplicationData(
    TAVLibHandle handle, const char* driverCode, const char* appProductId,
    const char* driverProductId, const char* appLocale, const char* payloadCode, int32_t tagging);

#ifdef __cplusplus
}
#endif

#endif /* CORVEL_TAVLIB_H */
