// The lock of shared files between processes, the private lock file, the machine's identity
// as read from its files, and where the library's folders are.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/platform.h"
#include "test_support.h"

namespace corvel::platform {
namespace {

namespace fs = std::filesystem;

bool Await(const std::string& path) {  // a generous "does not hang" bound
  for (int ms = 0; ms < 60000 && !fs::exists(path); ++ms) usleep(1000);
  return fs::exists(path);
}

// Locks args[0] and says so in args[0].ready; once args[0].go exists, appends a line and dies
// without unlocking.
CORVEL_TEST_CHILD(HoldLockUntilGo) {
  const int fd = open(args[0].c_str(), O_RDWR | O_APPEND);
  FileLock lock(fd, 0);
  if (!lock.held() || !test::WriteWholeFile(args[0] + ".ready", "") || !Await(args[0] + ".go")) {
    return 1;
  }
  _exit(write(fd, "child\n", 6) == 6 ? 0 : 1);
}

TEST(PlatformLock, ExcludesOthersUntilTheHolderLetsGoByDying) {
  test::ScratchFolder scratch;
  const std::string path = scratch.Path("prefs.log");
  ASSERT_TRUE(test::WriteWholeFile(path, ""));
  const int child = test::StartChild("HoldLockUntilGo", {path});
  ASSERT_TRUE(child > 0 && Await(path + ".ready"));
  UniqueFd fd(open(path.c_str(), O_RDWR | O_APPEND | O_CLOEXEC));
  for (int patience_ms : {0, 50}) EXPECT_FALSE(FileLock(fd.get(), patience_ms).held());
  ASSERT_TRUE(test::WriteWholeFile(path + ".go", ""));
  EXPECT_TRUE(FileLock(fd.get(), 600000).held());  // only once the child is gone
  EXPECT_EQ(test::ReadWholeFile(path), "child\n");
  EXPECT_EQ(test::WaitForChild(child), 0);
}

TEST(PlatformLock, PrivateLockFileOnlyInAFolderOfOurOwnNoOneElseCanWrite) {
  test::ScratchFolder scratch;
  const std::string folder = scratch.Path("own");
  ASSERT_EQ(mkdir(folder.c_str(), 0770), 0);
  ASSERT_EQ(chmod(folder.c_str(), 0770), 0);
  EXPECT_EQ(OpenPrivateLockFile(folder, "x.lock"), -1);
  ASSERT_EQ(chmod(folder.c_str(), 0700), 0);
  if (test::RunningAsRoot()) {  // another user's folder, however private
    ASSERT_EQ(chown(folder.c_str(), test::kUnprivilegedId, test::kUnprivilegedId), 0);
    EXPECT_EQ(OpenPrivateLockFile(folder, "x.lock"), -1);
    ASSERT_EQ(chown(folder.c_str(), geteuid(), getegid()), 0);
  }
  UniqueFd lock(OpenPrivateLockFile(folder, "x.lock"));
  EXPECT_TRUE(lock.valid());
  EXPECT_EQ(fs::status(folder + "/x.lock").permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
}

TEST(PlatformIdentity, MachineIdentifierIsTheFirstMachineIdFileTrimmed) {
  std::string expected;
  for (const char* path : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
    if (expected.empty()) expected = test::ReadWholeFile(path).value_or("");
    expected.erase(expected.find_last_not_of(" \r\n") + 1);
  }
  EXPECT_EQ(MachineIdentifier(), expected);
}

// Where the library's files go without overrides, and full paths folded without following
// links (the services library is found by one).
TEST(PlatformPaths, KnownFolderDefaultsAndLexicalFullPaths) {
  test::ScratchFolder scratch;  // puts back every variable below but HOME and XDG_DATA_HOME
  const std::string home = getenv("HOME") ? getenv("HOME") : "";
  for (const char* name :
       {"CORVEL_COMMON_APPDATA", "CORVEL_COMMON_FILES", "CORVEL_LOCAL_APPDATA", "XDG_DATA_HOME"}) {
    unsetenv(name);
  }
  setenv("HOME", "/home/someone/", 1);
  EXPECT_EQ(KnownFolderPath(KnownFolder::CommonAppData), "/var/lib");
  EXPECT_EQ(KnownFolderPath(KnownFolder::CommonFiles), "/usr/share");
  EXPECT_EQ(KnownFolderPath(KnownFolder::LocalAppData), "/home/someone/.local/share");
  setenv("XDG_DATA_HOME", "/xdg/data/", 1);
  EXPECT_EQ(KnownFolderPath(KnownFolder::LocalAppData), "/xdg/data");
  unsetenv("XDG_DATA_HOME");
  unsetenv("HOME");
  EXPECT_EQ(KnownFolderPath(KnownFolder::LocalAppData), "");
  setenv("CORVEL_COMMON_APPDATA", "/over/data/", 1);
  EXPECT_EQ(KnownFolderPath(KnownFolder::CommonAppData), "/over/data");
  if (!home.empty()) setenv("HOME", home.c_str(), 1);

  fs::create_directories(scratch.Path("deep/target"));
  fs::create_directory_symlink(scratch.Path("deep/target"), scratch.Path("link"));
  const fs::path before = fs::current_path();
  fs::current_path(scratch.root());
  const std::string cwd = fs::current_path().string();
  // clang-format off
  const std::pair<std::string, std::string> cases[] = {
      {"/a/./b/../c", "/a/c"}, {"/a//b///c", "/a/b/c"}, {"/../../x", "/x"}, {"/..", "/"},
      {"/", "/"}, {"/a/b/", "/a/b/"}, {"", ""}, {"missing/./x/..", cwd + "/missing"}, {".", cwd},
      {"..", fs::path(cwd).parent_path().string()}, {"link/../x", cwd + "/x"},
      {"link/y", cwd + "/link/y"}};
  // clang-format on
  for (const auto& [path, full] : cases) EXPECT_EQ(LexicalFullPath(path), full) << path;
  fs::current_path(before);
}

}  // namespace
}  // namespace corvel::platform
