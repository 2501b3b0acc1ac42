// The preferences log: a UTF-16 file with a byte-order mark, its line layout, the level
// switches, and several processes appending to it at once.
#include <gtest/gtest.h>

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

std::vector<std::string> Split(const std::string& text, const std::string& end) {
  std::vector<std::string> lines;
  for (size_t start = 0; start < text.size();) {
    const size_t stop = std::min(text.find(end, start), text.size());
    lines.push_back(text.substr(start, stop - start));
    start = stop + end.size();
  }
  return lines;
}

// The log's lines: after the FF FE mark, converted to UTF-8, split at CR LF.
std::vector<std::string> LogLines() {
  const std::string bytes = LogBytes();
  std::u16string text;
  for (size_t i = 2; i + 1 < bytes.size() && bytes.rfind("\xFF\xFE", 0) == 0; i += 2) {
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                         (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  return Split(util::ConvertUtf16ToUtf8(text, true), "\r\n");
}

class PrefsLogTest : public ::testing::Test {
 protected:
  void TearDown() override { ClosePrefsLog(); }
  corvel::test::ScratchFolder scratch_;
};

// Every line against its pattern in velmo_log.txt.
TEST_F(PrefsLogTest, LinesKeepTheirLayoutLevelsAndLimitsAcrossReopens) {
  ASSERT_TRUE(std::filesystem::remove(scratch_.temp()));  // a missing temporary folder is created
  OpenPrefsLog();
  PrefsError("T", "too early");  // every level is off until the verbosity is set
  EXPECT_EQ(4, SetPrefsLogVerbosity());
  ClosePrefsLog();
  PrefsFatalW("T", "too late");  // a closed log comes back with every level off
  EXPECT_EQ(4, SetPrefsLogVerbosity());
  PrefsError("NVX", "Failed to initialize crypt Engine");
  PrefsWarnW("Utilities", "Gr\u00fc\u00dfe \u20ac %d", 7);
  PrefsInfo("Utilities", "File does not exist\n");           // kept in front of the entry's CR LF
  PrefsError("Cat", "%s", std::string(3000, 'n').c_str());   // cut at 1023 bytes after the time
  PrefsErrorW("Cat", "%s", std::string(3000, 'w').c_str());  // the whole line at 1023 units
  const char* markers[] = {"", "qiv.debug", "qiv.trace"};
  for (int verbosity = 4; verbosity <= 6; ++verbosity) {
    if (verbosity > 4) {
      ASSERT_TRUE(corvel::test::WriteWholeFile(scratch_.temp() + "/" + markers[verbosity - 4], ""));
      EXPECT_EQ(verbosity, SetPrefsLogVerbosity());
    }
    for (auto* write : {PrefsTrace, PrefsDebug, PrefsDebugW, PrefsInfo, PrefsWarn, PrefsFatalW})
      write("T", "entry");
  }
  const std::vector<std::string> lines = LogLines();
  const std::vector<std::string> expected =
      Split(corvel::test::ReadWholeFile(PREFS_TEST_DATA "/velmo_log.txt").value_or(""), "\n");
  ASSERT_EQ(expected.size(), lines.size());
  for (size_t i = 0; i < lines.size(); ++i)
    EXPECT_TRUE(std::regex_match(lines[i], std::regex(expected[i]))) << lines[i];
  EXPECT_EQ(std::string("\r\0\n\0", 4), LogBytes().substr(LogBytes().size() - 4));
#ifndef _WIN32
  EXPECT_EQ(std::filesystem::perms(0600),
            std::filesystem::status(scratch_.temp() + "/Velmo.log").permissions());
#endif
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
