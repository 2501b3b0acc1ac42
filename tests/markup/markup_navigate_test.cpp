// Navigation (paths, the three-position cursor) and reading of content.
#include <gtest/gtest.h>

#include <string>

#include "markup/markup_document.h"

namespace corvel::markup {
namespace {

constexpr const char* kTree =
    "<root>"
    "<a id='1'><x>ax</x></a>"
    "<b><x>bx</x><y>by</y></b>"
    "<a id='2'><y>ay</y><x>ax2</x></a>"
    "<abc>3</abc>"
    "</root>";

class MarkupNavigate : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(doc.SetDocument(kTree)); }
  CMarkupSTL doc;
};

TEST_F(MarkupNavigate, FindElementWalksSiblingsAndLeavesCursorOnFailure) {
  ASSERT_TRUE(doc.FindElement("root"));
  EXPECT_EQ(doc.GetMainKind(), kNodeElement);
  ASSERT_TRUE(doc.IntoElement());
  ASSERT_TRUE(doc.FindElement("a"));
  const int32_t firstA = doc.GetMainPos();
  ASSERT_TRUE(doc.FindElement("a"));
  EXPECT_NE(doc.GetMainPos(), firstA);
  const int32_t secondA = doc.GetMainPos();
  // No further "a": nothing moves.
  EXPECT_FALSE(doc.FindElement("a"));
  EXPECT_EQ(doc.GetMainPos(), secondA);
  EXPECT_EQ(doc.GetTagName(), "a");
  // The name must match the whole tag name, but a name may carry a suffix after [ or =.
  ASSERT_TRUE(doc.FindElement("abc[1]"));
  EXPECT_EQ(doc.GetData(), "3");
  EXPECT_FALSE(doc.FindElement("ab"));
}

TEST_F(MarkupNavigate, NameSuffixesAndPrefixes) {
  ASSERT_TRUE(doc.FindElement());
  ASSERT_TRUE(doc.IntoElement());
  EXPECT_FALSE(doc.FindElement("ab"));
  ASSERT_TRUE(doc.FindElement("abc=x"));
  EXPECT_EQ(doc.GetTagName(), "abc");
  ASSERT_TRUE(doc.FindElement("/root/a b"));  // a space ends the name too
  EXPECT_EQ(doc.GetTagName(), "a");
}

TEST_F(MarkupNavigate, AbsolutePathMovesTheParent) {
  ASSERT_TRUE(doc.FindElement("root"));
  ASSERT_TRUE(doc.IntoElement());
  ASSERT_TRUE(doc.FindElement("abc"));
  // From anywhere, /root/b/y finds the y below the first b and its parent becomes b.
  ASSERT_TRUE(doc.FindElement("/root/b/y"));
  EXPECT_EQ(doc.GetData(), "by");
  EXPECT_EQ(doc.GetTagName(), "y");
  ASSERT_TRUE(doc.OutOfElement());
  EXPECT_EQ(doc.GetTagName(), "b");
  ASSERT_TRUE(doc.FindElement("/root/a"));
  const int32_t firstA = doc.GetMainPos();
  EXPECT_EQ(doc.GetParentPos(), doc.GetIndex()[0].firstChild);
  // "/" alone is the root.
  ASSERT_TRUE(doc.FindElement("/"));
  EXPECT_EQ(doc.GetTagName(), "root");
  EXPECT_EQ(doc.GetParentPos(), 0);
  ASSERT_TRUE(doc.FindElement("/root/a/x"));
  EXPECT_EQ(doc.GetIndex()[doc.GetMainPos()].parent, firstA);
}

TEST_F(MarkupNavigate, PathsDoNotBacktrack) {
  // The first a has no y; the search does not go back to try the second a.
  EXPECT_FALSE(doc.FindElement("/root/a/y"));
  ASSERT_TRUE(doc.FindElement("/root/b/y"));
  EXPECT_FALSE(doc.FindElement("/root/nothing/x"));
  EXPECT_EQ(doc.GetData(), "by");
}

TEST_F(MarkupNavigate, StarMatchesAnyNameAndDescends) {
  ASSERT_TRUE(doc.FindElement("*"));
  EXPECT_EQ(doc.GetTagName(), "root");
  ASSERT_TRUE(doc.IntoElement());
  ASSERT_TRUE(doc.FindElement("*"));
  EXPECT_EQ(doc.GetTagName(), "a");
  ASSERT_TRUE(doc.FindElement("*"));
  EXPECT_EQ(doc.GetTagName(), "b");
  ASSERT_TRUE(doc.FindElement("/*/*/x"));
  EXPECT_EQ(doc.GetData(), "ax");
  ASSERT_TRUE(doc.FindElement("/*/b/*"));
  EXPECT_EQ(doc.GetData(), "bx");
}

