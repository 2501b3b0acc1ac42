// A write of the preferences file killed between writing its new file and renaming it into
// place. The kill is deterministic: this executable's own rename() stands in for the C
// library's and, when armed, kills the process right there, after checking that the file being
// renamed was flushed to disk first.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <set>

#include "platform/platform.h"
#include "prefs/key_material.h"
#include "prefs/secure_prefs.h"
#include "prefs/xml_parser.h"
#include "test_support.h"

namespace {
ino_t g_flushed = 0;                        // the file fsync flushed last
const char* g_kill_on_rename_to = nullptr;  // armed: renaming onto this kills the process
}  // namespace

extern "C" int fsync(int fd) {
  static auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fsync"));
  struct stat st {};
  if (fstat(fd, &st) == 0) g_flushed = st.st_ino;
  return real(fd);
}

extern "C" int rename(const char* from, const char* to) noexcept {
  static auto real =
      reinterpret_cast<int (*)(const char*, const char*)>(dlsym(RTLD_NEXT, "rename"));
  if (g_kill_on_rename_to && std::strcmp(to, g_kill_on_rename_to) == 0) {
    struct stat st {};
    if (lstat(from, &st) != 0 || st.st_ino != g_flushed) _exit(3);
    raise(SIGKILL);
  }
  return real(from, to);
}

namespace corvel::prefs {
namespace {

using corvel::test::ReadWholeFile;

std::set<std::string> Names(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.insert(entry.path().filename());
  return names;
}

TEST(PrefsKillTest, KilledWriteKeepsTheOldFileAndTheNextWriteRemovesItsLeftover) {
  corvel::test::ScratchFolder scratch;
  FixedKeyMaterial alice("0f3c9a7e55d24b1e8c6a2f4d9b7e1a30", "alice");
  ScopedKeyMaterial material(alice);
  const std::string folder = scratch.local_appdata() + "/Corvel/TAV";
  const std::string file = folder + "/securePrefs.xml";
  ASSERT_EQ(0, SetPrefValue("D", "K", "old", nullptr));
  const std::string before = ReadWholeFile(file).value_or("");

  pid_t child = fork();
  if (child == 0) {
    g_kill_on_rename_to = file.c_str();
    SetPrefValue("D", "K", "new", nullptr);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(child, waitpid(child, &status, 0));
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
      << "exit " << WEXITSTATUS(status) << " (3: renamed before it was flushed)";
  EXPECT_EQ(before, ReadWholeFile(file));
  ASSERT_EQ(2u, Names(folder).size()) << "the killed write's new file";

  // Beside it, names of the same pattern that the next write leaves alone: a link, the file of
  // a write in progress (locked) and, as root, another user's file.
  const std::string victim = scratch.Path("victim"), link = kSaveTempPrefix + std::string("link01"),
                    live = kSaveTempPrefix + std::string("live01"),
                    other = kSaveTempPrefix + std::string("othr01");
  ASSERT_TRUE(corvel::test::WriteWholeFile(victim, "untouched"));
  ASSERT_EQ(0, symlink(victim.c_str(), (folder + "/" + link).c_str()));
  ASSERT_TRUE(corvel::test::WriteWholeFile(folder + "/" + live, "in progress"));
  corvel::platform::UniqueFd held(open((folder + "/" + live).c_str(), O_RDONLY | O_CLOEXEC));
  ASSERT_EQ(0, flock(held.get(), LOCK_EX));
  std::set<std::string> kept = {"securePrefs.xml", link, live};
  if (corvel::test::RunningAsRoot()) {
    ASSERT_TRUE(corvel::test::WriteWholeFile(folder + "/" + other, "not mine"));
    ASSERT_EQ(0, chown((folder + "/" + other).c_str(), corvel::test::kUnprivilegedId, 0));
    kept.insert(other);
  }

  ASSERT_EQ(0, SetPrefValue("D", "K", "next", nullptr));
  EXPECT_EQ(kept, Names(folder));
  EXPECT_EQ("untouched", ReadWholeFile(victim));
  uint32_t size = 5;
  char value[5] = {};
  EXPECT_EQ(0, GetPrefValue("D", "K", value, &size, nullptr));
  EXPECT_STREQ("next", value);
}

}  // namespace
}  // namespace corvel::prefs
