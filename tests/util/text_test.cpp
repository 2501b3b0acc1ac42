// Base64 (against OpenSSL), bounded text into caller buffers, and time stamps: each one table.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstdint>
#include <iomanip>
#include <sstream>

#include "cases.h"
#include "util/base64.h"
#include "util/bounded_text.h"
#include "util/time_stamp.h"

namespace corvel::util {
namespace {

std::string Base64(const std::string& bytes, bool null = false) {
  std::string out = "left over";
  EncodeBase64(null ? nullptr : reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
               out);
  return out;
}

// Every byte value at every position of a group, and each tail length, against OpenSSL.
TEST(Base64, AgreesWithOpenssl) {
  std::string all;
  for (int b = 0; b < 3 * 256; ++b) all += static_cast<char>(b + b / 256);
  for (const std::string& input : {std::string(), all, all + "\xff", all + "\xff\xff"}) {
    std::string expected(input.size() * 4 / 3 + 4, '\0');
    expected.resize(EVP_EncodeBlock(reinterpret_cast<unsigned char*>(expected.data()),
                                    reinterpret_cast<const unsigned char*>(input.data()),
                                    static_cast<int>(input.size())));
    EXPECT_EQ(Base64(input), expected) << input.size();
  }
  EXPECT_EQ(Base64("abc", true), "");  // no input: the output is emptied
}

TEST(BoundedText, CopyAppendAndFormat) {
  const auto cases = test::ReadCases(UTIL_TEST_DATA "/bounded_text.txt");
  EXPECT_EQ(cases.size(), 16u);
  for (const auto& c : cases) {
    ASSERT_EQ(c.size(), 7u);
    SCOPED_TRACE(c[0] + " " + c[2] + " " + c[3]);
    auto text = [](const std::string& field) {
      return field == "(null)" ? nullptr : field.c_str();
    };
    const char *start = text(c[1]), *source = text(c[2]);
    const size_t size = std::stoul(c[3]), count = c[4] == "max" ? SIZE_MAX : std::stoul(c[4]);
    char buffer[10];
    memset(buffer, 'x', sizeof buffer);
    ASSERT_TRUE(!start || CopyText(buffer, sizeof buffer, start, strlen(start) + 1));
    char* result = c[0] == "copy" ? CopyText(buffer, size, source, count)
                   : c[0] == "append"
                       ? AppendText(buffer, size, source, count)
                       : FormatText(buffer, size, "%s-%d", source, static_cast<int>(count));
    EXPECT_EQ(result, c[5] == "ok" ? buffer : nullptr);
    std::string bytes(buffer, sizeof buffer);
    for (char& b : bytes) b = b == '\0' ? '0' : b;
    EXPECT_EQ(bytes, c[6]);
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
  const auto cases = test::ReadCases(UTIL_TEST_DATA "/time_stamps.txt");
  EXPECT_EQ(cases.size(), 24u);
  for (const auto& c : cases) {
    ASSERT_EQ(c.size(), 3u);
    SCOPED_TRACE(c[1]);
    int64_t seconds = -1;
    if (c[0] == "offset") {
      FormatOffsetTimeStamp(calendar, std::stol(c[1]), text);
      EXPECT_EQ(text, "2012-03-04T05:06:07" + c[2]);
    } else {
      EXPECT_EQ(ParseTimeStamp(c[1], &seconds), c[2] != "refused");
      EXPECT_EQ(seconds, c[2] == "refused" ? -1 : std::stoll(c[2]));
    }
  }
  EXPECT_FALSE(ParseTimeStamp("2012-03-04T05:06:07Z", nullptr));
}

}  // namespace
}  // namespace corvel::util
