// The preferences log: a UTF-16 file with a byte-order mark, its line layout, the level
// switches, and several processes appending to it at once.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <regex>
#include <thread>

#include "platform/platform.h"
#include "prefs/prefs_log.h"
#include "test_support.h"
#include "util/utf_convert.h"

namespace corvel::prefs {
namespace {

std::string LogBytes() {
  return corvel::test::ReadWholeFile(platform::TempFolder() + "/Velmo.log").value_or("");
}

// The log's lines: after the FF FE mark, split at CR LF, converted to UTF-8.
std::vector<std::string> LogLines() {
  const std::string bytes = LogBytes();
  std::u16string text;
  for (size_t i = 2; i + 1 < bytes.size() && bytes.compare(0, 2, "\xFF\xFE") == 0; i += 2) {
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                         (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  std::vector<std::string> lines;
  for (size_t start = 0; start < text.size();) {
    const size_t end = std::min(text.find(u"\r\n", start), text.size());
    lines.push_back(util::ConvertUtf16ToUtf8(text.substr(start, end - start), true));
    start = end + 2;
  }
  return lines;
}

class PrefsLogTest : public ::testing::Test {
 protected:
  void TearDown() override { ClosePrefsLog(); }
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
  EXPECT_EQ(std::string::npos, LogBytes().find("\xFF\xFE", 2));  // no second mark
  const std::vector<std::string> lines = LogLines();
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
  const std::vector<std::string> lines = LogLines();
  ASSERT_EQ(7u, lines.size());
  const std::regex layout(
      R"(^\d{1,2}/\d{1,2}/\d{4} \d{2}:\d{2}:\d{2} \[ERROR\] NVX - Failed to initialize crypt Engine$)");
  EXPECT_TRUE(std::regex_match(lines[2], layout)) << lines[2];
  EXPECT_NE(std::string::npos, lines[3].find("[WARN] Utilities - Gr\xC3\xBC\xC3\x9F"
                                             "e \xE2\x82\xAC 7"));
  // A message's own line break stays in front of the entry's CR LF.
  EXPECT_NE(std::string::npos, lines[4].find("[INFO] Utilities - File does not exist\n"));
  // Narrow entries are cut at 1023 bytes after the date and time, wide ones at 1023 units.
  EXPECT_EQ(1023u, lines[5].size() - lines[5].find("[ERROR]"));
  EXPECT_EQ(1023u, lines[6].size());
  EXPECT_EQ(std::string("\r\0\n\0", 4), LogBytes().substr(LogBytes().size() - 4));
}

TEST_F(PrefsLogTest, MarkerFilesSwitchTraceAndDebugOn) {
  const struct {
    const char* marker;  // created before the verbosity is set
    int verbosity;
    const char* expected;  // the entries written, as their levels' initials
  } cases[] = {{nullptr, 4, "IWF"}, {"qiv.debug", 5, "DDIWF"}, {"qiv.trace", 6, "TDDIWF"}};
  for (const auto& c : cases) {
    if (c.marker) {
      ASSERT_TRUE(corvel::test::WriteWholeFile(scratch_.temp() + "/" + c.marker, ""));
    }
    EXPECT_EQ(c.verbosity, SetPrefsLogVerbosity());
    const size_t start = LogLines().size();
    PrefsTrace("T", "entry");
    PrefsDebug("T", "entry");
    PrefsDebugW("T", "entry");
    PrefsInfo("T", "entry");
    PrefsWarn("T", "entry");
    PrefsFatalW("T", "entry");
    const std::vector<std::string> lines = LogLines();
    std::string written;
    for (size_t i = start; i < lines.size(); ++i)
      written += lines[i].substr(lines[i].find('[') + 1, 1);
    EXPECT_EQ(c.expected, written);
  }
}

constexpr int kWriters = 6;
constexpr int kEntries = 400;

std::string Filler(int writer, int entry) {
  return std::string(static_cast<size_t>(entry * 37 % 900), static_cast<char>('a' + writer));
}

// Waits for the gate file (so that every writer starts on a log that does not exist yet:
// creating it races too), then writes entries of up to about 900 characters.
CORVEL_TEST_CHILD(AppendEntries) {
  for (int wait = 0; !std::filesystem::exists(args.at(1)); ++wait) {
    if (wait > 60000) return 2;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const int writer = std::stoi(args.at(0));
  SetPrefsLogVerbosity();
  for (int entry = 0; entry < kEntries; ++entry)
    PrefsError("Load", "writer %d entry %d [%s] end", writer, entry, Filler(writer, entry).c_str());
  return 0;
}

TEST_F(PrefsLogTest, ProcessesAppendingAtOnceLeaveWholeLinesOnly) {
  const std::string gate = scratch_.Path("gate");
  std::vector<int> children;
  for (int writer = 0; writer < kWriters; ++writer)
    children.push_back(corvel::test::StartChild("AppendEntries", {std::to_string(writer), gate}));
  ASSERT_TRUE(corvel::test::WriteWholeFile(gate, ""));
  for (int child : children) EXPECT_EQ(0, corvel::test::WaitForChild(child));

  const std::vector<std::string> lines = LogLines();
  ASSERT_EQ(static_cast<size_t>(kWriters * (kEntries + 2)), lines.size());
  const std::regex entry(
      R"(^\d+/\d+/\d{4} \d\d:\d\d:\d\d \[ERROR\] Load - writer (\d) entry (\d+) \[([a-z]*)\] end$)");
  const std::regex banner(
      R"(^\d+/\d+/\d{4} \d\d:\d\d:\d\d \[INFO\] NVX - (Build Version - 3\.0\.34\.0|Logging Level verbosity Set  to 4)$)");
  std::map<int, int> next;
  for (const std::string& line : lines) {
    std::smatch match;
    if (std::regex_match(line, banner)) continue;
    ASSERT_TRUE(std::regex_match(line, match, entry)) << line.substr(0, 200);
    const int writer = std::stoi(match[1]);
    const int number = std::stoi(match[2]);
    ASSERT_EQ(next[writer]++, number) << "a writer's entries stay whole and in order";
    EXPECT_EQ(Filler(writer, number), match[3]);
  }
  for (int writer = 0; writer < kWriters; ++writer) EXPECT_EQ(kEntries, next[writer]);
}

}  // namespace
}  // namespace corvel::prefs
