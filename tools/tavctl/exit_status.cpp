#include "exit_status.h"

#include "corvel_tavlib.h"

namespace tavctl {

namespace {

struct StatusRow {
  uint32_t status;
  const char* name;
  int exit;
};

constexpr StatusRow kStatusRows[] = {
    {kTAVLibSuccess, "kTAVLibSuccess", kExitSuccess},
    {kTAVLibNoInstance, "kTAVLibNoInstance", kExitNoInstance},
    {kTAVLibNotFound, "kTAVLibNotFound", kExitNotFound},
    {kTAVLibInvalidArgument, "kTAVLibInvalidArgument", kExitInvalidArgument},
    {kTAVLibStoreFailed, "kTAVLibStoreFailed", kExitStoreFailed},
    {kTAVLibProcessingFailed, "kTAVLibProcessingFailed", kExitProcessingFailed},
    {kTAVLibPreconditionFailed, "kTAVLibPreconditionFailed", kExitPrecondition},
};

const StatusRow* FindRow(uint32_t status) {
  for (const StatusRow& row : kStatusRows) {
    if (row.status == status) return &row;
  }
  return nullptr;
}

struct PrefRow {
  int32_t result;
  const char* name;
  int exit;
};

constexpr PrefRow kPrefRows[] = {
    {kTAVLibPrefSuccess, "kTAVLibPrefSuccess", kExitSuccess},
    {kTAVLibPrefFailed, "kTAVLibPrefFailed", kExitPrefFailed},
    {kTAVLibPrefNoFile, "kTAVLibPrefNoFile", kExitPrefNoFile},
    {kTAVLibPrefInvalidArgument, "kTAVLibPrefInvalidArgument", kExitPrefInvalidArgument},
    {kTAVLibPrefBufferTooSmall, "kTAVLibPrefBufferTooSmall", kExitPrefBufferTooSmall},
    {kTAVLibPrefCannotWriteFile, "kTAVLibPrefCannotWriteFile", kExitPrefCannotWriteFile},
    {kTAVLibPrefCannotCreateFolder, "kTAVLibPrefCannotCreateFolder", kExitPrefCannotCreateFolder},
};

const PrefRow* FindPrefRow(int32_t result) {
  for (const PrefRow& row : kPrefRows) {
    if (row.result == result) return &row;
  }
  return nullptr;
}

}  // namespace

int ExitStatusForPref(int32_t result) {
  const PrefRow* row = FindPrefRow(result);
  return row ? row->exit : kExitOtherStatus;
}

const char* PrefResultName(int32_t result) {
  const PrefRow* row = FindPrefRow(result);
  return row ? row->name : "unknown result";
}

std::string DescribePrefResult(int32_t result) {
  return "result " + std::to_string(result) + " (" + PrefResultName(result) + ")";
}

int ExitStatusFor(uint32_t status) {
  const StatusRow* row = FindRow(status);
  return row ? row->exit : kExitOtherStatus;
}

const char* StatusName(uint32_t status) {
  const StatusRow* row = FindRow(status);
  return row ? row->name : "unknown status";
}

std::string DescribeStatus(uint32_t status) {
  return "status " + std::to_string(status) + " (" + StatusName(status) + ")";
}

std::string ExitStatusTable() {
  return "Exit status:\n"
         "  0  success (library status 0)\n"
         "  1  the library answered a status not listed here\n"
         "  2  usage error: unknown command or option, missing or ill-formed argument\n"
         "  3  tool error: missing file or folder, missing or unreadable store, a file that\n"
         "     cannot be written, a failed check of the demo\n"
         "  4  library status 4   kTAVLibNoInstance (also: no instance could be created)\n"
         "  5  library status 6   kTAVLibNotFound\n"
         "  6  library status 9   kTAVLibInvalidArgument\n"
         "  7  library status 10  kTAVLibStoreFailed\n"
         "  8  library status 35  kTAVLibProcessingFailed\n"
         "  9  library status 257 kTAVLibPreconditionFailed\n"
         " 10  preference result -1 kTAVLibPrefFailed (a missing key included)\n"
         " 11  preference result -2 kTAVLibPrefNoFile\n"
         " 12  preference result -3 kTAVLibPrefInvalidArgument\n"
         " 13  preference result -4 kTAVLibPrefBufferTooSmall\n"
         " 14  preference result -5 kTAVLibPrefCannotWriteFile\n"
         " 15  preference result -7 kTAVLibPrefCannotCreateFolder\n"
         "With --json, the library's own status or result is in the \"status\" field.\n";
}

}  // namespace tavctl
