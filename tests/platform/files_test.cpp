#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "platform/platform.h"
#include "test_support.h"

namespace corvel::platform {
namespace {

namespace fs = std::filesystem;

class PlatformFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    victim = scratch.Path("victim");
    ASSERT_TRUE(test::WriteWholeFile(victim, "precious"));
    log = scratch.temp() + "/tavlib.log";
  }

  // Plants a symbolic link at `at` pointing to `target`, as an unprivileged user when the
  // test runs as root (the temporary folder is world-writable and sticky).
  void PlantLink(const std::string& target, const std::string& at) {
    ASSERT_EQ(test::RunAsUnprivileged([&] { return symlink(target.c_str(), at.c_str()); }), 0);
    struct stat st {};
    ASSERT_EQ(lstat(at.c_str(), &st), 0);
    ASSERT_TRUE(S_ISLNK(st.st_mode));
  }

  test::ScratchFolder scratch;
  std::string victim;
  std::string log;
};

TEST_F(PlatformFiles, OpenNoFollowRefusesAPlantedLink) {
  PlantLink(victim, log);
  EXPECT_EQ(OpenNoFollow(log, OpenFlags::Write | OpenFlags::Append), -1);
  EXPECT_EQ(LastError(), Error::Link);
  // With O_CREAT the kernel may refuse another user's link in a sticky folder by itself
  // (EACCES); either way nothing is written through it.
  EXPECT_EQ(OpenNoFollow(log, OpenFlags::Write | OpenFlags::Append | OpenFlags::Create, 0666), -1);
  EXPECT_TRUE(LastError() == Error::Link || LastError() == Error::Denied) << strerror(errno);
  EXPECT_EQ(test::ReadWholeFile(victim), "precious");

  // A link of our own in a folder of our own, which nothing but O_NOFOLLOW stops; a dangling
  // one would make O_CREAT create its target.
  const std::string fresh_target = scratch.Path("created-through-link");
  const std::string own = scratch.Path("own.log");
  ASSERT_EQ(symlink(fresh_target.c_str(), own.c_str()), 0);
  EXPECT_EQ(OpenNoFollow(own, OpenFlags::Write | OpenFlags::Create, 0666), -1);
  EXPECT_EQ(LastError(), Error::Link);
  EXPECT_FALSE(fs::exists(fresh_target));
}

