// Parsing: what gets indexed, what is skipped, and every reachable parse error.
#include <gtest/gtest.h>

#include <string>

#include "markup/markup_document.h"
#include "markup_test_helpers.h"

namespace corvel::markup {
namespace {

using test::ElementMarkup;

TEST(MarkupParse, NewDocumentIsEmptyAndNotWellFormed) {
  CMarkupSTL doc;
  EXPECT_FALSE(doc.IsWellFormed());
  EXPECT_EQ(doc.GetDoc(), "");
  EXPECT_EQ(doc.GetError(), "");
  EXPECT_EQ(doc.GetIndex().capacity(), 8);
  EXPECT_EQ(doc.GetFreePos(), 1);
  EXPECT_FALSE(doc.FindElement());
  EXPECT_EQ(doc.GetTagName(), "");
  EXPECT_EQ(doc.GetData(), "");
}

TEST(MarkupParse, DeclarationIsSkippedAndRootIndexed) {
  CMarkupSTL doc;
  ASSERT_TRUE(doc.SetDocument("<?xml version=\"1.0\"?>\r\n<a>x</a>"));
  EXPECT_EQ(doc.GetError(), "");
  const ElementEntry& root = doc.GetIndex()[doc.GetIndex()[0].firstChild];
  EXPECT_EQ(root.startLeft, 23);
  EXPECT_EQ(root.startRight, 25);
  EXPECT_EQ(root.endLeft, 27);
  EXPECT_EQ(root.endRight, 30);
  EXPECT_EQ(root.parent, 0);
  ASSERT_TRUE(doc.FindElement());
  EXPECT_EQ(doc.GetTagName(), "a");
  EXPECT_EQ(doc.GetData(), "x");
  EXPECT_EQ(doc.GetFreePos(), 2);
}

TEST(MarkupParse, EmptyElementOffsetsAndParentWithChildHasNoData) {
  CMarkupSTL doc;
  ASSERT_TRUE(doc.SetDocument("<a><b/></a>"));
  ASSERT_TRUE(doc.FindElement("a"));
  EXPECT_EQ(doc.GetData(), "");
  ASSERT_TRUE(doc.FindChildElement("b"));
  const ElementEntry& b = doc.GetIndex()[doc.GetChildPos()];
  EXPECT_EQ(b.startLeft, 3);
  EXPECT_EQ(b.startRight, 6);
  EXPECT_EQ(b.endLeft, b.startRight - 1);
  EXPECT_EQ(b.endRight, b.startRight);
}

TEST(MarkupParse, CommentsInstructionsCDataAndDoctypeAreSkipped) {
  CMarkupSTL doc;
  const char* text =
      "<?xml version=\"1.0\"?>\n"
      "<!DOCTYPE r [ <!ENTITY e \"a>b\"> <!ELEMENT r ANY> ]>\n"
      "<!-- before -->\n"
      "<r a=\"1\" b='x/y'>\n"
      "  <!-- <fake/> -->\n"
      "  <?pi <fake/> ?>\n"
      "  <one>1</one><![CDATA[ <fake></fake> ]]>\n"
      "  <two k = \"v\" />\n"
      "</r> trailing text <<< is never examined";
  ASSERT_TRUE(doc.SetDocument(text)) << doc.GetError();
  ASSERT_TRUE(doc.FindElement("r"));
  ASSERT_TRUE(doc.IntoElement());
  ASSERT_TRUE(doc.FindElement());
  EXPECT_EQ(doc.GetTagName(), "one");
  ASSERT_TRUE(doc.FindElement());
  EXPECT_EQ(doc.GetTagName(), "two");
  EXPECT_FALSE(doc.FindElement());
  EXPECT_EQ(doc.GetFreePos(), 4);
}

TEST(MarkupParse, ElementNameIsTheTokenAfterTheBracket) {
  CMarkupSTL doc;
  ASSERT_TRUE(doc.SetDocument("< swid:tag\tx='1'><swid:name>n</ swid:name ></swid:tag >"));
  ASSERT_TRUE(doc.FindElement());
  EXPECT_EQ(doc.GetTagName(), "swid:tag");
  ASSERT_TRUE(doc.FindChildElement("swid:name"));
  ASSERT_TRUE(doc.IntoElement());
  EXPECT_EQ(doc.GetData(), "n");
}

TEST(MarkupParse, EndTagNameMustMatchWholly) {
  CMarkupSTL doc;
  EXPECT_FALSE(doc.SetDocument("<abc></ab>"));
  EXPECT_EQ(doc.GetError(), ", End tag does not correspond to abc");
  EXPECT_FALSE(doc.SetDocument("<ab></abc>"));
  EXPECT_EQ(doc.GetError(), ", End tag does not correspond to ab");
  EXPECT_TRUE(doc.SetDocument("<ab></ab >"));
  // A quoted token is counted and otherwise ignored: here it takes the name's place.
  EXPECT_TRUE(doc.SetDocument("<a></'q' b>"));
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
  EXPECT_FALSE(doc.IsWellFormed());
  EXPECT_EQ(doc.GetDoc(), GetParam().text);  // the text is kept
  EXPECT_EQ(doc.GetFreePos(), 1);
  EXPECT_EQ(doc.GetIndex()[0].firstChild, 0);
  EXPECT_EQ(doc.GetMainPos(), 0);
  EXPECT_FALSE(doc.FindElement());
  EXPECT_FALSE(doc.FindElement("/"));
}

INSTANTIATE_TEST_SUITE_P(
    BadInput, MarkupParseError,
    ::testing::Values(
        ErrorCase{"PlainText", "plain text", "Element tag not found"},
        ErrorCase{"OpenRoot", "<a>", "Element tag not found"},
        ErrorCase{"OpenRootWithChild", "<a><b>text</b>", "Element tag not found"},
        ErrorCase{"LoneBracket", "<", "Abrupt end within tag"},
        ErrorCase{"BracketThenSpaces", "<a><   ", "Abrupt end within tag"},
        ErrorCase{"QuotedName", "<\"a\">", "Tag starts with quote"},
        ErrorCase{"OpenComment", "<!-- never closed", "Invalid node"},
        ErrorCase{"OpenCData", "<a><![CDATA[ never closed</a>", "Invalid node"},
        ErrorCase{"OpenInstruction", "<?xml version='1.0'", "Invalid node"},
        ErrorCase{"OpenDoctype", "<!DOCTYPE r [ <!ELEMENT r ANY> ", "Invalid node"},
        ErrorCase{"DoctypeOpenQuote", "<!DOCTYPE r \"unclosed > quote", "Invalid node"},
        ErrorCase{"BangAtEnd", "<!", "Invalid node"},
        ErrorCase{"StartTagCut", "<a", "End of tag not found"},
        ErrorCase{"StartTagCutAfterAttribute", "<a b='1'", "End of tag not found"},
        ErrorCase{"WrongEndTag", "<a></b>", "End tag does not correspond to a"},
        ErrorCase{"CrossedEndTags", "<r><a><b></a></b></r>", "End tag does not correspond to b"},
        ErrorCase{"EndTagCut", "<a></a", "End tag not completed for element a"},
        ErrorCase{"EndTagWithoutName", "<a></ 'q'", "End tag not completed for element a"}),
    [](const ::testing::TestParamInfo<ErrorCase>& info) { return std::string(info.param.name); });

TEST(MarkupParse, EndTagAtTopLevelIsNotWellFormedWithoutMessage) {
  CMarkupSTL doc;
  EXPECT_FALSE(doc.SetDocument("</a>"));
  EXPECT_EQ(doc.GetError(), "");
  EXPECT_FALSE(doc.SetDocument(""));
  EXPECT_FALSE(doc.SetDocument(nullptr));
  EXPECT_EQ(doc.GetDoc(), "");
}

TEST(MarkupParse, NodeWithElementLikeSecondCharacterIsPassedOver) {
  // "< ?" is not a processing instruction: the scan goes on after the '?'.
  CMarkupSTL doc;
  ASSERT_TRUE(doc.SetDocument("< ?x><r/>"));
  ASSERT_TRUE(doc.FindElement());
  EXPECT_EQ(doc.GetTagName(), "r");
}

TEST(MarkupParse, LongNamesAreCutToFitTheMessageBuffer) {
  const std::string name(1000, 'n');
  CMarkupSTL doc;
  EXPECT_FALSE(doc.SetDocument(("<" + name + "></m>").c_str()));
  const std::string prefix = ", End tag does not correspond to ";
  ASSERT_EQ(doc.GetError().substr(0, prefix.size()), prefix);
  EXPECT_EQ(doc.GetError().size(), 2 + 303u);
  EXPECT_EQ(doc.GetError().find_first_not_of('n', prefix.size()), std::string::npos);

  // A multi-byte name is cut between characters, never inside one.
  std::string wide;
  for (int i = 0; i < 400; ++i) wide += "\xC3\xA9";
  EXPECT_FALSE(doc.SetDocument(("<" + wide + "></" + wide).c_str()));
  const std::string message = doc.GetError().substr(2);
  EXPECT_LE(message.size(), 303u);
  const std::string completed = "End tag not completed for element ";
  ASSERT_EQ(message.substr(0, completed.size()), completed);
  const std::string cut = message.substr(completed.size());
  EXPECT_EQ(cut.size() % 2, 0u);
  EXPECT_EQ(cut, wide.substr(0, cut.size()));
  EXPECT_GE(cut.size(), 303u - completed.size() - 1);
}

TEST(MarkupParse, ErrorAppendsToTheKeptText) {
  // Only SetDocument clears the text first; a parse after Load appends to the byte count
  // (see the file tests). Here: a successful parse leaves the cleared text empty.
  CMarkupSTL doc;
  EXPECT_FALSE(doc.SetDocument("<a>"));
  EXPECT_TRUE(doc.SetDocument("<a/>"));
  EXPECT_EQ(doc.GetError(), "");
}

TEST(MarkupParse, HundredThousandLevelsParseWithoutRecursion) {
  constexpr int kDepth = 100000;
  std::string text;
  text.reserve(kDepth * 8);
  for (int i = 0; i < kDepth; ++i) text += "<d>";
  text += "deep";
  for (int i = 0; i < kDepth; ++i) text += "</d>";

  CMarkupSTL doc;
  ASSERT_TRUE(doc.SetDocument(text.c_str())) << doc.GetError();
  EXPECT_EQ(doc.GetFreePos(), kDepth + 1);
  const ElementIndex& index = doc.GetIndex();
  EXPECT_EQ(index[kDepth].parent, kDepth - 1);
  EXPECT_EQ(index[kDepth].startLeft, 3 * (kDepth - 1));
  EXPECT_EQ(index[1].endRight, static_cast<int32_t>(text.size()) - 1);

  // Walk down with the cursor and read the innermost content.
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

  // A mismatch at the bottom travels up as one error.
  std::string broken = text;
  broken.replace(broken.find("deep") + 4, 4, "</x>");
  EXPECT_FALSE(doc.SetDocument(broken.c_str()));
  EXPECT_EQ(doc.GetError(), ", End tag does not correspond to d");
  EXPECT_EQ(doc.GetFreePos(), 1);
}

TEST(MarkupParse, DeepTruncatedDocumentFails) {
  std::string text;
  for (int i = 0; i < 50000; ++i) text += "<e k='v'>";
  CMarkupSTL doc;
  EXPECT_FALSE(doc.SetDocument(text.c_str()));
  EXPECT_EQ(doc.GetError(), ", Element tag not found");
}

TEST(MarkupParse, SiblingsAndChildrenAreLinkedInOrder) {
  CMarkupSTL doc;
  ASSERT_TRUE(doc.SetDocument("<r><a><x/></a>text<b>t</b><c></c></r>"));
  const ElementIndex& index = doc.GetIndex();
  const std::vector<int32_t> order = test::ElementsInOrder(doc);
  ASSERT_EQ(order.size(), 5u);
  EXPECT_EQ(ElementMarkup(doc, order[0]), "<r><a><x/></a>text<b>t</b><c></c></r>");
  EXPECT_EQ(ElementMarkup(doc, order[1]), "<a><x/></a>");
  EXPECT_EQ(ElementMarkup(doc, order[2]), "<x/>");
  EXPECT_EQ(ElementMarkup(doc, order[3]), "<b>t</b>");
  EXPECT_EQ(ElementMarkup(doc, order[4]), "<c></c>");
  EXPECT_EQ(index[order[1]].nextSibling, order[3]);
  EXPECT_EQ(index[order[3]].nextSibling, order[4]);
  EXPECT_EQ(index[order[4]].nextSibling, 0);
  EXPECT_EQ(index[order[2]].parent, order[1]);
  // <c></c> has empty content: its start tag ends right before its end tag.
  EXPECT_EQ(index[order[4]].startRight + 1, index[order[4]].endLeft);
}

}  // namespace
}  // namespace corvel::markup
