// Several processes creating and appending to the preferences log at the same time.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <sys/wait.h>
#include <unistd.h>

#include "prefs/prefs_log.h"
#include "prefs_test_helpers.h"
#include "test_support.h"

namespace corvel::prefs {
namespace {

constexpr int kWriters = 6;
constexpr int kEntriesPerWriter = 400;

TEST(PrefsLogConcurrency, ProcessesAppendingAtOnceLeaveWholeLinesOnly) {
  corvel::test::ScratchFolder scratch;
  // A pipe that the children wait on, so they all start together on a log that does not
  // exist yet: creating it races too.
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
      // Entries of different lengths, some larger than a stdio buffer's worth of small ones.
      for (int entry = 0; entry < kEntriesPerWriter; ++entry) {
        std::string filler(static_cast<size_t>((entry * 37) % 900), static_cast<char>('a' + writer));
        PrefsError("Load", "writer %d entry %d [%s] end", writer, entry, filler.c_str());
      }
      ClosePrefsLog();
      _exit(0);
    }
    children.push_back(child);
  }
  close(gate[0]);
  close(gate[1]);  // releases every child at once
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
  }

  std::string bytes = test::LogBytes();
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ("\xFF\xFE", bytes.substr(0, 2));
  std::vector<std::string> lines = test::LogLines();
  ASSERT_EQ(static_cast<size_t>(kWriters * (kEntriesPerWriter + 2)), lines.size());
  std::regex entry(R"(^\d{1,2}/\d{1,2}/\d{4} \d{2}:\d{2}:\d{2} \[ERROR\] Load - writer (\d) entry (\d+) \[([a-z]*)\] end$)");
  std::regex banner(R"(^\d{1,2}/\d{1,2}/\d{4} \d{2}:\d{2}:\d{2} \[INFO\] NVX - (Build Version - 3\.0\.34\.0|Logging Level verbosity Set  to 4)$)");
  std::map<int, int> next_entry;
  for (const std::string& line : lines) {
    std::smatch match;
    if (std::regex_match(line, banner)) continue;
    ASSERT_TRUE(std::regex_match(line, match, entry)) << line.substr(0, 200);
    int writer = std::stoi(match[1]);
    int number = std::stoi(match[2]);
    EXPECT_EQ(next_entry[writer], number) << "entries of one writer stay in order";
    next_entry[writer] = number + 1;
    EXPECT_EQ(static_cast<size_t>((number * 37) % 900), match[3].length());
    EXPECT_EQ(std::string::npos, match[3].str().find_first_not_of(static_cast<char>('a' + writer)));
  }
  for (int writer = 0; writer < kWriters; ++writer) EXPECT_EQ(kEntriesPerWriter, next_entry[writer]);
}

}  // namespace
}  // namespace corvel::prefs
