#include "prefs/prefs_log.h"

#include <array>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <memory>
#include <mutex>

#include "platform/platform.h"
#include "prefs/tolerant_utf8.h"
#include "util/bounded_text.h"

namespace corvel::prefs {

namespace platform = corvel::platform;

namespace {

// Each entry is formatted within this many bytes (narrow) or UTF-16 units (wide).
constexpr size_t kEntryLimit = 1024;

constexpr const char* kTraceMarker = "/qiv.trace";
constexpr const char* kDebugMarker = "/qiv.debug";

std::string LogFolder() { return platform::TempFolder(); }

// The lock that keeps the entries of this user's processes in order: "Velmo.lock" in a folder
// of the user's own beside the log, where no other user can open it and hold the lock; on
// Windows the session's semaphore of this name.
constexpr const char* kLockFolderPrefix = "/Velmo-";
constexpr const char* kLockFileName = "Velmo.lock";
constexpr const char* kSessionLockName = "{5B0E7C3A-91D4-4F62-A8E1-3C7D2F9B6A40}";

std::unique_ptr<platform::SessionLock> OpenUserLock(const std::string& folder) {
  auto lock = std::make_unique<platform::SessionLock>(
      folder + kLockFolderPrefix + platform::EffectiveUserIdText(), kLockFileName,
      kSessionLockName);
  if (!lock->usable()) lock.reset();
  return lock;
}

// An open log file that every writer appends to at its end, one whole entry at a time.
class PrefsLogFile {
 public:
  PrefsLogFile() { Open(); }

  bool enabled(PrefsLogLevel level) const { return mSwitches[static_cast<size_t>(level)]; }
  void SetSwitches(const std::array<bool, 6>& switches) { mSwitches = switches; }

  // Writes the entry and CR LF as UTF-16LE at the end of the file in one write, under the
  // user's lock when it can be had soon. Dropped when the file is unusable.
  void Append(const std::u16string& entry) {
    // A lock taken through a descriptor inherited across fork() is shared with the parent and
    // would not keep the two apart: a forked child opens the log afresh.
    if (mOwner != platform::ProcessId()) Open();
    if (!mFile.valid()) return;
    std::string bytes;
    bytes.reserve((entry.size() + 2) * 2);
    auto put = [&bytes](char16_t unit) {
      bytes.push_back(static_cast<char>(unit & 0xFF));
      bytes.push_back(static_cast<char>((unit >> 8) & 0xFF));
    };
    for (char16_t unit : entry) put(unit);
    put(u'\r');
    put(u'\n');
    const bool held = mLock && mLock->Acquire(mLockPatienceMs);
    if (mLock && !held) mLockPatienceMs = 0;
    platform::AppendWhole(mFile.get(), bytes);
    if (held) mLock->Release();
  }

 private:
  void Open() {
    mOwner = platform::ProcessId();
    mFile = platform::UniqueFd();
    mLock.reset();
    std::string folder = LogFolder();
    if (folder.empty()) return;
    if (!platform::IsFolder(folder) && platform::MakeFolders(folder, 0700) != 0) return;
    mLock = OpenUserLock(folder);
    std::string path = folder + "/" + kPrefsLogFileName;
    // A FIFO, a device or a second name of another file under the log's name is refused.
    constexpr platform::OpenFlags kAppending =
        platform::OpenFlags::Write | platform::OpenFlags::Append;
    int fd = platform::OpenSharedFolderFile(path, kAppending);
    if (fd < 0 && platform::LastError() == platform::Error::Link) {
      // A symbolic link planted under the log's name is removed, never followed.
      platform::RemoveFile(path);
      platform::SetError(platform::Error::NotFound);
    }
    // When another process was first to create it, its log is appended to.
    if (fd < 0 && platform::LastError() == platform::Error::NotFound &&
        (CreateWithMark(folder, path) || platform::LastError() == platform::Error::Exists)) {
      fd = platform::OpenSharedFolderFile(path, kAppending);
    }
    mFile = platform::UniqueFd(fd);
  }

  // Builds the new log beside its final name with the byte-order mark already in it and
  // moves it into place only if no other process has created the log meanwhile, so no entry
  // can come before the mark.
  static bool CreateWithMark(const std::string& folder, const std::string& path) {
    std::string temp_path = folder + "/" + kPrefsLogFileName + ".XXXXXX";
    platform::UniqueFd fd(platform::MakeTempFile(temp_path));
    if (!fd.valid()) return false;
    const bool ready =
        platform::ChangeModeFd(fd.get(), 0600) == 0 && platform::AppendWhole(fd.get(), "\xFF\xFE");
    if (!ready || platform::RenameNoReplace(temp_path, path) != 0) {
      const int saved =
          ready ? platform::LastErrorCode() : platform::ErrorCode(platform::Error::Io);
      platform::RemoveFile(temp_path);
      platform::SetErrorCode(saved);
      return false;
    }
    return true;
  }

