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

#include <stdbool.h>
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
  /* The store refused a read, a write or the commit of a transaction, or its database could not
   * be created. */
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
  /* Leaves the instance's tagging as earlier calls made it (by default: no tagging). */
  kTAVLibTaggingNone = 0,
  /* Tag the running product when the instance is released with commit flag 1. */
  kTAVLibTaggingAtCommit = 1,
  /* Never tag from this instance's commit, whatever was or will be requested. */
  kTAVLibTaggingSuppressed = 2
};

/* ---- Instances and version ------------------------------------------------------------------ */

/* A new instance, or null when it could not be allocated or registered. */
CORVEL_TAVLIB_API TAVLibHandle CORVEL_TAVLIB_CALL Corvel_TAVLib_CreateRef(void);

/* Commits (commit == 1) or discards (any other value) what the instance gathered and gives the
 * handle back. Always returns 0; a null handle does nothing. A commit whose store transaction
 * does not commit stores none of the records; the main log says so. */
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

/* ---- Instance operations ------------------------------------------------------------------- */
/* Each answers kTAVLibNoInstance (GetCorvelId: false) for a null handle. */

/* Records a product payload's configuration document (and its override document from
 * overrideDirectory) in the store under the payload code. 0, 6, 9, 10, 35 or 257; 10 also when
 * the store transaction does not commit (nothing of the call is stored then). */
CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_Process_file(
    TAVLibHandle handle, const char* configPath, const char* payloadCode, const char* driverCode,
    const char* overrideDirectory);

/* Removes a payload's data from the store. 0 or 9; 10 when the store transaction does not
 * commit (nothing is removed then). */
CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_Remove_payload(TAVLibHandle handle,
                                                                            const char* payloadCode);

/* Writes the product's software identification tag when the payload is its driver payload.
 * 0 for a live instance, outcomes show only in the logs; 10 when the store transaction around
 * its reads fails. */
CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_ISOTaggingAtInstall(
    TAVLibHandle handle, const char* payloadCode);

/* The installation-record and cached-data operations are declared, with their rules, below. */

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
 *                    the instance is released with commit flag 1 and its store can be opened)
 *                    or kTAVLibTaggingSuppressed (no tagging from this instance at all)
 *
 * Returns kTAVLibSuccess; kTAVLibNoInstance for a null handle; kTAVLibInvalidArgument when a
 * required text is null or empty or the tagging request is none of the three values; or
 * kTAVLibPreconditionFailed when memory ran out. On a failure the instance stays as it was.
 * A later call replaces every text of an earlier one; tagging requests and suppressions
 * accumulate, and a suppression wins.
 */
CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_SetApplicationData(
    TAVLibHandle handle, const char* driverCode, const char* appProductId,
    const char* driverProductId, const char* appLocale, const char* payloadCode, int32_t tagging);

/* ---- Cached data by subdomain ---------------------------------------------------------------
 *
 * Direct access to single keys of the persistent cached data store. Each call acts at once, on
 * its own store handle. A subdomain is usually a product or payload code. A subdomain type is 0
 * (the subdomain names a product) or 1 (any other subdomain). Writes and removals address the
 * unprotected domain.
 *
 * Obfuscation: a value may be enciphered with RC4 keyed with the first 256 bytes of the
 * subdomain's name, and is then stored as upper-case hexadecimal (two digits per byte). Reading
 * it back with de-obfuscation under the same subdomain gives the plain text back. Decoding
 * accepts either case of digit; it stops converting at the first pair that is not two hex
 * digits (the rest of the bytes stay zero), converts nothing of a text of odd length, and ends
 * the plain text at its first zero byte, so a damaged stored text yields a damaged value, never
 * an error.
 *
 * Values are read through a 512-byte buffer: at most 511 bytes of a value are seen. A text
 * handed back through an output pointer stays owned by the instance and is valid until the
 * next call of the same operation on the same instance, or until the instance is destroyed.
 *
 * Texts must be well-formed UTF-8; an ill-formed key, value or subdomain is refused with
 * kTAVLibInvalidArgument like a null one. Every operation of this group answers
 * kTAVLibPreconditionFailed if memory runs out. When the store cannot be opened at all, the
 * operations answer kTAVLibSuccess having written, read and removed nothing.
 */

/*
 * In a launched application (see Corvel_TAVLib_SetApplicationData), reads inKey from the
 * protected domain of the driver payload's subdomain (type 0, or any type other than 1) or of
 * the product's subdomain (type 1: the "FLMap" value stored under "<appProductId>{|}<appLocale>"
 * when there is one, else driverProductId) and sets *outValue to the value, "" when there is
 * none. In an installer it does nothing and leaves *outValue alone.
 * Returns kTAVLibSuccess, or kTAVLibInvalidArgument for a null or ill-formed inKey or a null
 * outValue.
 */
CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_EnumerateKeys(
    TAVLibHandle handle, const char* inKey, const char** outValue, int32_t inSubDomainType);

/*
 * Stores inValue under inKey in inSubDomain, obfuscated first when inObfuscate is true. An
 * empty value (or an empty obfuscated form) writes nothing and succeeds. A value that is not
 * obfuscated is stored whole, whatever its length; at most 511 bytes of it can be read back.
 * Returns kTAVLibSuccess; kTAVLibInvalidArgument for a null inKey, inValue or inSubDomain, an
 * empty inSubDomain, an ill-formed text, a plain value longer than 511 bytes to be obfuscated
 * (its hexadecimal form would not fit the read buffer; nothing is written), or a subdomain type
 * other than 0 and 1; kTAVLibStoreFailed when the store refuses the write.
 */
CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_SetValueforKeyInSubDomainInCache(
    TAVLibHandle handle, int32_t inSubDomainType, const char* inKey, const char* inValue,
    const char* inSubDomain, bool inObfuscate);

/*
 * Reads inKey of inSubDomain in the domain inDomain selects (0: protected, any other value:
 * unprotected), de-obfuscated under inSubDomain when inDeobfuscate is true, and sets *outValue
 * to it. At most inCapacity - 1 bytes of the stored text are read; a capacity above 512 is
 * taken as 512. An empty result leaves *outValue as it was. An empty inSubDomain is accepted for
 * a plain read.
 * Returns kTAVLibSuccess; kTAVLibInvalidArgument for a null outValue, inKey or inSubDomain, an
 * ill-formed text, a capacity below 1, or de-obfuscation asked with an empty inSubDomain (it
 * would have no key); kTAVLibStoreFailed when the store refuses the read (for example, nothing
 * is stored there), with *outValue untouched.
 */
CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_GetValueforKeyInSubDomain(
    TAVLibHandle handle, const char** outValue, int32_t inCapacity, const char* inKey,
    const char* inSubDomain, int32_t inDomain, bool inDeobfuscate);

/*
 * Removes inKey from inSubDomain. Removing a key that is not there succeeds (only the log tells).
 * Returns kTAVLibSuccess; kTAVLibInvalidArgument for a null or ill-formed inKey or inSubDomain, an
 * empty inSubDomain, or a subdomain type other than 0 and 1.
 */
CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_RemoveKeyInSubDomainInCache(
    TAVLibHandle handle, int32_t inSubDomainType, const char* inKey, const char* inSubDomain);

/*
 * Marks inSubDomain (a payload code) for clean-up: a release with commit flag 1 removes every key
 * of it from the unprotected domain, together with the instance's other records. A later call
 * replaces the subdomain; an empty one cleans nothing. Returns kTAVLibSuccess, or
 * kTAVLibInvalidArgument for a null or ill-formed inSubDomain.
 */
CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_CleanUpCachePCD(TAVLibHandle handle,
                                                                             const char* inSubDomain);

/* ---- Installation records -------------------------------------------------------------------
 *
 * These only record facts in the instance; a release with commit flag 1 writes them to the
 * unprotected domain of the store, in one transaction:
 *   <agreement product>  "EULA_ACCEPTED" = "1", "EULA_LANGUAGE" = the language (installers; in
 *                        a launched application the agreement service records it instead)
 *   <locale product>     "INSTALLLOCALE" = the installed locales joined by "{|}"; a locale is
 *                        added unless the list already contains it as a substring
 *   <account product>    "CORVELID" = "1"; "LineCV 15" = the account identifier obfuscated under
 *                        the account product code (see above)
 *   "CORVELIDWTTS"       "DATA" = entries "<product>=<MD5 of the identifier, upper-case hex>=<time
 *                        in seconds since 1970, low 32 bits, signed>" joined by "{|}", in byte
 *                        order of the product codes; an entry is added, or its time renewed when
 *                        the digest is the same, and left alone when the digest differs
 *   <profile product>    "CORVELID_EXT_PROFILE" = "1"
 * A later call of an operation replaces what an earlier one recorded. Texts must be well-formed
 * UTF-8: an ill-formed one is refused like a null one. Every operation of this group answers
 * kTAVLibPreconditionFailed (false for Corvel_TAVLib_GetCorvelId) if memory runs out.
 */

/*
 * Records that the end-user agreement was accepted, in `language`, for `productCode`. In a
 * launched application productCode is not used: the driver's product code, else the
 * application's, is recorded. Returns kTAVLibSuccess, or kTAVLibInvalidArgument for a null
 * language, or (installers) a null productCode.
 */
CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_Set_Eula(TAVLibHandle handle,
                                                                      const char* language,
                                                                      const char* productCode);

