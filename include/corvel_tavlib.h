/*
 * corvel_tavlib.h - the C interface of libcorvel_tavlib.
 *
 * Product installers and launched products call this library to record a product's
 * configuration and installation facts in the persistent cached data store, to tag the
 * installed product, to read and write single values of that store, and to keep a user's
 * proxy credentials. The store and the main log belong to the services library
 * (libzepservices.so), which this library finds next to itself or in the current directory.
 *
 * A typical installer step:
 *
 *   TAVLibHandle h = Corvel_TAVLib_CreateRef();
 *   Corvel_TAVLib_Process_file(h, "/opt/product/application.xml", payload, NULL, NULL);
 *   Corvel_TAVLib_ISOTaggingAtInstall(h, payload);
 *   Corvel_TAVLib_Set_Eula(h, "en_US", product);
 *   Corvel_TAVLib_ReleaseRef(h, 1);        (1: commit the records gathered by the instance)
 *
 * Conventions
 *
 *   Strings   Arguments are UTF-8, NUL-terminated, and read only during the call; the library
 *             keeps no pointer to them. The record, single-value and proxy operations refuse
 *             a text that is not well-formed UTF-8 as they refuse a null one.
 *
 *   Results   Instance operations answer a TAVLibStatus (kTAVLibSuccess and the other codes
 *             below). A few answer otherwise, as their comments say: Corvel_TAVLib_GetRefID
 *             (int32_t), Corvel_TAVLib_GetCorvelId (bool), Corvel_TAVLib_ReleaseRef (always
 *             0), and the secure preferences (TAVLibPrefResult, signed). No function lets an
 *             exception escape; an instance operation that runs out of memory answers
 *             kTAVLibPreconditionFailed (Remove_payload and ISOTaggingAtInstall: kTAVLibSuccess).
 *
 *   Returned text
 *             A text handed back through an output pointer is owned by the library. The
 *             version text lives as long as the library is loaded; a value text lives in the
 *             instance until the next call of the same operation on the same instance or the
 *             instance's release, whichever comes first. Copy it to keep it. Never free it.
 *
 *   Handles   An instance is created by Corvel_TAVLib_CreateRef and released exactly once by
 *             Corvel_TAVLib_ReleaseRef. A null handle makes every operation do nothing, not
 *             even log, and answer kTAVLibNoInstance (GetRefID: -1, GetCorvelId: false,
 *             ReleaseRef: 0). Using a handle after its release is a caller error; the library
 *             answers it as a null handle as long as it can tell, and never lets it disturb
 *             other instances.
 *
 *   Threads   The library starts no thread, and its process-wide state has no lock: call it
 *             from one thread at a time. Other processes may use the store at the same time.
 *
 *   Logs      Instance operations log to the main log, "tavlib.log" in the temporary folder
 *             (TMPDIR, TEMP, TMP, else /tmp). Credentials are never logged.
 *
 * The header is usable from C99 and C++.
 */
#ifndef CORVEL_TAVLIB_H
#define CORVEL_TAVLIB_H

#include <stdbool.h>
#include <stdint.h>

/* CORVEL_TAVLIB_API marks an export; CORVEL_TAVLIB_CALL is its calling convention (cdecl,
 * which 32-bit Windows callers must name; elsewhere there is only one). The library's own
 * build defines CORVEL_TAVLIB_BUILDING; callers do not. */
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

