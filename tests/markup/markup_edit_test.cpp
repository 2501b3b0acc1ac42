// Edits: SetData and the two add operations on empty, empty-content and populated elements,
// and a property test that random edit sequences keep the index equal to a re-parse.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "markup/markup_document.h"
#include "markup_test_helpers.h"

namespace corvel::markup {
namespace {

using test::IndexMatchesReparse;

// Sets `text`, finds the element at `path` and returns whether all of that worked.
bool Open(CMarkupSTL& doc, const char* text, const char* path) {
  return doc.SetDocument(text) && doc.FindElement(path);
}

TEST(MarkupSetData, EmptyElementGainsContentAndEndTag) {
  CMarkupSTL doc;
  ASSERT_TRUE(Open(doc, "<r><version/></r>", "/r/version"));
  ASSERT_TRUE(doc.SetData("1"));
  EXPECT_EQ(doc.GetDoc(), "<r><version>1</version></r>");
  EXPECT_EQ(doc.GetData(), "1");
  EXPECT_TRUE(IndexMatchesReparse(doc));

  ASSERT_TRUE(Open(doc, "<v a=\"1\" />", "v"));
  ASSERT_TRUE(doc.SetData("text"));
  EXPECT_EQ(doc.GetDoc(), "<v a=\"1\" >text</v>");
  EXPECT_TRUE(IndexMatchesReparse(doc));

  ASSERT_TRUE(Open(doc, "<v/>", "v"));
  ASSERT_TRUE(doc.SetData(""));
  EXPECT_EQ(doc.GetDoc(), "<v></v>");
  EXPECT_TRUE(IndexMatchesReparse(doc));
}

TEST(MarkupSetData, ContentIsReplacedAndEscaped) {
  CMarkupSTL doc;
  ASSERT_TRUE(Open(doc, "<v>old</v>", "v"));
  ASSERT_TRUE(doc.SetData("a<b & c>d 'q' \"q\""));
  EXPECT_EQ(doc.GetDoc(), "<v>a&lt;b &amp; c&gt;d 'q' \"q\"</v>");
  EXPECT_EQ(doc.GetData(), "a<b & c>d 'q' \"q\"");
  EXPECT_TRUE(IndexMatchesReparse(doc));

  ASSERT_TRUE(doc.SetData(nullptr));
  EXPECT_EQ(doc.GetDoc(), "<v></v>");
  ASSERT_TRUE(doc.SetData("x"));
  EXPECT_EQ(doc.GetDoc(), "<v>x</v>");
  EXPECT_TRUE(IndexMatchesReparse(doc));

  // Whatever the content was (CDATA, references), it is replaced as a whole.
  ASSERT_TRUE(Open(doc, "<v> <![CDATA[a]]> &amp; </v>", "v"));
  ASSERT_TRUE(doc.SetData("<![CDATA[x]]>"));
  EXPECT_EQ(doc.GetDoc(), "<v>&lt;![CDATA[x]]&gt;</v>");
  EXPECT_EQ(doc.GetData(), "<![CDATA[x]]>");
}

TEST(MarkupSetData, RefusedWithoutMainElementOrWithChildren) {
  CMarkupSTL doc;
  ASSERT_TRUE(doc.SetDocument("<r><a/></r>"));
  EXPECT_FALSE(doc.SetData("x"));
  ASSERT_TRUE(doc.FindElement());
  EXPECT_FALSE(doc.SetData("x"));
  EXPECT_EQ(doc.GetDoc(), "<r><a/></r>");
}

TEST(MarkupSetData, LaterElementsAndAncestorsMove) {
  CMarkupSTL doc;
  ASSERT_TRUE(doc.SetDocument("<r>\n <s><a>1</a><b>2</b></s>\n <t><c/></t>\n</r>\n<!-- after -->"));
  ASSERT_TRUE(doc.FindElement("/r/s/a"));
  ASSERT_TRUE(doc.SetData("a much longer value"));
  EXPECT_TRUE(IndexMatchesReparse(doc));
  ASSERT_TRUE(doc.FindElement("b"));
  EXPECT_EQ(doc.GetData(), "2");
  ASSERT_TRUE(doc.FindElement("/r/t/c"));
  ASSERT_TRUE(doc.SetData("c"));
  ASSERT_TRUE(doc.FindElement("/r/s/a"));
  ASSERT_TRUE(doc.SetData(""));  // shrinking moves everything back
  EXPECT_TRUE(IndexMatchesReparse(doc));
  EXPECT_EQ(doc.GetDoc(), "<r>\n <s><a></a><b>2</b></s>\n <t><c>c</c></t>\n</r>\n<!-- after -->");
}

TEST(MarkupAddChild, UnderEmptyElement) {
  CMarkupSTL doc;
  ASSERT_TRUE(Open(doc, "<r><p/></r>", "/r/p"));
  ASSERT_TRUE(doc.AddChildElement("a"));
  EXPECT_EQ(doc.GetDoc(), "<r><p>\r\n<a/>\r\n</p></r>");
  EXPECT_EQ(doc.GetTagName(), "p");
  EXPECT_EQ(doc.GetMainKind(), kNodeElement);
  EXPECT_TRUE(IndexMatchesReparse(doc));
  ASSERT_TRUE(doc.IntoElement());
  EXPECT_EQ(doc.GetTagName(), "a");
  ASSERT_TRUE(doc.SetData("v"));
  EXPECT_EQ(doc.GetDoc(), "<r><p>\r\n<a>v</a>\r\n</p></r>");
  EXPECT_TRUE(IndexMatchesReparse(doc));
}

TEST(MarkupAddChild, UnderEmptyContent) {
  CMarkupSTL doc;
  ASSERT_TRUE(Open(doc, "<p></p>", "p"));
  ASSERT_TRUE(doc.AddChildElement("c"));
  EXPECT_EQ(doc.GetDoc(), "<p>\r\n<c/>\r\n</p>");
  EXPECT_TRUE(IndexMatchesReparse(doc));
  // A second child goes after the first one.
  ASSERT_TRUE(doc.AddChildElement("d"));
  EXPECT_EQ(doc.GetDoc(), "<p>\r\n<c/>\r\n<d/>\r\n</p>");
  EXPECT_TRUE(IndexMatchesReparse(doc));
}

TEST(MarkupAddChild, UnderPopulatedElement) {
  CMarkupSTL doc;
  // No child position: the new element goes after the last child.
  ASSERT_TRUE(Open(doc, "<p><a/></p>", "p"));
  ASSERT_TRUE(doc.AddChildElement("c"));
  EXPECT_EQ(doc.GetDoc(), "<p><a/><c/>\r\n</p>");
  EXPECT_TRUE(IndexMatchesReparse(doc));

  // After the child position, before the following sibling, and linked in between.
  ASSERT_TRUE(Open(doc, "<p>\r\n<a/>\r\n<b/>\r\n</p>", "p"));
  ASSERT_TRUE(doc.FindChildElement("a"));
  ASSERT_TRUE(doc.AddChildElement("c"));
  EXPECT_EQ(doc.GetDoc(), "<p>\r\n<a/>\r\n<c/>\r\n<b/>\r\n</p>");
  EXPECT_TRUE(IndexMatchesReparse(doc));
  ASSERT_TRUE(doc.FindChildElement());
  EXPECT_EQ(test::ElementMarkup(doc, doc.GetChildPos()), "<b/>");

  // Text after the reference keeps the insertion right behind the reference.
  ASSERT_TRUE(Open(doc, "<p><a/>  xyz</p>", "p"));
  ASSERT_TRUE(doc.FindChildElement("a"));
  ASSERT_TRUE(doc.AddChildElement("c"));
  EXPECT_EQ(doc.GetDoc(), "<p><a/><c/>\r\n  xyz</p>");
  EXPECT_TRUE(IndexMatchesReparse(doc));

  // Text content: the child is added before the end tag; the element loses its data.
  ASSERT_TRUE(Open(doc, "<p>text</p>", "p"));
  ASSERT_TRUE(doc.AddChildElement("c"));
  EXPECT_EQ(doc.GetDoc(), "<p>text<c/>\r\n</p>");
  EXPECT_EQ(doc.GetData(), "");
  EXPECT_TRUE(IndexMatchesReparse(doc));
}

TEST(MarkupAddChild, RefusedWithoutMainElement) {
  CMarkupSTL doc;
  ASSERT_TRUE(doc.SetDocument("<r/>"));
  EXPECT_FALSE(doc.AddChildElement("c"));
  EXPECT_EQ(doc.GetDoc(), "<r/>");
}

TEST(MarkupAddElement, AfterMainPosition) {
  CMarkupSTL doc;
  ASSERT_TRUE(Open(doc, "<r>\r\n<a>1</a>\r\n<z/>\r\n</r>", "/r/a"));
  ASSERT_TRUE(doc.AddElement("b"));
  EXPECT_EQ(doc.GetDoc(), "<r>\r\n<a>1</a>\r\n<b/>\r\n<z/>\r\n</r>");
  EXPECT_EQ(doc.GetTagName(), "b");
  EXPECT_EQ(doc.GetChildPos(), 0);
  EXPECT_TRUE(IndexMatchesReparse(doc));
  ASSERT_TRUE(doc.SetData("2"));
  ASSERT_TRUE(doc.FindElement());
  EXPECT_EQ(doc.GetTagName(), "z");
  EXPECT_TRUE(IndexMatchesReparse(doc));
}

TEST(MarkupAddElement, IntoAnElementWithoutMainPosition) {
  CMarkupSTL doc;
  ASSERT_TRUE(Open(doc, "<r><a>x</a></r>", "r"));
  ASSERT_TRUE(doc.IntoElement());  // parent r, no main position
  ASSERT_TRUE(doc.AddElement("b"));
  EXPECT_EQ(doc.GetDoc(), "<r><a>x</a><b/>\r\n</r>");
  EXPECT_TRUE(IndexMatchesReparse(doc));

  ASSERT_TRUE(Open(doc, "<r/>", "r"));
  ASSERT_TRUE(doc.IntoElement());
  ASSERT_TRUE(doc.AddElement("b"));
  EXPECT_EQ(doc.GetDoc(), "<r>\r\n<b/>\r\n</r>");
  EXPECT_TRUE(IndexMatchesReparse(doc));
}

TEST(MarkupAddElement, RootOnlyWhenThereIsNone) {
  CMarkupSTL doc;
  ASSERT_TRUE(doc.AddElement("r"));
  EXPECT_EQ(doc.GetDoc(), "<r/>\r\n");
  EXPECT_TRUE(doc.IsWellFormed());
  EXPECT_TRUE(IndexMatchesReparse(doc));
  EXPECT_FALSE(doc.AddElement("s"));
  ASSERT_TRUE(doc.AddChildElement("c"));
  EXPECT_EQ(doc.GetDoc(), "<r>\r\n<c/>\r\n</r>\r\n");
  EXPECT_TRUE(IndexMatchesReparse(doc));

  // A document whose parse failed keeps its text and can be given a root after it.
  EXPECT_FALSE(doc.SetDocument("<?xml version='1.0'?>\r\n"));
  ASSERT_TRUE(doc.AddElement("r"));
  EXPECT_EQ(doc.GetDoc(), "<?xml version='1.0'?>\r\n<r/>\r\n");
  EXPECT_TRUE(IndexMatchesReparse(doc));
}

// ---- property test ------------------------------------------------------------------------

class RandomDocument {
 public:
  explicit RandomDocument(uint32_t seed) : mRng(seed) {}

