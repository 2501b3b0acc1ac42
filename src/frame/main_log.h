// The main log's file and its once-per-process set-up and teardown.
//
// The log is "tavlib.log" in the temporary folder. The services library's file logger
// writes it; this side only decides whether a file already there may be kept (its first line,
// at most 127 characters of it, carries the marker "__TAVLIB_LOG_FILE__"), creates the logger
// and the logging service once per process, and tears them down when the last instance that
// uses logging goes, whichever instance that is. The process, not the instance that set
// logging up, holds the service until then, so the lines of every instance reach the file
// until the last one is destroyed, and the next instance sets logging up again.
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvel::frame {

class TAVLibImpl;

inline constexpr char kLogFileName[] = "tavlib.log";
inline constexpr char kLogFileMarker[] = "__TAVLIB_LOG_FILE__";
inline constexpr size_t kMarkerWindow = 127;  // characters of the first line searched
inline constexpr uint32_t kMaxLogSize = 102400000;
inline constexpr uint32_t kLoggingServiceId = 0;
inline constexpr size_t kLogPathBufferSize = 1024;

// "<temporary folder>/tavlib.log" into `out`; false (and `out` empty) when the temporary
// folder cannot be found or the path does not fit.
bool BuildLogFilePath(char* out, size_t size);

// True when no file stands at `path`, or when the file's first line (ended by LF, CR or the
// end of the file; at most 127 characters kept) contains the marker. A file that cannot be
// opened for reading (a symbolic link, which is never followed, included) or that is not a
// regular file with one link may not be kept.
bool LogFileMayBeKept(const char* path);

// Run by every instance at construction, before its first log line.
void SetUpLogging(TAVLibImpl& instance) noexcept;
// Run by every instance at destruction, after its last log line.
void TearDownLogging(TAVLibImpl& instance) noexcept;
// Whether the process holds a logging service now; the services library that made it must
// stay loaded until the last logging user's teardown gave it back.
bool MainLogInUse() noexcept;

}  // namespace corvel::frame
