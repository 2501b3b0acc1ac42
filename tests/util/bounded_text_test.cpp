#include "util/bounded_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace corvel::util {
namespace {

class BoundedText : public ::testing::Test {
 protected:
  void SetUp() override { memset(buffer, 'x', sizeof(buffer)); }
  // The bytes of the buffer as text, zero bytes shown as '0'.
  std::string Bytes() const {
    std::string text(buffer, sizeof(buffer));
    for (char& c : text) c = c == '\0' ? '0' : c;
    return text;
  }
  char buffer[10];
};

TEST_F(BoundedText, CopyZeroFillsUpToTheSmallerOfSizeAndCount) {
  EXPECT_EQ(CopyText(buffer, sizeof(buffer), "ab", 5), buffer);
  EXPECT_EQ(Bytes(), "ab000xxxxx");
  EXPECT_EQ(CopyText(buffer, sizeof(buffer), "abc", SIZE_MAX), buffer);
  EXPECT_EQ(Bytes(), "abc0000000");
}

TEST_F(BoundedText, CopyOfAPrefixOnlyTerminates) {
  EXPECT_EQ(CopyText(buffer, sizeof(buffer), "abcdef", 3), buffer);
  EXPECT_EQ(Bytes(), "abc0xxxxxx");
  EXPECT_EQ(CopyText(buffer, sizeof(buffer), "123456789", 9), buffer);
  EXPECT_STREQ(buffer, "123456789");
}

TEST_F(BoundedText, CopyFailuresEmptyTheDestination) {
  EXPECT_EQ(CopyText(buffer, sizeof(buffer), "0123456789", 10), nullptr);
  EXPECT_EQ(Bytes(), "0xxxxxxxxx");
  memset(buffer, 'x', sizeof(buffer));
  EXPECT_EQ(CopyText(buffer, sizeof(buffer), nullptr, 3), nullptr);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(CopyText(nullptr, 10, "a", 1), nullptr);
  memset(buffer, 'x', sizeof(buffer));
  EXPECT_EQ(CopyText(buffer, 0, "a", 1), nullptr);
  EXPECT_EQ(Bytes(), "xxxxxxxxxx");
}

TEST_F(BoundedText, Append) {
  ASSERT_EQ(CopyText(buffer, sizeof(buffer), "ab", 2), buffer);
  EXPECT_EQ(AppendText(buffer, sizeof(buffer), "cdef", 2), buffer);
  EXPECT_EQ(Bytes(), "abcd0xxxxx");
  EXPECT_EQ(AppendText(buffer, sizeof(buffer), "efghi", SIZE_MAX), buffer);
  EXPECT_STREQ(buffer, "abcdefghi");
  EXPECT_EQ(AppendText(buffer, sizeof(buffer), "j", 1), nullptr);
  EXPECT_EQ(buffer[0], '\0');
}

TEST_F(BoundedText, AppendFailures) {
  EXPECT_EQ(AppendText(buffer, sizeof(buffer), "a", 1), nullptr);  // no terminator within size
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(AppendText(buffer, sizeof(buffer), nullptr, 1), nullptr);
  EXPECT_EQ(AppendText(nullptr, 4, "a", 1), nullptr);
  EXPECT_EQ(AppendText(buffer, 0, "a", 1), nullptr);
}

TEST_F(BoundedText, FormatTruncatesAndTerminates) {
  EXPECT_EQ(FormatText(buffer, sizeof(buffer), "%s-%d", "abc", 42), buffer);
  EXPECT_STREQ(buffer, "abc-42");
  EXPECT_EQ(FormatText(buffer, sizeof(buffer), "%s", "0123456789abc"), buffer);
  EXPECT_STREQ(buffer, "012345678");
  EXPECT_EQ(FormatText(buffer, 1, "%s", "abc"), buffer);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(FormatText(nullptr, 10, "%d", 1), nullptr);
  EXPECT_EQ(FormatText(buffer, 0, "%d", 1), nullptr);
}

}  // namespace
}  // namespace corvel::util
