#include "swtag/swtag_access.h"

#include "platform/platform.h"
#include "swtag/swtag_files.h"
#include "swtag/swtag_log.h"

namespace corvel::swtag {

namespace platform = corvel::platform;

namespace {

// Reads the path's status as the rules' first step and logs it; true when it was read.
bool GetPrivilegeInfo(const std::string& path, platform::FileInfo* info) {
  const int result = IsConvertiblePath(path) && platform::GetPathInfoNoFollow(path, info) ? 0 : -1;
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
  using platform::OpenFlags;
  platform::FileInfo info;
  if (!GetPrivilegeInfo(path, &info)) return;
  int result = -1;
  if (info.kind == platform::FileKind::Folder || info.kind == platform::FileKind::Regular) {
    const bool folder = info.kind == platform::FileKind::Folder;
    const OpenFlags kReadFolder = OpenFlags::Read | OpenFlags::NonBlocking | OpenFlags::Folder;
    platform::UniqueFd fd(folder ? platform::OpenNoFollow(path, kReadFolder)
                                 : platform::OpenSharedFolderFile(path, OpenFlags::Read));
    if (fd.valid())
      result = platform::ChangeModeFd(fd.get(), folder ? kTagFolderMode : kTagFileMode);
  }
  LogSetPrivilegeInfo(path, result);
}

void ApplyAccessRulesToOpenFile(const std::string& path, int fd) {
  platform::FileInfo info;
  if (!GetPrivilegeInfo(path, &info)) return;
  LogSetPrivilegeInfo(path, platform::ChangeModeFd(fd, kTagFileMode));
}

}  // namespace corvel::swtag
