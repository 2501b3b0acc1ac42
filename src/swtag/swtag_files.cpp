#include "swtag/swtag_files.h"

#include <cstdio>
#include <memory>

#include "platform/platform.h"
#include "util/utf_convert.h"

namespace corvel::swtag {

namespace platform = corvel::platform;

bool IsConvertiblePath(const std::string& path) {
  std::u16string wide;
  return !path.empty() && util::Utf8ToWide(path, &wide) && !wide.empty();
}

EntryKind EntryAt(const std::string& path) {
  platform::FileInfo info;
  if (!IsConvertiblePath(path) || !platform::GetPathInfoNoFollow(path, &info))
    return EntryKind::Missing;
  if (info.kind == platform::FileKind::Regular) return EntryKind::RegularFile;
  if (info.kind == platform::FileKind::Folder) return EntryKind::Folder;
  return EntryKind::Other;
}

int64_t RegularFileSize(const std::string& path) {
  platform::FileInfo info;
  if (!IsConvertiblePath(path) || !platform::GetPathInfoNoFollow(path, &info) ||
      info.kind != platform::FileKind::Regular) {
    return -1;
  }
  return static_cast<int64_t>(info.size);
}

int OpenExistingFile(const std::string& path, platform::OpenFlags flags) {
  using platform::OpenFlags;
  if (!IsConvertiblePath(path)) return -1;
  return platform::OpenSharedFolderFile(path, flags & ~(OpenFlags::Create | OpenFlags::Exclusive));
}

bool ReadExistingFile(const std::string& path, std::string* out) {
  out->clear();
  const int64_t size = RegularFileSize(path);
  if (size < 0 || size > kMaxReadableFileSize) return false;
  std::unique_ptr<FILE, platform::FileCloser> stream(
      platform::StreamFromFd(OpenExistingFile(path, platform::OpenFlags::Read), "rb"));
  if (!stream) return false;
  char chunk[8192];
  size_t got = 0;
  while ((got = fread(chunk, 1, sizeof chunk, stream.get())) > 0) {
    out->append(chunk, got);
    if (static_cast<int64_t>(out->size()) > kMaxReadableFileSize) return false;
  }
  return !ferror(stream.get());
}

bool WriteAndClose(int fd, const std::string& bytes) {
  FILE* raw = platform::StreamFromFd(fd, "wb");
  if (!raw) return false;
  bool ok = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), raw) == bytes.size();
  ok = (fflush(raw) == 0) && ok;
  ok = (fclose(raw) == 0) && ok;
  return ok;
}

}  // namespace corvel::swtag
