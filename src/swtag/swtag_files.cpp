#include "swtag/swtag_files.h"

#include <fcntl.h>
#include <sys/stat.h>

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
  struct stat st{};
  if (!IsConvertiblePath(path) || platform::LstatPath(path, &st) != 0) return EntryKind::Missing;
  if (S_ISREG(st.st_mode)) return EntryKind::RegularFile;
  if (S_ISDIR(st.st_mode)) return EntryKind::Folder;
  return EntryKind::Other;
}

int64_t RegularFileSize(const std::string& path) {
  struct stat st{};
  if (!IsConvertiblePath(path) || platform::LstatPath(path, &st) != 0 || !S_ISREG(st.st_mode)) {
    return -1;
  }
  return static_cast<int64_t>(st.st_size);
}

int OpenExistingFile(const std::string& path, int flags) {
  if (!IsConvertiblePath(path)) return -1;
  return platform::OpenSharedFolderFile(path, flags & ~(O_CREAT | O_EXCL));
}

bool ReadExistingFile(const std::string& path, std::string* out) {
  out->clear();
  const int64_t size = RegularFileSize(path);
  if (size < 0 || size > kMaxReadableFileSize) return false;
  std::unique_ptr<FILE, platform::FileCloser> stream(
      platform::StreamFromFd(OpenExistingFile(path, O_RDONLY), "rb"));
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
