// The preferences log: file creation, line layout in UTF-16 and level switches.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <regex>

#include "prefs/prefs_log.h"
#include "prefs_test_helpers.h"
#include "test_support.h"

namespace corvel::prefs {
namespace {

using test::LogContains;
using test::LogLines;

class PrefsLogTest : public ::testing::Test {
 protected:
  void TearDown() override { ClosePrefsLog(); }
  void Touch(const std::string& name) {
    ASSERT_TRUE(corvel::test::WriteWholeFile(scratch_.temp() + "/" + name, ""));
  }
  corvel::test::ScratchFolder scratch_;
};

TEST_F(PrefsLogTest, NewLogStartsWithMarkAndAnExistingOneIsAppendedTo) {
  ASSERT_EQ(0, rmdir(scratch_.temp().c_str()));  // a missing temporary folder is created
  OpenPrefsLog();
  PrefsError("T", "too early");  // every level is off until the verbosity is set
  EXPECT_EQ(4, SetPrefsLogVerbosity());
  ClosePrefsLog();
  PrefsFatalW("T", "too late");  // a closed log comes back with every level off
  EXPECT_EQ(4, SetPrefsLogVerbosity());
  std::string bytes = test::LogBytes();
  EXPECT_EQ("\xFF\xFE", bytes.substr(0, 2));
  EXPECT_EQ(std::string::npos, bytes.find("\xFF\xFE", 2));  // no second mark
  std::vector<std::string> lines = LogLines();
  ASSERT_EQ(4u, lines.size());
  EXPECT_NE(std::string::npos, lines[0].find("[INFO] NVX - Build Version - 3.0.34.0"));
  EXPECT_NE(std::string::npos, lines[3].find("[INFO] NVX - Logging Level verbosity Set  to 4"));
  struct stat st {};
  ASSERT_EQ(0, lstat((scratch_.temp() + "/Velmo.log").c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 0777);
}

TEST_F(PrefsLogTest, EntryLayoutIsDateTimeLevelCategoryMessageInUtf16) {
  SetPrefsLogVerbosity();
  PrefsError("NVX", "Failed to initialize crypt Engine");
  PrefsWarnW("Utilities",
             "Gr\xC3\xBC\xC3\x9F"
             "e \xE2\x82\xAC %d",
             7);
  PrefsInfo("Utilities", "File does not exist\n");
  PrefsError("Cat", "%s", std::string(3000, 'n').c_str());
  PrefsErrorW("Cat", "%s", std::string(3000, 'w').c_str());
  std::vector<std::string> lines = LogLines();
  ASSERT_EQ(7u, lines.size());
  std::regex layout(
      R"(^\d{1,2}/\d{1,2}/\d{4} \d{2}:\d{2}:\d{2} \[ERROR\] NVX - Failed to initialize crypt Engine$)");
  EXPECT_TRUE(std::regex_match(lines[2], layout)) << lines[2];
  EXPECT_NE(std::string::npos, lines[3].find("[WARN] Utilities - Gr\xC3\xBC\xC3\x9F"
                                             "e \xE2\x82\xAC 7"));
  // A message's own line break stays in front of the entry's CR LF.
  EXPECT_NE(std::string::npos, lines[4].find("[INFO] Utilities - File does not exist\n"));
  // Narrow entries are cut at 1023 bytes after the date and time, wide ones at 1023 units.
  EXPECT_EQ(1023u, lines[5].size() - lines[5].find("[ERROR]"));
  EXPECT_EQ(1023u, lines[6].size());
  std::string bytes = test::LogBytes();
  EXPECT_EQ(std::string("\r\0\n\0", 4), bytes.substr(bytes.size() - 4));
}

TEST_F(PrefsLogTest, MarkerFilesSwitchTraceAndDebugOn) {
  auto write_each = [] {
    PrefsTrace("T", "trace entry");
    PrefsDebug("T", "debug entry");
    PrefsDebugW("T", "wide debug entry");
    PrefsInfo("T", "info entry");
    PrefsWarn("T", "warn entry");
    PrefsFatalW("T", "wide fatal entry");
  };
  EXPECT_EQ(4, SetPrefsLogVerbosity());
  write_each();
  EXPECT_FALSE(LogContains("trace entry") || LogContains("debug entry"));
  for (const char* line :
       {"[INFO] T - info entry", "[WARN] T - warn entry", "[FATAL] T - wide fatal entry"}) {
    EXPECT_TRUE(LogContains(line)) << line;
  }
  Touch("qiv.debug");
  EXPECT_EQ(5, SetPrefsLogVerbosity());
  write_each();
  EXPECT_TRUE(LogContains("[DEBUG] T - debug entry") &&
              LogContains("[DEBUG] T - wide debug entry"));
  EXPECT_FALSE(LogContains("trace entry"));
  Touch("qiv.trace");  // wins over "qiv.debug"
  EXPECT_EQ(6, SetPrefsLogVerbosity());
  write_each();
  EXPECT_TRUE(LogContains("Logging Level verbosity Set  to 6"));
  EXPECT_TRUE(LogContains("[TRACE] T - trace entry"));
}

}  // namespace
}  // namespace corvel::prefs
