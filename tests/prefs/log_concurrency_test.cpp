// Several processes creating and appending to the preferences log at the same time.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <regex>
#include <thread>

#include "prefs/prefs_log.h"
#include "prefs_test_helpers.h"

namespace corvel::prefs {
namespace {

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

TEST(PrefsLogConcurrency, ProcessesAppendingAtOnceLeaveWholeLinesOnly) {
  corvel::test::ScratchFolder scratch;
  const std::string gate = scratch.Path("gate");
  std::vector<int> children;
  for (int writer = 0; writer < kWriters; ++writer)
    children.push_back(corvel::test::StartChild("AppendEntries", {std::to_string(writer), gate}));
  ASSERT_TRUE(corvel::test::WriteWholeFile(gate, ""));
  for (int child : children) EXPECT_EQ(0, corvel::test::WaitForChild(child));

  EXPECT_EQ("\xFF\xFE", test::LogBytes().substr(0, 2));
  const std::vector<std::string> lines = test::LogLines();
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
