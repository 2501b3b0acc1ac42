#include "fuzz_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/platform.h"

namespace corvel::fuzz {
namespace {

namespace fs = std::filesystem;
ScratchFolders gFolders;

void RemoveScratchAtExit() {
  std::error_code ignored;
  fs::remove_all(gFolders.root, ignored);
}

void SetUpScratch(const std::string& target) {
  std::string root = platform::TempFolder() + "/corvel-" + target + "-XXXXXX";
  if (mkdtemp(root.data()) == nullptr) CheckFailed(__FILE__, __LINE__, "cannot create " + root);
  gFolders = {root,
              root + "/tmp",
              root + "/common-appdata",
              root + "/common-files",
              root + "/local-appdata",
              root + "/work"};
  for (const std::string* folder : {&gFolders.temp, &gFolders.commonAppData, &gFolders.commonFiles,
                                    &gFolders.localAppData, &gFolders.work}) {
    fs::create_directory(*folder);
  }
  const std::pair<const char*, std::string> variables[] = {
      {"TMPDIR", gFolders.temp},
      {"TEMP", gFolders.temp},
      {"TMP", gFolders.temp},
      {"CORVEL_COMMON_APPDATA", gFolders.commonAppData},
      {"CORVEL_COMMON_FILES", gFolders.commonFiles},
      {"CORVEL_LOCAL_APPDATA", gFolders.localAppData},
      {"XDG_DATA_HOME", gFolders.localAppData},
      {"HOME", root},
      {"ZEP_PCD_DB", gFolders.work + "/pcd.db"}};
  for (const auto& [name, value] : variables) platform::SetEnvironmentValue(name, value);
  unsetenv("ZEP_DEBUG_OUTPUT");
  std::atexit(RemoveScratchAtExit);
}

}  // namespace

const ScratchFolders& Scratch() { return gFolders; }

void WriteWholeFile(const std::string& path, const std::string& bytes) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  const bool written =
      fd >= 0 && write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  if (fd >= 0) close(fd);
  if (!written) CheckFailed(__FILE__, __LINE__, "cannot write " + path);
}

bool ReadWholeFile(const std::string& path, std::string* bytes) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  bytes->clear();
  char chunk[16384];
  ssize_t count;
  while ((count = read(fd, chunk, sizeof chunk)) > 0) bytes->append(chunk, count);
  close(fd);
  return count == 0;
}

void EmptyFolder(const std::string& folder) {
  for (const auto& entry : fs::directory_iterator(folder)) fs::remove_all(entry.path());
}

void CheckFailed(const char* file, int line, const std::string& what) {
  std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", file, line, what.c_str());
  std::fflush(stderr);
  std::abort();
}

}  // namespace corvel::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char*** argv) {
  corvel::fuzz::SetUpScratch(std::filesystem::path((*argv)[0]).filename().string());
  if (corvel::fuzz::FuzzSetUp) corvel::fuzz::FuzzSetUp();
  return 0;
}
