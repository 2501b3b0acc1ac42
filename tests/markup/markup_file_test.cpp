// Load and Save: UTF-8 byte for byte, UTF-16LE with its mark, and the engine's own lenient
// conversion rules between the two.
#include <gtest/gtest.h>

#include <string>

#include "markup/markup_document.h"
#include "test_support.h"

namespace corvel::markup {
namespace {

using corvel::test::ReadWholeFile;
using corvel::test::WriteWholeFile;

std::string Utf16Le(const std::u16string& units) {
  std::string out = "\xFF\xFE";
  for (char16_t u : units) out += {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
  return out;
}

TEST(MarkupFile, FilesRoundTripInTheirOwnEncoding) {
  corvel::test::ScratchFolder scratch;
  const std::string in = scratch.Path("in"), out = scratch.Path("out");
  const std::string narrow =  // a mark, mixed line ends, an invalid byte, a tail after the root
      "\xEF\xBB\xBF<?xml version=\"1.0\"?>\r\n<r>\n\t<v>caf\xC3\xA9</v><!-- \xFF -->\r\n</r>\r\n";
  std::string narrow_edited = narrow;
  narrow_edited.replace(narrow.find("caf"), 5, "\xC3\xBC");
  const struct {
    std::string bytes, text, load_message, save_message, edited;
  } cases[] = {
      {narrow, narrow, "61 bytes", "61 bytes", narrow_edited},
      // e-acute, the euro sign and a character outside the basic plane (a surrogate pair).
      {Utf16Le(u"<r>\r\n<v>\u00E9\u20AC\U0001F600</v>\r\n</r>"),
       "<r>\r\n<v>\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80</v>\r\n</r>",
       "BOM + 22 wide chars to 27 bytes", "27 bytes to BOM + 22 wide chars",
       Utf16Le(u"<r>\r\n<v>\u00FC</v>\r\n</r>")},
      // An odd last byte is ignored; just the two mark bytes are read as bytes.
      {Utf16Le(u"<r><v/></r>") + "X", "<r><v/></r>", "BOM + 11 wide chars to 11 bytes",
       "11 bytes to BOM + 11 wide chars", Utf16Le(u"<r><v>\u00FC</v></r>")},
      {"\xFF\xFE", "\xFF\xFE", "2 bytes, Element tag not found", "", ""},
      {"", "", "0 bytes", "", ""},
      {"<a></b>", "<a></b>", "7 bytes, End tag does not correspond to a", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.load_message);
    ASSERT_TRUE(WriteWholeFile(in, c.bytes));
    CMarkupSTL doc;
    EXPECT_EQ(doc.Load(in.c_str()), !c.edited.empty());
    EXPECT_EQ(doc.GetDoc(), c.text);
    EXPECT_EQ(doc.GetError(), c.load_message);
    const bool wide = c.load_message.rfind("BOM", 0) == 0;
    EXPECT_EQ(doc.GetFlags() & CMarkupSTL::UnicodeFile, wide ? CMarkupSTL::UnicodeFile : 0);
    if (c.edited.empty()) continue;
    ASSERT_TRUE(doc.Save(out.c_str()));
    EXPECT_EQ(doc.GetError(), c.save_message);
    EXPECT_EQ(ReadWholeFile(out), c.bytes.substr(0, c.bytes.size() & ~size_t{wide}));
    // An edit changes only its own stretch, in the file's encoding.
    ASSERT_TRUE(doc.FindElement("/r/v") && doc.SetData("\xC3\xBC") && doc.Save(out.c_str()));
    EXPECT_EQ(ReadWholeFile(out), c.edited);
  }
  // A UTF-8 file by a UTF-16 path clears the flag; a lone surrogate names no file.
  CMarkupSTL doc;
  ASSERT_TRUE(doc.Load(in.c_str()) == false && WriteWholeFile(in + "\xC3\xA9", "<r/>"));
  ASSERT_TRUE(doc.Load(std::u16string(in.begin(), in.end()) + u"\u00E9"));
  EXPECT_EQ(doc.GetDoc(), "<r/>");
  EXPECT_FALSE(doc.Load(std::u16string(in.begin(), in.end()) + u'\xD800'));
  EXPECT_EQ(doc.GetDoc(), "<r/>");
  EXPECT_TRUE(CMarkupSTL().Save(out.c_str()));  // an empty document empties the file
  EXPECT_EQ(ReadWholeFile(out), "");
}

TEST(MarkupFile, ConversionCombinesSurrogatesUncheckedAndCutsSequencesToQuestionMarks) {
  const char16_t reversed[] = {0xDE00, 0xD83D, u'x'};  // ((0x200 << 10) | 0x03D) + 0x10000
  EXPECT_EQ(MarkupUtf16ToUtf8(reversed, 3), "\xF2\x90\x80\xBDx");
  const char16_t dangling[] = {u'a', 0xD83D};  // a surrogate at the end stops the conversion
  EXPECT_EQ(MarkupUtf16ToUtf8(dangling, 2), "a");
  const char16_t bmp[] = {0x7F, 0x80, 0x7FF, 0x800, 0xFFFF, 0};
  EXPECT_EQ(MarkupUtf16ToUtf8(bmp, 6),
            std::string("\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF", 11) + '\0');
  // A sequence cut by a byte without its top bit, or by the end: "?", then that byte. A stray
  // continuation byte opens a sequence by its bits; overlong forms are not checked.
  EXPECT_EQ(MarkupUtf8ToUtf16("\xE2\x82x"), u"?x");
  EXPECT_EQ(MarkupUtf8ToUtf16("ok\xF0\x9F"), u"ok?");
  EXPECT_EQ(MarkupUtf8ToUtf16("\x80\x81"), std::u16string(1, char16_t{0x01}));
  EXPECT_EQ(MarkupUtf8ToUtf16(std::string("\xC0\x80", 2)), std::u16string(1, char16_t{0}));
}

}  // namespace
}  // namespace corvel::markup
