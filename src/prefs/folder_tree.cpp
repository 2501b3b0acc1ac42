#include "prefs/folder_tree.h"

#include "platform/platform.h"

namespace corvel::prefs {

namespace platform = corvel::platform;

int MakeFolderTree(const std::string& path, platform::Permissions mode) {
  if (path.empty()) return platform::ErrorCode(platform::Error::NotFound);
  // Walk down from the first component so that every missing parent is created in order.
  size_t position = (path[0] == '/') ? 1 : 0;
  while (true) {
    size_t slash = path.find('/', position);
    std::string prefix = (slash == std::string::npos) ? path : path.substr(0, slash);
    bool last = (slash == std::string::npos) || path.find_first_not_of('/', slash) == std::string::npos;
    if (!prefix.empty() && prefix.back() != '/') {
      if (platform::MakeFolder(prefix, mode) == 0) {
        if (platform::ChangeMode(prefix, mode) != 0) return platform::LastErrorCode();
      } else if (platform::LastError() != platform::Error::Exists) {
        return platform::LastErrorCode();
      } else if (!last && !platform::IsFolder(prefix)) {
        return platform::ErrorCode(platform::Error::NotFolder);
      }
    }
    if (last) return 0;
    position = slash + 1;
  }
}

}  // namespace corvel::prefs
