// File access by UTF-8 path: the path checks every call makes first (well-formed, at most
// 1023 UTF-16 units), the folders looked up and created by kind, and lines read from a stream.
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
  char out[kPathBufferSize];
  for (const std::string piece : {"d", "\xe2\x82\xac", "\xf0\x9f\x98\x80"}) {  // 1/1/2 units
    const std::string fits = DeepPath(scratch.Path("fit"), piece, kPathBufferSize - 1);
    EXPECT_EQ(MakeFolderUtf8(fits.c_str()), 0) << strerror(errno) << " " << piece;
    EXPECT_TRUE(IsFolderUtf8(fits.c_str()));
    fs::remove_all(scratch.Path("fit"));
  }
  // Each of these names could be created here: only the checks stop them.
  const std::string too_long = DeepPath(scratch.Path("long"), "\xf0\x9f\x98\x80", kPathBufferSize);
  const std::string invalid = scratch.Path(
                        "bad\xff"
                        "name"),
                    cut = scratch.Path("cut\xe2\x82");
  platform::FileInfo info;
  for (const char* path :
       {static_cast<const char*>(nullptr), "", invalid.c_str(), cut.c_str(), too_long.c_str()}) {
    SCOPED_TRACE(path ? path : "(null)");
    EXPECT_EQ(OpenFileUtf8(path, "wb"), nullptr);
    EXPECT_EQ(StatUtf8(path, &info), -1);
    EXPECT_FALSE(PathExistsUtf8(path) || IsFolderUtf8(path));
    errno = 0;
    EXPECT_EQ(MakeFolderUtf8(path), -1);
    EXPECT_EQ(errno, EINVAL);
    memset(out, 'x', sizeof out);
    EXPECT_EQ(FullPathUtf8(out, sizeof out, path), nullptr);
    EXPECT_EQ(out[0], '\0');
    ASSERT_TRUE(!path || !*path || test::WriteWholeFile(path, "keep"));  // present, and kept
    errno = 0;
    EXPECT_EQ(RemoveFileUtf8(path), -1);
    EXPECT_EQ(errno, EINVAL);
  }
  EXPECT_EQ(test::ReadWholeFile(too_long), "keep");
  // A good name works, and the full path is folded without touching the disk.
  const std::string file = scratch.Path("caf\xc3\xa9.txt");
  ASSERT_TRUE(test::WriteWholeFile(file, "data"));
  EXPECT_TRUE(StatUtf8(file.c_str(), &info) == 0 && info.size == 4 && PathExistsUtf8(file.c_str()));
  EXPECT_EQ(RemoveFileUtf8(file.c_str()), 0);
  EXPECT_FALSE(PathExistsUtf8(file.c_str()));
  ASSERT_NE(FullPathUtf8(out, sizeof out, "/x//y/../z/./w"), nullptr);
  EXPECT_STREQ(out, "/x/z/w");
}

TEST(FileUtf8, FoldersByKindAreCreatedWhenMissing) {
  test::ScratchFolder scratch;
  char out[kPathBufferSize];
  const std::string files = scratch.Path("files/deeper"), data = scratch.Path("data/deeper");
  setenv("CORVEL_COMMON_FILES", files.c_str(), 1);
  setenv("CORVEL_COMMON_APPDATA", (data + "/").c_str(), 1);
  setenv("TMPDIR", (scratch.temp() + "/").c_str(), 1);
  const struct {
    int kind;
    std::string special, maker;
  } cases[] = {{1, files, files + "/Corvel"},
               {3, files, ""},
               {0, files, ""},
               {2, files, ""},
               {38, files, ""},
               {-1, files, ""},
               {255, data, data + "/Corvel"}};
  for (const auto& c : cases) {
    ASSERT_NE(SpecialFolderPath(out, sizeof out, c.kind), nullptr) << c.kind;
    EXPECT_EQ(out, c.special);
    EXPECT_TRUE(fs::is_directory(c.special));
    if (c.maker.empty()) continue;
    ASSERT_NE(MakerFolderPath(out, sizeof out, c.kind), nullptr) << c.kind;
    EXPECT_EQ(out, c.maker);
    EXPECT_TRUE(fs::is_directory(c.maker));
  }
  ASSERT_NE(TempFolderPath(out, sizeof out), nullptr);
  EXPECT_EQ(out, scratch.temp());
  char small[8];
  EXPECT_EQ(TempFolderPath(small, sizeof small), nullptr);
  // Failures empty the output: a folder that cannot be made, a temporary folder badly named.
  fs::remove(data + "/Corvel");
  platform::ScopedSystemCall denied(
      "mkdir", +[](const char*, unsigned) {
        errno = EACCES;
        return -1;
      });
  EXPECT_EQ(MakerFolderPath(out, sizeof out, 255), nullptr);
  EXPECT_EQ(out[0], '\0');
  setenv("CORVEL_COMMON_APPDATA", scratch.Path("other").c_str(), 1);
  strcpy(out, "x");
  EXPECT_EQ(SpecialFolderPath(out, sizeof out, 255), nullptr);
  EXPECT_EQ(out[0], '\0');
  setenv("TMPDIR", "/tmp\xff", 1);
  strcpy(out, "x");
  EXPECT_EQ(TempFolderPath(out, sizeof out), nullptr);
  EXPECT_EQ(out[0], '\0');
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
