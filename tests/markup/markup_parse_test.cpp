// Parsing: what gets indexed, what is skipped, and the parse errors a caller can meet.
#include <gtest/gtest.h>

#include <string>

#include "markup/markup_document.h"
#include "markup_test_helpers.h"

namespace corvel::markup {
namespace {

TEST(MarkupParse, DeclarationIsSkippedAndRootIndexed) {
  CMarkupSTL doc;
  EXPECT_FALSE(doc.IsWellFormed());
  EXPECT_EQ(doc.GetIndex().capacity(), 8);
  ASSERT_TRUE(doc.SetDocument("<?xml version=\"1.0\"?>\r\n<a>x</a>"));
  EXPECT_EQ(doc.GetError(), "");
  const ElementEntry& root = doc.GetIndex()[doc.GetIndex()[0].firstChild];
  EXPECT_EQ(root.startLeft, 23);
  EXPECT_EQ(root.startRight, 25);
  EXPECT_EQ(root.endLeft, 27);
  EXPECT_EQ(root.endRight, 30);
  ASSERT_TRUE(doc.FindElement());
  EXPECT_EQ(doc.GetTagName(), "a");
  EXPECT_EQ(doc.GetData(), "x");
  EXPECT_EQ(doc.GetFreePos(), 2);
}

TEST(MarkupParse, OtherNodesAreSkippedAndTextAfterTheRootIgnored) {
  CMarkupSTL doc;
  const char* text =
      "<!DOCTYPE r [ <!ENTITY e \"a>b\"> <!ELEMENT r ANY> ]>\n<!-- before -->\n"
      "< r a=\"1\" b='x/y'>\n  <!-- <fake/> --><?pi <fake/> ?>\n"
      "  <one>1</one><![CDATA[ <fake></fake> ]]>\n  < ?x> <two k = \"v\" />\n"
      "</ r > trailing text <<< is never examined";
  ASSERT_TRUE(doc.SetDocument(text)) << doc.GetError();
  ASSERT_TRUE(doc.FindElement("r"));
  ASSERT_TRUE(doc.IntoElement());
  ASSERT_TRUE(doc.FindElement());
  EXPECT_EQ(doc.GetTagName(), "one");
  // "< ?x>" is not an instruction (the '?' is not next to the '<'): the scan passes over it.
  ASSERT_TRUE(doc.FindElement());
  EXPECT_EQ(doc.GetTagName(), "two");
  EXPECT_FALSE(doc.FindElement());
  EXPECT_EQ(doc.GetFreePos(), 4);
}

TEST(MarkupParse, SiblingsAndChildrenAreLinkedInOrder) {
  CMarkupSTL doc;
  ASSERT_TRUE(doc.SetDocument("<r><a><x/></a>text<b>t</b><c></c></r>"));
  const ElementIndex& index = doc.GetIndex();
  const std::vector<int32_t> order = test::ElementsInOrder(doc);
  ASSERT_EQ(order.size(), 5u);
  EXPECT_EQ(test::ElementMarkup(doc, order[1]), "<a><x/></a>");
  EXPECT_EQ(test::ElementMarkup(doc, order[2]), "<x/>");
  EXPECT_EQ(test::ElementMarkup(doc, order[3]), "<b>t</b>");
  EXPECT_EQ(index[order[1]].nextSibling, order[3]);
  EXPECT_EQ(index[order[3]].nextSibling, order[4]);
  EXPECT_EQ(index[order[2]].parent, order[1]);
  // <x/>: the end offsets point at its '/' and '>'; <c></c>: empty content.
  EXPECT_EQ(index[order[2]].endLeft, index[order[2]].startRight - 1);
  EXPECT_EQ(index[order[2]].endRight, index[order[2]].startRight);
  EXPECT_EQ(index[order[4]].startRight + 1, index[order[4]].endLeft);
}

TEST(MarkupParse, EndTagNameMustMatchWholly) {
  CMarkupSTL doc;
  EXPECT_FALSE(doc.SetDocument("<abc></ab>"));
  EXPECT_EQ(doc.GetError(), ", End tag does not correspond to abc");
  EXPECT_FALSE(doc.SetDocument("<ab></abc>"));
  EXPECT_EQ(doc.GetError(), ", End tag does not correspond to ab");
  EXPECT_TRUE(doc.SetDocument("<ab></ ab >"));
  // A quoted token is counted and otherwise ignored: here it takes the name's place.
  EXPECT_TRUE(doc.SetDocument("<a></'q' b>"));
  // An end tag at the top is no root, but no error either.
  EXPECT_FALSE(doc.SetDocument("</a>"));
  EXPECT_EQ(doc.GetError(), "");
}

struct ErrorCase {
  const char* name;
  const char* text;
  const char* error;
};

void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.name; }

class MarkupParseError : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(MarkupParseError, FailsWithMessageAndEmptyIndex) {
  CMarkupSTL doc;
  ASSERT_TRUE(doc.SetDocument("<ok/>"));
  ASSERT_TRUE(doc.FindElement());
  EXPECT_FALSE(doc.SetDocument(GetParam().text));
  EXPECT_EQ(doc.GetError(), std::string(", ") + GetParam().error);
  EXPECT_EQ(doc.GetDoc(), GetParam().text);  // the text is kept
  EXPECT_EQ(doc.GetFreePos(), 1);
  EXPECT_EQ(doc.GetMainPos(), 0);
  EXPECT_FALSE(doc.FindElement("/"));
}

INSTANTIATE_TEST_SUITE_P(
    BadInput, MarkupParseError,
    ::testing::Values(
        ErrorCase{"PlainText", "plain text", "Element tag not found"},
        ErrorCase{"Truncated", "<a><b>text</b>", "Element tag not found"},
        ErrorCase{"LoneBracket", "<", "Abrupt end within tag"},
        ErrorCase{"BracketThenSpaces", "<a><   ", "Abrupt end within tag"},
        ErrorCase{"QuotedName", "<\"a\">", "Tag starts with quote"},
        ErrorCase{"OpenComment", "<!-- never closed", "Invalid node"},
        ErrorCase{"OpenCData", "<a><![CDATA[ never closed</a>", "Invalid node"},
        ErrorCase{"OpenInstruction", "<?xml version='1.0'", "Invalid node"},
        ErrorCase{"OpenDoctype", "<!DOCTYPE r [ <!ELEMENT r ANY> ", "Invalid node"},
        ErrorCase{"DoctypeOpenQuote", "<!DOCTYPE r \"unclosed > quote", "Invalid node"},
        ErrorCase{"BangAtEnd", "<!", "Invalid node"},
        ErrorCase{"StartTagCut", "<a b='1'", "End of tag not found"},
        ErrorCase{"CrossedEndTags", "<r><a><b></a></b></r>", "End tag does not correspond to b"},
        ErrorCase{"EndTagCut", "<a></a", "End tag not completed for element a"},
        ErrorCase{"EndTagWithoutName", "<a></ 'q'", "End tag not completed for element a"}),
    [](const ::testing::TestParamInfo<ErrorCase>& info) { return std::string(info.param.name); });

TEST(MarkupParse, LongNamesAreCutToFitTheMessageBuffer) {
  CMarkupSTL doc;
  EXPECT_FALSE(doc.SetDocument(("<" + std::string(1000, 'n') + "></m>").c_str()));
  const std::string prefix = ", End tag does not correspond to ";
  EXPECT_EQ(doc.GetError(), prefix + std::string(303 - (prefix.size() - 2), 'n'));

  // A multi-byte name is cut between characters, never inside one.
  std::string wide;
  for (int i = 0; i < 400; ++i) wide += "\xC3\xA9";
  EXPECT_FALSE(doc.SetDocument(("<" + wide + "></" + wide).c_str()));
  const std::string completed = ", End tag not completed for element ";
  const size_t room = 303 - (completed.size() - 2);  // odd: one byte is left unused
  EXPECT_EQ(doc.GetError(), completed + wide.substr(0, room - 1));
}

TEST(MarkupParse, HundredThousandLevelsParseWithoutRecursion) {
  constexpr int kDepth = 100000;
  std::string text;
  for (int i = 0; i < kDepth; ++i) text += "<d>";
  text += "deep";
  for (int i = 0; i < kDepth; ++i) text += "</d>";

  CMarkupSTL doc;
  ASSERT_TRUE(doc.SetDocument(text.c_str())) << doc.GetError();
  const ElementIndex& index = doc.GetIndex();
  EXPECT_EQ(doc.GetFreePos(), kDepth + 1);
  EXPECT_EQ(index[kDepth].parent, kDepth - 1);
  EXPECT_EQ(index[kDepth].startLeft, 3 * (kDepth - 1));
  EXPECT_EQ(index[1].endRight, static_cast<int32_t>(text.size()) - 1);

  ASSERT_TRUE(doc.FindElement());
  for (int i = 1; i < kDepth; ++i) {
    ASSERT_TRUE(doc.FindChildElement("d"));
    ASSERT_TRUE(doc.IntoElement());
  }
  EXPECT_EQ(doc.GetData(), "deep");
  // An edit at the bottom moves the end offsets of every ancestor.
  ASSERT_TRUE(doc.SetData("deeper"));
  EXPECT_EQ(index[1].endRight, static_cast<int32_t>(text.size()) + 1);
  EXPECT_TRUE(test::IndexMatchesReparse(doc));

  // A mismatch or a cut at the bottom travels up as one error.
  std::string broken = text;
  broken.replace(broken.find("deep") + 4, 4, "</x>");
  EXPECT_FALSE(doc.SetDocument(broken.c_str()));
  EXPECT_EQ(doc.GetError(), ", End tag does not correspond to d");
  EXPECT_FALSE(doc.SetDocument(text.substr(0, text.find("deep")).c_str()));
  EXPECT_EQ(doc.GetError(), ", Element tag not found");
}

}  // namespace
}  // namespace corvel::markup
