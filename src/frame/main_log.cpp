#include "frame/main_log.h"

#include <cstring>
#include <memory>

#include "frame/frame_log.h"
#include "frame/tavlib_impl.h"
#include "platform/platform.h"
#include "services/zep_bindings.h"
#include "util/bounded_text.h"
#include "util/file_utf8.h"

namespace corvel::frame {

namespace {

// Process-wide; no lock (instances are created and destroyed by one thread at a time).
struct LoggingState {
  bool setUp = false;  // a process attempted the set-up; reset only by the teardown
  uint32_t users = 0;  // instances between their set-up step and their teardown step
  // The logging service of the set-up, owned here rather than by the instance that made it:
  // the instances are destroyed in creation order, so that one usually goes first while the
  // lines of the others still need the service.
  ZEPHandle service = nullptr;
  // The log format was handed to the services library. Setting the environment races with any
  // thread of the host that reads it, so it is done once, before the library's first bound call.
  bool formatChosen = false;
};
LoggingState gLogging;

bool FileStandsAt(const char* path) {
  platform::FileInfo info;
  if (platform::GetPathInfoNoFollow(path, &info)) return true;
  const platform::Error error = platform::LastError();
  return error != platform::Error::NotFound && error != platform::Error::NotFolder;
}

}  // namespace

bool BuildLogFilePath(char* out, size_t size) {
  if (size == 0) return false;
  out[0] = '\0';
  if (util::TempFolderPath(out, size) == nullptr ||
      util::AppendText(out, size, "/", 1) == nullptr ||
      util::AppendText(out, size, kLogFileName, sizeof(kLogFileName) - 1) == nullptr) {
    out[0] = '\0';
    return false;
  }
  return true;
}

bool LogFileMayBeKept(const char* path) {
  if (!FileStandsAt(path)) return true;
  // The folder is shared: a FIFO, a link or a second name of another file may stand here.
  platform::UniqueFd fd(platform::OpenSharedFolderFile(path, platform::OpenFlags::Read));
  if (!fd.valid()) return false;
  std::unique_ptr<FILE, platform::FileCloser> stream(platform::StreamFromFd(fd.release(), "r"));
  if (!stream) return false;
  char first_line[kMarkerWindow + 1] = {};
  if (util::ReadTextLine(stream.get(), first_line, sizeof(first_line)) < 0) return false;
  return std::strstr(first_line, kLogFileMarker) != nullptr;
}

void SetUpLogging(TAVLibImpl& instance) noexcept {
  char path[kLogPathBufferSize];
  const bool have_path = BuildLogFilePath(path, sizeof(path));
  ++gLogging.users;
  if (gLogging.setUp) return;
  // Without a temporary folder there is no file to log to; a later instance tries again.
  if (!have_path) return;

  if (!gLogging.formatChosen) {
    platform::SetEnvironmentValue("ZEPLogFormat", "clear");
    gLogging.formatChosen = true;
  }
  if (!LogFileMayBeKept(path) && FileStandsAt(path)) platform::RemoveFile(path);

  instance.mLogger = zep::C_ZEPLoggerCreateFileLoggerWithPathAndSize(path, kMaxLogSize);
  if (instance.mLogger != nullptr) {
    gLogging.service = zep::C_ZEPLoggingServiceCreateWithID(kLoggingServiceId);
    instance.mLoggingService = gLogging.service;
    if (instance.mLoggingService != nullptr) {
      zep::C_ZEPLoggingServiceAddLogger(instance.mLoggingService, instance.mLogger);
    }
    // The logger has just started a file of its own: mark it as ours.
    if (!LogFileMayBeKept(path)) FrameLog(instance, "__TAVLIB_LOG_FILE__");
    zep::C_ZEPRelease(instance.mLogger);
    instance.mLogger = nullptr;
  }
  gLogging.setUp = true;
}

void TearDownLogging(TAVLibImpl& instance) noexcept {
  // The instance only borrowed the service; the last user gives it back, whichever it is.
  instance.mLoggingService = nullptr;
  if (gLogging.users > 0) --gLogging.users;
  if (gLogging.users != 0 || gLogging.service == nullptr) return;
  zep::C_ZEPLoggingServiceCleanUpResource(gLogging.service);
  zep::C_ZEPRelease(gLogging.service);
  gLogging.service = nullptr;
  gLogging.setUp = false;
}

bool MainLogInUse() noexcept { return gLogging.service != nullptr; }

}  // namespace corvel::frame
