#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "platform/platform.h"
#include "test_support.h"

namespace corvel::platform {
namespace {

class PlatformLock : public ::testing::Test {
 protected:
  void SetUp() override {
    path = scratch.temp() + "/prefs.log";
    ASSERT_TRUE(test::WriteWholeFile(path, ""));
  }

  // In a child with its own open file description: 0 when the lock could be taken at once,
  // 1 when another holder blocks it, 2 on any other error.
  int TryLockInChild() const {
    return test::RunInChild([this] {
      UniqueFd fd(open(path.c_str(), O_RDWR | O_CLOEXEC));
      if (!fd.valid()) return 2;
      if (flock(fd.get(), LOCK_EX | LOCK_NB) == 0) return 0;
      return errno == EWOULDBLOCK ? 1 : 2;
    });
  }

  test::ScratchFolder scratch;
  std::string path;
};

TEST_F(PlatformLock, ExcludesOtherProcessesWhileHeld) {
  UniqueFd fd(open(path.c_str(), O_RDWR | O_CLOEXEC));
  ASSERT_TRUE(fd.valid());
  {
    FileLock lock(fd.get(), 0);
    ASSERT_TRUE(lock.held());
    EXPECT_EQ(TryLockInChild(), 1);
  }
  EXPECT_EQ(TryLockInChild(), 0);
}

TEST_F(PlatformLock, ReleasedWhenTheHolderDies) {
  // The child takes the lock and exits without unlocking.
  ASSERT_EQ(test::RunInChild([this] {
              int fd = open(path.c_str(), O_RDWR);
              FileLock* lock = new FileLock(fd, 0);
              _exit(lock->held() ? 0 : 1);
              return 1;
            }),
            0);
  UniqueFd fd(open(path.c_str(), O_RDWR | O_CLOEXEC));
  ASSERT_TRUE(fd.valid());
  EXPECT_EQ(flock(fd.get(), LOCK_EX | LOCK_NB), 0);
}

TEST_F(PlatformLock, WaitsForAHolderThatLetsGoButNotForOneThatDoesNot) {
  // The child holds the lock until the parent writes to the pipe; a patient FileLock of the
  // parent can only be had once the child has let go, so it then reads what the child wrote
  // last. Before that, the parent's short waits give up.
  int go[2];
  int ready[2];
  ASSERT_EQ(pipe(go), 0);
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int fd = open(path.c_str(), O_RDWR | O_APPEND);
    FileLock lock(fd, 0);
    char byte = lock.held() ? 'y' : 'n';
    if (write(ready[1], &byte, 1) != 1) _exit(2);
    if (read(go[0], &byte, 1) != 1) _exit(2);
    if (write(fd, "child\n", 6) != 6) _exit(2);
    _exit(0);  // the kernel releases the lock with the process
  }
  char byte = 0;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  ASSERT_EQ(byte, 'y');
  UniqueFd fd(open(path.c_str(), O_RDWR | O_APPEND | O_CLOEXEC));
  for (int patience_ms : {0, 50}) EXPECT_FALSE(FileLock(fd.get(), patience_ms).held());
  ASSERT_EQ(write(go[1], "g", 1), 1);
  FileLock lock(fd.get(), 600000);
  EXPECT_TRUE(lock.held());
  EXPECT_EQ(test::ReadWholeFile(path), "child\n");
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  for (int p : {go[0], go[1], ready[0], ready[1]}) close(p);
}

TEST(PlatformLockArgs, InvalidDescriptorIsNotHeld) {
  FileLock lock(-1, 0);
  EXPECT_FALSE(lock.held());
}

std::optional<std::string> MachineIdFile(const char* path) {
  std::optional<std::string> text = test::ReadWholeFile(path);
  if (!text) return std::nullopt;
  while (!text->empty() && (text->back() == '\n' || text->back() == ' ')) text->pop_back();
  if (text->empty()) return std::nullopt;
  return text;
}

TEST(PlatformIdentity, MachineIdentifierComesFromTheMachineIdFiles) {
  std::optional<std::string> expected = MachineIdFile("/etc/machine-id");
  if (!expected) expected = MachineIdFile("/var/lib/dbus/machine-id");
  const std::string id = MachineIdentifier();
  EXPECT_EQ(id, expected.value_or(""));
  EXPECT_EQ(id.find_first_of(" \r\n"), std::string::npos);
}

TEST(PlatformIdentity, EffectiveUserName) {
  const struct passwd* entry = getpwuid(geteuid());
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(EffectiveUserName(), entry->pw_name);
  if (!test::RunningAsRoot()) return;
  EXPECT_EQ(EffectiveUserName(), "root");
  EXPECT_EQ(test::RunAsUnprivileged([] { return EffectiveUserName() == "nobody" ? 0 : 1; }), 0);
}

TEST(PlatformIdentity, ProcessIdAndTime) {
  EXPECT_EQ(ProcessId(), getpid());
  int64_t seconds = 0;
  int milliseconds = -1;
  CurrentTime(&seconds, &milliseconds);
  EXPECT_GT(seconds, 1600000000);
  EXPECT_GE(milliseconds, 0);
  EXPECT_LT(milliseconds, 1000);
  struct tm local {};
  EXPECT_TRUE(LocalCalendar(seconds, &local));
  EXPECT_FALSE(LocalCalendar(seconds, nullptr));
}

}  // namespace
}  // namespace corvel::platform
