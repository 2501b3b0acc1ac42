#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "test_support.h"
#include "util/file_utf8.h"

namespace corvel::util {
namespace {

namespace fs = std::filesystem;

// Every line ReadTextLine gives for `content` with a buffer of `size`, then its final result.
std::vector<std::string> Lines(const std::string& content, size_t size, int* last = nullptr) {
  FILE* stream = content.empty()
                     ? fopen("/dev/null", "rb")
                     : fmemopen(const_cast<char*>(content.data()), content.size(), "rb");
  if (!stream) {
    ADD_FAILURE() << "cannot open a stream on the content";
    return {};
  }
  std::vector<std::string> lines;
  std::vector<char> buffer(size, 'x');
  int kept;
  while ((kept = ReadTextLine(stream, buffer.data(), size)) >= 0) {
    EXPECT_EQ(static_cast<size_t>(kept), strlen(buffer.data()));
    lines.emplace_back(buffer.data());
  }
  if (last) *last = kept;
  EXPECT_EQ(buffer[0], '\0');
  fclose(stream);
  return lines;
}

using Text = std::vector<std::string>;

TEST(ReadTextLine, EndsLinesAtCrLfAndCrLf) {
  EXPECT_EQ(Lines("a\rb", 16), (Text{"a", "b"}));
  EXPECT_EQ(Lines("a\nb\r\nc\n", 16), (Text{"a", "b", "c"}));
  EXPECT_EQ(Lines("\r\n\n\r\r", 16), (Text{"", "", "", ""}));
  EXPECT_EQ(Lines("\n\r\nx\r", 16), (Text{"", "", "x"}));
  EXPECT_EQ(Lines("tab\there\r\n", 16), (Text{"tab\there"}));
}

TEST(ReadTextLine, EmptyStreamGivesMinusOne) {
  int last = 0;
  EXPECT_EQ(Lines("", 16, &last), Text{});
  EXPECT_EQ(last, -1);
}

TEST(ReadTextLine, LongLinesKeepSizeMinusOneAndDropTheRest) {
  EXPECT_EQ(Lines("abcdefg\r\nxy\nlonger\rz", 4), (Text{"abc", "xy", "lon", "z"}));
  EXPECT_EQ(Lines("abc\ndef", 1), (Text{"", ""}));
}

TEST(ReadTextLine, BadArguments) {
  char buffer[4] = "zz";
  EXPECT_EQ(ReadTextLine(nullptr, buffer, sizeof(buffer)), -1);
  EXPECT_EQ(buffer[0], '\0');
  FILE* stream = fopen("/dev/null", "rb");
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(ReadTextLine(stream, nullptr, 4), -1);
  EXPECT_EQ(ReadTextLine(stream, buffer, 0), -1);
  fclose(stream);
}

class CreateTempFileTest : public ::testing::Test {
 protected:
  test::ScratchFolder scratch;
};

TEST_F(CreateTempFileTest, MakesTheTemplateUniqueAndOpensForUpdate) {
  const std::string pattern = scratch.temp() + "/tavXXXXXX";
  std::string first = pattern;
  std::string second = pattern;
  FILE* stream = nullptr;
  FILE* other = nullptr;
  ASSERT_EQ(CreateTempFile(first.data(), &stream), first.data());
  ASSERT_EQ(CreateTempFile(second.data(), &other), second.data());
  ASSERT_NE(stream, nullptr);
  ASSERT_NE(other, nullptr);
  EXPECT_NE(first, pattern);
  EXPECT_NE(first, second);
  EXPECT_EQ(first.compare(0, pattern.size() - 6, pattern, 0, pattern.size() - 6), 0);

  struct stat st {};
  ASSERT_EQ(lstat(first.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_TRUE(fcntl(fileno(stream), F_GETFD) & FD_CLOEXEC);
  ASSERT_EQ(fputs("written", stream), 1);
  rewind(stream);
  char back[16] = {};
  EXPECT_EQ(fread(back, 1, sizeof(back), stream), 7u);
  EXPECT_STREQ(back, "written");
  fclose(stream);
  fclose(other);
  EXPECT_EQ(test::ReadWholeFile(first), "written");
}

TEST_F(CreateTempFileTest, FailuresLeaveTheTemplateAlone) {
  FILE* stream = reinterpret_cast<FILE*>(1);
  for (std::string bad : {scratch.temp() + "/no-pattern", scratch.Path("missing/tavXXXXXX"),
                          scratch.temp() + "/bad\xff"
                                           "XXXXXX",
                          scratch.temp() + "/" + std::string(1024, 'l') + "XXXXXX"}) {
    const std::string before = bad;
    EXPECT_EQ(CreateTempFile(bad.data(), &stream), nullptr) << before.substr(0, 60);
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(bad, before);
  }
  EXPECT_TRUE(fs::is_empty(scratch.temp()));
  char pattern[] = "tavXXXXXX";
  EXPECT_EQ(CreateTempFile(pattern, nullptr), nullptr);
  EXPECT_EQ(CreateTempFile(nullptr, &stream), nullptr);
}

}  // namespace
}  // namespace corvel::util
