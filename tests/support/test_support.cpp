#include "test_support.h"

#ifndef _WIN32
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace corvel::test {

namespace fs = std::filesystem;

namespace {

std::string MakeUniqueFolder() {
  const fs::path parent = fs::temp_directory_path();
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path candidate = parent / ("corvel-test-" + std::to_string(random()));
    if (fs::create_directory(candidate)) return candidate.generic_string();
  }
  throw std::runtime_error("cannot create a scratch folder under " + parent.string());
}

// Windows keeps no such modes: there the folders are the creator's, as made.
void SetMode([[maybe_unused]] const std::string& path, [[maybe_unused]] fs::perms mode) {
#ifndef _WIN32
  fs::permissions(path, mode, fs::perm_options::replace);
#endif
}

void MakeFolder(const std::string& path, fs::perms mode) {
  fs::create_directory(path);
  SetMode(path, mode);
}

}  // namespace

void SetVariable(const std::string& name, const std::optional<std::string>& value) {
#ifdef _WIN32
  _putenv_s(name.c_str(), value ? value->c_str() : "");  // an empty value removes it
#else
  if (value) {
    setenv(name.c_str(), value->c_str(), 1);
  } else {
    unsetenv(name.c_str());
  }
#endif
}

ScratchFolder::ScratchFolder() : mRoot(MakeUniqueFolder()) {
  constexpr fs::perms kShared = fs::perms::owner_all | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read |
                                fs::perms::others_exec;
  SetMode(mRoot, kShared);
  MakeFolder(temp(), fs::perms::all | fs::perms::sticky_bit);
  MakeFolder(common_appdata(), kShared);
  MakeFolder(common_files(), kShared);
  MakeFolder(local_appdata(), kShared);

  SetFolderVariable("TMPDIR", temp());
  SetFolderVariable("CORVEL_COMMON_APPDATA", common_appdata());
  SetFolderVariable("CORVEL_COMMON_FILES", common_files());
  SetFolderVariable("CORVEL_LOCAL_APPDATA", local_appdata());
  SetFolderVariable("ZEP_PCD_DB", pcd_db());
  SetFolderVariable("ZEP_DEBUG_OUTPUT", debug_output());
}

ScratchFolder::~ScratchFolder() {
  for (auto it = mSaved.rbegin(); it != mSaved.rend(); ++it) SetVariable(it->first, it->second);
  std::error_code ignored;
  fs::remove_all(mRoot, ignored);
}

std::string ScratchFolder::Path(const std::string& relative) const {
  return mRoot + "/" + relative;
}

void ScratchFolder::SetFolderVariable(const char* name, const std::string& value) {
  const char* previous = getenv(name);
  mSaved.emplace_back(name, previous ? std::optional<std::string>(previous) : std::nullopt);
  SetVariable(name, value);
}

std::string ScratchFolder::main_log() const {
  return ReadWholeFile(temp() + "/tavlib.log").value_or("");
}

std::string LogMessages(const std::string& log) {
  std::string messages;
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    const size_t at = line.find(" TAVLib: ");
    if (at != std::string::npos) messages += line.substr(at + 9) + "\n";
  }
  return messages;
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

bool RunningAsRoot() {
#ifdef _WIN32
  return false;
#else
  return geteuid() == 0;
#endif
}

}  // namespace corvel::test
