// Navigation (paths, the three-position cursor) and reading of content.
#include <gtest/gtest.h>

#include <string>

#include "markup/markup_document.h"

namespace corvel::markup {
namespace {

constexpr const char* kTree =
    "<root><a id='1'><x>ax</x></a><b><x>bx</x><y>by</y></b>"
    "<a id='2'><y>ay</y><x>ax2</x></a><abc>3</abc></root>";

class MarkupNavigate : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(doc.SetDocument(kTree)); }
  CMarkupSTL doc;
};

TEST_F(MarkupNavigate, FindElementMatchesWholeNamesAndLeavesCursorOnFailure) {
  ASSERT_TRUE(doc.FindElement("root"));
  ASSERT_TRUE(doc.IntoElement());
  ASSERT_TRUE(doc.FindElement("a"));
  ASSERT_TRUE(doc.FindElement("a"));
  const int32_t second_a = doc.GetMainPos();
  EXPECT_FALSE(doc.FindElement("a"));
  EXPECT_EQ(doc.GetMainPos(), second_a);
  EXPECT_FALSE(doc.FindElement("ab"));  // neither a nor abc
  // A name may carry a suffix after '[', '=' or a space.
  ASSERT_TRUE(doc.FindElement("abc[1]"));
  EXPECT_EQ(doc.GetData(), "3");
  ASSERT_TRUE(doc.FindElement("/root/abc=x"));
  ASSERT_TRUE(doc.FindElement("/root/a b"));
  EXPECT_EQ(doc.GetMainPos(), doc.GetIndex()[doc.GetParentPos()].firstChild);
}

TEST_F(MarkupNavigate, AbsolutePathsMoveTheParentAndDoNotBacktrack) {
  ASSERT_TRUE(doc.FindElement("/root/b/y"));
  EXPECT_EQ(doc.GetData(), "by");
  ASSERT_TRUE(doc.OutOfElement());
  EXPECT_EQ(doc.GetTagName(), "b");
  ASSERT_TRUE(doc.FindElement("/"));
  EXPECT_EQ(doc.GetTagName(), "root");
  EXPECT_EQ(doc.GetParentPos(), 0);
  // The first a has no y; the search does not go back to try the second a.
  EXPECT_FALSE(doc.FindElement("/root/a/y"));
  EXPECT_EQ(doc.GetTagName(), "root");
  ASSERT_TRUE(doc.FindElement("/*/*/x"));
  EXPECT_EQ(doc.GetData(), "ax");
  ASSERT_TRUE(doc.FindElement("/*/b/*"));
  EXPECT_EQ(doc.GetData(), "bx");
  ASSERT_TRUE(doc.FindElement("*"));  // the next element of any name
  EXPECT_EQ(doc.GetData(), "by");
}

TEST_F(MarkupNavigate, ChildPositionIntoAndOut) {
  // With no main position, FindChildElement first takes the next element as main.
  ASSERT_TRUE(doc.FindChildElement("b"));
  EXPECT_EQ(doc.GetTagName(), "root");
  ASSERT_TRUE(doc.IntoElement());
  EXPECT_EQ(doc.GetTagName(), "b");
  ASSERT_TRUE(doc.FindChildElement("y"));
  EXPECT_FALSE(doc.FindChildElement("y"));  // nothing after y: the child position stays
  ASSERT_TRUE(doc.IntoElement());
  EXPECT_EQ(doc.GetData(), "by");
  // Into an element with no child position: no main element.
  ASSERT_TRUE(doc.IntoElement());
  EXPECT_EQ(doc.GetMainPos(), 0);
  EXPECT_EQ(doc.GetMainKind(), kNodeInvalid);
  EXPECT_FALSE(doc.IntoElement());
  EXPECT_EQ(doc.GetTagName(), "");
  ASSERT_TRUE(doc.OutOfElement());
  ASSERT_TRUE(doc.OutOfElement());
  ASSERT_TRUE(doc.OutOfElement());
  EXPECT_EQ(doc.GetTagName(), "root");
  EXPECT_FALSE(doc.OutOfElement());
  // The child position is where the walk came from: the next child is the second a.
  ASSERT_TRUE(doc.FindChildElement());
  ASSERT_TRUE(doc.IntoElement());
  ASSERT_TRUE(doc.FindChildElement());
  EXPECT_EQ(doc.GetData(), "");  // a has children
  ASSERT_TRUE(doc.IntoElement());
  EXPECT_EQ(doc.GetData(), "ay");
}

std::string DataOf(const char* text) {
  CMarkupSTL doc;
  if (!doc.SetDocument(text) || !doc.FindElement()) return "(parse failed)";
  return doc.GetData();
}

TEST(MarkupContent, ReferencesAreDecoded) {
  EXPECT_EQ(DataOf("<a>1 &lt; 2 &amp;&#65;&#x42;&unknown;</a>"), "1 < 2 &AB&unknown;");
  // 0x1F600 keeps only its low 16 bits, in three bytes; "&#;" is the number 0.
  EXPECT_EQ(DataOf("<a>&gt;&apos;&quot;&#233;&#x20AC;&#x1F600;&#;</a>"),
            std::string(">'\"\xC3\xA9\xE2\x82\xAC\xEF\x98\x80") + '\0');
  // Seven digits still reach the ';', eight do not; nor does a reference cut by the end.
  EXPECT_EQ(DataOf("<a>&#0000065;&#00000065;&#x0000041;</a>"), "A&#00000065;A");
  EXPECT_EQ(DataOf("<a>x &lt</a>"), "x &lt");
  EXPECT_EQ(DataOf("<a>&#65</a>"), "&#65");
}

TEST(MarkupContent, LeadingCDataIsReturnedUnchanged) {
  EXPECT_EQ(DataOf("<a>  <![CDATA[x<y &amp;]]>  </a>"), "x<y &amp;");
  EXPECT_EQ(DataOf("<a><![CDATA[]]></a>"), "");
  EXPECT_EQ(DataOf("<a>t<![CDATA[x]]></a>"), "t<![CDATA[x]]>");  // text first: all decoded
  EXPECT_EQ(DataOf("<a> \r\n </a>"), " \r\n ");
  EXPECT_EQ(DataOf("<a/>"), "");
}

}  // namespace
}  // namespace corvel::markup