#ifdef __cplusplus
extern "C" {
#endif

/* ==== Status codes ========================================================================= */

/* The result of an instance operation: an unsigned 32-bit value, one of the codes below. */
typedef uint32_t TAVLibStatus;

enum {
  kTAVLibSuccess = 0,             /* the operation did what was asked */
  kTAVLibNoInstance = 4,          /* the instance handle is null (or already released) */
  kTAVLibNotFound = 6,            /* a required file does not exist, or nothing is stored */
  kTAVLibInvalidArgument = 9,     /* a required argument is null, empty or ill-formed */
  kTAVLibStoreFailed = 10,        /* the store refused a read, a write or a commit */
  kTAVLibProcessingFailed = 35,   /* all was recorded but the unreadable override document */
  kTAVLibPreconditionFailed = 257 /* a required earlier step is missing, or processing failed */
};

/* An instance: opaque. */
typedef struct CorvelTAVLibInstance* TAVLibHandle;

/* ==== Lifecycle ============================================================================ */

/* Creates an instance. Answers its handle, or null when it could not be created. */
CORVEL_TAVLIB_API TAVLibHandle CORVEL_TAVLIB_CALL Corvel_TAVLib_CreateRef(void);

/* Gives the handle back. With commit == 1 the records the instance gathered (agreement,
 * locale, account, clean-up) are first written to the store in one transaction, and a
 * requested tagging runs; any other value discards them. Answers 0 in every case; a commit
 * the store refuses stores none of the records, and the main log says so. */
CORVEL_TAVLIB_API TAVLibStatus CORVEL_TAVLIB_CALL Corvel_TAVLib_ReleaseRef(TAVLibHandle handle,
                                                                           int32_t commit);

/* Answers the instance's identifier: 1 for the first instance of the process, then 2, 3, ...
 * (never reused); -1 for a null handle. */
CORVEL_TAVLIB_API int32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_GetRefID(TAVLibHandle handle);

/* Writes the library's version, 3, 0, 0 and the text "3.0.0.10,3.0", to each output that is
 * not null. Needs no instance. */
CORVEL_TAVLIB_API void CORVEL_TAVLIB_CALL Corvel_TAVLib_Getversion(int32_t* major, int32_t* minor,
                                                                   int32_t* patch,
                                                                   const char** version);

/* ==== Install time ===========================================================================
 *
 * Configuration and tagging act at once, each in its own store transaction. The records
 * further down only fill the instance; a release with commit 1 writes them to the
 * unprotected domain of the store:
 *
 *   subdomain            keys
 *   agreement product    "EULA_ACCEPTED" = "1", "EULA_LANGUAGE" = the language
 *   locale product       "INSTALLLOCALE" = the installed locales, joined by "{|}"
 *   account product      "CORVELID" = "1", "LineCV 15" = the identifier, obfuscated
 *   "CORVELIDWTTS"       "DATA" = a time-stamped digest of the identifier per product
 *   profile product      "CORVELID_EXT_PROFILE" = "1"
 *
 * A later call of a record operation replaces what an earlier call recorded.
 */

/* Records a payload's configuration document, configPath, in the store under payloadCode,
 * together with its override document "application.xml.override" in overrideDirectory (null:
 * none) and the payload's driver payload, driverCode (null or "": the payload itself). The
 * document's Payload hive is rewritten on disk with payloadCode as its code.
 * Answers:
 *   kTAVLibSuccess             everything was recorded
 *   kTAVLibNotFound            nothing exists at configPath
 *   kTAVLibInvalidArgument     configPath or payloadCode is null or empty
 *   kTAVLibStoreFailed         the store could not be opened, or the transaction did not commit
 *                              (nothing of the call is stored then)
 *   kTAVLibProcessingFailed    the override document could not be read; the rest is recorded
 *   kTAVLibPreconditionFailed  any other failure, for example a document that cannot be
 *                              parsed or has no Payload hive */
CORVEL_TAVLIB_API TAVLibStatus CORVEL_TAVLIB_CALL
Corvel_TAVLib_Process_file(TAVLibHandle handle, const char* configPath, const char* payloadCode,
                           const char* driverCode, const char* overrideDirectory);

/* Writes the product's software identification tag when payloadCode is the product's driver
 * payload and tagging is not disabled for the product. Answers kTAVLibSuccess whether or not
 * a tag was written (the logs tell), or kTAVLibStoreFailed when the store transaction around
 * its reads fails. */
CORVEL_TAVLIB_API TAVLibStatus CORVEL_TAVLIB_CALL
Corvel_TAVLib_ISOTaggingAtInstall(TAVLibHandle handle, const char* payloadCode);

/* At uninstall: removes what Corvel_TAVLib_Process_file recorded for payloadCode. Answers
 * kTAVLibSuccess (also when nothing was recorded or the store refused a removal),
 * kTAVLibInvalidArgument for a null or empty payloadCode, or kTAVLibStoreFailed when the
 * transaction did not commit (nothing is removed then). */
CORVEL_TAVLIB_API TAVLibStatus CORVEL_TAVLIB_CALL
Corvel_TAVLib_Remove_payload(TAVLibHandle handle, const char* payloadCode);

/* Marks the subdomain inSubDomain (a payload code) for clean-up: a release with commit 1
 * removes all its keys from the unprotected domain. A later call replaces the subdomain; ""
 * cleans nothing. Answers kTAVLibSuccess, or kTAVLibInvalidArgument for a null inSubDomain. */
CORVEL_TAVLIB_API TAVLibStatus CORVEL_TAVLIB_CALL
Corvel_TAVLib_CleanUpCachePCD(TAVLibHandle handle, const char* inSubDomain);

/* Records that the end-user agreement was accepted, in language, for productCode. In a
 * launched application (see Corvel_TAVLib_SetApplicationData) productCode is not used: the
 * commit records the agreement through the agreement service, for the driver's product code,
 * else the application's.
 * Answers kTAVLibSuccess, or kTAVLibInvalidArgument for a null language or (installers) a
 * null productCode. */
CORVEL_TAVLIB_API TAVLibStatus CORVEL_TAVLIB_CALL Corvel_TAVLib_Set_Eula(TAVLibHandle handle,
                                                                         const char* language,
                                                                         const char* productCode);

/* Records locale as installed for productCode; the commit adds it to the product's locale
 * list unless the list already contains it as a substring. Answers kTAVLibSuccess, or
 * kTAVLibInvalidArgument for a null argument. */
CORVEL_TAVLIB_API TAVLibStatus CORVEL_TAVLIB_CALL
Corvel_TAVLib_Set_InstallLocale(TAVLibHandle handle, const char* locale, const char* productCode);

/* Names the product the account records belong to; call it before Corvel_TAVLib_SaveCorvelId.
 * Answers kTAVLibSuccess, or kTAVLibInvalidArgument for a null productCode. */
CORVEL_TAVLIB_API TAVLibStatus CORVEL_TAVLIB_CALL
Corvel_TAVLib_SetCorvelId(TAVLibHandle handle, const char* productCode);

/* Records the user's account identifier ("" records only "CORVELID"). Answers kTAVLibSuccess,
 * kTAVLibInvalidArgument for a null accountId, or kTAVLibPreconditionFailed when
 * Corvel_TAVLib_SetCorvelId was not called first (nothing is recorded then). */
CORVEL_TAVLIB_API TAVLibStatus CORVEL_TAVLIB_CALL Corvel_TAVLib_SaveCorvelId(TAVLibHandle handle,
                                                                             const char* accountId);

/* Answers true for a live handle and a non-null output, else false. Writes nothing to output. */
CORVEL_TAVLIB_API bool CORVEL_TAVLIB_CALL Corvel_TAVLib_GetCorvelId(TAVLibHandle handle,
                                                                    void* output);

/* Records that the user completed the extended account profile for productCode. Answers
 * kTAVLibSuccess, or kTAVLibInvalidArgument for a null productCode. */
CORVEL_TAVLIB_API TAVLibStatus CORVEL_TAVLIB_CALL
Corvel_TAVLib_SetCorvelIdExtProfile(TAVLibHandle handle, const char* productCode);

/* ==== Application time =======================================================================
 *
 * A launched product, rather than its installer, uses an instance once it has called
 * Corvel_TAVLib_SetApplicationData. That changes where Corvel_TAVLib_EnumerateKeys reads and
 * how the agreement is recorded at commit.
 */

/* Tagging requests of Corvel_TAVLib_SetApplicationData. */
enum {
  kTAVLibTaggingNone = 0,      /* leave the instance's tagging as it is (by default: none) */
  kTAVLibTaggingAtCommit = 1,  /* tag the running product at a release with commit 1 */
  kTAVLibTaggingSuppressed = 2 /* never tag from this instance, whatever else is requested */
};

/* Puts the instance into application context.
 *   driverCode       the driver payload's code; required
 *   appProductId     the running product's code; required
 *   driverProductId  the driver's product code; null or "" when unknown
 *   appLocale        the application's locale; null or "" means "en_US"
 *   payloadCode      the application's payload code; null or "" when unknown
 *   tagging          one of the kTAVLibTagging* requests
 * A later call replaces every text of an earlier one; tagging requests accumulate, and a
 * suppression wins. Answers kTAVLibSuccess, or kTAVLibInvalidArgument for a null or empty
 * required text or an unknown tagging request (the instance then stays as it was). */
CORVEL_TAVLIB_API TAVLibStatus CORVEL_TAVLIB_CALL Corvel_TAVLib_SetApplicationData(
    TAVLibHandle handle, const char* driverCode, const char* appProductId,
    const char* driverProductId, const char* appLocale, const char* payloadCode, int32_t tagging);

/* In application context, reads inKey from the protected domain and sets *outValue to the
 * value ("" when there is none). inSubDomainType 1 reads it under the product (the "FLMap"
 * value stored under "<appProductId>{|}<appLocale>" when there is one, else driverProductId);
 * any other type under the driver payload. In an installer it does nothing and leaves
 * *outValue alone. Answers kTAVLibSuccess, or kTAVLibInvalidArgument for a null inKey or
 * outValue. */
CORVEL_TAVLIB_API TAVLibStatus CORVEL_TAVLIB_CALL Corvel_TAVLib_EnumerateKeys(
    TAVLibHandle handle, const char* inKey, const char** outValue, int32_t inSubDomainType);

/* ==== Single values of the store (any time) ==================================================
 *
 * Each call reads, writes or removes one key at once. A key lives in a subdomain (usually a
 * product or payload code) of one of two domains: protected (configuration) or unprotected
 * (installation records, and everything written here). A subdomain type says what the
 * subdomain names: 0 a product, 1 anything else; other values are refused.
 *
 * A value may be obfuscated under its subdomain's name when written, and is then read back
 * with de-obfuscation under the same subdomain; a damaged stored text reads back as a damaged
 * value, not as an error. At most 511 bytes of a value can be read.
 *
 * When the store cannot be opened at all, these calls answer kTAVLibSuccess having written,
 * read or removed nothing.
 */

/* Stores inValue under inKey in inSubDomain (unprotected domain), obfuscated when inObfuscate
 * is true. An empty value writes nothing. Answers kTAVLibSuccess; kTAVLibInvalidArgument for a
 * null argument, an empty inSubDomain, an unknown subdomain type, or a value to obfuscate
 * longer than 511 bytes; or kTAVLibStoreFailed when the store refuses the write. */
CORVEL_TAVLIB_API TAVLibStatus CORVEL_TAVLIB_CALL Corvel_TAVLib_SetValueforKeyInSubDomainInCache(
    TAVLibHandle handle, int32_t inSubDomainType, const char* inKey, const char* inValue,
    const char* inSubDomain, bool inObfuscate);

/* Reads inKey of inSubDomain from the protected (inDomain 0) or unprotected (any other value)
 * domain, de-obfuscated when inDeobfuscate is true, and sets *outValue to it; an empty value
 * leaves *outValue alone. At most inCapacity - 1 bytes are read (inCapacity is capped at 512).
 * Answers kTAVLibSuccess; kTAVLibInvalidArgument for a null argument, an inCapacity below 1,
 * or de-obfuscation with an empty inSubDomain; or kTAVLibStoreFailed when the store refuses
 * the read, nothing being stored there included. */
CORVEL_TAVLIB_API TAVLibStatus CORVEL_TAVLIB_CALL Corvel_TAVLib_GetValueforKeyInSubDomain(
    TAVLibHandle handle, const char** outValue, int32_t inCapacity, const char* inKey,
    const char* inSubDomain, int32_t inDomain, bool inDeobfuscate);

/* Removes inKey from inSubDomain (unprotected domain); a key that is not there is no error.
 * Answers kTAVLibSuccess, or kTAVLibInvalidArgument for a null argument, an empty inSubDomain
 * or an unknown subdomain type. */
CORVEL_TAVLIB_API TAVLibStatus CORVEL_TAVLIB_CALL Corvel_TAVLib_RemoveKeyInSubDomainInCache(
    TAVLibHandle handle, int32_t inSubDomainType, const char* inKey, const char* inSubDomain);

/* ==== Secure preferences =====================================================================
 *
 * Small named values in the user's enciphered preferences file,
 * "<per-user data folder>/Corvel/TAV/securePrefs.xml" (CORVEL_LOCAL_APPDATA, else
 * XDG_DATA_HOME, else "$HOME/.local/share"), created readable by its owner alone. Values are
 * enciphered with a key bound to this machine and user: a copy of the file is unreadable
 * elsewhere. When the user has no file, reads fall back to the shared read-only
 * "<common files>/Corvel/TAV/securePrefs.xml" (CORVEL_COMMON_FILES, else "/usr/share"). A
 * non-null prefsFilePath names the file instead.
 *
 * A value (at most 65,536 bytes) is addressed by a domain (null: "DefaultDomain") and a key,
 * both XML names without a colon. These functions need no instance and never write the main
 * log; their diagnostics go to "Velmo.log" in the temporary folder. The file has no lock: two
 * processes writing at once can lose one of the updates.
 */

/* The result of a secure-preference function: a signed 32-bit value, one of the codes below. */
typedef int32_t TAVLibPrefResult;

enum {
  kTAVLibPrefSuccess = 0,            /* the operation did what was asked */
  kTAVLibPrefFailed = -1,            /* any other failure, a missing key or a bad name included */
  kTAVLibPrefNoFile = -2,            /* neither the user's nor the shared file exists */
  kTAVLibPrefInvalidArgument = -3,   /* a required argument is null */
  kTAVLibPrefBufferTooSmall = -4,    /* the buffer cannot hold the value and its NUL */
  kTAVLibPrefCannotWriteFile = -5,   /* the preferences file could not be written */
  kTAVLibPrefCannotCreateFolder = -7 /* the folder of the preferences file could not be made */
};

/* Reads key of domain into buffer. With a null buffer, sets *size to the value's length plus
 * one; with a buffer of *size bytes, copies the value and its NUL when they fit:
 *
 *   uint32_t size = 0;
 *   if (Corvel_TAVLib_GetSecurePreference(domain, key, NULL, &size, NULL) == 0) {
 *     char* value = malloc(size);
 *     Corvel_TAVLib_GetSecurePreference(domain, key, value, &size, NULL);
 *   }
 *
 * Answers kTAVLibPrefSuccess, kTAVLibPrefInvalidArgument (null key or size),
 * kTAVLibPrefNoFile, kTAVLibPrefBufferTooSmall (the buffer is left alone) or
 * kTAVLibPrefFailed. */
CORVEL_TAVLIB_API TAVLibPrefResult CORVEL_TAVLIB_CALL Corvel_TAVLib_GetSecurePreference(
    const char* domain, const char* key, char* buffer, uint32_t* size, const char* prefsFilePath);

/* Stores value under key of domain in the user's file (or prefsFilePath), creating the file
 * and its folders when missing; on any failure the file is left as it was. Answers
 * kTAVLibPrefSuccess, kTAVLibPrefInvalidArgument (null key or value, empty domain or key),
 * kTAVLibPrefCannotWriteFile, kTAVLibPrefCannotCreateFolder or kTAVLibPrefFailed. */
CORVEL_TAVLIB_API TAVLibPrefResult CORVEL_TAVLIB_CALL Corvel_TAVLib_SetSecurePreference(
    const char* domain, const char* key, const char* value, const char* prefsFilePath);

/* ==== Proxy credentials ======================================================================
 *
 * An installer hands the user's proxy credentials to the instance; the product's network
 * client uses them, keeps them in the user's secure preferences (domain "ProxyCredentials")
 * after a request they got through, and reuses them when the proxy asks again.
 */

enum { kTAVLibProxyFieldSize = 257 };

/* Proxy credentials: a record of 515 bytes. */
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

/* How a request through the proxy ended. */
typedef int32_t TAVLibProxyRequestOutcome;

enum {
  kTAVLibProxyRequestSucceeded = 0,       /* any end but the three below; may keep credentials */
  kTAVLibProxyAuthenticationRequired = 1, /* the proxy asked for credentials; reuse kept ones */
  kTAVLibProxyAuthenticationFailed = 2,   /* the proxy refused the credentials given */
  kTAVLibProxyRequestKeepsNothing = 3     /* the client's own end that keeps nothing (cancelled) */
};

/* Hands credentials to the instance; they are never written to the store or logged. Each
 * field is read up to its NUL (or whole) and handed out again cut to at most 256 bytes without
 * splitting a UTF-8 sequence. Answers kTAVLibSuccess, or kTAVLibInvalidArgument for a null
 * record or an ill-formed field. */
CORVEL_TAVLIB_API TAVLibStatus CORVEL_TAVLIB_CALL Corvel_TAVLib_SetCredentialsForProxy(
    TAVLibHandle handle, const TAVLibProxyCredentials* credentials);

/* After a request that used the instance's credentials: keeps them in the user's secure
 * preferences when their remember flag is 1 and outcome is kTAVLibProxyRequestSucceeded;
 * otherwise writes nothing. Sets *kept (when kept is not null) to whether both values were
 * written. Answers kTAVLibSuccess whether or not they were kept; kTAVLibNotFound when the
 * instance holds no credentials; kTAVLibInvalidArgument for an unknown outcome; or
 * kTAVLibStoreFailed when a write failed (the user name may already have been replaced). */
CORVEL_TAVLIB_API TAVLibStatus CORVEL_TAVLIB_CALL Corvel_TAVLib_KeepProxyCredentials(
    TAVLibHandle handle, TAVLibProxyRequestOutcome outcome, bool* kept);

/* After kTAVLibProxyAuthenticationRequired: reads the kept credentials, hands them to the
 * instance with remember 1, and copies them into *credentials when it is not null (each field
 * NUL-terminated, the rest of it zero). Answers kTAVLibSuccess, or kTAVLibNotFound when either
 * value cannot be read (no file, no key, kept by another user or on another machine, a damaged
 * file), both are empty, or one is not UTF-8; the instance and *credentials are then left as
 * they were. */
CORVEL_TAVLIB_API TAVLibStatus CORVEL_TAVLIB_CALL
Corvel_TAVLib_ReuseProxyCredentials(TAVLibHandle handle, TAVLibProxyCredentials* credentials);

#ifdef __cplusplus
}
#endif

#endif /* CORVEL_TAVLIB_H */
