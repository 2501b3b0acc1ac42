// The portable part of the platform layer: what is built from its own calls, the same on
// every system.
#include "platform/platform.h"
#include "platform/platform_internal.h"

namespace corvel::platform {

int MakeFolders(const std::string& path, Permissions mode) {
  if (path.empty()) return ErrorCode(Error::NotFound);
  size_t position = FolderRootLength(path);
  if (position == std::string::npos) return IsFolder(path) ? 0 : ErrorCode(Error::NotFound);
  while (position < path.size() && path[position] == '/') ++position;
  // Walk down from the first component so that every missing parent is created in order.
  while (true) {
    const size_t slash = path.find('/', position);
    const std::string prefix = (slash == std::string::npos) ? path : path.substr(0, slash);
    const bool last =
        (slash == std::string::npos) || path.find_first_not_of('/', slash) == std::string::npos;
    if (!prefix.empty() && prefix.back() != '/') {
      if (MakeFolder(prefix, mode) == 0) {
        if (ChangeMode(prefix, mode) != 0) return LastErrorCode();
      } else {
        const Error error = LastError();
        const int code = LastErrorCode();
        // Something already there is fine, also when this user may not create it (a drive's
        // root), as long as only the last step is not a folder.
        if (error != Error::Exists && !(error == Error::Denied && PathExists(prefix))) return code;
        if (!last && !IsFolder(prefix)) return ErrorCode(Error::NotFolder);
      }
    }
    if (last) return 0;
    position = slash + 1;
  }
}

}  // namespace corvel::platform
