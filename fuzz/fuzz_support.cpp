#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "platform/platform.h"

namespace corvel::fuzz {
namespace {

ScratchFolders gFolders;

// Makes `path` a folder, keeps it in `*folder` and points the environment variables `names`
// at it.
void UseFolder(std::string* folder, const std::string& path, std::vector<const char*> names) {
  *folder = path;
  fs::create_directory(path);
  for (const char* name : names) platform::SetEnvironmentValue(name, path);
}

void SetUpScratch(const std::string& target) {
  std::string root = platform::TempFolder() + "/corvel-" + target + "-XXXXXX";
  if (mkdtemp(root.data()) == nullptr) CheckFailed(__FILE__, __LINE__, "cannot create " + root);
  ScratchFolders& f = gFolders;
  UseFolder(&f.root, root, {"HOME"});
  UseFolder(&f.temp, root + "/tmp", {"TMPDIR", "TEMP", "TMP"});
  UseFolder(&f.commonAppData, root + "/common-appdata", {"CORVEL_COMMON_APPDATA"});
  UseFolder(&f.commonFiles, root + "/common-files", {"CORVEL_COMMON_FILES"});
  UseFolder(&f.localAppData, root + "/local-appdata", {"CORVEL_LOCAL_APPDATA", "XDG_DATA_HOME"});
  UseFolder(&f.work, root + "/work", {});
  platform::SetEnvironmentValue("ZEP_PCD_DB", f.work + "/pcd.db");
  unsetenv("ZEP_DEBUG_OUTPUT");
  std::atexit([] {
    std::error_code ignored;
    fs::remove_all(gFolders.root, ignored);
  });
}

}  // namespace

const ScratchFolders& Scratch() { return gFolders; }

void WriteWholeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out.write(bytes.data(), bytes.size()).flush()) {
    CheckFailed(__FILE__, __LINE__, "cannot write " + path);
  }
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (fs::is_symlink(path) || !in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), {});
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
