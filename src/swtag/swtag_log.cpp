#include "swtag/swtag_log.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string_view>

#include "platform/platform.h"
#include "swtag/swtag_access.h"
#include "swtag/swtag_files.h"

namespace corvel::swtag {

namespace platform = corvel::platform;
using platform::OpenFlags;

namespace {

using LogStream = std::unique_ptr<FILE, platform::FileCloser>;

// The open log: a descriptor opened for appending, each line written to it in one piece.
platform::UniqueFd& Log() {
  static platform::UniqueFd fd;
  return fd;
}

// A missing file counts as marked; one that cannot be read (a link, a folder) does not.
bool FirstLineHasMarker(const std::string& path) {
  LogStream stream(platform::StreamFromFd(OpenExistingFile(path, OpenFlags::Read), "rb"));
  if (!stream) return false;
  char line[kTagLogMarkerWindow];
  size_t kept = 0;
  int c = 0;
  while (kept < sizeof line && (c = fgetc(stream.get())) != EOF && c != '\r' && c != '\n') {
    line[kept++] = static_cast<char>(c);
  }
  return std::string_view(line, kept).find(kTagLogMarker) != std::string_view::npos;
}

void EmptyFile(const std::string& path) {
  platform::UniqueFd fd(OpenExistingFile(path, OpenFlags::Write | OpenFlags::Truncate));
}

// The existing regular file opened for appending, or a new one created exclusively. What
// cannot be appended to safely (a link, a FIFO, a file with other hard links) is replaced.
int OpenForAppending(const std::string& path) {
  int fd = OpenExistingFile(path, OpenFlags::Write | OpenFlags::Append);
  if (fd >= 0) return fd;
  if (EntryExists(path)) platform::RemoveFile(path);
  return platform::OpenSharedFolderFile(
      path, OpenFlags::Write | OpenFlags::Append | OpenFlags::Create | OpenFlags::Exclusive,
      kTagFileMode);
}

std::string TimePrefix() {
  int64_t seconds = 0;
  int milliseconds = 0;
  platform::CurrentTime(&seconds, &milliseconds);
  char stamp[100] = "";
  struct tm local {};
  if (platform::LocalCalendar(seconds, &local)) {
    strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  }
  char prefix[160];
  snprintf(prefix, sizeof prefix, "%s [%d] ", stamp, platform::ProcessId());
  return prefix;
}

}  // namespace

std::string TagLog::FilePath() {
  const std::optional<std::string> folder = platform::TagLogFolder();
  if (!folder) return {};
  std::string path = *folder + "/" + kTagLogFileName;
  if (path.size() >= kTagLogPathSize) return {};
  return path;
}

void TagLog::Open() {
  Close();
  const std::string path = FilePath();
  if (!IsConvertiblePath(path)) return;

  const bool exists = EntryExists(path);
  if (exists && !FirstLineHasMarker(path) && platform::RemoveFile(path) != 0) EmptyFile(path);
  if (RegularFileSize(path) > kTagLogSizeLimit) EmptyFile(path);

  platform::UniqueFd fd(OpenForAppending(path));
  if (!fd.valid()) return;
  Log() = std::move(fd);
  if (!FirstLineHasMarker(path)) Line("SWTAG: _info_: %s\n", kTagLogMarker);
  ApplyAccessRulesToOpenFile(path, Log().get());
}

void TagLog::Line(const char* format, ...) {
  if (!Log().valid()) return;
  std::string line = TimePrefix();
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int length = vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (length > 0) {
    const size_t start = line.size();
    line.resize(start + static_cast<size_t>(length) + 1);
    vsnprintf(line.data() + start, static_cast<size_t>(length) + 1, format, args);
    line.resize(start + static_cast<size_t>(length));
  }
  va_end(args);
  platform::AppendWhole(Log().get(), line);
}

void TagLog::Close() { Log() = platform::UniqueFd(); }

bool TagLog::IsOpen() { return Log().valid(); }

}  // namespace corvel::swtag