  platform::UniqueFd mFile;
  std::unique_ptr<platform::SessionLock> mLock;  // null when the user's lock cannot be had
  int mLockPatienceMs = platform::kSharedFileLockPatienceMs;  // 0 once a wait was given up
  int mOwner = 0;
  std::array<bool, 6> mSwitches{};  // all off until the verbosity is set
};

std::mutex gLogMutex;
std::unique_ptr<PrefsLogFile> gLog;

PrefsLogFile& LogLocked() {
  if (!gLog) gLog = std::make_unique<PrefsLogFile>();
  return *gLog;
}

// "M/d/yyyy hh:mm:ss " in local time, 24-hour clock.
std::string DateTimePrefix() {
  int64_t seconds = 0;
  int milliseconds = 0;
  platform::CurrentTime(&seconds, &milliseconds);
  struct tm local {};
  if (!platform::LocalCalendar(seconds, &local)) return "0/0/0000 00:00:00 ";
  char text[64];
  snprintf(text, sizeof text, "%d/%d/%04d %02d:%02d:%02d ", local.tm_mon + 1, local.tm_mday,
           local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

std::string FormatWhole(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  int length = vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (length <= 0) return std::string();
  std::string text(static_cast<size_t>(length) + 1, '\0');
  vsnprintf(text.data(), text.size(), format, args);
  text.resize(static_cast<size_t>(length));
  return text;
}

void WriteNarrow(PrefsLogLevel level, const char* category, const char* format, va_list args) {
  if (!format) return;
  std::lock_guard<std::mutex> guard(gLogMutex);
  PrefsLogFile& log = LogLocked();
  if (!log.enabled(level)) return;
  char text[kEntryLimit];
  util::FormatText(text, sizeof text, "[%s] %s - ", PrefsLogLevelName(level),
                   category ? category : "");
  size_t used = std::char_traits<char>::length(text);
  util::FormatTextV(text + used, sizeof text - used, format, args);
  log.Append(DecodeUtf8Tolerant(DateTimePrefix()) + DecodeUtf8Tolerant(text));
}

void WriteWide(PrefsLogLevel level, const char* category, const char* format, va_list args) {
  if (!format) return;
  std::lock_guard<std::mutex> guard(gLogMutex);
  PrefsLogFile& log = LogLocked();
  if (!log.enabled(level)) return;
  std::string head =
      DateTimePrefix() + "[" + PrefsLogLevelName(level) + "] " + (category ? category : "") + " - ";
  std::u16string entry = DecodeUtf8Tolerant(head + FormatWhole(format, args));
  size_t limit = kEntryLimit - 1;
  if (entry.size() > limit) {
    // Never keep half of a surrogate pair.
    if (entry[limit - 1] >= 0xD800 && entry[limit - 1] <= 0xDBFF) --limit;
    entry.resize(limit);
  }
  log.Append(entry);
}

}  // namespace

const char* PrefsLogLevelName(PrefsLogLevel level) {
  switch (level) {
    case PrefsLogLevel::Trace:
      return "TRACE";
    case PrefsLogLevel::Debug:
      return "DEBUG";
    case PrefsLogLevel::Info:
      return "INFO";
    case PrefsLogLevel::Warn:
      return "WARN";
    case PrefsLogLevel::Error:
      return "ERROR";
    case PrefsLogLevel::Fatal:
      return "FATAL";
  }
  return "INFO";
}

void OpenPrefsLog() {
  std::lock_guard<std::mutex> guard(gLogMutex);
  LogLocked();
}

int SetPrefsLogVerbosity() {
  int verbosity = 4;
  {
    std::lock_guard<std::mutex> guard(gLogMutex);
    PrefsLogFile& log = LogLocked();
    std::string folder = LogFolder();
    std::array<bool, 6> switches{};
    if (!folder.empty() && platform::PathExists(folder + kTraceMarker)) {
      verbosity = 6;
      switches[static_cast<size_t>(PrefsLogLevel::Trace)] = true;
      switches[static_cast<size_t>(PrefsLogLevel::Debug)] = true;
    } else if (!folder.empty() && platform::PathExists(folder + kDebugMarker)) {
      verbosity = 5;
      switches[static_cast<size_t>(PrefsLogLevel::Debug)] = true;
    }
    for (PrefsLogLevel level :
         {PrefsLogLevel::Info, PrefsLogLevel::Warn, PrefsLogLevel::Error, PrefsLogLevel::Fatal}) {
      switches[static_cast<size_t>(level)] = true;
    }
    log.SetSwitches(switches);
  }
  PrefsInfo("NVX", "Build Version - %s", kPrefsBuildVersion);
  PrefsInfo("NVX", "Logging Level verbosity Set  to %d", verbosity);
  return verbosity;
}

void ClosePrefsLog() {
  std::unique_ptr<PrefsLogFile> closing;
  std::lock_guard<std::mutex> guard(gLogMutex);
  closing = std::move(gLog);
}

#define CORVEL_PREFS_LOG_ENTRY(name, writer, level)          \
  void name(const char* category, const char* format, ...) { \
    va_list args;                                            \
    va_start(args, format);                                  \
    writer(level, category, format, args);                   \
    va_end(args);                                            \
  }

CORVEL_PREFS_LOG_ENTRY(PrefsTrace, WriteNarrow, PrefsLogLevel::Trace)
CORVEL_PREFS_LOG_ENTRY(PrefsDebug, WriteNarrow, PrefsLogLevel::Debug)
CORVEL_PREFS_LOG_ENTRY(PrefsInfo, WriteNarrow, PrefsLogLevel::Info)
CORVEL_PREFS_LOG_ENTRY(PrefsWarn, WriteNarrow, PrefsLogLevel::Warn)
CORVEL_PREFS_LOG_ENTRY(PrefsError, WriteNarrow, PrefsLogLevel::Error)
CORVEL_PREFS_LOG_ENTRY(PrefsDebugW, WriteWide, PrefsLogLevel::Debug)
CORVEL_PREFS_LOG_ENTRY(PrefsInfoW, WriteWide, PrefsLogLevel::Info)
CORVEL_PREFS_LOG_ENTRY(PrefsWarnW, WriteWide, PrefsLogLevel::Warn)
CORVEL_PREFS_LOG_ENTRY(PrefsErrorW, WriteWide, PrefsLogLevel::Error)
CORVEL_PREFS_LOG_ENTRY(PrefsFatalW, WriteWide, PrefsLogLevel::Fatal)

#undef CORVEL_PREFS_LOG_ENTRY

}  // namespace corvel::prefs
