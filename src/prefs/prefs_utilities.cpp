#include "prefs/prefs_utilities.h"

#include <new>

#include "platform/platform.h"
#include "prefs/prefs_log.h"
#include "util/utf_convert.h"

namespace corvel::prefs {

namespace platform = corvel::platform;

namespace {
constexpr const char* kCategory = "Utilities";
}

bool ToNativeString(const char* text, std::u16string* out) {
  if (!text || !out) {
    PrefsWarn(kCategory, "Input Array is null, can't convert \n");
    return false;
  }
  try {
    *out = util::ConvertUtf8ToUtf16(text, false);
    return true;
  } catch (const std::bad_alloc&) {
    PrefsFatalW(kCategory, "Error allocating memory\n");
  } catch (const std::exception&) {
    PrefsInfo(kCategory, "Failed to convert multibyte to wide \n");
  }
  out->clear();
  return false;
}

std::string LocalAppDataFolder() {
  std::string folder = platform::KnownFolderPath(platform::KnownFolder::LocalAppData);
  if (folder.empty())
    PrefsError(kCategory, "Unable to retreive Local App Data Path from Win library:\n");
  return folder;
}

std::string CommonCorvelFolder() {
  std::string folder = platform::KnownFolderPath(platform::KnownFolder::CommonFiles);
  if (folder.empty()) {
    PrefsError(kCategory, "Unable to retreive commonPath:\n");
    return folder;
  }
  folder += "/Corvel";
  PrefsDebugW(kCategory, "ZRL Path retreived :%s\n", folder.c_str());
  return folder;
}

bool PrefsPathExists(const std::string& path) {
  if (platform::PathExists(path)) return true;
  PrefsInfo(kCategory, "File does not exist\n");
  return false;
}

bool CreateFolderPath(const std::string& path, int* error) {
  int result = platform::MakeFolders(path, 0700);
  if (error) *error = result;
  if (result == 0) return true;
  PrefsWarn(kCategory,
            "Unable to create directoryPath ...Error Code is:(%d). At desired location:%s", result,
            path.c_str());
  return false;
}

bool RemoveFileSpec(const std::string& path, std::string* folder) {
  if (path.empty() || path.back() == '/') {
    PrefsError(kCategory, "Failed to remove file spec error:%d",
               platform::ErrorCode(platform::Error::Invalid));
    return false;
  }
  const size_t slash = path.rfind('/');
  // The folder of "/name" is the root itself.
  *folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
  return true;
}

}  // namespace corvel::prefs
