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

// The text after `edit` ran on the element at `path` of `text` (no path: no main element),
// having checked that the edited index still equals a fresh parse of that text.
template <typename Edit>
std::string After(const char* text, const char* path, Edit edit) {
  CMarkupSTL doc;
  doc.SetDocument(text);
  if (path && !doc.FindElement(path)) return "(not found)";
  const std::string before = doc.GetDoc();
  if (!edit(doc)) {
    EXPECT_EQ(doc.GetDoc(), before) << "a refused edit changed the text";
    return "(refused)";
  }
  EXPECT_TRUE(IndexMatchesReparse(doc)) << text;
  return doc.GetDoc();
}

auto Set(const char* value) {
  return [value](CMarkupSTL& doc) {
    return doc.SetData(value) && doc.GetData() == (value ? value : "");
  };
}

// Adds child `name` after the `skip`-th child (0: after the last child).
auto AddChild(const char* name, int skip = 0) {
  return [name, skip](CMarkupSTL& doc) {
    for (int i = 0; i < skip; ++i) doc.FindChildElement();
    return doc.AddChildElement(name);
  };
}

auto Add(const char* name, bool into = false) {
  return [name, into](CMarkupSTL& doc) {
    return (!into || doc.IntoElement()) && doc.AddElement(name);
  };
}

TEST(MarkupSetData, EmptyEmptyContentAndPopulatedElements) {
  EXPECT_EQ(After("<r><version/></r>", "/r/version", Set("1")), "<r><version>1</version></r>");
  EXPECT_EQ(After("<v a=\"1\" />", "v", Set("text")), "<v a=\"1\" >text</v>");
  EXPECT_EQ(After("<v/>", "v", Set("")), "<v></v>");
  EXPECT_EQ(After("<v></v>", "v", Set("x")), "<v>x</v>");
  EXPECT_EQ(After("<v>old</v>", "v", Set(nullptr)), "<v></v>");
  EXPECT_EQ(After("<v>old</v>", "v", Set("a<b & c>d 'q' \"q\"")),
            "<v>a&lt;b &amp; c&gt;d 'q' \"q\"</v>");
  // Whatever the content was (CDATA, references), it is replaced whole and never as CDATA.
  EXPECT_EQ(After("<v> <![CDATA[a]]> &amp; </v>", "v", Set("<![CDATA[x]]>")),
            "<v>&lt;![CDATA[x]]&gt;</v>");
  // Later elements and every ancestor's end move; growing and shrinking alike.
  EXPECT_EQ(After("<r>\n <s><a>1</a><b>2</b></s>\n <t><c/></t>\n</r>\n<!-- after -->", "/r/s/a",
                  [](CMarkupSTL& doc) {
                    return doc.SetData("a much longer value") && doc.FindElement("/r/t/c") &&
                           doc.SetData("c") && doc.FindElement("/r/s/a") && doc.SetData("") &&
                           doc.FindElement("b") && doc.GetData() == "2";
                  }),
            "<r>\n <s><a></a><b>2</b></s>\n <t><c>c</c></t>\n</r>\n<!-- after -->");
  // Refused with children or without a main element; nothing changes.
  EXPECT_EQ(After("<r><a/></r>", "r", Set("x")), "(refused)");
  EXPECT_EQ(After("<r><a/></r>", nullptr, Set("x")), "(refused)");
}

