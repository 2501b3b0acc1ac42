// Shared pieces of the libFuzzer targets: a scratch folder per target process that every
// folder setting of the library points into, small file helpers, and a check that aborts
// (so libFuzzer records the input) with a message.
#pragma once

#include <cstdint>
#include <string>

namespace corvel::fuzz {

// The folders of one target process, all inside one fresh scratch folder.
struct ScratchFolders {
  std::string root;           // the scratch folder itself
  std::string temp;           // TMPDIR, TEMP and TMP
  std::string commonAppData;  // CORVEL_COMMON_APPDATA
  std::string commonFiles;    // CORVEL_COMMON_FILES
  std::string localAppData;   // CORVEL_LOCAL_APPDATA and XDG_DATA_HOME
  std::string work;           // files the target itself writes
};

// Creates "<temporary folder>/corvel-fuzz-<name>-XXXXXX" with its subfolders, points every
// folder variable the library reads (and HOME) into it, unsets ZEP_DEBUG_OUTPUT, and removes
// it again at a normal exit (a crash leaves it for
// inspection). Called once, from LLVMFuzzerInitialize; aborts when it cannot be made.
const ScratchFolders& SetUpScratch(const char* name);
// The folders set up by SetUpScratch.
const ScratchFolders& Scratch();

// Replaces the file at `path` with `bytes` (mode 0644). Aborts on failure: the target relies
// on the file being there.
void WriteWholeFile(const std::string& path, const std::string& bytes);
// The whole file; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string* bytes);
// Removes everything inside `folder`, keeping the folder.
void EmptyFolder(const std::string& folder);

// Whether CORVEL_FUZZ_TRACE is set: the targets then print what they do, for replaying a
// finding by hand.
bool Tracing();
// Prints one line to standard error when tracing.
void Trace(const std::string& line);

// Prints "fuzz check failed: <what>" and aborts.
[[noreturn]] void CheckFailed(const char* file, int line, const std::string& what);

}  // namespace corvel::fuzz

#define FUZZ_CHECK(condition, what)                                            \
  do {                                                                         \
    if (!(condition)) ::corvel::fuzz::CheckFailed(__FILE__, __LINE__, (what)); \
  } while (0)
