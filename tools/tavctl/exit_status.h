// The tool's exit statuses. A library status cannot be an exit status as it is (257 does not
// fit a byte), so every status the library can answer has a small exit status of its own, and
// the tool's own failures (bad command lines, missing files, unreadable stores) have theirs.
#pragma once

#include <cstdint>
#include <string>

namespace tavctl {

enum ExitStatus : int {
  kExitSuccess = 0,
  kExitOtherStatus = 1,       // the library answered a status not listed below
  kExitUsage = 2,             // unknown command or option, missing or ill-formed argument
  kExitToolError = 3,         // missing file, unreadable or missing store, unwritable folder
  kExitNoInstance = 4,        // status 4, or no instance could be created
  kExitNotFound = 5,          // status 6
  kExitInvalidArgument = 6,   // status 9
  kExitStoreFailed = 7,       // status 10
  kExitProcessingFailed = 8,  // status 35
  kExitPrecondition = 9,      // status 257
  // Results of the secure-preference functions, which answer signed values of their own.
  kExitPrefFailed = 10,              // -1
  kExitPrefNoFile = 11,              // -2
  kExitPrefInvalidArgument = 12,     // -3
  kExitPrefBufferTooSmall = 13,      // -4
  kExitPrefCannotWriteFile = 14,     // -5
  kExitPrefCannotCreateFolder = 15,  // -7
};

// The exit status for a library status.
int ExitStatusFor(uint32_t status);

// The name of a library status ("kTAVLibSuccess", ...), or "unknown status".
const char* StatusName(uint32_t status);

// "status 10 (kTAVLibStoreFailed)".
std::string DescribeStatus(uint32_t status);

// The same for the signed results of the secure-preference functions.
int ExitStatusForPref(int32_t result);
const char* PrefResultName(int32_t result);
std::string DescribePrefResult(int32_t result);

// The table above as text, for --help and the README.
std::string ExitStatusTable();

}  // namespace tavctl