/* Records the locale being installed for productCode's locale list. Returns kTAVLibSuccess, or
 * kTAVLibInvalidArgument for a null argument. */
CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_Set_InstallLocale(TAVLibHandle handle,
                                                                               const char* locale,
                                                                               const char* productCode);

/* Names the product the account records belong to; must precede Corvel_TAVLib_SaveCorvelId.
 * Returns kTAVLibSuccess, or kTAVLibInvalidArgument for a null productCode. */
CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_SetCorvelId(TAVLibHandle handle,
                                                                         const char* productCode);

/* Records the user's account identifier (enciphered and as a digest; an empty identifier
 * records neither, so only "CORVELID" is written). Returns kTAVLibSuccess;
 * kTAVLibInvalidArgument for a null accountId; kTAVLibPreconditionFailed when
 * Corvel_TAVLib_SetCorvelId was not called first (the identifier is then not recorded). */
CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_SaveCorvelId(TAVLibHandle handle,
                                                                          const char* accountId);

/* True for a live handle and a non-null output, else false. Nothing is written to output. */
CORVEL_TAVLIB_API bool CORVEL_TAVLIB_CALL Corvel_TAVLib_GetCorvelId(TAVLibHandle handle,
                                                                     void* output);

/* Records that the user completed the extended account profile for productCode. Returns
 * kTAVLibSuccess, or kTAVLibInvalidArgument for a null productCode. */
CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_SetCorvelIdExtProfile(
    TAVLibHandle handle, const char* productCode);

/* Keeps proxy credentials in the instance for the product's network client (they are never
 * written to the store, nor logged). Each field is read up to its first NUL, or whole when it has
 * none; it is handed out again cut to at most 256 bytes, without splitting a UTF-8 sequence.
 * remember == 1 asks the client to keep them on disk. Returns kTAVLibSuccess, or
 * kTAVLibInvalidArgument for a null record or an ill-formed field. */
CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_SetCredentialsForProxy(
    TAVLibHandle handle, const TAVLibProxyCredentials* credentials);

/* ---- Secure preferences (extension) --------------------------------------------------------
 *
 * Small named values in the user's enciphered preferences file,
 * "<per-user data folder>/Corvel/TAV/securePrefs.xml" (on Linux the per-user data folder is
 * CORVEL_LOCAL_APPDATA, else XDG_DATA_HOME, else "$HOME/.local/share"). A value is addressed
 * by a domain and a key; a null domain means "DefaultDomain". Domain and key must be XML names
 * without a colon (a letter or "_" first, then letters, digits, "-", "_" or "."); anything else
 * fails with kTAVLibPrefFailed. Each value is enciphered with a key bound to this machine and this user,
 * so a copy of the file is unreadable elsewhere. The file is created readable and writable by
 * its owner alone (0600, its new folders 0700).
 *
 * When the user has no file, reads fall back to the shared read-only file
 * "<common files>/Corvel/TAV/securePrefs.xml" (CORVEL_COMMON_FILES, else "/usr/share");
 * writes always go to the user's file. An explicit file path, when non-null, replaces both.
 *
 * These functions need no instance: they do not take a handle, and they never touch the main
 * log. Their diagnostics go to the preferences log, "Velmo.log" in the temporary folder. Each
 * call opens and closes its own session with the store. Call them from one thread at a time.
 * The file has no lock: two processes writing at once can lose one of the two updates.
 *
 * Results are signed (int32_t), unlike the instance statuses.
 */
enum {
  kTAVLibPrefSuccess = 0,
  /* Any other failure: unreadable or damaged file, missing key, a domain or key that is not an
   * XML name, a value that cannot be deciphered, a value longer than 65,536 bytes. */
  kTAVLibPrefFailed = -1,
  /* No preferences file exists, neither the user's nor the shared one. */
  kTAVLibPrefNoFile = -2,
  /* A required pointer is null. */
  kTAVLibPrefInvalidArgument = -3,
  /* The buffer is too small for the value and its terminating NUL. */
  kTAVLibPrefBufferTooSmall = -4,
  /* A new preferences file could not be written. */
  kTAVLibPrefCannotWriteFile = -5,
  /* The folder of a new preferences file could not be created. */
  kTAVLibPrefCannotCreateFolder = -7
};

/*
 * Reads the value of `key` in `domain`. Read the size first, then the value:
 *
 *   uint32_t size = 0;
 *   if (Corvel_TAVLib_GetSecurePreference(domain, key, NULL, &size, NULL) == 0) {
 *     char* value = malloc(size);
 *     Corvel_TAVLib_GetSecurePreference(domain, key, value, &size, NULL);
 *   }
 *
 * With a null buffer, stores the value's length plus one (room for the NUL) into *size and
 * returns kTAVLibPrefSuccess. With a buffer of *size bytes, copies the value and its NUL when
 * *size is greater than the length, else returns kTAVLibPrefBufferTooSmall and leaves the
 * buffer alone. An empty value reads back as "" (size 1).
 * prefsFilePath: null for the user's file (or the shared one), else the file to read.
 * Returns kTAVLibPrefSuccess; kTAVLibPrefInvalidArgument for a null key or size;
 * kTAVLibPrefNoFile; kTAVLibPrefBufferTooSmall; or kTAVLibPrefFailed, a missing key included.
 */
