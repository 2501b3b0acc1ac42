// Several processes creating and appending to the preferences log at the same time.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>
#include <map>
#include <regex>

#include "prefs/prefs_log.h"
#include "prefs_test_helpers.h"
#include "test_support.h"

namespace corvel::prefs {
namespace {

constexpr int kWriters = 6;
constexpr int kEntries = 400;

TEST(PrefsLogConcurrency, ProcessesAppendingAtOnceLeaveWholeLinesOnly) {
  corvel::test::ScratchFolder scratch;
  // The children wait on a pipe so that they start together on a log that does not exist
  // yet: creating it races too. Entries vary in length up to about 900 characters.
  int gate[2];
  ASSERT_EQ(0, pipe(gate));
  std::vector<pid_t> children;
  for (int writer = 0; writer < kWriters; ++writer) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(gate[1]);
      char byte;
      if (read(gate[0], &byte, 1) != 0) _exit(2);
      SetPrefsLogVerbosity();
      for (int entry = 0; entry < kEntries; ++entry) {
        std::string filler(static_cast<size_t>(entry * 37 % 900), static_cast<char>('a' + writer));
        PrefsError("Load", "writer %d entry %d [%s] end", writer, entry, filler.c_str());
      }
      _exit(0);
    }
    children.push_back(child);
  }
  close(gate[0]);
  close(gate[1]);
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }

  EXPECT_EQ("\xFF\xFE", test::LogBytes().substr(0, 2));
  std::vector<std::string> lines = test::LogLines();
  ASSERT_EQ(static_cast<size_t>(kWriters * (kEntries + 2)), lines.size());
  std::regex entry(
      R"(^\d+/\d+/\d{4} \d\d:\d\d:\d\d \[ERROR\] Load - writer (\d) entry (\d+) \[([a-z]*)\] end$)");
  std::regex banner(
      R"(^\d+/\d+/\d{4} \d\d:\d\d:\d\d \[INFO\] NVX - (Build Version - 3\.0\.34\.0|Logging Level verbosity Set  to 4)$)");
  std::map<int, int> next;
  for (const std::string& line : lines) {
    std::smatch match;
    if (std::regex_match(line, banner)) continue;
    ASSERT_TRUE(std::regex_match(line, match, entry)) << line.substr(0, 200);
    int writer = std::stoi(match[1]);
    int number = std::stoi(match[2]);
    ASSERT_EQ(next[writer]++, number) << "a writer's entries stay whole and in order";
    EXPECT_EQ(std::string(static_cast<size_t>(number * 37 % 900), static_cast<char>('a' + writer)),
              match[3]);
  }
  for (int writer = 0; writer < kWriters; ++writer) EXPECT_EQ(kEntries, next[writer]);
}

}  // namespace
}  // namespace corvel::prefs
