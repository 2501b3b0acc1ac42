#include "swtag/swtag_access.h"

#include <fcntl.h>
#include <sys/stat.h>

#include "platform/platform.h"
#include "swtag/swtag_files.h"
#include "swtag/swtag_log.h"

namespace corvel::swtag {

namespace platform = corvel::platform;

namespace {

// Reads the path's status as the rules' first step and logs it; true when it was read.
bool GetPrivilegeInfo(const std::string& path, struct stat* st) {
  const int result = IsConvertiblePath(path) ? platform::LstatPath(path, st) : -1;
  TagLog::Line("%s: %s: Get privilege info for \"%s\" returned %d\n", kSwTagModule, kSwTagLevel,
               path.c_str(), result);
  return result == 0;
}

void LogSetPrivilegeInfo(const std::string& path, int result) {
  TagLog::Line("%s: %s: Set privilege info for \"%s\" returned %d\n", kSwTagModule, kSwTagLevel,
               path.c_str(), result);
}

}  // namespace

void ApplyAccessRules(const std::string& path) {
  struct stat st{};
  if (!GetPrivilegeInfo(path, &st)) return;
  int result = -1;
  if (S_ISDIR(st.st_mode) || S_ISREG(st.st_mode)) {
    const bool folder = S_ISDIR(st.st_mode);
    platform::UniqueFd fd(folder ? platform::OpenNoFollow(path, O_RDONLY | O_NONBLOCK | O_DIRECTORY, 0)
                                 : platform::OpenSharedFolderFile(path, O_RDONLY));
    if (fd.valid()) result = platform::ChangeModeFd(fd.get(), folder ? kTagFolderMode : kTagFileMode);
  }
  LogSetPrivilegeInfo(path, result);
}

void ApplyAccessRulesToOpenFile(const std::string& path, int fd) {
  struct stat st{};
  if (!GetPrivilegeInfo(path, &st)) return;
  LogSetPrivilegeInfo(path, platform::ChangeModeFd(fd, kTagFileMode));
}

}  // namespace corvel::swtag