CORVEL_TAVLIB_API int32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_GetSecurePreference(
    const char* domain, const char* key, char* buffer, uint32_t* size, const char* prefsFilePath);

/*
 * Stores `value` under `key` in `domain`, replacing an earlier value in place. The file and its
 * folders are created when missing. On any failure the file on disk is left as it was.
 * prefsFilePath: null for the user's file, else the file to write.
 * Returns kTAVLibPrefSuccess; kTAVLibPrefInvalidArgument for a null key or value or an empty
 * domain or key; kTAVLibPrefCannotWriteFile; kTAVLibPrefCannotCreateFolder; or
 * kTAVLibPrefFailed.
 */
CORVEL_TAVLIB_API int32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_SetSecurePreference(
    const char* domain, const char* key, const char* value, const char* prefsFilePath);

/* ---- Keeping proxy credentials (extension) ------------------------------------------------
 *
 * The rules a network client follows with the proxy credentials of an instance (recorded with
 * Corvel_TAVLib_SetCredentialsForProxy):
 *
 *   - after a request that used them, the client keeps them in the user's secure preferences
 *     (domain "ProxyCredentials", keys "ProxyUsername" and "ProxyPassword") when their
 *     remember flag is 1 and the request's outcome allows it: Corvel_TAVLib_KeepProxyCredentials;
 *   - when a request ends with kTAVLibProxyAuthenticationRequired, the client reads the kept
 *     credentials back and retries with them: Corvel_TAVLib_ReuseProxyCredentials.
 *
 * Both are instance operations: a null handle gives kTAVLibNoInstance and logs nothing. Their
 * progress is logged in the main log, never the credentials themselves; the store's own
 * diagnostics go to the preferences log. Both answer kTAVLibPreconditionFailed if memory runs
 * out.
 */

/* How a request through the proxy ended. */
typedef int32_t TAVLibProxyRequestOutcome;

enum {
  /* The request ended in any other way than the three outcomes below (normally: it went
   * through). The only outcome that keeps credentials. */
  kTAVLibProxyRequestSucceeded = 0,
  /* The proxy asked for credentials. Keeps nothing; kept credentials may be reused. */
  kTAVLibProxyAuthenticationRequired = 1,
  /* The proxy refused the credentials given. Keeps nothing. */
  kTAVLibProxyAuthenticationFailed = 2,
  /* The client's own status that keeps nothing (for example, the request was cancelled). */
  kTAVLibProxyRequestKeepsNothing = 3
};

/*
 * Keeps the instance's proxy credentials after a request that used them: writes the user name
 * and then the password into the user's secure preferences, when the remember flag recorded
 * with them is 1 and `outcome` is kTAVLibProxyRequestSucceeded. Otherwise nothing is written,
 * and credentials kept earlier stay as they are.
 * kept: may be null; else set to true when both values were written, false in every other case
 * (a null handle leaves it alone).
 * Returns kTAVLibSuccess when the rules were applied, whether they kept the credentials or not;
 * kTAVLibNotFound when the instance holds no credentials; kTAVLibInvalidArgument when outcome is
 * none of the four values; kTAVLibStoreFailed when a write failed: the credentials are then not
 * kept, though the user name may already have been replaced in the file.
 */
CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_KeepProxyCredentials(
    TAVLibHandle handle, TAVLibProxyRequestOutcome outcome, bool* kept);

/*
 * Reads the kept proxy credentials (each value size first, then the value) and, when both
 * reads succeed, gives them to the instance as Corvel_TAVLib_SetCredentialsForProxy would, with
 * the remember flag 1 (they are kept already), and copies them into `credentials` when it is
 * non-null: each field cut to at most 256 bytes without splitting a UTF-8 sequence,
 * NUL-terminated, the rest of the field zero, remember 1.
 * Returns kTAVLibSuccess; or kTAVLibNotFound when either value cannot be read (no file, no
 * such key, a value kept under another user or on another machine, a damaged file), when both
 * are empty, or when a value is not well-formed UTF-8: the instance and the record are then
 * left as they were and the request goes on without credentials.
 */
CORVEL_TAVLIB_API uint32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_ReuseProxyCredentials(
    TAVLibHandle handle, TAVLibProxyCredentials* credentials);

#ifdef __cplusplus
}
#endif

#endif /* CORVEL_TAVLIB_H */
