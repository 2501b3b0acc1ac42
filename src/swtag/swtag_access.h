// The access rules of the tag directory, the tag files and the tag log: every user of the
// machine may read, write and delete there, and nothing is inherited from the parent folder.
// On this platform that is mode 0777 on the directory and 0666 on files, set explicitly on
// a descriptor opened without following links (never left to the umask). Outcomes are only
// logged: "Get privilege info" carries the result of reading the path's status without
// following a link, "Set privilege info" that of setting the mode on the descriptor.
#pragma once

#include <string>

#include "platform/platform.h"

namespace corvel::swtag {

inline constexpr platform::Permissions kTagFolderMode = 0777;
inline constexpr platform::Permissions kTagFileMode = 0666;

// For a path: a folder gets kTagFolderMode, a regular file kTagFileMode; a symbolic link or
// anything else is left alone and its "Set" result is -1.
void ApplyAccessRules(const std::string& path);
// For a regular file the caller holds open at `path`: the mode goes on the descriptor.
void ApplyAccessRulesToOpenFile(const std::string& path, int fd);

}  // namespace corvel::swtag
