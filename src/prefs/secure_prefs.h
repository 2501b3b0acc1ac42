// The secure preferences store: small values addressed by a domain and a key, kept in the
// per-user XML file "<local application data>/Corvel/TAV/securePrefs.xml", each value
// enciphered with a key bound to the machine and the user (crypt_engine.h). A read falls back
// to "<common files>/Corvel/TAV/securePrefs.xml" when the user has no file; writes always go
// to the user's file. Diagnostics go to the preferences log (prefs_log.h) under "NVX".
//
// Every access is one session: InitPrefs, then GetPrefValue or SetPrefValue, then
// UninitPrefs. Strings are UTF-8; domains and keys must be XML names (they are used verbatim
// as element names and XPath steps). None of these functions throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace corvel::prefs {

// Results (0 success, negative failure).
enum PrefsResult : int {
  kPrefsSuccess = 0,
  kPrefsFailed = -1,
  kPrefsNoFile = -2,           // no preferences file in either location
  kPrefsInvalidArgument = -3,  // a required pointer is null (or the domain or key is empty)
  kPrefsBufferTooSmall = -4,
  kPrefsCannotWriteFile = -5,     // a new file could not be written
  kPrefsCannotCreateFolder = -7,  // the new file's folder could not be created
};

inline constexpr const char* kDefaultDomain = "DefaultDomain";
inline constexpr const char* kPrefsFileName = "securePrefs.xml";
// The store keeps small values (credentials); longer values are refused.
inline constexpr size_t kMaxPrefValueLength = 64 * 1024;

// Opens the preferences log and sets its verbosity. 0.
int InitPrefs() noexcept;
// Closes the preferences log. Always 0.
int UninitPrefs() noexcept;

// Reads a value. With a null buffer, stores (length + 1) into *size and returns 0; with a
// buffer, copies the value and its NUL when *size is greater than the length, else -4.
// `domain` null means "DefaultDomain"; `prefs_file_path` null means the user file, else the
// common file. Results: 0, -1, -2, -3 (key or size null), -4.
int GetPrefValue(const char* domain, const char* key, char* buffer, uint32_t* size,
                 const char* prefs_file_path) noexcept;

// Writes a value (an empty one is stored as an empty element). `prefs_file_path` null means
// the user file, created with its folders (0700) when missing. Results: 0, -1, -3 (key or
// value null, domain or key empty), -5, -7. On failure the file on disk is unchanged.
int SetPrefValue(const char* domain, const char* key, const char* value,
                 const char* prefs_file_path) noexcept;

// Sets the enciphered value text of domain/key in the existing file at `path`, adding the
// domain and key elements when missing, and saves. 0, -1, or -3 for an empty path, domain
// or key.
int UpdatePrefsXml(const std::string& path, const std::string& domain, const std::string& key,
                   const std::string& value) noexcept;

// The file to read: the explicit path when given, else the user file when it exists, else
// the common file when it exists. 0 with the path, -1 on failure, -2 when no file exists.
int ResolvePrefsPath(const char* prefs_file_path, std::string* path) noexcept;

// "<local application data>/Corvel/TAV/securePrefs.xml"; empty when the folder is unknown.
std::string UserPrefsFilePath();
// "<common files>/Corvel/TAV/securePrefs.xml"; empty when the folder is unknown.
std::string CommonPrefsFilePath();

}  // namespace corvel::prefs
