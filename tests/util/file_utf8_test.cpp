#include "util/file_utf8.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "test_support.h"
#include "util/utf_convert.h"

namespace corvel::util {
namespace {

namespace fs = std::filesystem;

const std::string kEuro = "\xe2\x82\xac";      // one unit, three bytes
const std::string kGrin = "\xf0\x9f\x98\x80";  // two units, four bytes
const char* const kBadPaths[] = {nullptr, "",
                                 "bad\xff"
                                 "name",
                                 "cut\xe2\x82"};

size_t Units(const std::string& text) { return ConvertUtf8ToUtf16(text, false).size(); }

// A path under `base` of exactly `units` UTF-16 units made of `piece` (then 'a's), through
// folders of at most 200 bytes that are created on the way.
std::string DeepPath(const std::string& base, const std::string& piece, size_t units) {
  std::string path = base;
  const size_t piece_units = Units(piece);
  while (Units(path) + 1 + 200 / piece.size() * piece_units < units) {
    std::string folder;
    while (folder.size() + piece.size() <= 200) folder += piece;
    path += "/" + folder;
    fs::create_directory(path);
  }
  path += "/";
  while (Units(path) + piece_units <= units) path += piece;
  while (Units(path) < units) path += "a";
  return path;
}

class FileUtf8 : public ::testing::Test {
 protected:
  test::ScratchFolder scratch;
  char out[kPathBufferSize];
};

TEST_F(FileUtf8, BadPathsFailWithoutTouchingTheSystem) {
  // Each of these names could be created on this system: only the checks stop them.
  fs::create_directory(scratch.Path("long"));
  const std::string invalid = scratch.Path(
      "bad\xff"
      "name");
  const std::string cut = scratch.Path("cut\xe2\x82");
  const std::string too_long = DeepPath(scratch.Path("long"), "d", kPathBufferSize);
  const char* const paths[] = {nullptr, "", invalid.c_str(), cut.c_str(), too_long.c_str()};
  platform::FileInfo st;
  for (const char* path : paths) {
    const std::string shown = path ? path : "(null)";
    EXPECT_EQ(OpenFileUtf8(path, "wb"), nullptr) << shown;
    EXPECT_EQ(StatUtf8(path, &st), -1);
    EXPECT_FALSE(PathExistsUtf8(path));
    EXPECT_FALSE(IsFolderUtf8(path));
    errno = 0;
    EXPECT_EQ(MakeFolderUtf8(path), -1) << shown;
    EXPECT_EQ(errno, EINVAL);
    errno = 0;
    EXPECT_EQ(RemoveFileUtf8(path), -1);
    EXPECT_EQ(errno, EINVAL);
    memset(out, 'x', sizeof(out));
    EXPECT_EQ(FullPathUtf8(out, sizeof(out), path), nullptr);
    EXPECT_EQ(out[0], '\0');
  }
  for (const std::string& path : {invalid, cut, too_long}) EXPECT_FALSE(fs::exists(path));
  // Present files are not removed through a bad name either.
  ASSERT_TRUE(test::WriteWholeFile(too_long, "keep"));
  EXPECT_EQ(RemoveFileUtf8(too_long.c_str()), -1);
  EXPECT_TRUE(fs::exists(too_long));
}

TEST_F(FileUtf8, PathLengthIsCountedInUtf16UnitsUpTo1023) {
  for (const std::string& piece : {std::string("d"), kEuro, kGrin}) {
    fs::create_directory(scratch.Path("fit"));
    fs::create_directory(scratch.Path("long"));
    const std::string fits = DeepPath(scratch.Path("fit"), piece, kPathBufferSize - 1);
    ASSERT_EQ(Units(fits), kPathBufferSize - 1);
    EXPECT_EQ(MakeFolderUtf8(fits.c_str()), 0) << strerror(errno) << " piece " << piece;
    EXPECT_TRUE(IsFolderUtf8(fits.c_str()));
    char wide_enough[4 * kPathBufferSize];
    ASSERT_NE(FullPathUtf8(wide_enough, sizeof(wide_enough), fits.c_str()), nullptr);
    EXPECT_EQ(std::string(wide_enough), fits);

    const std::string too_long = DeepPath(scratch.Path("long"), piece, kPathBufferSize);
    errno = 0;
    EXPECT_EQ(MakeFolderUtf8(too_long.c_str()), -1) << "piece " << piece;
    EXPECT_EQ(errno, EINVAL);
    EXPECT_FALSE(fs::exists(too_long));
    fs::remove_all(scratch.Path("fit"));
    fs::remove_all(scratch.Path("long"));
  }
}

TEST_F(FileUtf8, FileOperationsOnUtf8Names) {
  const std::string folder = scratch.Path("caf\xc3\xa9");
  ASSERT_EQ(MakeFolderUtf8(folder.c_str()), 0);
  EXPECT_EQ(MakeFolderUtf8(folder.c_str()), -1);
  EXPECT_EQ(errno, EEXIST);
  EXPECT_TRUE(IsFolderUtf8(folder.c_str()));

  const std::string file = folder + "/" + kEuro + ".txt";
  FILE* stream = OpenFileUtf8(file.c_str(), "wb");
  ASSERT_NE(stream, nullptr);
  EXPECT_TRUE(fcntl(fileno(stream), F_GETFD) & FD_CLOEXEC);
  fputs("data", stream);
  fclose(stream);
  platform::FileInfo st;
  EXPECT_EQ(StatUtf8(file.c_str(), &st), 0);
  EXPECT_EQ(st.size, 4u);
  EXPECT_TRUE(PathExistsUtf8(file.c_str()));
  EXPECT_FALSE(IsFolderUtf8(file.c_str()));
  EXPECT_EQ(StatUtf8(file.c_str(), nullptr), -1);
  EXPECT_EQ(OpenFileUtf8(file.c_str(), nullptr), nullptr);
  EXPECT_EQ(RemoveFileUtf8(file.c_str()), 0);
  EXPECT_FALSE(PathExistsUtf8(file.c_str()));
  EXPECT_EQ(RemoveFileUtf8(file.c_str()), -1);
  EXPECT_EQ(errno, ENOENT);
}

TEST_F(FileUtf8, FullPathIsLexical) {
  ASSERT_EQ(chdir(scratch.root().c_str()), 0);
  ASSERT_NE(FullPathUtf8(out, sizeof(out), "a/./b/../c"), nullptr);
  EXPECT_EQ(std::string(out), fs::current_path().string() + "/a/c");
  ASSERT_NE(FullPathUtf8(out, sizeof(out), "/x//y/../z"), nullptr);
  EXPECT_STREQ(out, "/x/z");
  // A result that does not fit the caller's buffer fails and leaves it empty.
  char small[4];
  EXPECT_EQ(FullPathUtf8(small, sizeof(small), "/abc"), nullptr);
  EXPECT_EQ(small[0], '\0');
}

TEST_F(FileUtf8, TempFolderPath) {
  setenv("TMPDIR", (scratch.temp() + "/").c_str(), 1);
  ASSERT_NE(TempFolderPath(out, sizeof(out)), nullptr);
  EXPECT_EQ(std::string(out), scratch.temp());
  setenv("TMPDIR", "/tmp\xff", 1);
  EXPECT_EQ(TempFolderPath(out, sizeof(out)), nullptr);
  EXPECT_EQ(out[0], '\0');
  setenv("TMPDIR", scratch.temp().c_str(), 1);
  char small[8];
  EXPECT_EQ(TempFolderPath(small, sizeof(small)), nullptr);
  EXPECT_EQ(TempFolderPath(nullptr, 100), nullptr);
}

TEST_F(FileUtf8, SpecialFoldersByKindAreCreatedWhenMissing) {
  const std::string files = scratch.Path("files/deeper");
  const std::string data = scratch.Path("data/deeper/");
  setenv("CORVEL_COMMON_FILES", files.c_str(), 1);
  setenv("CORVEL_COMMON_APPDATA", data.c_str(), 1);
  for (int kind : {1, 3, 0, 2, 38, 43, -1}) {
    ASSERT_NE(SpecialFolderPath(out, sizeof(out), kind), nullptr) << kind;
    EXPECT_EQ(std::string(out), files) << kind;
  }
  ASSERT_NE(SpecialFolderPath(out, sizeof(out), 255), nullptr);
  EXPECT_EQ(std::string(out), scratch.Path("data/deeper"));
  EXPECT_TRUE(fs::is_directory(files));
  EXPECT_TRUE(fs::is_directory(scratch.Path("data/deeper")));

  ASSERT_NE(MakerFolderPath(out, sizeof(out), 255), nullptr);
  EXPECT_EQ(std::string(out), scratch.Path("data/deeper/Corvel"));
  EXPECT_TRUE(fs::is_directory(out));
  ASSERT_NE(MakerFolderPath(out, sizeof(out), 1), nullptr);
  EXPECT_EQ(std::string(out), files + "/Corvel");
  EXPECT_TRUE(fs::is_directory(out));
}

TEST_F(FileUtf8, SpecialFolderThatCannotBeCreatedFails) {
  // A file where a folder is expected fails for every user.
  ASSERT_TRUE(test::WriteWholeFile(scratch.Path("plain"), "x"));
  setenv("CORVEL_COMMON_APPDATA", scratch.Path("plain/data").c_str(), 1);
  memset(out, 'x', sizeof(out));
  EXPECT_EQ(SpecialFolderPath(out, sizeof(out), 255), nullptr);
  EXPECT_EQ(out[0], '\0');
  EXPECT_EQ(MakerFolderPath(out, sizeof(out), 255), nullptr);
  // "Corvel" standing as a file.
  ASSERT_TRUE(test::WriteWholeFile(scratch.common_files() + "/Corvel", "x"));
  EXPECT_EQ(MakerFolderPath(out, sizeof(out), 1), nullptr);
  EXPECT_EQ(out[0], '\0');
}

TEST_F(FileUtf8, MakerFolderNeedsWriteAccess) {
  // The shared folders of the scratch are root's and 0755; the check runs as "nobody".
  if (!test::RunningAsRoot()) GTEST_SKIP() << "needs root to drop to an unprivileged user";
  const int status = test::RunAsUnprivileged([] {
    char path[kPathBufferSize];
    if (!SpecialFolderPath(path, sizeof(path), 255)) return 1;  // present, so readable
    return MakerFolderPath(path, sizeof(path), 255) == nullptr && path[0] == '\0' ? 0 : 2;
  });
  EXPECT_EQ(status, 0);
  EXPECT_FALSE(fs::exists(scratch.common_appdata() + "/Corvel"));
}

TEST_F(FileUtf8, ModulePaths) {
  ASSERT_NE(ModuleFilePath(out, sizeof(out)), nullptr);
  EXPECT_EQ(fs::canonical(out), fs::canonical("/proc/self/exe"));
  const std::string file = out;
  ASSERT_NE(ModuleFolderPath(out, sizeof(out)), nullptr);
  EXPECT_EQ(std::string(out), file.substr(0, file.rfind('/')));
  char small[2];
  EXPECT_EQ(ModuleFilePath(small, sizeof(small)), nullptr);
}

TEST(ParentFolderOf, FolderPartWithoutTrailingSeparator) {
  EXPECT_STREQ(ParentFolderOf("/a/b/c.txt"), "/a/b");
  EXPECT_STREQ(ParentFolderOf("/a/b/"), "/a/b");
  EXPECT_STREQ(ParentFolderOf("rel/c.txt"), "rel");
  EXPECT_STREQ(ParentFolderOf("c.txt"), "");
  EXPECT_STREQ(ParentFolderOf("/c.txt"), "");
  EXPECT_STREQ(ParentFolderOf(nullptr), "");
  EXPECT_STREQ(ParentFolderOf(""), "");
  EXPECT_STREQ(ParentFolderOf("/bad\xff/c"), "");
  EXPECT_STREQ(ParentFolderOf(("/" + kEuro + "/" + kGrin).c_str()), ("/" + kEuro).c_str());
}

TEST(ParentFolderOf, OneSharedBufferOf6144Bytes) {
  const char* first = ParentFolderOf("/one/x");
  const char* second = ParentFolderOf("/two/x");
  EXPECT_EQ(first, second);
  EXPECT_STREQ(first, "/two");
  const std::string fits = "/" + std::string(6142, 'f') + "/x";
  EXPECT_EQ(strlen(ParentFolderOf(fits.c_str())), 6143u);
  const std::string too_long = "/" + std::string(6143, 'f') + "/x";
  EXPECT_STREQ(ParentFolderOf(too_long.c_str()), "");
}

}  // namespace
}  // namespace corvel::util
