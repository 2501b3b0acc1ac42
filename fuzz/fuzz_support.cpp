#include "fuzz_support.h"

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/platform.h"

namespace corvel::fuzz {

namespace platform = corvel::platform;

namespace {

ScratchFolders gFolders;

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  ::remove(path);
  return 0;
}

// Keeps the top folder of the walk.
int RemoveInnerEntry(const char* path, const struct stat*, int, struct FTW* walk) {
  if (walk->level > 0) ::remove(path);
  return 0;
}

void RemoveTree(const std::string& path) {
  if (!path.empty()) nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

void RemoveScratchAtExit() { RemoveTree(gFolders.root); }

std::string MakeSubfolder(const std::string& name) {
  const std::string path = gFolders.root + "/" + name;
  if (mkdir(path.c_str(), 0755) != 0) {
    CheckFailed(__FILE__, __LINE__, "cannot create " + path + ": " + std::strerror(errno));
  }
  return path;
}

}  // namespace

const ScratchFolders& SetUpScratch(const char* name) {
  if (!gFolders.root.empty()) return gFolders;
  std::string pattern = platform::TempFolder() + "/corvel-fuzz-" + name + "-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) {
    CheckFailed(__FILE__, __LINE__, "cannot create the scratch folder " + pattern);
  }
  gFolders.root = buffer.data();
  gFolders.temp = MakeSubfolder("tmp");
  gFolders.commonAppData = MakeSubfolder("common-appdata");
  gFolders.commonFiles = MakeSubfolder("common-files");
  gFolders.localAppData = MakeSubfolder("local-appdata");
  gFolders.work = MakeSubfolder("work");

  for (const char* variable : {"TMPDIR", "TEMP", "TMP"}) {
    platform::SetEnvironmentValue(variable, gFolders.temp);
  }
  platform::SetEnvironmentValue("CORVEL_COMMON_APPDATA", gFolders.commonAppData);
  platform::SetEnvironmentValue("CORVEL_COMMON_FILES", gFolders.commonFiles);
  platform::SetEnvironmentValue("CORVEL_LOCAL_APPDATA", gFolders.localAppData);
  platform::SetEnvironmentValue("XDG_DATA_HOME", gFolders.localAppData);
  platform::SetEnvironmentValue("HOME", gFolders.root);
  platform::SetEnvironmentValue("ZEP_PCD_DB", gFolders.work + "/pcd.db");
  unsetenv("ZEP_DEBUG_OUTPUT");
  std::atexit(RemoveScratchAtExit);
  return gFolders;
}

const ScratchFolders& Scratch() { return gFolders; }

void WriteWholeFile(const std::string& path, const std::string& bytes) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) CheckFailed(__FILE__, __LINE__, "cannot write " + path + ": " + std::strerror(errno));
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
    if (written <= 0) CheckFailed(__FILE__, __LINE__, "short write to " + path);
    done += static_cast<size_t>(written);
  }
  close(fd);
}

bool ReadWholeFile(const std::string& path, std::string* bytes) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  bytes->clear();
  char chunk[16384];
  ssize_t count;
  while ((count = read(fd, chunk, sizeof chunk)) > 0)
    bytes->append(chunk, static_cast<size_t>(count));
  close(fd);
  return count == 0;
}

void EmptyFolder(const std::string& folder) {
  nftw(folder.c_str(), RemoveInnerEntry, 16, FTW_DEPTH | FTW_PHYS);
}

bool Tracing() {
  static const bool tracing = platform::EnvironmentValue("CORVEL_FUZZ_TRACE").has_value();
  return tracing;
}

void Trace(const std::string& line) {
  if (Tracing()) std::fprintf(stderr, "trace: %s\n", line.c_str());
}

void CheckFailed(const char* file, int line, const std::string& what) {
  std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", file, line, what.c_str());
  std::fflush(stderr);
  std::abort();
}

}  // namespace corvel::fuzz
