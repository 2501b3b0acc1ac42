// Helpers shared by every test executable: a scratch folder per test that also points the
// environment's folder variables into it, whole-file read and write, and running a check as
// an unprivileged user.
#pragma once

#include <functional>
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
// The root itself is 0755, so an unprivileged child (RunAsUnprivileged) can reach it.
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

 private:
  void SetVariable(const char* name, const std::string& value);

  std::string mRoot;
  // Each variable this object set, with its earlier value (nullopt: it was unset).
  std::vector<std::pair<std::string, std::optional<std::string>>> mSaved;
};

// The whole content of a file, or nullopt when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path);
// Replaces (or creates) a file with `content`; false on failure.
bool WriteWholeFile(const std::string& path, const std::string& content);

// Whether the test runs with effective user id 0.
bool RunningAsRoot();

constexpr unsigned kUnprivilegedId = 65534;  // "nobody" / "nogroup"

// Runs `body` in a forked child and returns the child's exit status (the value `body`
// returned, taken modulo 256). When the test runs as root, the child first drops its
// supplementary groups and becomes uid/gid 65534, so permission checks apply to it; when not,
// it runs as the current user. The status is 255 when the privilege drop fails or `body`
// throws, and the result -1 when the child cannot be started or dies by a signal.
// GoogleTest assertions inside `body` do not reach the parent: report through the value.
int RunAsUnprivileged(const std::function<int()>& body);
// The same without the privilege drop: `body` runs in a forked child as the current user.
int RunInChild(const std::function<int()>& body);
// RunAsUnprivileged in two halves, for a child that must go on while the test does: the
// child's process id (-1 when it cannot be started); WaitForChild (child_process.h) gives its
// status as RunAsUnprivileged does.
int StartUnprivileged(const std::function<int()>& body);

}  // namespace corvel::test