TEST_F(MarkupNavigate, ChildPositionAndIntoOut) {
  // With no main position, FindChildElement first takes the next element as main.
  ASSERT_TRUE(doc.FindChildElement("b"));
  EXPECT_EQ(doc.GetTagName(), "root");
  EXPECT_NE(doc.GetChildPos(), 0);
  ASSERT_TRUE(doc.IntoElement());
  EXPECT_EQ(doc.GetTagName(), "b");
  EXPECT_EQ(doc.GetChildPos(), 0);
  ASSERT_TRUE(doc.FindChildElement("y"));
  ASSERT_TRUE(doc.IntoElement());
  EXPECT_EQ(doc.GetData(), "by");
  // Into an element with no child position: main becomes none.
  ASSERT_TRUE(doc.IntoElement());
  EXPECT_EQ(doc.GetMainPos(), 0);
  EXPECT_EQ(doc.GetMainKind(), kNodeInvalid);
  EXPECT_FALSE(doc.IntoElement());
  EXPECT_EQ(doc.GetTagName(), "");
  ASSERT_TRUE(doc.OutOfElement());
  EXPECT_EQ(doc.GetTagName(), "y");
  EXPECT_EQ(doc.GetChildPos(), 0);
  ASSERT_TRUE(doc.OutOfElement());
  EXPECT_EQ(doc.GetTagName(), "b");
  ASSERT_TRUE(doc.OutOfElement());
  EXPECT_EQ(doc.GetTagName(), "root");
  EXPECT_EQ(doc.GetParentPos(), 0);
  EXPECT_FALSE(doc.OutOfElement());
  // The child position is where the walk came from, so FindChildElement goes on after b.
  ASSERT_TRUE(doc.FindChildElement());
  ASSERT_TRUE(doc.IntoElement());
  EXPECT_EQ(doc.GetTagName(), "a");
  EXPECT_NE(doc.GetIndex()[doc.GetMainPos()].firstChild, 0);
}

TEST_F(MarkupNavigate, FindChildElementFailureKeepsChildPosition) {
  ASSERT_TRUE(doc.FindElement());
  ASSERT_TRUE(doc.FindChildElement("b"));
  const int32_t b = doc.GetChildPos();
  EXPECT_FALSE(doc.FindChildElement("b"));
  EXPECT_EQ(doc.GetChildPos(), b);
  EXPECT_TRUE(doc.FindChildElement("abc"));
}

TEST(MarkupContent, ReferencesAreDecoded) {
  CMarkupSTL doc;
  ASSERT_TRUE(doc.SetDocument("<a>1 &lt; 2 &amp;&#65;&#x42;&unknown;</a>"));
  ASSERT_TRUE(doc.FindElement());
  EXPECT_EQ(doc.GetData(), "1 < 2 &AB&unknown;");

  ASSERT_TRUE(doc.SetDocument("<a>&gt;&apos;&quot;&#233;&#x20AC;&#x1F600;&#;</a>"));
  ASSERT_TRUE(doc.FindElement());
  // 0x1F600 keeps only its low 16 bits in three bytes; "&#;" is the number 0.
  EXPECT_EQ(doc.GetData(), std::string(">'\"\xC3\xA9\xE2\x82\xAC\xEF\x98\x80") + '\0');
}

TEST(MarkupContent, ReferencesOutOfReachAreCopied) {
  CMarkupSTL doc;
  // Seven digits still reach the ';', eight do not.
  ASSERT_TRUE(doc.SetDocument("<a>&#0000065;&#00000065;&#x0000041;</a>"));
  ASSERT_TRUE(doc.FindElement());
  EXPECT_EQ(doc.GetData(), "A&#00000065;A");
  // A named reference must end before the content does.
  ASSERT_TRUE(doc.SetDocument("<a>x &lt</a>"));
  ASSERT_TRUE(doc.FindElement());
  EXPECT_EQ(doc.GetData(), "x &lt");
  ASSERT_TRUE(doc.SetDocument("<a>&amp</a>"));
  ASSERT_TRUE(doc.FindElement());
  EXPECT_EQ(doc.GetData(), "&amp");
  ASSERT_TRUE(doc.SetDocument("<a>&#65</a>"));
  ASSERT_TRUE(doc.FindElement());
  EXPECT_EQ(doc.GetData(), "&#65");
}

TEST(MarkupContent, LeadingCDataIsReturnedUnchanged) {
  CMarkupSTL doc;
  ASSERT_TRUE(doc.SetDocument("<a>  <![CDATA[x<y &amp;]]>  </a>"));
  ASSERT_TRUE(doc.FindElement());
  EXPECT_EQ(doc.GetData(), "x<y &amp;");
  ASSERT_TRUE(doc.SetDocument("<a><![CDATA[]]></a>"));
  ASSERT_TRUE(doc.FindElement());
  EXPECT_EQ(doc.GetData(), "");
  // Text before the section: the whole content is decoded as text.
  ASSERT_TRUE(doc.SetDocument("<a>t<![CDATA[x]]></a>"));
  ASSERT_TRUE(doc.FindElement());
  EXPECT_EQ(doc.GetData(), "t<![CDATA[x]]>");
}

TEST(MarkupContent, EmptyAndMissingElementsReadEmpty) {
  CMarkupSTL doc;
  ASSERT_TRUE(doc.SetDocument("<r><e/><f></f><g> \r\n </g></r>"));
  ASSERT_TRUE(doc.FindElement());
  EXPECT_EQ(doc.GetData(), "");
  ASSERT_TRUE(doc.IntoElement());
  EXPECT_EQ(doc.GetData(), "");
  ASSERT_TRUE(doc.FindElement("e"));
  EXPECT_EQ(doc.GetData(), "");
  ASSERT_TRUE(doc.FindElement("f"));
  EXPECT_EQ(doc.GetData(), "");
  ASSERT_TRUE(doc.FindElement("g"));
  EXPECT_EQ(doc.GetData(), " \r\n ");
}

}  // namespace
}  // namespace corvel::markup
