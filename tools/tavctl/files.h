// The few file operations the tool needs for the files it shows or writes itself (sample
// documents, the demo's scratch folder). Failures that stop a command throw ToolError.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tavctl {

bool PathExists(const std::string& path);
bool IsDirectory(const std::string& path);

// The whole content of a file, or nullopt when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// Writes `content` to a new or truncated file; ToolError on failure.
void WriteWholeFile(const std::string& path, const std::string& content);

// Makes a folder and its missing parents (0755); ToolError on failure.
void MakeFolders(const std::string& path);

// A new, empty folder named <parent>/<prefix>XXXXXX; ToolError on failure.
std::string MakeScratchFolder(const std::string& parent, const std::string& prefix);

// Names (not paths) of the regular files in `folder` whose names end in `suffix`, sorted;
// empty when the folder cannot be read.
std::vector<std::string> FilesEndingIn(const std::string& folder, const std::string& suffix);

// The file's modification time in nanoseconds and size, to tell whether a file changed.
struct FileStamp {
  long long modified = 0;
  long long size = -1;
  bool operator==(const FileStamp&) const = default;
};
std::optional<FileStamp> StampOf(const std::string& path);

}  // namespace tavctl
