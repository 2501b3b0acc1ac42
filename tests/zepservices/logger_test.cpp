// The file logger and the logging service of the services library: whole lines appended to
// the file, obscured or not, and the rotation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdarg>
#include <regex>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "test_support.h"
#include "zepservices.h"

namespace corvel::zeptest {
namespace {

using Lines = std::vector<std::string>;

// A logging service with one file logger attached (the logger handle already given back).
struct Session {
  explicit Session(const std::string& path, uint32_t max_size = 0)
      : service(C_ZEPLoggingServiceCreateWithID(0)) {
    ZEPHandle logger = C_ZEPLoggerCreateFileLoggerWithPathAndSize(path.c_str(), max_size);
    C_ZEPLoggingServiceAddLogger(service, logger);
    C_ZEPRelease(logger);
  }
  ~Session() {
    C_ZEPLoggingServiceCleanUpResource(service);
    C_ZEPRelease(service);
  }
  void Log(const char* component, int level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    C_ZEPLogv(service, component, level, ZEP_LOG_PATTERN_NONE, format, args);
    va_end(args);
  }
  ZEPHandle service;
};

// The lines of the file with their time stamp and process id taken off; a line of another
// shape, or one left unterminated, shows as it is.
Lines Bodies(const std::string& path) {
  static const std::regex kHead(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} (\d+) (.*)\n)");
  const std::string text = test::ReadWholeFile(path).value_or("");
  Lines bodies;
  for (size_t start = 0, end; start < text.size(); start = end) {
    const size_t newline = text.find('\n', start);
    end = newline == std::string::npos ? text.size() : newline + 1;
    const std::string line = text.substr(start, end - start);
    std::smatch match;
    const bool ours =
        std::regex_match(line, match, kHead) && std::stoi(match[1]) == platform::ProcessId();
    bodies.push_back(ours ? match[2].str() : "<" + line + ">");
  }
  return bodies;
}

TEST(Logger, AppendsOneWholeLinePerCallWithLevelAndComponent) {
  test::ScratchFolder scratch;
  const std::string path = scratch.Path("svc.log");
  {
    Session session(path);
    session.Log("TAVLib", 4, "Version %s\n", "3.0.0.10,3.0");
    // Readable at once, while the service lives.
    EXPECT_EQ(Bodies(path), Lines{"informational TAVLib: Version 3.0.0.10,3.0"});
    for (int level = 0; level <= 6; ++level) session.Log("L", level, "level %d", level);
    session.Log("Multi", 2, "one\ntwo\r\nthree\n\n");
    session.Log(nullptr, 4, "no component");
  }
  Session(path).Log("Again", 4, "appended to the file as it was");
  EXPECT_EQ(Bodies(path),
            (Lines{"informational TAVLib: Version 3.0.0.10,3.0", "critical L: level 1",
                   "error L: level 2", "warning L: level 3", "informational L: level 4",
                   "debug L: level 5", "unknown L: level 6", "error Multi: one two  three",
                   "informational : no component",
                   "informational Again: appended to the file as it was"}));

  // An obscured logger writes the base64 of the line's body.
  corvel::test::SetVariable("ZEPLogFormat", "obscured");
  Session(scratch.Path("obscured.log")).Log("TAVLib", 4, "secret %d", 42);
  corvel::test::SetVariable("ZEPLogFormat", std::nullopt);
  EXPECT_EQ(
      Bodies(scratch.Path("obscured.log")),
      Lines{"~aW5mb3JtYXRpb25hbCBUQVZMaWI6IHNlY3JldCA0Mg=="});  // "informational TAVLib: secret 42"
}

TEST(Logger, RotatesOnceKeepingTheFirstLine) {
  test::ScratchFolder scratch;
  const std::string path = scratch.Path("rotating.log");
  {
    Session session(path, 400);
    session.Log("TAVLib", 4, "__TAVLIB_LOG_FILE__");
    for (int i = 0; i < 12; ++i) session.Log("TAVLib", 4, "line %02d %s", i, "padding padding");
  }
  const Lines current = Bodies(path), previous = Bodies(path + ".1");
  ASSERT_GE(std::min(current.size(), previous.size()), 2u);
  EXPECT_EQ(current.back(), "informational TAVLib: line 11 padding padding");
  // The identity line, the older file's first, is carried as it was; only one older file is
  // kept, no line is in both.
  const std::string first = *test::ReadWholeFile(path), older = *test::ReadWholeFile(path + ".1");
  EXPECT_EQ(first.substr(0, first.find('\n')), older.substr(0, older.find('\n')));
  EXPECT_LE(std::max(first.size(), older.size()), 400u);
  EXPECT_FALSE(test::ReadWholeFile(path + ".2").has_value());
  EXPECT_LE(current.size() + previous.size(), 12u + 1u + 2u);
}

}  // namespace
}  // namespace corvel::zeptest
