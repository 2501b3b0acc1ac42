#include "util/time_stamp.h"

#include <gtest/gtest.h>

#include <climits>

namespace corvel::util {
namespace {

struct tm Calendar(int year, int month, int day, int hours, int minutes, int seconds) {
  struct tm calendar {};
  calendar.tm_year = year - 1900;
  calendar.tm_mon = month - 1;
  calendar.tm_mday = day;
  calendar.tm_hour = hours;
  calendar.tm_min = minutes;
  calendar.tm_sec = seconds;
  return calendar;
}

std::string WithOffset(long offset) {
  std::string out;
  FormatOffsetTimeStamp(Calendar(2012, 3, 4, 5, 6, 7), offset, out);
  return out;
}

TEST(TimeStamp, FormatsUtc) {
  std::string out = "stale";
  FormatUtcTimeStamp(Calendar(2012, 3, 4, 5, 6, 7), out);
  EXPECT_EQ(out, "2012-03-04T05:06:07Z");
  FormatUtcTimeStamp(Calendar(1999, 12, 31, 23, 59, 59), out);
  EXPECT_EQ(out, "1999-12-31T23:59:59Z");
}

TEST(TimeStamp, FormatsAndNormalisesOffsets) {
  EXPECT_EQ(WithOffset(0), "2012-03-04T05:06:07+00:00");
  EXPECT_EQ(WithOffset(19800), "2012-03-04T05:06:07+05:30");
  EXPECT_EQ(WithOffset(-18000), "2012-03-04T05:06:07-05:00");
  EXPECT_EQ(WithOffset(90000), "2012-03-04T05:06:07+01:00");
  EXPECT_EQ(WithOffset(-90000), "2012-03-04T05:06:07-01:00");
  EXPECT_EQ(WithOffset(43200), "2012-03-04T05:06:07+12:00");
  EXPECT_EQ(WithOffset(-43200), "2012-03-04T05:06:07-12:00");
  // One second past half a day wraps to the other side; leftover seconds are dropped.
  EXPECT_EQ(WithOffset(43201), "2012-03-04T05:06:07-11:59");
  EXPECT_EQ(WithOffset(-43201), "2012-03-04T05:06:07+11:59");
  EXPECT_EQ(WithOffset(19859), "2012-03-04T05:06:07+05:30");
  EXPECT_EQ(WithOffset(-59), "2012-03-04T05:06:07-00:00");
  // Whole days more or less end where the loop of single days would end.
  EXPECT_EQ(WithOffset(43200 + 86400), "2012-03-04T05:06:07+12:00");
  EXPECT_EQ(WithOffset(-43200 - 86400), "2012-03-04T05:06:07-12:00");
  EXPECT_EQ(WithOffset(3600 + 86400L * 100000), "2012-03-04T05:06:07+01:00");
  // LONG_MAX = 106751991167300 days + 55807 s; 55807 - 86400 = -30593 s = -8:29:53.
  EXPECT_EQ(WithOffset(LONG_MAX), "2012-03-04T05:06:07-08:29");
  EXPECT_EQ(WithOffset(LONG_MIN), "2012-03-04T05:06:07+08:29");
}

TEST(TimeStamp, ParsesBothForms) {
  int64_t seconds = 0;
  ASSERT_TRUE(ParseTimeStamp("2012-03-04T05:06:07Z", &seconds));
  EXPECT_EQ(seconds, 1330837567);
  seconds = 0;
  ASSERT_TRUE(ParseTimeStamp("2012-03-04T10:36:07+05:30", &seconds));
  EXPECT_EQ(seconds, 1330837567);
  seconds = 0;
  ASSERT_TRUE(ParseTimeStamp("2012-03-04T00:06:07-05:00", &seconds));
  EXPECT_EQ(seconds, 1330837567);
  ASSERT_TRUE(ParseTimeStamp("1970-01-01T00:00:00Z", &seconds));
  EXPECT_EQ(seconds, 0);
  ASSERT_TRUE(ParseTimeStamp("3000-12-31T23:59:59Z", &seconds));
  EXPECT_EQ(seconds, 32535215999);
}

TEST(TimeStamp, ParseFailures) {
  int64_t seconds = 12345;
  for (const char* text :
       {"2012-03-04 05:06:07", "", "garbage", "2012-03-04", "T05:06:07Z", "1969-12-31T23:59:59Z",
        "1900-01-01T00:00:00Z", "3001-01-01T00:00:00Z", "9999-12-31T23:59:59+01:00"}) {
    EXPECT_FALSE(ParseTimeStamp(text, &seconds)) << text;
  }
  EXPECT_EQ(seconds, 12345);
  EXPECT_FALSE(ParseTimeStamp("2012-03-04T05:06:07Z", nullptr));
}

TEST(TimeStamp, FormattedStampsParseBack) {
  const struct tm calendar = Calendar(2031, 7, 15, 22, 45, 1);
  std::string text;
  FormatUtcTimeStamp(calendar, text);
  int64_t utc = 0;
  ASSERT_TRUE(ParseTimeStamp(text, &utc));
  for (long offset : {-43200L, -34200L, -1L, 0L, 3600L, 20700L, 43200L}) {
    FormatOffsetTimeStamp(calendar, offset, text);
    int64_t seconds = 0;
    ASSERT_TRUE(ParseTimeStamp(text, &seconds)) << text;
    // The same wall-clock reading at an offset east of UTC is an earlier instant.
    EXPECT_EQ(seconds, utc - offset / 60 * 60) << text;
  }
}

}  // namespace
}  // namespace corvel::util
