// File and folder access by UTF-8 path.
#include "util/file_utf8.h"

#include "platform/platform.h"
#include "util/path_check.h"

namespace corvel::util {

FILE* OpenFileUtf8(const char* path, const char* mode) {
  if (!IsUsablePath(path) || !mode || !*mode) {
    platform::SetError(platform::Error::Invalid);
    return nullptr;
  }
  return platform::OpenFile(path, mode);
}

int StatUtf8(const char* path, platform::FileInfo* out) {
  if (!IsUsablePath(path) || !out) {
    platform::SetError(platform::Error::Invalid);
    return -1;
  }
  return platform::GetPathInfo(path, out) ? 0 : -1;
}

bool PathExistsUtf8(const char* path) { return IsUsablePath(path) && platform::PathExists(path); }

bool IsFolderUtf8(const char* path) { return IsUsablePath(path) && platform::IsFolder(path); }

int MakeFolderUtf8(const char* path) {
  if (!IsUsablePath(path)) {
    platform::SetError(platform::Error::Invalid);
    return -1;
  }
  return platform::MakeFolder(path, 0755);
}

int RemoveFileUtf8(const char* path) {
  if (!IsUsablePath(path)) {
    platform::SetError(platform::Error::Invalid);
    return -1;
  }
  return platform::RemoveFile(path);
}

char* FullPathUtf8(char* out, size_t size, const char* path) {
  if (!out || size == 0) return nullptr;
  if (!IsUsablePath(path)) {
    out[0] = '\0';
    return nullptr;
  }
  return CopyPathOut(out, size, platform::LexicalFullPath(path));
}

}  // namespace corvel::util
