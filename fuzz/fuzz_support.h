// Shared start-up of the libFuzzer targets. LLVMFuzzerInitialize, defined here for all of
// them, makes a scratch folder per target process, points every folder setting of the library
// (and HOME) into it, unsets ZEP_DEBUG_OUTPUT and removes the folder again at a normal exit (a
// crash leaves it for inspection); a target that needs more defines FuzzSetUp(), run after.
// Targets take <cstdint> and <string> from here.
#pragma once

#include <cstdint>
#include <string>

namespace corvel::fuzz {

struct ScratchFolders {
  std::string root;           // the scratch folder itself, and HOME
  std::string temp;           // TMPDIR, TEMP and TMP
  std::string commonAppData;  // CORVEL_COMMON_APPDATA
  std::string commonFiles;    // CORVEL_COMMON_FILES
  std::string localAppData;   // CORVEL_LOCAL_APPDATA and XDG_DATA_HOME
  std::string work;           // files the target itself writes; the store is pcd.db here
};
const ScratchFolders& Scratch();
// A target's own set-up, when it defines one.
[[gnu::weak]] void FuzzSetUp();

// Replaces the file at `path` with `bytes` (aborts on failure) or reads it (false when it
// cannot); neither follows a symbolic link.
void WriteWholeFile(const std::string& path, const std::string& bytes);
bool ReadWholeFile(const std::string& path, std::string* bytes);
// Removes everything inside `folder`, keeping the folder.
void EmptyFolder(const std::string& folder);
// Prints "fuzz check failed: <what>" and aborts, so libFuzzer records the input.
[[noreturn]] void CheckFailed(const char* file, int line, const std::string& what);

}  // namespace corvel::fuzz

#define FUZZ_CHECK(condition, what)                                            \
  do {                                                                         \
    if (!(condition)) ::corvel::fuzz::CheckFailed(__FILE__, __LINE__, (what)); \
  } while (0)
