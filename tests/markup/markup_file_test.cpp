// Load and Save: UTF-8 byte for byte, UTF-16LE with its mark, the engine's own conversion
// rules, and files that cannot be opened, read or written.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <string>

#include "markup/markup_document.h"
#include "markup_test_helpers.h"
#include "test_support.h"

namespace corvel::markup {
namespace {

using corvel::test::ReadWholeFile;
using corvel::test::ScratchFolder;
using corvel::test::WriteWholeFile;

std::string Utf16LeBytes(const std::u16string& units, bool mark = true) {
  std::string out = mark ? std::string("\xFF\xFE", 2) : std::string();
  for (char16_t u : units) {
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
  }
  return out;
}

class MarkupFile : public ::testing::Test {
 protected:
  ScratchFolder scratch;
  std::string Path(const char* name) { return scratch.Path(name); }
};

TEST_F(MarkupFile, Utf8IsReadAndSavedByteForByte) {
  // A UTF-8 mark, CR LF and LF line ends, a stray invalid byte in a comment, a tail after
  // the root: all of it survives Load and Save unchanged.
  const std::string bytes =
      "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<r>\n\t<v>caf\xC3\xA9</v>"
      "<!-- \xFF -->\r\n</r>\r\n\r\n";
  ASSERT_TRUE(WriteWholeFile(Path("in.xml"), bytes));
  CMarkupSTL doc;
  ASSERT_TRUE(doc.Load(Path("in.xml").c_str()));
  EXPECT_EQ(doc.GetError(), std::to_string(bytes.size()) + " bytes");
  EXPECT_EQ(doc.GetFlags() & CMarkupSTL::UnicodeFile, 0);
  EXPECT_EQ(doc.GetDoc(), bytes);
  ASSERT_TRUE(doc.FindElement("/r/v"));
  EXPECT_EQ(doc.GetData(), "caf\xC3\xA9");

  ASSERT_TRUE(doc.Save(Path("out.xml").c_str()));
  EXPECT_EQ(doc.GetError(), std::to_string(bytes.size()) + " bytes");
  EXPECT_EQ(ReadWholeFile(Path("out.xml")), bytes);

  // An edit changes only its own stretch.
  ASSERT_TRUE(doc.SetData("tea"));
  ASSERT_TRUE(doc.Save(Path("out.xml").c_str()));
  std::string edited = bytes;
  edited.replace(edited.find("caf\xC3\xA9"), 5, "tea");
  EXPECT_EQ(ReadWholeFile(Path("out.xml")), edited);
}

TEST_F(MarkupFile, Utf16LeWithMarkRoundTrips) {
  // e-acute, the euro sign and a character outside the basic plane (a surrogate pair).
  const std::u16string text = u"<r>\r\n<v>\u00E9\u20AC\U0001F600</v>\r\n</r>";
  const std::string bytes = Utf16LeBytes(text);
  ASSERT_TRUE(WriteWholeFile(Path("wide.swidtag"), bytes));

  CMarkupSTL doc;
  ASSERT_TRUE(doc.Load(Path("wide.swidtag").c_str())) << doc.GetError();
  EXPECT_EQ(doc.GetFlags() & CMarkupSTL::UnicodeFile, CMarkupSTL::UnicodeFile);
  const std::string utf8 = "<r>\r\n<v>\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80</v>\r\n</r>";
  EXPECT_EQ(doc.GetDoc(), utf8);
  EXPECT_EQ(doc.GetError(), "BOM + " + std::to_string(text.size()) + " wide chars to " +
                                std::to_string(utf8.size()) + " bytes");
  ASSERT_TRUE(doc.FindElement("/r/v"));
  EXPECT_EQ(doc.GetData(), "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");

  ASSERT_TRUE(doc.Save(Path("saved.swidtag").c_str()));
  EXPECT_EQ(doc.GetError(), std::to_string(utf8.size()) + " bytes to BOM + " +
                                std::to_string(text.size()) + " wide chars");
  EXPECT_EQ(ReadWholeFile(Path("saved.swidtag")), bytes);

  // After an edit the file stays UTF-16LE with its mark.
  ASSERT_TRUE(doc.SetData("\xC3\xBC"));
  ASSERT_TRUE(doc.Save(Path("saved.swidtag").c_str()));
  EXPECT_EQ(ReadWholeFile(Path("saved.swidtag")), Utf16LeBytes(u"<r>\r\n<v>\u00FC</v>\r\n</r>"));

  // Loading a UTF-8 file afterwards (here by a UTF-16 path) clears the flag again.
  ASSERT_TRUE(WriteWholeFile(Path("narrow-\xC3\xA9.xml"), "<r/>"));
  const std::string prefix = Path("narrow-");  // ASCII: the scratch folder's own name
  std::u16string wide_path(prefix.begin(), prefix.end());
  wide_path += u"\u00E9.xml";
  ASSERT_TRUE(doc.Load(wide_path));
  EXPECT_EQ(doc.GetFlags() & CMarkupSTL::UnicodeFile, 0);
  EXPECT_EQ(doc.GetDoc(), "<r/>");
  // A path with a lone surrogate cannot name a file.
  EXPECT_FALSE(doc.Load(wide_path + u'\xD800'));
  EXPECT_EQ(doc.GetDoc(), "<r/>");
}

TEST_F(MarkupFile, ShortOddAndUnparsableFiles) {
  const struct {
    const char* name;
    std::string bytes;
    bool wellFormed;
    const char* error;
  } cases[] = {
      // An odd last byte is ignored; the unit count is size / 2 - 1.
      {"odd.xml", Utf16LeBytes(u"<r/>") + "X", true, "BOM + 4 wide chars to 4 bytes"},
      // Just the two mark bytes is no Unicode file: they are read as bytes.
      {"mark.xml", "\xFF\xFE", false, "2 bytes, Element tag not found"},
      {"empty.xml", "", false, "0 bytes"},
      {"bad.xml", "<a></b>", false, "7 bytes, End tag does not correspond to a"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(WriteWholeFile(Path(c.name), c.bytes));
    CMarkupSTL doc;
    EXPECT_EQ(doc.Load(Path(c.name).c_str()), c.wellFormed) << c.name;
    EXPECT_EQ(doc.GetError(), c.error) << c.name;
  }
}

TEST(MarkupConversion, SurrogatesCombineUncheckedAndCutSequencesBecomeQuestionMarks) {
  // Halves are combined as they stand, even reversed: ((0x200 << 10) | 0x03D) + 0x10000.
  const char16_t reversed[] = {0xDE00, 0xD83D, u'x'};
  EXPECT_EQ(MarkupUtf16ToUtf8(reversed, 3), "\xF2\x90\x80\xBDx");
  const char16_t dangling[] = {u'a', 0xD83D};  // a surrogate at the end stops the conversion
  EXPECT_EQ(MarkupUtf16ToUtf8(dangling, 2), "a");
  const char16_t bmp[] = {0x7F, 0x80, 0x7FF, 0x800, 0xFFFF, 0};
  EXPECT_EQ(MarkupUtf16ToUtf8(bmp, 6),
            std::string("\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF", 11) + '\0');

  // A sequence cut by a byte without its top bit, or by the end: "?", then that byte.
  EXPECT_EQ(MarkupUtf8ToUtf16("\xE2\x82x"), std::u16string(u"?x"));
  EXPECT_EQ(MarkupUtf8ToUtf16("ok\xF0\x9F"), std::u16string(u"ok?"));
  // A stray continuation byte opens a sequence by its bits; overlong forms are not checked.
  EXPECT_EQ(MarkupUtf8ToUtf16("\x80\x81"), std::u16string(1, char16_t{0x01}));
  EXPECT_EQ(MarkupUtf8ToUtf16(std::string("\xC0\x80", 2)), std::u16string(1, char16_t{0}));
}

TEST_F(MarkupFile, EmptyDocumentSavesAnEmptyFile) {
  ASSERT_TRUE(WriteWholeFile(Path("old.xml"), "previous content"));
  CMarkupSTL doc;
  EXPECT_TRUE(doc.Save(Path("old.xml").c_str()));
  EXPECT_EQ(ReadWholeFile(Path("old.xml")), "");
  EXPECT_EQ(doc.GetError(), "");
}

TEST_F(MarkupFile, OpenFailuresReportTheSystemMessageAndKeepTheDocument) {
  ASSERT_TRUE(WriteWholeFile(Path("plain"), "x"));
  CMarkupSTL doc;
  ASSERT_TRUE(doc.SetDocument("<keep>1</keep>"));
  ASSERT_TRUE(doc.FindElement());
  struct Case {
    std::string path;
    int error;
  };
  const Case loads[] = {{Path("missing.xml"), ENOENT},
                        {scratch.root(), EISDIR},
                        {Path("plain/inner.xml"), ENOTDIR},  // a file where a folder is expected
                        {"", EINVAL}};
  for (const Case& c : loads) {
    EXPECT_FALSE(doc.Load(c.path.c_str())) << c.path;
    EXPECT_EQ(doc.GetError(), std::strerror(c.error)) << c.path;
  }
  const Case saves[] = {{Path("no/such/x.xml"), ENOENT},
                        {scratch.root(), EISDIR},
                        {Path("plain/x.xml"), ENOTDIR},
                        {"", EINVAL}};
  for (const Case& c : saves) {
    EXPECT_FALSE(doc.Save(c.path.c_str())) << c.path;
    EXPECT_EQ(doc.GetError(), std::strerror(c.error)) << c.path;
  }
  EXPECT_FALSE(doc.Load(nullptr));
  EXPECT_EQ(doc.GetDoc(), "<keep>1</keep>");
  EXPECT_EQ(doc.GetData(), "1");
}

TEST_F(MarkupFile, WriteErrorsAreReported) {
  // /dev/full accepts the open and fails every write with "No space left on device".
  struct stat info {};
  if (stat("/dev/full", &info) != 0) GTEST_SKIP() << "no /dev/full";
  CMarkupSTL doc;
  ASSERT_TRUE(doc.SetDocument("<r/>"));
  EXPECT_FALSE(doc.Save("/dev/full"));
  EXPECT_EQ(doc.GetError(), std::strerror(ENOSPC));

  ASSERT_TRUE(WriteWholeFile(Path("wide.xml"), Utf16LeBytes(u"<r/>")));
  ASSERT_TRUE(doc.Load(Path("wide.xml").c_str()));
  EXPECT_FALSE(doc.Save("/dev/full"));
  EXPECT_EQ(doc.GetError(), std::strerror(ENOSPC));
}

TEST_F(MarkupFile, SymbolicLinksAreNotFollowed) {
  ASSERT_TRUE(WriteWholeFile(Path("target.xml"), "<secret/>"));
  ASSERT_EQ(symlink(Path("target.xml").c_str(), Path("link.xml").c_str()), 0);
  CMarkupSTL doc;
  EXPECT_FALSE(doc.Load(Path("link.xml").c_str()));
  EXPECT_EQ(doc.GetError(), std::strerror(ELOOP));
  ASSERT_TRUE(doc.SetDocument("<planted/>"));
  EXPECT_FALSE(doc.Save(Path("link.xml").c_str()));
  EXPECT_EQ(ReadWholeFile(Path("target.xml")), "<secret/>");
}

TEST_F(MarkupFile, PermissionDenied) {
  if (!corvel::test::RunningAsRoot()) GTEST_SKIP() << "the file's owner is not denied";
  ASSERT_TRUE(WriteWholeFile(Path("private.xml"), "<p/>"));
  ASSERT_EQ(chmod(Path("private.xml").c_str(), 0600), 0);
  const std::string path = Path("private.xml");
  const std::string expected = std::strerror(EACCES);
  const int status = corvel::test::RunAsUnprivileged([&] {
    CMarkupSTL doc;
    if (doc.Load(path.c_str())) return 1;
    if (doc.GetError() != expected) return 2;
    if (doc.Save(path.c_str())) return 3;
    if (doc.GetError() != expected) return 4;
    return 0;
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(ReadWholeFile(path), "<p/>");
}

}  // namespace
}  // namespace corvel::markup
