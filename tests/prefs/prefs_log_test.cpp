// The preferences log: file creation, line layout, level switches and hostile files.
#include <gtest/gtest.h>

#include <regex>
#include <sys/stat.h>
#include <unistd.h>

#include "prefs/prefs_log.h"
#include "prefs_test_helpers.h"
#include "test_support.h"

namespace corvel::prefs {
namespace {

using test::LogBytes;
using test::LogContains;
using test::LogLines;

class PrefsLogTest : public ::testing::Test {
 protected:
  void TearDown() override { ClosePrefsLog(); }
  void Touch(const std::string& name) {
    ASSERT_TRUE(corvel::test::WriteWholeFile(scratch_.temp() + "/" + name, ""));
  }
  void WriteOneOfEach() {
    PrefsTrace("T", "trace entry");
    PrefsDebug("T", "debug entry");
    PrefsInfo("T", "info entry");
    PrefsWarn("T", "warn entry");
    PrefsError("T", "error entry");
    PrefsDebugW("T", "wide debug entry");
    PrefsFatalW("T", "wide fatal entry");
  }

  corvel::test::ScratchFolder scratch_;
};

TEST_F(PrefsLogTest, NewLogStartsWithMarkAndAnExistingOneIsAppendedTo) {
  EXPECT_EQ(4, SetPrefsLogVerbosity());
  ClosePrefsLog();
  EXPECT_EQ(4, SetPrefsLogVerbosity());
  std::string bytes = LogBytes();
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ("\xFF\xFE", bytes.substr(0, 2));
  EXPECT_EQ(std::string::npos, bytes.find("\xFF\xFE", 2));  // no second mark
  std::vector<std::string> lines = LogLines();
  ASSERT_EQ(4u, lines.size());
  EXPECT_NE(std::string::npos, lines[0].find("[INFO] NVX - Build Version - 3.0.34.0"));
  EXPECT_NE(std::string::npos, lines[3].find("[INFO] NVX - Logging Level verbosity Set  to 4"));
  struct stat st{};
  ASSERT_EQ(0, lstat(test::LogPath().c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 0777);
}

TEST_F(PrefsLogTest, EntryLayoutIsDateTimeLevelCategoryMessageInUtf16) {
  SetPrefsLogVerbosity();
  PrefsError("NVX", "Failed to initialize crypt Engine");
  PrefsWarnW("Utilities", "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC %d", 7);
  PrefsInfo("Utilities", "File does not exist\n");
  std::vector<std::string> lines = LogLines();
  ASSERT_EQ(5u, lines.size());
  std::regex layout(R"(^\d{1,2}/\d{1,2}/\d{4} \d{2}:\d{2}:\d{2} \[ERROR\] NVX - Failed to initialize crypt Engine$)");
  EXPECT_TRUE(std::regex_match(lines[2], layout)) << lines[2];
  EXPECT_NE(std::string::npos, lines[3].find("[WARN] Utilities - Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC 7"));
  // A message's own line break leaves an extra one, and each entry ends in CR LF.
  EXPECT_NE(std::string::npos, lines[4].find("[INFO] Utilities - File does not exist\n"));
  std::string bytes = LogBytes();
  EXPECT_EQ(std::string("\r\0\n\0", 4), bytes.substr(bytes.size() - 4));
  EXPECT_EQ(0u, (bytes.size() - 2) % 2);
}

TEST_F(PrefsLogTest, WithoutMarkersTraceAndDebugAreDropped) {
  EXPECT_EQ(4, SetPrefsLogVerbosity());
  WriteOneOfEach();
  EXPECT_FALSE(LogContains("trace entry"));
  EXPECT_FALSE(LogContains("debug entry"));
  EXPECT_TRUE(LogContains("[INFO] T - info entry"));
  EXPECT_TRUE(LogContains("[WARN] T - warn entry"));
  EXPECT_TRUE(LogContains("[ERROR] T - error entry"));
  EXPECT_TRUE(LogContains("[FATAL] T - wide fatal entry"));
}

TEST_F(PrefsLogTest, DebugMarkerSwitchesDebugOn) {
  Touch("qiv.debug");
  EXPECT_EQ(5, SetPrefsLogVerbosity());
  WriteOneOfEach();
  EXPECT_TRUE(LogContains("Logging Level verbosity Set  to 5"));
  EXPECT_TRUE(LogContains("[DEBUG] T - debug entry"));
  EXPECT_TRUE(LogContains("[DEBUG] T - wide debug entry"));
  EXPECT_FALSE(LogContains("trace entry"));
}

TEST_F(PrefsLogTest, TraceMarkerWinsOverDebugMarker) {
  Touch("qiv.debug");
  Touch("qiv.trace");
  EXPECT_EQ(6, SetPrefsLogVerbosity());
  WriteOneOfEach();
  EXPECT_TRUE(LogContains("Logging Level verbosity Set  to 6"));
  EXPECT_TRUE(LogContains("[TRACE] T - trace entry"));
  EXPECT_TRUE(LogContains("[DEBUG] T - debug entry"));
}

TEST_F(PrefsLogTest, EntriesBeforeVerbosityAndAfterCloseAreDropped) {
  OpenPrefsLog();
  PrefsError("T", "too early");
  PrefsFatalW("T", "too early as well");
  SetPrefsLogVerbosity();
  ClosePrefsLog();
  PrefsError("T", "too late");
  EXPECT_EQ(2u, LogLines().size());
  EXPECT_FALSE(LogContains("too"));
}

TEST_F(PrefsLogTest, LongEntriesAreCutAtTheFormattingLimit) {
  SetPrefsLogVerbosity();
  std::string long_text(3000, 'n');
  PrefsError("Cat", "%s", long_text.c_str());
  PrefsErrorW("Cat", "%s", std::string(3000, 'w').c_str());
  std::vector<std::string> lines = LogLines();
  ASSERT_EQ(4u, lines.size());
  // Narrow: "[ERROR] Cat - " and the message within 1023 bytes, after the date and time.
  size_t head = lines[2].find("[ERROR]");
  EXPECT_EQ(1023u, lines[2].size() - head);
  // Wide: the whole line within 1023 units.
  EXPECT_EQ(1023u, lines[3].size());
}

TEST_F(PrefsLogTest, PlantedLinkIsReplacedNotFollowed) {
  std::string target = scratch_.Path("victim");
  ASSERT_TRUE(corvel::test::WriteWholeFile(target, "untouched"));
  ASSERT_EQ(0, symlink(target.c_str(), test::LogPath().c_str()));
  SetPrefsLogVerbosity();
  EXPECT_EQ("untouched", corvel::test::ReadWholeFile(target));
  struct stat st{};
  ASSERT_EQ(0, lstat(test::LogPath().c_str(), &st));
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_TRUE(LogContains("Logging Level verbosity Set  to 4"));
}

TEST_F(PrefsLogTest, HardLinkedLogIsNotWritten) {
  std::string target = scratch_.Path("victim");
  ASSERT_TRUE(corvel::test::WriteWholeFile(target, "untouched"));
  ASSERT_EQ(0, link(target.c_str(), test::LogPath().c_str()));
  SetPrefsLogVerbosity();
  PrefsError("T", "entry");
  ClosePrefsLog();
  EXPECT_EQ("untouched", corvel::test::ReadWholeFile(target));
}

TEST_F(PrefsLogTest, MissingTemporaryFolderIsCreated) {
  ASSERT_EQ(0, rmdir(scratch_.temp().c_str()));
  SetPrefsLogVerbosity();
  EXPECT_TRUE(LogContains("Build Version - 3.0.34.0"));
}

}  // namespace
}  // namespace corvel::prefs
