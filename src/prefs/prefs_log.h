// The preferences log: a UTF-16LE text file "Velmo.log" in the temporary folder, shared by
// every process of the user that calls the preferences store, one CR LF terminated line per
// entry. The store, its cipher, its DOM wrapper and its path utilities write here.
//
// The log is one process-wide object, created on first use with every level switched off;
// `SetPrefsLogVerbosity` switches levels on (from the marker files "qiv.trace" and
// "qiv.debug" in the temporary folder) and `ClosePrefsLog` drops it. Each entry is one write
// on an O_APPEND descriptor, so it lands whole at the end of the file. The entries of one
// user's processes are kept in order by an exclusive lock on "Velmo.lock" in a folder of that
// user's own beside the log ("Velmo-<user id>", created 0700), which no other user can hold
// (on Windows by the logon session's named semaphore); when it cannot be had within a short
// wait, the entry is written without it.
#pragma once

#include <string>

namespace corvel::prefs {

enum class PrefsLogLevel { Trace = 0, Debug, Info, Warn, Error, Fatal };

// The version written into the log when its verbosity is set.
inline constexpr const char* kPrefsBuildVersion = "3.0.34.0";

// The log file's name inside the temporary folder.
inline constexpr const char* kPrefsLogFileName = "Velmo.log";

// Creates the process-wide log when it does not exist yet: opens "<temp>/Velmo.log" for
// appending, or creates it with the byte-order mark FF FE. A log that cannot be opened stays
// usable as an object whose writes are dropped.
void OpenPrefsLog();
// Reads the marker files, switches the levels on and writes the two verbosity entries.
// Returns the verbosity number (4, 5 or 6). Creates the log first when needed.
int SetPrefsLogVerbosity();
// Closes the file and drops the process-wide object; the next entry creates a fresh one.
void ClosePrefsLog();

// Narrow entries: "[LEVEL] category - message", the whole text cut at 1023 bytes, then
// converted to UTF-16 and prefixed with the local date and time.
void PrefsTrace(const char* category, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
void PrefsDebug(const char* category, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
void PrefsInfo(const char* category, const char* format, ...) __attribute__((format(printf, 2, 3)));
void PrefsWarn(const char* category, const char* format, ...) __attribute__((format(printf, 2, 3)));
void PrefsError(const char* category, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// Wide entries: the whole line, date and time included, cut at 1023 UTF-16 units. Format and
// arguments are UTF-8 here too; "wide" names where the limit is counted.
void PrefsDebugW(const char* category, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
void PrefsInfoW(const char* category, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
void PrefsWarnW(const char* category, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
void PrefsErrorW(const char* category, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
void PrefsFatalW(const char* category, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// The name a level carries in an entry ("TRACE", "DEBUG", "INFO", "WARN", "ERROR", "FATAL").
const char* PrefsLogLevelName(PrefsLogLevel level);

}  // namespace corvel::prefs
