// The folders the library works in: temporary, shared special folders, its own module's.
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "util/file_utf8.h"
#include "util/path_check.h"

namespace corvel::util {

namespace {

constexpr int kCommonFilesKind = 1;
constexpr int kCommonFilesKindAlso = 3;
constexpr int kCommonAppDataKind = 255;

// Creates `path` and every missing folder above it (mode 0755); true when it is a folder then.
bool EnsureFolder(const std::string& path) {
  return platform::MakeFolders(path, 0755) == 0 && platform::IsFolder(path);
}

// The shared folder of a kind (1 and 3: common files; 255: shared application data; any
// other: the 32-bit common files, which on this system is the same folder), created when
// missing; empty when it cannot be found or created.
std::string SpecialFolderOfKind(int kind) {
  using platform::KnownFolder;
  const KnownFolder folder =
      kind == kCommonAppDataKind ? KnownFolder::CommonAppData : KnownFolder::CommonFiles;
  std::string path = platform::KnownFolderPath(folder);
  if (path.empty() || !EnsureFolder(path)) return {};
  return path;
}

bool IsSpecialKindWithoutFallback(int kind) {
  return kind == kCommonFilesKind || kind == kCommonFilesKindAlso || kind == kCommonAppDataKind;
}

// One path joined to a name with a single "/".
std::string JoinPath(const std::string& folder, const char* name) {
  if (!folder.empty() && folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

}  // namespace

char* TempFolderPath(char* out, size_t size) {
  return CopyPathOut(out, size, platform::TempFolder());
}

char* SpecialFolderPath(char* out, size_t size, int kind) {
  std::string path = SpecialFolderOfKind(kind);
  // When the 32-bit common-files folder cannot be obtained, kind 1 is used instead.
  if (path.empty() && !IsSpecialKindWithoutFallback(kind)) {
    path = SpecialFolderOfKind(kCommonFilesKind);
  }
  return CopyPathOut(out, size, path);
}

char* MakerFolderPath(char* out, size_t size, int kind) {
  char special[kPathBufferSize];
  if (!out || size == 0) return nullptr;
  if (!SpecialFolderPath(special, sizeof(special), kind)) {
    out[0] = '\0';
    return nullptr;
  }
  const std::string maker = JoinPath(special, "Corvel");
  if (!IsUsablePath(maker) || (!platform::IsFolder(maker) && !EnsureFolder(maker))) {
    out[0] = '\0';
    return nullptr;
  }
  return CopyPathOut(out, size, maker);
}

char* ModuleFilePath(char* out, size_t size) {
  return CopyPathOut(out, size, platform::ModuleFilePath());
}

char* ModuleFolderPath(char* out, size_t size) {
  return CopyPathOut(out, size, FolderPart(platform::ModuleFilePath()));
}

const char* ParentFolderOf(const char* path) {
  static char result[6144];
  result[0] = '\0';
  if (!path || !*path) return result;
  const std::string text(path);
  if (!IsWellFormedUtf8(text)) return result;
  const std::string folder = FolderPart(text);
  if (folder.size() < sizeof(result)) memcpy(result, folder.c_str(), folder.size() + 1);
  return result;
}

}  // namespace corvel::util
