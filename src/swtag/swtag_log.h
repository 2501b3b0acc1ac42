// "swtag.log": the tag writer's own log in the temporary folder, shared by all passes and
// processes. One process-wide handle, open from the start of a tagging pass to its end.
//
// Every message but the marker line has a format beginning with "%s: %s: ", filled with
// kSwTagModule and kSwTagLevel, so a line reads
//   2013-05-02 10:11:12 [4242] SWTAG: _info_: End SWTAGGING
#pragma once

#include <cstdint>
#include <string>

namespace corvel::swtag {

inline constexpr const char* kSwTagModule = "SWTAG";
inline constexpr const char* kSwTagLevel = "_info_";
inline constexpr const char* kTagLogFileName = "swtag.log";
inline constexpr const char* kTagLogMarker = "__SWTAG_LOG_FILE__";
// A log above this size is emptied when a pass opens it.
inline constexpr int64_t kTagLogSizeLimit = 256000;
// The log's path buffer, terminator included; a longer path means no log.
inline constexpr size_t kTagLogPathSize = 260;
// How much of the first line the marker test looks at.
inline constexpr size_t kTagLogMarkerWindow = 126;

class TagLog {
 public:
  // Opens the log for this pass: discards a file whose first line lacks the marker, empties
  // one above the size limit, opens it for appending (never through a link) and marks a new
  // file. Without a usable temporary folder or file the pass runs without a log.
  static void Open();
  // Writes the time and process prefix and the formatted message in one write. Dropped
  // when the log is not open.
  static void Line(const char* format, ...) __attribute__((format(printf, 1, 2)));
  static void Close();
  static bool IsOpen();
  // The log's path in this process's temporary folder; empty when it does not fit the
  // 260-byte buffer or the folder is unknown.
  static std::string FilePath();
};

}  // namespace corvel::swtag