TEST_F(PlatformFiles, CreateFreshFileReplacesAPlantedLinkWithItsOwnFile) {
  PlantLink(victim, log);
  const mode_t old_mask = umask(022);
  UniqueFd fd(CreateFreshFile(log, OpenFlags::Write, 0666));
  umask(old_mask);
  ASSERT_TRUE(fd.valid()) << strerror(errno);
  ASSERT_EQ(write(fd.get(), "line\n", 5), 5);
  EXPECT_TRUE(fcntl(fd.get(), F_GETFD) & FD_CLOEXEC);

  struct stat st {};
  ASSERT_EQ(lstat(log.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_uid, geteuid());
  EXPECT_EQ(st.st_mode & 07777, 0666u);  // set explicitly, not left to the umask
  EXPECT_TRUE(IsRegularFileNoFollow(log));
  EXPECT_EQ(test::ReadWholeFile(victim), "precious");
  EXPECT_EQ(test::ReadWholeFile(log), "line\n");
}

TEST_F(PlatformFiles, CreateFreshFileReplacesAFilePlantedByAnotherUser) {
  ASSERT_EQ(test::RunAsUnprivileged([&] {
              return test::WriteWholeFile(log, "planted") && chmod(log.c_str(), 0666) == 0 ? 0 : 1;
            }),
            0);
  UniqueFd fd(CreateFreshFile(log, OpenFlags::Read | OpenFlags::Write, 0644));
  ASSERT_TRUE(fd.valid());
  struct stat st {};
  ASSERT_EQ(fstat(fd.get(), &st), 0);
  EXPECT_EQ(st.st_uid, geteuid());
  EXPECT_EQ(st.st_size, 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
  // A folder at the name is not removed.
  fs::create_directory(scratch.temp() + "/folder");
  EXPECT_EQ(CreateFreshFile(scratch.temp() + "/folder", OpenFlags::Write, 0644), -1);
  EXPECT_TRUE(fs::is_directory(scratch.temp() + "/folder"));
}

TEST_F(PlatformFiles, SharedFolderFilesAreUsedOnlyWhenRegularWithOneLink) {
  // A second name of another file is refused before it could be truncated through.
  ASSERT_EQ(link(victim.c_str(), log.c_str()), 0);
  EXPECT_EQ(OpenSharedFolderFile(log, OpenFlags::Write | OpenFlags::Truncate), -1);
  EXPECT_EQ(LastError(), Error::Denied);
  EXPECT_EQ(test::ReadWholeFile(victim), "precious");
  ASSERT_EQ(unlink(victim.c_str()), 0);
  UniqueFd fd(OpenSharedFolderFile(log, OpenFlags::Write | OpenFlags::Truncate));
  ASSERT_TRUE(fd.valid());
  EXPECT_EQ(test::ReadWholeFile(log), "");

  // The lock file of a folder others can write is refused; in the user's own it is private.
  const std::string folder = scratch.Path("own");
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  ASSERT_EQ(chmod(folder.c_str(), 0770), 0);
  EXPECT_EQ(OpenPrivateLockFile(folder, "x.lock"), -1);
  ASSERT_EQ(chmod(folder.c_str(), 0700), 0);
  UniqueFd lock(OpenPrivateLockFile(folder, "x.lock"));
  EXPECT_TRUE(lock.valid());
  EXPECT_EQ(fs::status(folder + "/x.lock").permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(PlatformFiles, DebugOutputGoesWhereTheVariableSays) {
  WriteDebugOutput("first line\n");
  WriteDebugOutput("second line\n");
  EXPECT_EQ(test::ReadWholeFile(scratch.debug_output()), "first line\nsecond line\n");

  setenv("ZEP_DEBUG_OUTPUT", "stderr", 1);
  ::testing::internal::CaptureStderr();
  WriteDebugOutput("to stderr\n");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "to stderr\n");

  unsetenv("ZEP_DEBUG_OUTPUT");
  ::testing::internal::CaptureStderr();
  WriteDebugOutput("dropped\n");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(test::ReadWholeFile(scratch.debug_output()), "first line\nsecond line\n");

  // Neither a missing folder nor a planted link makes it write anywhere else.
  setenv("ZEP_DEBUG_OUTPUT", scratch.Path("missing/debug.log").c_str(), 1);
  WriteDebugOutput("lost\n");
  EXPECT_FALSE(fs::exists(scratch.Path("missing")));
  PlantLink(victim, log);
  setenv("ZEP_DEBUG_OUTPUT", log.c_str(), 1);
  WriteDebugOutput("redirected\n");
  EXPECT_EQ(test::ReadWholeFile(victim), "precious");
}

TEST_F(PlatformFiles, MakeTempFileIsPrivateAndUnique) {
  const std::string pattern = scratch.temp() + "/docXXXXXX";
  std::string first = pattern;
  std::string second = pattern;
  const mode_t old_mask = umask(0);
  UniqueFd a(MakeTempFile(first));
  UniqueFd b(MakeTempFile(second));
  umask(old_mask);
  ASSERT_TRUE(a.valid() && b.valid());
  EXPECT_NE(first, pattern);
  EXPECT_NE(first, second);
  EXPECT_EQ(first.size(), pattern.size());
  struct stat st {};
  ASSERT_EQ(lstat(first.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_TRUE(fcntl(a.get(), F_GETFD) & FD_CLOEXEC);

  for (std::string bad : {scratch.temp() + "/noXXXXX", std::string("XXXXX"), std::string()}) {
    const std::string before = bad;
    errno = 0;
    EXPECT_EQ(MakeTempFile(bad), -1) << before;
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(bad, before);
  }
  std::string missing = scratch.Path("missing/docXXXXXX");
  EXPECT_EQ(MakeTempFile(missing), -1);
  EXPECT_EQ(errno, ENOENT);
}

TEST_F(PlatformFiles, RenameNoReplaceKeepsAnExistingTarget) {
  const std::string from = scratch.temp() + "/new.swidtag";
  const std::string to = scratch.temp() + "/final.swidtag";
  ASSERT_TRUE(test::WriteWholeFile(from, "new"));
  ASSERT_TRUE(test::WriteWholeFile(to, "old"));
  errno = 0;
  EXPECT_EQ(RenameNoReplace(from, to), -1);
  EXPECT_EQ(errno, EEXIST);
  EXPECT_EQ(test::ReadWholeFile(from), "new");
  EXPECT_EQ(test::ReadWholeFile(to), "old");

  // A planted link at the target is neither replaced nor followed.
  fs::remove(to);
  PlantLink(victim, to);
  EXPECT_EQ(RenameNoReplace(from, to), -1);
  EXPECT_EQ(errno, EEXIST);
  EXPECT_EQ(test::ReadWholeFile(victim), "precious");

  fs::remove(to);
  EXPECT_EQ(RenameNoReplace(from, to), 0);
  EXPECT_FALSE(fs::exists(from));
  EXPECT_EQ(test::ReadWholeFile(to), "new");
  EXPECT_EQ(RenameNoReplace(from, to), -1);
  EXPECT_EQ(errno, ENOENT);
}

TEST_F(PlatformFiles, FileHelpers) {
  const std::string file = scratch.Path("plain.txt");
  FILE* stream = OpenFile(file, "w");
  ASSERT_NE(stream, nullptr);
  EXPECT_TRUE(fcntl(fileno(stream), F_GETFD) & FD_CLOEXEC);
  fputs("12345", stream);
  fclose(stream);
  EXPECT_EQ(FileSize(file), 5);
  EXPECT_EQ(FileSize(scratch.root()), -1);
  EXPECT_EQ(FileSize(scratch.Path("absent")), -1);
  EXPECT_TRUE(PathExists(file));
  EXPECT_FALSE(IsFolder(file));
  EXPECT_TRUE(IsFolder(scratch.root()));
  EXPECT_EQ(OpenFile("", "r"), nullptr);
  EXPECT_EQ(OpenFile(file, nullptr), nullptr);

  const std::string folder = scratch.Path("sub");
  EXPECT_EQ(MakeFolder(folder, 0700), 0);
  EXPECT_EQ(MakeFolder(folder, 0700), -1);
  EXPECT_EQ(errno, EEXIST);
  EXPECT_EQ(ChangeMode(folder, 0777), 0);
  EXPECT_EQ(fs::status(folder).permissions(), fs::perms::all);
  EXPECT_EQ(RemoveFile(folder), -1);  // not a file
  EXPECT_EQ(RemoveFolder(folder), 0);
  EXPECT_EQ(RemoveFile(file), 0);
  EXPECT_FALSE(PathExists(file));
}

}  // namespace
}  // namespace corvel::platform