  std::string Text() {
    std::string out;
    if (Chance(2)) out += "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n";
    if (Chance(3)) out += "<!-- head -->\n";
    Element(out, 0);
    if (Chance(3)) out += "\r\n<!-- tail -->";
    return out;
  }

  std::string Name() {
    static const char* const kNames[] = {"a", "b", "item", "swid:name", "x_y", "abc"};
    return kNames[Pick(6)];
  }

  std::string Value() {
    static const char* const kPieces[] = {"v", " ", "<", ">", "&", "'", "\"", "&lt;",
                                          "]]>", "\xC3\xA9", "\r\n", "<![CDATA[", "12"};
    std::string out;
    const int count = static_cast<int>(Pick(5));
    for (int i = 0; i < count; ++i) out += kPieces[Pick(13)];
    return out;
  }

  uint32_t Pick(uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(mRng); }
  bool Chance(uint32_t n) { return Pick(n) == 0; }

 private:
  void Element(std::string& out, int depth) {
    const std::string name = Name();
    std::string start = "<" + name;
    if (Chance(3)) start += " k=\"v/\"";
    if (Chance(4)) start += " ";
    const uint32_t shape = depth >= 4 ? Pick(3) : Pick(5);
    if (shape == 0) {
      out += start + "/>";
      return;
    }
    out += start + ">";
    if (shape == 1) {
      // empty content
    } else if (shape == 2) {
      out += Chance(2) ? "text &amp; more" : " \r\n ";
    } else {
      const uint32_t children = 1 + Pick(4);
      for (uint32_t i = 0; i < children; ++i) {
        if (Chance(2)) out += "\r\n  ";
        if (Chance(6)) out += "<!-- c -->";
        Element(out, depth + 1);
      }
      if (Chance(2)) out += "\r\n";
    }
    out += "</" + name + ">";
  }

