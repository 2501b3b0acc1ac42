// The markup engine through its cursor: one table of documents and operation scripts (parse
// errors, navigation, reading, edits), the 100,000-level parse, and random edit sequences
// whose index must always equal a fresh parse of the edited text. Arbitrary (mutated) text
// parsed and edited is fuzz_markup's job. Load and Save are not tested here: nothing in the
// library reads or writes a file through the engine.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "markup/markup_document.h"

namespace corvel::markup {
namespace {

// Each element in document order (walked without recursion): its four offsets and its
// parent's place in that order.
std::vector<std::array<int64_t, 5>> Shape(const CMarkupSTL& doc) {
  const ElementIndex& index = doc.GetIndex();
  std::unordered_map<int32_t, int64_t> place = {{0, -1}};
  std::vector<std::array<int64_t, 5>> shape;
  for (int32_t at = index[0].firstChild; at;) {
    const ElementEntry& e = index[at];
    place[at] = static_cast<int64_t>(shape.size());
    shape.push_back({e.startLeft, e.startRight, e.endLeft, e.endRight, place.at(e.parent)});
    if (e.firstChild) {
      at = e.firstChild;
      continue;
    }
    while (at && !index[at].nextSibling) at = index[at].parent;
    if (at) at = index[at].nextSibling;
  }
  return shape;
}

// Whether `edited`'s index describes its own text as a fresh parse of that text does.
::testing::AssertionResult IndexMatchesReparse(const CMarkupSTL& edited) {
  CMarkupSTL fresh;
  if (fresh.SetDocument(edited.GetDoc().c_str()) != edited.IsWellFormed() ||
      Shape(fresh) != Shape(edited)) {
    return ::testing::AssertionFailure() << "not as a fresh parse (" << fresh.GetError() << "):\n"
                                         << edited.GetDoc();
  }
  return ::testing::AssertionSuccess();
}

// Runs a script of ';'-separated operations, "op" or "op:argument": f FindElement, c
// FindChildElement, i IntoElement, o OutOfElement, s SetData ("s" alone: null), a AddElement,
// A AddChildElement. Each writes "tag" or "tag=data" of the main element (of the child for c;
// "()" for none), after "-" when the operation failed. A failed parse writes "!" and its error.
std::string RunScript(CMarkupSTL& doc, const std::string& script) {
  std::string out = doc.IsWellFormed() ? "" : "!" + doc.GetError() + ";";
  std::istringstream ops(script);
  for (std::string op; std::getline(ops, op, ';');) {
    const std::string arg = op.size() > 1 ? op.substr(2) : "";
    const char* name = op.size() > 1 ? arg.c_str() : nullptr;
    const bool ok = op[0] == 'f'   ? doc.FindElement(name)
                    : op[0] == 'c' ? doc.FindChildElement(name)
                    : op[0] == 'i' ? doc.IntoElement()
                    : op[0] == 'o' ? doc.OutOfElement()
                    : op[0] == 's' ? doc.SetData(name)
                    : op[0] == 'a' ? doc.AddElement(name)
                                   : doc.AddChildElement(name);
    const bool into_child = ok && op[0] == 'c' && doc.IntoElement();
    const std::string tag = doc.GetTagName(), data = doc.GetData();
    out += (ok ? "" : "-") + (tag.empty() ? "()" : tag) + (data.empty() ? "" : "=" + data) + ";";
    if (into_child) doc.OutOfElement();
  }
  return out;
}

struct ScriptCase {
  const char* text;
  const char* script;
  const char* out;
  const char* after;  // the text afterwards; nullptr: unchanged
};

constexpr const char* kTree =
    "<root><a id='1'><x>ax</x></a><b><x>bx</x><y>by</y></b>"
    "<a id='2'><y>ay</y><x>ax2</x></a><abc>3</abc></root>";

const ScriptCase kScripts[] = {
    // Parse errors: the text is kept, the index and the cursor are empty.
    {"plain text", "f", "!, Element tag not found;-();", nullptr},
    {"<a><b>text</b>", "", "!, Element tag not found;", nullptr},
    {"<a><   ", "", "!, Abrupt end within tag;", nullptr},
    {"<\"a\">", "", "!, Tag starts with quote;", nullptr},
    {"<!-- never closed", "", "!, Invalid node;", nullptr},
    {"<a><![CDATA[ never closed</a>", "", "!, Invalid node;", nullptr},
    {"<?xml version='1.0'", "", "!, Invalid node;", nullptr},
    {"<!DOCTYPE r [ <!ELEMENT r ANY> ", "", "!, Invalid node;", nullptr},
    {"<!DOCTYPE r \"unclosed > quote", "", "!, Invalid node;", nullptr},
    {"<!", "", "!, Invalid node;", nullptr},
    {"<a b='1'", "", "!, End of tag not found;", nullptr},
    {"<r><a><b></a></b></r>", "", "!, End tag does not correspond to b;", nullptr},
    {"<a></a", "", "!, End tag not completed for element a;", nullptr},
    {"<abc></ab>", "", "!, End tag does not correspond to abc;", nullptr},
    {"<ab></abc>", "", "!, End tag does not correspond to ab;", nullptr},
    {"</a>", "", "!;", nullptr},  // no root, but no error either
    // What is indexed: names matched wholly, a quoted token in the name's place ignored, other
    // nodes and everything after the root skipped ("< ?x>" is no instruction).
    {"<ab></ ab >", "f", "ab;", nullptr},
    {"<a></'q' b>", "f", "a;", nullptr},
    {"<?xml version=\"1.0\"?>\r\n<a>x</a>", "f;f", "a=x;-a=x;", nullptr},
    {"<!DOCTYPE r [ <!ENTITY e \"a>b\"> <!ELEMENT r ANY> ]>\n<!-- before -->\n< r a=\"1\" "
     "b='x/y'>\n  <!-- <fake/> --><?pi <fake/> ?>\n  <one>1</one><![CDATA[ <fake></fake> ]]>\n"
     "  < ?x> <two k = \"v\" />\n</ r > trailing text <<< is never examined",
     "f:r;i;f;f;f", "r;();one=1;two;-two;", nullptr},
    {"<r><a><x/></a>text<b>t</b><c></c></r>", "f;i;f;i;f;f;o;f;f;f", "r;();a;();x;-x;a;b=t;c;-c;",
     nullptr},
    // Reading: references decoded (a code point keeps its low 16 bits; "&#;" is 0; seven digits
    // reach the ';', eight do not), a leading CDATA section returned as it stands.
    {"<a>1 &lt; 2 &amp;&#65;&#x42;&unknown;</a>", "f", "a=1 < 2 &AB&unknown;;", nullptr},
    {"<a>&gt;&apos;&quot;&#233;&#x20AC;&#x1F600;</a>", "f",
     "a=>'\"\xC3\xA9\xE2\x82\xAC\xEF\x98\x80;", nullptr},
    {"<a>&#0000065;&#00000065;&#x0000041;x &lt</a>", "f", "a=A&#00000065;Ax &lt;", nullptr},
    {"<a>&#65</a>", "f", "a=&#65;", nullptr},
    {"<a>  <![CDATA[x<y &amp;]]>  </a>", "f", "a=x<y &amp;;", nullptr},
    {"<a><![CDATA[]]></a>", "f", "a;", nullptr},
    {"<a>t<![CDATA[x]]></a>", "f", "a=t<![CDATA[x]]>;", nullptr},
    {"<a> \r\n </a>", "f", "a= \r\n ;", nullptr},
    // Navigation: whole names (a suffix after '[', '=' or ' ' ignored), the cursor kept on
    // failure, absolute paths that do not backtrack, the child position.
    {kTree, "f:root;i;f:a;f:a;f:a;f:ab;f:abc[1];f:/root/abc=x;f:/root/a b;i;f",
     "root;();a;a;-a;-a;abc=3;abc=3;a;();x=ax;", nullptr},
    {kTree, "f:/root/b/y;o;f:/;f:/root/a/y;f:/*/*/x;f:/*/b/*;f:*",
     "y=by;b;root;-root;x=ax;x=bx;y=by;", nullptr},
    {kTree, "c:b;i;c:y;c:y;i;i;i;o;o;o;o;c;i;c;i",
     "b;b;y=by;-b;y=by;();-();y=by;b;root;-root;a;a;y=ay;y=ay;", nullptr},
    // SetData on empty, empty-content and populated elements; refused without a main element.
    {"<v a=\"1\" />", "f;s:text", "v;v=text;", "<v a=\"1\" >text</v>"},
    {"<v/>", "f;s:", "v;v;", "<v></v>"},
    {"<v>old</v>", "f;s", "v=old;v;", "<v></v>"},
    {"<v>old</v>", "f;s:a<b & c>d 'q' \"q\"", "v=old;v=a<b & c>d 'q' \"q\";",
     "<v>a&lt;b &amp; c&gt;d 'q' \"q\"</v>"},
    {"<v> <![CDATA[a]]> &amp; </v>", "f;s:<![CDATA[x]]>", "v=a;v=<![CDATA[x]]>;",
     "<v>&lt;![CDATA[x]]&gt;</v>"},
    {"<r><a/></r>", "s:x", "-();", nullptr},
    // AddChildElement: after the child position (or the last child), the cursor on the parent.
    {"<p x='1'/>", "f;A:a", "p;p;", "<p x='1'>\r\n<a/>\r\n</p>"},
    {"<p></p>", "f;A:c;A:d", "p;p;p;", "<p>\r\n<c/>\r\n<d/>\r\n</p>"},
    {"<p><a/></p>", "f;A:c", "p;p;", "<p><a/><c/>\r\n</p>"},
    {"<p>\r\n<a/>\r\n<b/>\r\n</p>", "f;c:a;A:c;c;f:/p/c;s:v", "p;a;p;b;c;c=v;",
     "<p>\r\n<a/>\r\n<c>v</c>\r\n<b/>\r\n</p>"},
    {"<p><a/>  xyz</p>", "f;c;A:c", "p;a;p;", "<p><a/><c/>\r\n  xyz</p>"},
    {"<p>text</p>", "f;A:c", "p=text;p;", "<p>text<c/>\r\n</p>"},
    {"<r/>", "A:c", "-();", nullptr},
    // AddElement: after the main element, after a parent's last child, at the document level
    // only while there is no root (a failed parse keeps its text).
    {"<r>\r\n<a>1</a>\r\n<z/>\r\n</r>", "f:/r/a;a:b;s:2;f", "a=1;b;b=2;z;",
     "<r>\r\n<a>1</a>\r\n<b>2</b>\r\n<z/>\r\n</r>"},
    {"<r/>", "f:r;i;a:b", "r;();b;", "<r>\r\n<b/>\r\n</r>"},
    {"", "a:r", "!;r;", "<r/>\r\n"},
    {"<r/>", "a:s", "-();", nullptr},
    {"<?xml version='1.0'?>\r\n", "a:r;A:c", "!, Element tag not found;r;r;",
     "<?xml version='1.0'?>\r\n<r>\r\n<c/>\r\n</r>\r\n"},
};

TEST(Markup, ScriptsOverDocuments) {
  for (const ScriptCase& c : kScripts) {
    SCOPED_TRACE(::testing::Message() << c.text << " / " << c.script);
    CMarkupSTL doc;
    ASSERT_TRUE(doc.SetDocument("<earlier/>") && doc.FindElement());
    if (!doc.SetDocument(c.text)) {
      EXPECT_EQ(doc.GetFreePos(), 1);
      EXPECT_EQ(doc.GetMainPos(), 0);
    }
    EXPECT_EQ(RunScript(doc, c.script), c.out);
    EXPECT_EQ(doc.GetDoc(), c.after ? c.after : c.text);
    EXPECT_TRUE(IndexMatchesReparse(doc));
  }
}

// The engine's own conversions, used for UTF-16 tag files: lenient in their own way.
TEST(Markup, ConversionCombinesSurrogatesUncheckedAndCutsSequencesToQuestionMarks) {
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

TEST(Markup, HundredThousandLevelsParseWithoutRecursion) {
  constexpr int kDepth = 100000;  // beyond one segment of the index, too
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
  for (int i = 1; i < kDepth; ++i) ASSERT_TRUE(doc.FindChildElement("d") && doc.IntoElement());
  EXPECT_EQ(doc.GetData(), "deep");
  ASSERT_TRUE(doc.SetData("deeper"));  // moves the end offsets of every ancestor
  EXPECT_TRUE(IndexMatchesReparse(doc));

  // A mismatch or a cut at the bottom travels up as one error.
  std::string broken = text;
  broken.replace(broken.find("deep") + 4, 4, "</x>");
  EXPECT_FALSE(doc.SetDocument(broken.c_str()));
  EXPECT_EQ(doc.GetError(), ", End tag does not correspond to d");
  EXPECT_FALSE(doc.SetDocument(text.substr(0, text.find("deep")).c_str()));
  EXPECT_EQ(doc.GetError(), ", Element tag not found");
}

// ---- random documents and edits -----------------------------------------------------------

struct RandomDocument {
  std::string Text() {
    std::string out = Chance(2) ? "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n" : "";
    if (Chance(3)) out += "<!-- head -->\n";
    Element(out, 0);
    return Chance(3) ? out + "\r\n<!-- tail -->" : out;
  }
  std::string Name() {
    static const char* const kNames[] = {"a", "b", "item", "swid:name", "x_y", "abc"};
    return kNames[Pick(6)];
  }
  std::string Value() {
    static const char* const kPieces[] = {"v",    " ",   "<",        ">",    "&",         "'", "\"",
                                          "&lt;", "]]>", "\xC3\xA9", "\r\n", "<![CDATA[", "12"};
    std::string out;
    for (uint32_t i = Pick(5); i > 0; --i) out += kPieces[Pick(13)];
    return out;
  }
  uint32_t Pick(uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(rng); }
  bool Chance(uint32_t n) { return Pick(n) == 0; }
  void Element(std::string& out, int depth) {
    const std::string name = Name();
    out += "<" + name;
    if (Chance(3)) out += " k=\"v/\"";
    if (Chance(4)) out += " ";
    const uint32_t shape = depth >= 4 ? Pick(3) : Pick(5);
    if (shape == 0) {
      out += "/>";
      return;
    }
    out += ">";
    if (shape == 2) out += Chance(2) ? "text &amp; more" : " \r\n ";
    for (uint32_t i = shape > 2 ? 1 + Pick(4) : 0; i > 0; --i) {
      if (Chance(2)) out += "\r\n  ";
      if (Chance(6)) out += "<!-- c -->";
      Element(out, depth + 1);
    }
    out += (shape > 2 && Chance(2) ? "\r\n</" : "</") + name + ">";
  }

  std::mt19937 rng;
};

TEST(MarkupProperty, RandomEditsKeepTheIndexEqualToAReparse) {
  for (uint32_t seed = 1; seed <= 400; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    RandomDocument random{std::mt19937(seed)};
    CMarkupSTL doc;
    const std::string original = random.Text();
    ASSERT_TRUE(doc.SetDocument(original.c_str())) << doc.GetError() << "\n" << original;
    ASSERT_TRUE(IndexMatchesReparse(doc));
    for (int step = 0; step < 40; ++step) {
      // A random element, reached from the root with the public operations.
      ASSERT_TRUE(doc.FindElement("/"));
      while (doc.GetIndex()[doc.GetMainPos()].firstChild && !random.Chance(3)) {
        ASSERT_TRUE(doc.IntoElement());
        for (uint32_t i = random.Pick(8); doc.FindElement() && i > 0; --i) {
        }
      }
      const int32_t target = doc.GetMainPos();
      const std::string before = doc.GetDoc(), name = random.Name();
      const int32_t parent = doc.GetParentPos();
      const uint32_t op = random.Pick(4);
      if (op == 0) {
        const std::string value = random.Value();
        const bool leaf = doc.GetIndex()[target].firstChild == 0;
        ASSERT_EQ(doc.SetData(value.c_str()), leaf);
        ASSERT_EQ(leaf ? doc.GetData() : doc.GetDoc(), leaf ? value : before);
      } else if (op == 1) {  // a child after a random child position (or after the last child)
        for (uint32_t i = random.Pick(6); i > 0 && doc.FindChildElement(); --i) {
        }
        ASSERT_TRUE(doc.AddChildElement(name.c_str()));
        ASSERT_EQ(doc.GetMainPos(), target);
        ASSERT_TRUE(doc.IntoElement());
        ASSERT_EQ(doc.GetTagName(), name);
      } else if (op == 2 && !parent) {
        ASSERT_FALSE(doc.AddElement(name.c_str()));
        ASSERT_EQ(doc.GetDoc(), before);
      } else {  // after the main element, or after the last child when into it
        ASSERT_TRUE(op != 3 || doc.IntoElement());
        ASSERT_TRUE(doc.AddElement(name.c_str()));
        ASSERT_EQ(doc.GetTagName(), name);
        ASSERT_EQ(doc.GetIndex()[doc.GetMainPos()].parent, op == 3 ? target : parent);
      }
      ASSERT_TRUE(IndexMatchesReparse(doc)) << "after step " << step << " (op " << op << ")";
    }
  }
}

}  // namespace
}  // namespace corvel::markup
