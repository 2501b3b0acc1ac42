// Creating a folder together with its missing parents.
#pragma once

#include <string>

#include "platform/platform.h"

namespace corvel::prefs {

// Creates `path` and every missing folder above it, each new one with `mode` (set
// explicitly, not left to the umask). A folder that already exists, or anything else already
// standing at the last component, counts as success, as the system's "already exists"
// results do. Returns 0, or the system's error number of the first failing step.
int MakeFolderTree(const std::string& path, platform::Permissions mode);

}  // namespace corvel::prefs
