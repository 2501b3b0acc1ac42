// The file logger and the logging service of the services library.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <regex>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "test_support.h"
#include "zep_test_util.h"

namespace corvel::zeptest {
namespace {

void Log(ZEPHandle service, const char* component, int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  C_ZEPLogv(service, component, level, ZEP_LOG_PATTERN_NONE, format, args);
  va_end(args);
}

std::vector<std::string> Lines(const std::string& path) {
  std::vector<std::string> lines;
  std::string text = test::ReadWholeFile(path).value_or("");
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  if (start < text.size()) lines.push_back(text.substr(start) + "<unterminated>");
  return lines;
}

// The part of a line after its time stamp and process id.
std::string Body(const std::string& line) {
  static const std::regex kHead(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} (\d+) (.*)$)");
  std::smatch match;
  if (!std::regex_match(line, match, kHead)) return "<bad line: " + line + ">";
  if (std::stoi(match[1]) != getpid()) return "<wrong pid: " + line + ">";
  return match[2];
}

std::vector<std::string> Bodies(const std::string& path) {
  std::vector<std::string> bodies;
  for (const std::string& line : Lines(path)) bodies.push_back(Body(line));
  return bodies;
}

// A logging service with one file logger attached (the logger handle already given back).
struct Session {
  explicit Session(const std::string& path, uint32_t max_size = 0)
      : service(C_ZEPLoggingServiceCreateWithID(0)) {
    Handle logger(C_ZEPLoggerCreateFileLoggerWithPathAndSize(path.c_str(), max_size));
    created = logger && service;
    C_ZEPLoggingServiceAddLogger(service.get(), logger.get());
  }
  ~Session() { C_ZEPLoggingServiceCleanUpResource(service.get()); }
  Handle service;
  bool created = false;
};

TEST(Logger, WritesOneFlushedLinePerCallWithLevelAndComponent) {
  test::ScratchFolder scratch;
  std::string path = scratch.Path("svc.log");
  Session session(path);
  ASSERT_TRUE(session.created);
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);  // created with the logger
  EXPECT_EQ(info.st_mode & 0777, 0644u);
  Log(session.service.get(), "TAVLib", 4, "Version %s\n", "3.0.0.10,3.0");
  // Readable at once, while the service lives.
  EXPECT_EQ(Bodies(path), std::vector<std::string>{"informational TAVLib: Version 3.0.0.10,3.0"});
  for (int level = 0; level <= 6; ++level)
    Log(session.service.get(), "L", level, "level %d", level);
  Log(session.service.get(), "Multi", 2, "one\ntwo\r\nthree\n\n");
  Log(session.service.get(), nullptr, 4, "no component");
  EXPECT_EQ(Bodies(path), (std::vector<std::string>{
                              "informational TAVLib: Version 3.0.0.10,3.0", "critical L: level 1",
                              "error L: level 2", "warning L: level 3", "informational L: level 4",
                              "debug L: level 5", "unknown L: level 6",
                              "error Multi: one two  three", "informational : no component"}));
}

TEST(Logger, ObscuredFormatEncodesTheLineBody) {
  test::ScratchFolder scratch;
  platform::SetEnvironmentValue("ZEPLogFormat", "obscured");
  std::string path = scratch.Path("obscured.log");
  Session session(path);
  Log(session.service.get(), "TAVLib", 4, "secret %d", 42);
  std::vector<std::string> bodies = Bodies(path);
  ASSERT_EQ(bodies.size(), 1u);
  // base64 of "informational TAVLib: secret 42"
  EXPECT_EQ(bodies[0], "~aW5mb3JtYXRpb25hbCBUQVZMaWI6IHNlY3JldCA0Mg==");
  platform::SetEnvironmentValue("ZEPLogFormat", "clear");
  std::string clear_path = scratch.Path("clear.log");
  Session clear(clear_path);
  Log(clear.service.get(), "TAVLib", 4, "secret %d", 42);
  EXPECT_EQ(Bodies(clear_path), std::vector<std::string>{"informational TAVLib: secret 42"});
}

TEST(Logger, RotatesOnceKeepingTheFirstLine) {
  test::ScratchFolder scratch;
  std::string path = scratch.Path("rotating.log");
  Session session(path, 400);
  Log(session.service.get(), "TAVLib", 4, "__TAVLIB_LOG_FILE__");
  for (int i = 0; i < 12; ++i)
    Log(session.service.get(), "TAVLib", 4, "line %02d %s", i, "padding padding");
  std::vector<std::string> current = Bodies(path);
  std::vector<std::string> previous = Bodies(path + ".1");
  ASSERT_GE(current.size(), 2u);
  ASSERT_GE(previous.size(), 2u);
  EXPECT_EQ(current.front(), "informational TAVLib: __TAVLIB_LOG_FILE__");
  EXPECT_EQ(previous.front(), "informational TAVLib: __TAVLIB_LOG_FILE__");
  EXPECT_EQ(current.back(), "informational TAVLib: line 11 padding padding");
  EXPECT_LE(platform::FileSize(path), 400);
  EXPECT_LE(platform::FileSize(path + ".1"), 400);
  // Only one older file is kept, and no line is in both.
  EXPECT_FALSE(test::ReadWholeFile(path + ".2").has_value());
  EXPECT_EQ(Lines(path)[0], Lines(path + ".1")[0]);  // the identity line is carried as it was
  size_t total = current.size() + previous.size();
  EXPECT_LE(total, 12u + 1u + 2u);
}

TEST(Logger, NullServiceWritesThroughTheFirstLiveService) {
  test::ScratchFolder scratch;
  std::string first = scratch.Path("first.log");
  std::string second = scratch.Path("second.log");
  Log(nullptr, "Early", 4, "before any service");
  {
    Session one(first);
    Session two(second);
    Log(nullptr, "Later", 4, "no service given");
    Log(two.service.get(), "Own", 4, "the second service");
    C_ZEPLoggingServiceCleanUpResource(one.service.get());
    Log(nullptr, "Later", 4, "after the first was cleaned up");
    Log(one.service.get(), "Own", 4, "to a cleaned-up service");
  }
  Log(nullptr, "Late", 4, "after all services");
  EXPECT_EQ(Bodies(first), std::vector<std::string>{"informational Later: no service given"});
  EXPECT_EQ(Bodies(second),
            (std::vector<std::string>{"informational Own: the second service",
                                      "informational Later: after the first was cleaned up"}));
}

TEST(Logger, KeepsAppendingToAnExistingFile) {
  test::ScratchFolder scratch;
  std::string path = scratch.Path("kept.log");
  ASSERT_TRUE(test::WriteWholeFile(path, "old first line\n"));
  {
    Session session(path);
    Log(session.service.get(), "TAVLib", 4, "appended");
  }
  std::vector<std::string> lines = Lines(path);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "old first line");
  EXPECT_EQ(Body(lines[1]), "informational TAVLib: appended");
}

}  // namespace
}  // namespace corvel::zeptest
