// Helpers shared by every test executable: a scratch folder per test that also points the
// environment's folder variables into it, and whole-file read and write. Children of a test:
// child_process.h; the store read from outside: store_snapshot.h.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "child_process.h"

namespace corvel::test {

// A fresh folder for one test, removed with everything in it when the object goes.
// While it lives, these variables name places inside it (their previous values are put back
// afterwards):
//   TMPDIR                 <root>/tmp            (mode 01777, like a real temporary folder)
//   CORVEL_COMMON_APPDATA  <root>/common_appdata (0755)
//   CORVEL_COMMON_FILES    <root>/common_files   (0755)
//   CORVEL_LOCAL_APPDATA   <root>/local_appdata  (0755)
//   ZEP_PCD_DB             <root>/pcd.db         (not created)
//   ZEP_DEBUG_OUTPUT       <root>/debug.log      (not created)
// The root itself is 0755, so an unprivileged child (ChildUser::kUnprivileged) can reach it.
// On Windows the folders keep the access their parent gives.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& root() const { return mRoot; }
  // root() + "/" + relative.
  std::string Path(const std::string& relative) const;

  std::string temp() const { return Path("tmp"); }
  std::string common_appdata() const { return Path("common_appdata"); }
  std::string common_files() const { return Path("common_files"); }
  std::string local_appdata() const { return Path("local_appdata"); }
  std::string pcd_db() const { return Path("pcd.db"); }
  std::string debug_output() const { return Path("debug.log"); }
  // The library's main log ("" while there is none).
  std::string main_log() const;

 private:
  void SetFolderVariable(const char* name, const std::string& value);

  std::string mRoot;
  // Each variable this object set, with its earlier value (nullopt: it was unset).
  std::vector<std::pair<std::string, std::optional<std::string>>> mSaved;
};

// The whole content of a file, or nullopt when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path);
// Replaces (or creates) a file with `content`; false on failure.
bool WriteWholeFile(const std::string& path, const std::string& content);

// Sets a variable of the process environment, or removes it (nullopt), on every system.
// The messages of a main log's lines (what follows " TAVLib: "), each ended by "\n".
std::string LogMessages(const std::string& log);

void SetVariable(const std::string& name, const std::optional<std::string>& value);

// Whether the test runs with effective user id 0.
bool RunningAsRoot();

constexpr unsigned kUnprivilegedId = 65534;  // "nobody" / "nogroup"

}  // namespace corvel::test
