// Base64 (against OpenSSL), bounded text into caller buffers, and time stamps: each one table.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <climits>
#include <cstdint>
#include <iomanip>
#include <sstream>

#include "util/base64.h"
#include "util/bounded_text.h"
#include "util/time_stamp.h"

namespace corvel::util {
namespace {

// Every byte value at every position of a group, and each tail length, against OpenSSL.
TEST(Base64, AgreesWithOpenssl) {
  std::string all;
  for (int b = 0; b < 3 * 256; ++b) all += static_cast<char>(b + b / 256);
  for (const std::string& input : {std::string(), all, all + "\xff", all + "\xff\xff"}) {
    std::string expected(input.size() * 4 / 3 + 4, '\0');
    expected.resize(EVP_EncodeBlock(reinterpret_cast<unsigned char*>(expected.data()),
                                    reinterpret_cast<const unsigned char*>(input.data()),
                                    static_cast<int>(input.size())));
    std::string out = "left over";
    EncodeBase64(reinterpret_cast<const unsigned char*>(input.data()), input.size(), out);
    EXPECT_EQ(out, expected) << input.size();
  }
  std::string out = "left over";
  EncodeBase64(nullptr, 3, out);
  EXPECT_EQ(out, "");  // no input: the output is emptied
}

// The buffer's ten bytes after an operation on a buffer of 'x's ('0' for a zero byte, "" for
// an empty first byte only).
TEST(BoundedText, CopyAppendAndFormat) {
  enum Op { kCopy, kAppend, kFormat };
  const struct {
    Op op;
    const char* start;  // copied in first (nullptr: the buffer stays all 'x')
    const char* source;
    size_t size, count;
    bool ok;
    const char* bytes;
  } cases[] = {
      {kCopy, nullptr, "ab", 10, 5, true, "ab000xxxxx"},  // zero-filled to min(size, count)
      {kCopy, nullptr, "abc", 10, SIZE_MAX, true, "abc0000000"},
      {kCopy, nullptr, "abcdef", 10, 3, true, "abc0xxxxxx"},  // a prefix is only terminated
      {kCopy, nullptr, "123456789", 10, 9, true, "1234567890"},
      {kCopy, nullptr, "0123456789", 10, 10, false, "0xxxxxxxxx"},  // failures empty it
      {kCopy, nullptr, nullptr, 10, 3, false, "0xxxxxxxxx"},
      {kCopy, nullptr, "a", 0, 1, false, "xxxxxxxxxx"},
      {kAppend, "ab", "cdef", 10, 2, true, "abcd0xxxxx"},
      {kAppend, "abcd", "efghi", 10, SIZE_MAX, true, "abcdefghi0"},
      {kAppend, "abcdefghi", "j", 10, 1, false, "0bcdefghi0"},
      {kAppend, nullptr, "a", 10, 1, false, "0xxxxxxxxx"},  // no terminator within size
      {kAppend, "ab", nullptr, 10, 1, false, "0b0xxxxxxx"},
      {kAppend, "ab", "a", 0, 1, false, "ab0xxxxxxx"},
      {kFormat, nullptr, "abc", 10, 42, true, "abc-420xxx"},
      {kFormat, nullptr, "0123456789abc", 10, 42, true, "0123456780"},
      {kFormat, nullptr, "abc", 0, 42, false, "xxxxxxxxxx"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << c.op << " " << (c.source ? c.source : "(null)") << " " << c.size);
    char buffer[10];
    memset(buffer, 'x', sizeof buffer);
    ASSERT_TRUE(!c.start || CopyText(buffer, sizeof buffer, c.start, strlen(c.start) + 1));
    char* result = c.op == kCopy ? CopyText(buffer, c.size, c.source, c.count)
                   : c.op == kAppend
                       ? AppendText(buffer, c.size, c.source, c.count)
                       : FormatText(buffer, c.size, "%s-%d", c.source, static_cast<int>(c.count));
    EXPECT_EQ(result, c.ok ? buffer : nullptr);
    std::string bytes(buffer, sizeof buffer);
    for (char& b : bytes) b = b == '\0' ? '0' : b;
    EXPECT_EQ(bytes, c.bytes);
  }
  EXPECT_FALSE(CopyText(nullptr, 10, "a", 1) || AppendText(nullptr, 4, "a", 1) ||
               FormatText(nullptr, 10, "%d", 1));
}

TEST(TimeStamp, FormatParseAndRoundTrip) {
  struct tm calendar {};
  std::istringstream("2012-03-04 05:06:07") >> std::get_time(&calendar, "%Y-%m-%d %H:%M:%S");
  std::string text = "stale";
  FormatUtcTimeStamp(calendar, text);
  EXPECT_EQ(text, "2012-03-04T05:06:07Z");
  // Offsets fold into half a day either way; leftover seconds are dropped; whole days more or
  // less end where the loop of single days would (LONG_MAX: 55807 s past whole days).
  // clang-format off
  const struct {
    long offset;
    const char* zone;
  } offsets[] = {
      {0, "+00:00"}, {19800, "+05:30"}, {-18000, "-05:00"}, {-59, "-00:00"}, {90000, "+01:00"},
      {-90000, "-01:00"}, {43200, "+12:00"}, {-43200, "-12:00"}, {43201, "-11:59"},
      {-43201, "+11:59"}, {43200 + 86400, "+12:00"}, {-43200 - 86400, "-12:00"},
      {LONG_MAX, "-08:29"}, {LONG_MIN, "+08:29"}};
  // clang-format on
  for (const auto& o : offsets) {
    FormatOffsetTimeStamp(calendar, o.offset, text);
    EXPECT_EQ(text, std::string("2012-03-04T05:06:07") + o.zone) << o.offset;
  }
  // clang-format off
  const struct {
    const char* text;
    int64_t seconds;  // -1: refused, the output untouched
  } parses[] = {
      {"2012-03-04T05:06:07Z", 1330837567}, {"2012-03-04T10:36:07+05:30", 1330837567},
      {"2012-03-04T00:06:07-05:00", 1330837567}, {"1970-01-01T00:00:00Z", 0},
      {"3000-12-31T23:59:59Z", 32535215999}, {"2012-03-04 05:06:07", -1}, {"2012-03-04", -1},
      {"1969-12-31T23:59:59Z", -1}, {"3001-01-01T00:00:00Z", -1},
      {"9999-12-31T23:59:59+01:00", -1}};
  // clang-format on
  for (const auto& p : parses) {
    int64_t seconds = -1;
    EXPECT_EQ(ParseTimeStamp(p.text, &seconds), p.seconds >= 0) << p.text;
    EXPECT_EQ(seconds, p.seconds) << p.text;
  }
  EXPECT_FALSE(ParseTimeStamp("2012-03-04T05:06:07Z", nullptr));
}

}  // namespace
}  // namespace corvel::util
