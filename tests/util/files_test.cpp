// File access by UTF-8 path: the path check every call makes first (well-formed, at most 1023
// UTF-16 units), the temporary folder, and lines read from a stream.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "test_support.h"
#include "util/file_utf8.h"
#include "util/path_check.h"

namespace corvel::util {
namespace {

TEST(FileUtf8, PathsAreCheckedBeforeTheSystemIsAsked) {
  // Up to 1023 UTF-16 units fit the Windows form's buffer with the terminator; 1024 do not.
  for (const std::string piece : {"d", "\xe2\x82\xac", "\xf0\x9f\x98\x80"}) {  // 1/1/2 units
    const size_t units = piece.size() == 4 ? 2 : 1, count = (kPathBufferSize - 2) / units;
    std::string fits(kPathBufferSize - 1 - count * units, '/');
    for (size_t i = 0; i < count; ++i) fits += piece;
    EXPECT_TRUE(IsUsablePath(fits)) << piece;
    EXPECT_FALSE(IsUsablePath(fits + "a")) << piece;
  }
  // Each of these names exists here: only the checks keep them from being found or removed.
  test::ScratchFolder scratch;
  const std::string invalid = scratch.Path("bad\xff"), cut = scratch.Path("cut\xe2\x82");
  for (const char* path : {static_cast<const char*>(nullptr), "", invalid.c_str(), cut.c_str()}) {
    SCOPED_TRACE(path ? path : "(null)");
    ASSERT_TRUE(!path || !*path || test::WriteWholeFile(path, "keep"));
    EXPECT_FALSE(PathExistsUtf8(path));
    errno = 0;
    EXPECT_EQ(RemoveFileUtf8(path), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_TRUE(!path || !*path || std::filesystem::exists(path));
  }
}

TEST(FileUtf8, TemporaryFolderFromTheFirstVariableSet) {
  const struct {
    const char *tmpdir, *temp, *tmp, *folder;  // nullptr: unset; folder nullptr: failure
  } cases[] = {{"/from/tmpdir/", "/from/temp", "/from/tmp", "/from/tmpdir"},
               {"/two//", nullptr, nullptr, "/two/"},  // only one trailing separator goes
               {"", "/from/temp", "/from/tmp", "/from/temp"},
               {nullptr, nullptr, "/from/tmp", "/from/tmp"},
               {nullptr, nullptr, nullptr, "/tmp"},
               {"/", nullptr, nullptr, "/"},
               {"/tmp\xff", nullptr, nullptr, nullptr},
               {"/a/folder/longer/than/the/buffer", nullptr, nullptr, nullptr}};
  test::ScratchFolder scratch;
  for (const auto& c : cases) {
    const char* const names[] = {"TMPDIR", "TEMP", "TMP"};
    const char* const values[] = {c.tmpdir, c.temp, c.tmp};
    for (int i = 0; i < 3; ++i) values[i] ? setenv(names[i], values[i], 1) : unsetenv(names[i]);
    char out[32] = "x";
    EXPECT_EQ(TempFolderPath(out, sizeof out), c.folder ? out : nullptr)
        << (c.folder ? c.folder : "-");
    EXPECT_STREQ(out, c.folder ? c.folder : "");
  }
}

TEST(ReadTextLine, LinesEndAtCrLfOrCrLfAndLongOnesAreCut) {
  const struct {
    std::string content;
    size_t size;
    const char* lines;  // each followed by '|'
  } cases[] = {{"a\rb", 16, "a|b|"},
               {"a\nb\r\nc\n", 16, "a|b|c|"},
               {"\r\n\n\r\r", 16, "||||"},
               {"\n\r\nx\r", 16, "||x|"},
               {"tab\there\r\n", 16, "tab\there|"},
               {"", 16, ""},
               {"abcdefg\r\nxy\nlonger\rz", 4, "abc|xy|lon|z|"},
               {"abc\ndef", 1, "||"}};
  for (const auto& c : cases) {
    test::ScratchFolder scratch;
    ASSERT_TRUE(test::WriteWholeFile(scratch.Path("f"), c.content));
    FILE* stream = fopen(scratch.Path("f").c_str(), "rb");
    ASSERT_NE(stream, nullptr);
    std::string lines, buffer(c.size, 'x');
    EXPECT_EQ(ReadTextLine(stream, nullptr, 4), -1);
    EXPECT_EQ(ReadTextLine(stream, buffer.data(), 0), -1);  // neither reads a line
    for (int kept; (kept = ReadTextLine(stream, buffer.data(), c.size)) >= 0;) {
      EXPECT_EQ(static_cast<size_t>(kept), strlen(buffer.c_str()));
      lines += buffer.c_str() + std::string("|");
    }
    EXPECT_EQ(buffer[0], '\0');  // emptied at the end of the stream
    EXPECT_EQ(lines, c.lines) << ::testing::PrintToString(c.content);
    fclose(stream);
  }
  char buffer[4] = "zz";
  EXPECT_EQ(ReadTextLine(nullptr, buffer, sizeof buffer), -1);
  EXPECT_EQ(buffer[0], '\0');
}

}  // namespace
}  // namespace corvel::util
