// File access in folders that other users can write: the temporary folder that holds
// "swtag.log" and the world-writable tag directory. Nothing here follows a symbolic link
// planted under a name, blocks on a planted FIFO, or writes through a planted hard link.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace corvel::swtag {

// Whether the path passes the UTF-16 conversion that every file-system call of the tag
// writer makes first (non-empty, well-formed UTF-8). A path that fails names nothing.
bool IsConvertiblePath(const std::string& path);

enum class EntryKind { Missing, RegularFile, Folder, Other };

// What stands at the path, looked at without following a symbolic link (a link, a FIFO or
// anything else that is neither a regular file nor a folder is Other).
EntryKind EntryAt(const std::string& path);
// Whether anything at all, a dangling link included, stands at the path.
inline bool EntryExists(const std::string& path) { return EntryAt(path) != EntryKind::Missing; }
// Size of the regular file at the path (not following links), or -1.
int64_t RegularFileSize(const std::string& path);

// Opens an existing file with platform::OpenSharedFolderFile: anything that is not a regular
// file with exactly one link is refused, for reading as for writing. Returns the descriptor
// or -1.
int OpenExistingFile(const std::string& path, platform::OpenFlags flags);

// Files larger than this are not read as tags (a planted sparse file must not exhaust memory).
constexpr int64_t kMaxReadableFileSize = 4 * 1024 * 1024;

// The whole content of an existing regular file of at most kMaxReadableFileSize bytes, read
// through OpenExistingFile; false when it cannot be read.
bool ReadExistingFile(const std::string& path, std::string* out);

// Writes all of `bytes` to the descriptor and closes it; false when any write or the close
// fails. The descriptor is closed in every case.
bool WriteAndClose(int fd, const std::string& bytes);

}  // namespace corvel::swtag
