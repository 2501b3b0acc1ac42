// File access by UTF-8 path: the path check every call makes first (well-formed, at most 1023
// UTF-16 units), the temporary folder, and lines read from a stream.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "test_support.h"
#include "util/file_utf8.h"
#include "util/utf_convert.h"

namespace corvel::util {
namespace {

namespace fs = std::filesystem;

// A path under `base` of exactly `units` UTF-16 units made of `piece` (then 'a's), through
// folders of at most 200 bytes that are created on the way.
std::string DeepPath(const std::string& base, const std::string& piece, size_t units) {
  auto units_of = [](const std::string& text) { return ConvertUtf8ToUtf16(text, false).size(); };
  std::string path = base;
  while (units_of(path) + 1 + 200 / piece.size() * units_of(piece) < units) {
    std::string folder;
    while (folder.size() + piece.size() <= 200) folder += piece;
    fs::create_directories(path += "/" + folder);
  }
  path += "/";
  while (units_of(path) + units_of(piece) <= units) path += piece;
  while (units_of(path) < units) path += "a";
  return path;
}

TEST(FileUtf8, PathsAreCheckedBeforeTheSystemIsAsked) {
  test::ScratchFolder scratch;
  for (const std::string piece : {"d", "\xe2\x82\xac", "\xf0\x9f\x98\x80"}) {  // 1/1/2 units
    const std::string fits = DeepPath(scratch.Path("fit"), piece, kPathBufferSize - 1);
    ASSERT_TRUE(test::WriteWholeFile(fits, "x"));
    EXPECT_TRUE(PathExistsUtf8(fits.c_str())) << piece;
    EXPECT_EQ(RemoveFileUtf8(fits.c_str()), 0) << piece;
    fs::remove_all(scratch.Path("fit"));
  }
  // Each of these names exists here: only the checks keep them from being found or removed.
  const std::string too_long = DeepPath(scratch.Path("long"), "\xe2\x82\xac", kPathBufferSize);
  const std::string invalid = scratch.Path(
                        "bad\xff"
                        "name"),
                    cut = scratch.Path("cut\xe2\x82");
  for (const char* path :
       {static_cast<const char*>(nullptr), "", invalid.c_str(), cut.c_str(), too_long.c_str()}) {
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
  unsetenv("TEMP");
  unsetenv("TMP");
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
    for (int kept; (kept = ReadTextLine(stream, buffer.data(), c.size)) >= 0;) {
      EXPECT_EQ(static_cast<size_t>(kept), strlen(buffer.c_str()));
      lines += buffer.c_str() + std::string("|");
    }
    EXPECT_EQ(buffer[0], '\0');  // emptied at the end of the stream
    EXPECT_EQ(lines, c.lines) << ::testing::PrintToString(c.content);
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
