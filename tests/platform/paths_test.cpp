#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/platform.h"
#include "test_support.h"

namespace corvel::platform {
namespace {

namespace fs = std::filesystem;

class PlatformPaths : public ::testing::Test {
 protected:
  test::ScratchFolder scratch;
};

TEST_F(PlatformPaths, LexicalFullPathFoldsWithoutTouchingTheDisk) {
  EXPECT_EQ(LexicalFullPath("/a/./b/../c"), "/a/c");
  EXPECT_EQ(LexicalFullPath("/a//b///c"), "/a/b/c");
  EXPECT_EQ(LexicalFullPath("/../../x"), "/x");
  EXPECT_EQ(LexicalFullPath("/.."), "/");
  EXPECT_EQ(LexicalFullPath("/"), "/");
  EXPECT_EQ(LexicalFullPath("/a/b/"), "/a/b/");
  EXPECT_EQ(LexicalFullPath(""), "");

  ASSERT_EQ(chdir(scratch.root().c_str()), 0);
  const std::string cwd = CurrentDirectory();
  EXPECT_EQ(cwd, fs::current_path().string());
  EXPECT_EQ(LexicalFullPath("missing/./x/.."), cwd + "/missing");
  EXPECT_EQ(LexicalFullPath("."), cwd);
  EXPECT_EQ(LexicalFullPath(".."), fs::path(cwd).parent_path().string());
}

TEST_F(PlatformPaths, LexicalFullPathDoesNotResolveLinks) {
  fs::create_directories(scratch.Path("deep/target"));
  fs::create_directory_symlink(scratch.Path("deep/target"), scratch.Path("link"));
  // ".." after the link goes back to the link's folder, not to the target's.
  EXPECT_EQ(LexicalFullPath(scratch.Path("link/../x")), scratch.Path("x"));
  EXPECT_EQ(LexicalFullPath(scratch.Path("link/y")), scratch.Path("link/y"));
}

TEST_F(PlatformPaths, TempFolderOrder) {
  setenv("TMPDIR", "/from/tmpdir/", 1);
  setenv("TEMP", "/from/temp", 1);
  setenv("TMP", "/from/tmp", 1);
  EXPECT_EQ(TempFolder(), "/from/tmpdir");
  setenv("TMPDIR", "/two//", 1);
  EXPECT_EQ(TempFolder(), "/two/");  // only one trailing separator goes
  setenv("TMPDIR", "", 1);
  EXPECT_EQ(TempFolder(), "/from/temp");
  unsetenv("TMPDIR");
  unsetenv("TEMP");
  EXPECT_EQ(TempFolder(), "/from/tmp");
  unsetenv("TMP");
  EXPECT_EQ(TempFolder(), "/tmp");
  setenv("TMPDIR", "/", 1);
  EXPECT_EQ(TempFolder(), "/");
}

TEST_F(PlatformPaths, KnownFoldersHonourTheirOverrides) {
  EXPECT_EQ(KnownFolderPath(KnownFolder::CommonAppData), scratch.common_appdata());
  EXPECT_EQ(KnownFolderPath(KnownFolder::CommonFiles), scratch.common_files());
  EXPECT_EQ(KnownFolderPath(KnownFolder::LocalAppData), scratch.local_appdata());
  setenv("CORVEL_COMMON_APPDATA", "/over/data/", 1);
  EXPECT_EQ(KnownFolderPath(KnownFolder::CommonAppData), "/over/data");
}

TEST_F(PlatformPaths, KnownFoldersWithoutOverrides) {
  const char* home = getenv("HOME");
  const std::string saved_home = home ? home : "";
  unsetenv("CORVEL_COMMON_APPDATA");
  unsetenv("CORVEL_COMMON_FILES");
  unsetenv("CORVEL_LOCAL_APPDATA");
  EXPECT_EQ(KnownFolderPath(KnownFolder::CommonAppData), "/var/lib");
  EXPECT_EQ(KnownFolderPath(KnownFolder::CommonFiles), "/usr/share");
  setenv("XDG_DATA_HOME", "/xdg/data/", 1);
  EXPECT_EQ(KnownFolderPath(KnownFolder::LocalAppData), "/xdg/data");
  unsetenv("XDG_DATA_HOME");
  setenv("HOME", "/home/someone/", 1);
  EXPECT_EQ(KnownFolderPath(KnownFolder::LocalAppData), "/home/someone/.local/share");
  unsetenv("HOME");
  EXPECT_EQ(KnownFolderPath(KnownFolder::LocalAppData), "");
  if (home) setenv("HOME", saved_home.c_str(), 1);
}

TEST_F(PlatformPaths, EnvironmentValues) {
  unsetenv("CORVEL_TEST_VALUE");
  EXPECT_EQ(EnvironmentValue("CORVEL_TEST_VALUE"), std::nullopt);
  SetEnvironmentValue("CORVEL_TEST_VALUE", "");
  EXPECT_EQ(EnvironmentValue("CORVEL_TEST_VALUE"), "");
  SetEnvironmentValue("CORVEL_TEST_VALUE", "clear");
  EXPECT_EQ(EnvironmentValue("CORVEL_TEST_VALUE"), "clear");
  EXPECT_EQ(EnvironmentValue(nullptr), std::nullopt);
}

TEST(PlatformTime, UtcCalendarLimitedTo1970Through3000) {
  auto seconds = [](int year, int month, int day, int h, int m, int s) {
    struct tm calendar {};
    calendar.tm_year = year - 1900;
    calendar.tm_mon = month - 1;
    calendar.tm_mday = day;
    calendar.tm_hour = h;
    calendar.tm_min = m;
    calendar.tm_sec = s;
    return UtcCalendarToSeconds(calendar);
  };
  EXPECT_EQ(seconds(1970, 1, 1, 0, 0, 0), 0);
  EXPECT_EQ(seconds(2012, 3, 4, 5, 6, 7), 1330837567);
  EXPECT_EQ(seconds(3000, 12, 31, 23, 59, 59), 32535215999);
  EXPECT_EQ(seconds(3001, 1, 1, 0, 0, 0), -1);
  EXPECT_EQ(seconds(1969, 12, 31, 23, 59, 59), -1);
  EXPECT_EQ(seconds(1601, 1, 1, 0, 0, 0), -1);
}

TEST(PlatformLibraries, OpenResolveClose) {
  EXPECT_EQ(OpenDynamicLibrary(""), nullptr);
  EXPECT_EQ(OpenDynamicLibrary("/nonexistent/libnothing.so"), nullptr);
  LibraryHandle library = OpenDynamicLibrary("libm.so.6");
  ASSERT_NE(library, nullptr);
  EXPECT_NE(LibrarySymbol(library, "cos"), nullptr);
  EXPECT_EQ(LibrarySymbol(library, "no_such_entry_point"), nullptr);
  EXPECT_EQ(LibrarySymbol(library, nullptr), nullptr);
  EXPECT_TRUE(CloseDynamicLibrary(library));
  EXPECT_FALSE(CloseDynamicLibrary(nullptr));
  EXPECT_STREQ(ServicesLibraryFileName(), "libzepservices.so");
  EXPECT_EQ(fs::canonical(ModuleFilePath()), fs::canonical("/proc/self/exe"));
}

}  // namespace
}  // namespace corvel::platform
