#include "test_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace corvel::test {

namespace fs = std::filesystem;

namespace {

std::string MakeUniqueFolder() {
  std::string pattern = (fs::temp_directory_path() / "corvel-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot create a scratch folder under " + pattern);
  }
  return pattern;
}

void MakeFolder(const std::string& path, fs::perms mode) {
  fs::create_directory(path);
  fs::permissions(path, mode, fs::perm_options::replace);
}

}  // namespace

ScratchFolder::ScratchFolder() : mRoot(MakeUniqueFolder()) {
  constexpr fs::perms kShared = fs::perms::owner_all | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read |
                                fs::perms::others_exec;
  fs::permissions(mRoot, kShared, fs::perm_options::replace);
  MakeFolder(temp(), fs::perms::all | fs::perms::sticky_bit);
  MakeFolder(common_appdata(), kShared);
  MakeFolder(common_files(), kShared);
  MakeFolder(local_appdata(), kShared);

  SetVariable("TMPDIR", temp());
  SetVariable("CORVEL_COMMON_APPDATA", common_appdata());
  SetVariable("CORVEL_COMMON_FILES", common_files());
  SetVariable("CORVEL_LOCAL_APPDATA", local_appdata());
  SetVariable("ZEP_PCD_DB", pcd_db());
  SetVariable("ZEP_DEBUG_OUTPUT", debug_output());
}

ScratchFolder::~ScratchFolder() {
  for (auto it = mSaved.rbegin(); it != mSaved.rend(); ++it) {
    if (it->second) {
      setenv(it->first.c_str(), it->second->c_str(), 1);
    } else {
      unsetenv(it->first.c_str());
    }
  }
  std::error_code ignored;
  fs::remove_all(mRoot, ignored);
}

std::string ScratchFolder::Path(const std::string& relative) const {
  return mRoot + "/" + relative;
}

void ScratchFolder::SetVariable(const char* name, const std::string& value) {
  const char* previous = getenv(name);
  mSaved.emplace_back(name, previous ? std::optional<std::string>(previous) : std::nullopt);
  setenv(name, value.c_str(), 1);
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return content.str();
}

bool WriteWholeFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  out.close();
  return !out.fail();
}

bool RunningAsRoot() { return geteuid() == 0; }

}  // namespace corvel::test
