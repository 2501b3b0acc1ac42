#include "util/path_check.h"

#include <cstring>

#include "platform/platform.h"
#include "util/file_utf8.h"
#include "util/utf_convert.h"

namespace corvel::util {

bool IsUsablePath(const std::string& path) {
  if (path.empty()) return false;
  // Each UTF-16 unit takes at most three UTF-8 bytes: a longer text cannot fit.
  if (path.size() >= 3 * kPathBufferSize) return false;
  try {
    return ConvertUtf8ToUtf16(path, false).size() < kPathBufferSize;
  } catch (const std::exception&) {
    return false;
  }
}

bool IsWellFormedUtf8(const std::string& text) {
  try {
    ConvertUtf8ToUtf16(text, false);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool IsUsablePath(const char* path) { return path && IsUsablePath(std::string(path)); }

char* CopyPathOut(char* out, size_t size, const std::string& path) {
  if (!out || size == 0) return nullptr;
  if (!IsUsablePath(path) || path.size() >= size) {
    out[0] = '\0';
    return nullptr;
  }
  memcpy(out, path.c_str(), path.size() + 1);
  return out;
}

std::string FolderPart(const std::string& path) {
  const size_t last = path.rfind('/');
  if (last == std::string::npos) return {};
  return path.substr(0, last);
}

}  // namespace corvel::util