  std::mt19937 mRng;
};

// Puts the cursor on `element` with the public operations: from the root, take the child
// at each level by counting FindChildElement calls, then go into it.
void MoveTo(CMarkupSTL& doc, int32_t element) {
  const ElementIndex& index = doc.GetIndex();
  std::vector<int32_t> chain;
  for (int32_t at = element; at; at = index[at].parent) chain.insert(chain.begin(), at);
  ASSERT_TRUE(doc.FindElement("/"));
  for (size_t level = 1; level < chain.size(); ++level) {
    for (int32_t c = index[chain[level - 1]].firstChild;; c = index[c].nextSibling) {
      ASSERT_TRUE(doc.FindChildElement());
      if (c == chain[level]) break;
    }
    ASSERT_TRUE(doc.IntoElement());
  }
  ASSERT_EQ(doc.GetMainPos(), element);
}

int32_t ChildCount(const CMarkupSTL& doc, int32_t element) {
  int32_t count = 0;
  for (int32_t c = doc.GetIndex()[element].firstChild; c; c = doc.GetIndex()[c].nextSibling) {
    ++count;
  }
  return count;
}

void RunRandomEdits(uint32_t seed, int edits) {
  SCOPED_TRACE("seed " + std::to_string(seed));
  RandomDocument random(seed);
  CMarkupSTL doc;
  const std::string original = random.Text();
  ASSERT_TRUE(doc.SetDocument(original.c_str())) << doc.GetError() << "\n" << original;
  ASSERT_TRUE(IndexMatchesReparse(doc));

  // The data each element must read back: what was set last, or empty once it has children.
  std::map<int32_t, std::string> expected;
  for (int step = 0; step < edits; ++step) {
    const std::vector<int32_t> all = test::ElementsInOrder(doc);
    const int32_t target = all[random.Pick(static_cast<uint32_t>(all.size()))];
    MoveTo(doc, target);
    const std::string before = doc.GetDoc();
    const uint32_t op = random.Pick(4);
    if (op == 0) {
      const std::string value = random.Value();
      if (doc.GetIndex()[target].firstChild) {
        ASSERT_FALSE(doc.SetData(value.c_str()));
        ASSERT_EQ(doc.GetDoc(), before);
      } else {
        ASSERT_TRUE(doc.SetData(value.c_str()));
        ASSERT_EQ(doc.GetData(), value);
        expected[target] = value;
      }
    } else if (op == 1) {
      // A child after a random child position (or after the last child).
      const int32_t children = ChildCount(doc, target);
      const uint32_t skip = random.Pick(static_cast<uint32_t>(children) + 1);
      for (uint32_t i = 0; i < skip; ++i) ASSERT_TRUE(doc.FindChildElement());
      const std::string name = random.Name();
      ASSERT_TRUE(doc.AddChildElement(name.c_str()));
      ASSERT_EQ(doc.GetMainPos(), target);
      ASSERT_TRUE(doc.IntoElement());
      ASSERT_EQ(doc.GetTagName(), name);
      expected.erase(target);
      expected[doc.GetMainPos()] = "";
    } else if (op == 2) {
      const std::string name = random.Name();
      const int32_t parent = doc.GetParentPos();
      if (!parent) {
        ASSERT_FALSE(doc.AddElement(name.c_str()));
        ASSERT_EQ(doc.GetDoc(), before);
      } else {
        ASSERT_TRUE(doc.AddElement(name.c_str()));
        ASSERT_EQ(doc.GetTagName(), name);
        ASSERT_EQ(doc.GetIndex()[doc.GetMainPos()].parent, parent);
        expected[doc.GetMainPos()] = "";
      }
    } else {
      // Into the element with no child position, then add: it goes after the last child.
      ASSERT_TRUE(doc.IntoElement());
      const std::string name = random.Name();
      ASSERT_TRUE(doc.AddElement(name.c_str()));
      expected.erase(target);
      expected[doc.GetMainPos()] = "";
    }
    ASSERT_TRUE(IndexMatchesReparse(doc)) << "after step " << step << " (op " << op << ")";
  }

  for (const auto& [element, value] : expected) {
    MoveTo(doc, element);
    EXPECT_EQ(doc.GetData(), value) << "element " << element;
  }
}

TEST(MarkupProperty, RandomEditsKeepTheIndexEqualToAReparse) {
  for (uint32_t seed = 1; seed <= 400; ++seed) {
    RunRandomEdits(seed, 40);
    if (::testing::Test::HasFatalFailure()) return;
  }
}

// Every indexed element is where its offsets say, inside its parent, after its predecessor.
::testing::AssertionResult OffsetsDescribeTheText(const CMarkupSTL& doc) {
  const std::string& text = doc.GetDoc();
  const ElementIndex& index = doc.GetIndex();
  int32_t previousEnd = -1;
  int32_t previousParent = -1;
  for (int32_t e : test::ElementsInOrder(doc)) {
    const ElementEntry& x = index[e];
    const bool empty = x.startRight == x.endLeft + 1;
    const bool marks = text[static_cast<size_t>(x.startLeft)] == '<' &&
                       text[static_cast<size_t>(x.startRight)] == '>' &&
                       text[static_cast<size_t>(x.endRight)] == '>' &&
                       text[static_cast<size_t>(x.endLeft)] == (empty ? '/' : '<');
    const bool ordered = x.startLeft < x.startRight && x.startRight <= x.endRight &&
                         x.endRight < static_cast<int32_t>(text.size());
    bool nested = true;
    if (x.parent) {
      const ElementEntry& p = index[x.parent];
      nested = p.startRight < x.startLeft && x.endRight < p.endLeft;
    }
    const bool after = x.parent != previousParent || x.startLeft > previousEnd;
    if (!marks || !ordered || !nested || !after) {
      return ::testing::AssertionFailure() << "element " << e << " misplaced in:\n" << text;
    }
    previousEnd = x.endRight;
    previousParent = x.parent;
  }
  return ::testing::AssertionSuccess();
}

TEST(MarkupProperty, MutatedDocumentsParseAndEditSafely) {
  static const char kBytes[] = "<>/!?-[]\"'= a\r\n&;#x\xC3";
  int wellFormed = 0;
  for (uint32_t seed = 1; seed <= 1500; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    RandomDocument random(seed);
    std::string text = random.Text();
    const uint32_t mutations = 1 + random.Pick(4);
    for (uint32_t m = 0; m < mutations; ++m) {
      const size_t at = random.Pick(static_cast<uint32_t>(text.size()));
      switch (random.Pick(3)) {
        case 0:
          text[at] = kBytes[random.Pick(sizeof kBytes - 1)];
          break;
        case 1:
          text.erase(at, 1 + random.Pick(8));
          break;
        default:
          text.resize(at);
      }
      if (text.empty()) text = "<";
    }
    CMarkupSTL doc;
    if (!doc.SetDocument(text.c_str())) continue;
    ++wellFormed;
    ASSERT_TRUE(OffsetsDescribeTheText(doc));
    const std::vector<int32_t> all = test::ElementsInOrder(doc);
    for (int edit = 0; edit < 3; ++edit) {
      MoveTo(doc, all[random.Pick(static_cast<uint32_t>(all.size()))]);
      (void)doc.GetTagName();
      (void)doc.GetData();
      if (random.Chance(2)) {
        doc.SetData(random.Value().c_str());
      } else {
        ASSERT_TRUE(doc.AddChildElement(random.Name().c_str()));
      }
      ASSERT_TRUE(IndexMatchesReparse(doc));
      ASSERT_TRUE(OffsetsDescribeTheText(doc));
    }
  }
  // The mutations leave a fair share of documents well-formed, so the edits were exercised.
  EXPECT_GT(wellFormed, 100);
}

}  // namespace
}  // namespace corvel::markup