TEST(MarkupAddChild, EmptyEmptyContentAndPopulatedParents) {
  EXPECT_EQ(After("<r><p/></r>", "/r/p", AddChild("a")), "<r><p>\r\n<a/>\r\n</p></r>");
  EXPECT_EQ(After("<p x='1'/>", "p", AddChild("a")), "<p x='1'>\r\n<a/>\r\n</p>");
  EXPECT_EQ(After("<p></p>", "p", AddChild("c")), "<p>\r\n<c/>\r\n</p>");
  EXPECT_EQ(
      After("<p></p>", "p",
            [](CMarkupSTL& doc) { return doc.AddChildElement("c") && doc.AddChildElement("d"); }),
      "<p>\r\n<c/>\r\n<d/>\r\n</p>");
  EXPECT_EQ(After("<p><a/></p>", "p", AddChild("c")), "<p><a/><c/>\r\n</p>");
  // After the child position, before the following sibling.
  EXPECT_EQ(After("<p>\r\n<a/>\r\n<b/>\r\n</p>", "p", AddChild("c", 1)),
            "<p>\r\n<a/>\r\n<c/>\r\n<b/>\r\n</p>");
  // Text after the reference keeps the insertion right behind the reference.
  EXPECT_EQ(After("<p><a/>  xyz</p>", "p", AddChild("c", 1)), "<p><a/><c/>\r\n  xyz</p>");
  EXPECT_EQ(After("<p>text</p>", "p", AddChild("c")), "<p>text<c/>\r\n</p>");
  EXPECT_EQ(After("<r/>", nullptr, AddChild("c")), "(refused)");
}

TEST(MarkupAddChild, CursorEndsOnParentAndNewChild) {
  CMarkupSTL doc;
  ASSERT_TRUE(doc.SetDocument("<p>\r\n<a/>\r\n<b/>\r\n</p>"));
  ASSERT_TRUE(doc.FindElement());
  ASSERT_TRUE(doc.FindChildElement("a"));
  ASSERT_TRUE(doc.AddChildElement("c"));
  EXPECT_EQ(doc.GetTagName(), "p");
  EXPECT_EQ(doc.GetMainKind(), kNodeElement);
  ASSERT_TRUE(doc.FindChildElement());  // linked between a and b
  EXPECT_EQ(test::ElementMarkup(doc, doc.GetChildPos()), "<b/>");
  ASSERT_TRUE(doc.FindElement("/p/c"));
  ASSERT_TRUE(doc.SetData("v"));
  EXPECT_EQ(doc.GetDoc(), "<p>\r\n<a/>\r\n<c>v</c>\r\n<b/>\r\n</p>");
}

TEST(MarkupAddElement, AfterMainIntoParentsAndAsRoot) {
  EXPECT_EQ(After("<r>\r\n<a>1</a>\r\n<z/>\r\n</r>", "/r/a",
                  [](CMarkupSTL& doc) {
                    return doc.AddElement("b") && doc.GetTagName() == "b" &&
                           doc.GetChildPos() == 0 && doc.SetData("2") && doc.FindElement() &&
                           doc.GetTagName() == "z";
                  }),
            "<r>\r\n<a>1</a>\r\n<b>2</b>\r\n<z/>\r\n</r>");
  // With no main position under a parent: after the parent's last child.
  EXPECT_EQ(After("<r><a>x</a></r>", "r", Add("b", true)), "<r><a>x</a><b/>\r\n</r>");
  EXPECT_EQ(After("<r/>", "r", Add("b", true)), "<r>\r\n<b/>\r\n</r>");
  // At the document level only while there is no root; a failed parse keeps its text.
  EXPECT_EQ(After("", nullptr, Add("r")), "<r/>\r\n");
  EXPECT_EQ(After("<r/>", nullptr, Add("s")), "(refused)");
  EXPECT_EQ(After("<?xml version='1.0'?>\r\n", nullptr,
                  [](CMarkupSTL& doc) {
                    return doc.AddElement("r") && doc.IsWellFormed() && doc.AddChildElement("c");
                  }),
            "<?xml version='1.0'?>\r\n<r>\r\n<c/>\r\n</r>\r\n");
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
    static const char* const kPieces[] = {"v",    " ",   "<",        ">",    "&",         "'", "\"",
                                          "&lt;", "]]>", "\xC3\xA9", "\r\n", "<![CDATA[", "12"};
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

TEST(MarkupProperty, MutatedDocumentsParseAndEditSafely) {
  static const char kBytes[] = "<>/!?-[]\"'= a\r\n&;#x\xC3";
  int well_formed = 0;
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
    ++well_formed;
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
    }
  }
  // The mutations leave a fair share of documents well-formed, so the edits were exercised.
  EXPECT_GT(well_formed, 100);
}

}  // namespace
}  // namespace corvel::markup
