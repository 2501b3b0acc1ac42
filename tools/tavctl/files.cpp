#include "files.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/platform.h"
#include "tool_error.h"

namespace tavctl {

namespace fs = std::filesystem;
namespace platform = corvel::platform;

bool PathExists(const std::string& path) {
  platform::FileInfo info;
  return platform::GetPathInfoNoFollow(path, &info);
}

bool IsDirectory(const std::string& path) { return platform::IsFolder(path); }

std::optional<std::string> ReadWholeFile(const std::string& path) {
  if (IsDirectory(path)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return content.str();
}

void WriteWholeFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  out.close();
  if (!out) throw ToolError("cannot write " + path);
}

void MakeFolders(const std::string& path) {
  const int error = platform::MakeFolders(path, 0755);
  if (error != 0 || !IsDirectory(path)) {
    throw ToolError("cannot create the folder " + path +
                    (error != 0 ? ": " + platform::ErrorMessage(error) : std::string()));
  }
}

std::string MakeScratchFolder(const std::string& parent, const std::string& prefix) {
  std::string folder = parent + "/" + prefix + "XXXXXX";
  if (!platform::MakeTempFolder(folder)) {
    throw ToolError("cannot create a scratch folder in " + parent + ": " +
                    platform::ErrorMessage(platform::LastErrorCode()));
  }
  return folder;
}

std::vector<std::string> FilesEndingIn(const std::string& folder, const std::string& suffix) {
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (it->is_regular_file(error) && name.size() >= suffix.size() &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
      names.push_back(name);
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::optional<FileStamp> StampOf(const std::string& path) {
  platform::FileInfo info;
  if (!platform::GetPathInfo(path, &info)) return std::nullopt;
  FileStamp stamp;
  stamp.modified = static_cast<long long>(info.modifiedNs);
  stamp.size = static_cast<long long>(info.size);
  return stamp;
}

}  // namespace tavctl
