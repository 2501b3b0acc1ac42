// File access by UTF-8 path: the path check every call makes first (well-formed, at most 1023
// UTF-16 units), the temporary folder, and lines read from a stream.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "cases.h"
#include "test_support.h"
#include "util/file_utf8.h"
#include "util/path_check.h"

namespace corvel::util {
namespace {

namespace fs = std::filesystem;

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
    EXPECT_TRUE(!path || !*path || fs::exists(path));
  }
}

TEST(FileUtf8, TemporaryFolderFromTheFirstVariableSet) {
  const auto cases = test::ReadCases(UTIL_TEST_DATA "/temp_folders.txt");
  EXPECT_EQ(cases.size(), 8u);
  test::ScratchFolder scratch;
  for (const auto& c : cases) {
    ASSERT_EQ(c.size(), 4u);
    SCOPED_TRACE(c[3]);
    const char* const names[] = {"TMPDIR", "TEMP", "TMP"};
    for (int i = 0; i < 3; ++i)
      c[i] != "(unset)" ? setenv(names[i], c[i].c_str(), 1) : unsetenv(names[i]);
    char out[32] = "x";
    EXPECT_EQ(TempFolderPath(out, sizeof out), c[3] == "(fails)" ? nullptr : out);
    EXPECT_EQ(out, c[3] == "(fails)" ? "" : c[3]);
  }
  unsetenv("TEMP");
  unsetenv("TMP");
}

TEST(ReadTextLine, LinesEndAtCrLfOrCrLfAndLongOnesAreCut) {
  const auto cases = test::ReadCases(UTIL_TEST_DATA "/text_lines.txt");
  EXPECT_EQ(cases.size(), 8u);
  for (const auto& c : cases) {
    ASSERT_EQ(c.size(), 3u);
    SCOPED_TRACE(::testing::PrintToString(c[0]));
    const size_t size = std::stoul(c[1]);
    test::ScratchFolder scratch;
    ASSERT_TRUE(test::WriteWholeFile(scratch.Path("f"), c[0]));
    FILE* stream = fopen(scratch.Path("f").c_str(), "rb");
    ASSERT_NE(stream, nullptr);
    std::string lines, buffer(size, 'x');
    for (int kept; (kept = ReadTextLine(stream, buffer.data(), size)) >= 0;) {
      EXPECT_EQ(static_cast<size_t>(kept), strlen(buffer.c_str()));
      lines += buffer.c_str() + std::string(";");
    }
    EXPECT_EQ(buffer[0], '\0');  // emptied at the end of the stream
    EXPECT_EQ(lines, c[2]);
    EXPECT_EQ(ReadTextLine(stream, nullptr, 4), -1);
    EXPECT_EQ(ReadTextLine(stream, buffer.data(), 0), -1);
    fclose(stream);
  }
  char buffer[4] = "zz";
  EXPECT_EQ(ReadTextLine(nullptr, buffer, sizeof buffer), -1);
  EXPECT_EQ(buffer[0], '\0');
}

}  // namespace
}  // namespace corvel::util
