// The markup engine through its cursor: documents and operation scripts from a file of cases
// (parse errors, navigation, reading, edits), the 100,000-level parse, and random edit sequences
// whose index must always equal a fresh parse of the edited text. Arbitrary (mutated) text
// parsed and edited is fuzz_markup's job. Load and Save are not tested here: nothing in the
// library reads or writes a file through the engine.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "../util/cases.h"
#include "markup/markup_document.h"

// The Windows build runs its tests from a folder as deep in its build tree as this one.
#ifndef MARKUP_TEST_DATA
#define MARKUP_TEST_DATA "../../../../tests/data/markup"
#endif

namespace corvel::markup {
namespace {

// The elements in document order (pre-order), walked without recursion.
std::vector<int32_t> ElementsInOrder(const CMarkupSTL& doc) {
  std::vector<int32_t> order;
  const ElementIndex& index = doc.GetIndex();
  for (int32_t at = index[0].firstChild; at;) {
    order.push_back(at);
    if (index[at].firstChild) {
      at = index[at].firstChild;
      continue;
    }
    while (at && !index[at].nextSibling) at = index[at].parent;
    if (at) at = index[at].nextSibling;
  }
  return order;
}

// Whether `edited`'s index describes its own text as a fresh parse of that text does (same
// shape, same four offsets per element), with every offset on the '<', '/' or '>' it names.
::testing::AssertionResult IndexMatchesReparse(const CMarkupSTL& edited) {
  const std::string& text = edited.GetDoc();
  CMarkupSTL fresh;
  if (fresh.SetDocument(text.c_str()) != edited.IsWellFormed()) {
    return ::testing::AssertionFailure() << "re-parse disagrees (" << fresh.GetError() << "):\n"
                                         << text;
  }
  const std::vector<int32_t> mine = ElementsInOrder(edited), theirs = ElementsInOrder(fresh);
  if (mine.size() != theirs.size()) return ::testing::AssertionFailure() << "count:\n" << text;
  std::unordered_map<int32_t, size_t> mine_at = {{0, SIZE_MAX}}, their_at = {{0, SIZE_MAX}};
  for (size_t i = 0; i < mine.size(); ++i) mine_at[mine[i]] = their_at[theirs[i]] = i;
  for (size_t i = 0; i < mine.size(); ++i) {
    const ElementEntry& x = edited.GetIndex()[mine[i]];
    const ElementEntry& y = fresh.GetIndex()[theirs[i]];
    const bool empty = x.endRight == x.startRight;
    const bool placed = text[x.startLeft] == '<' && text[x.startRight] == '>' &&
                        text[x.endRight] == '>' &&
                        (empty ? x.endLeft == x.startRight - 1 && text[x.endLeft] == '/'
                               : text.compare(x.endLeft, 2, "</") == 0);
    if (!placed || x.startLeft != y.startLeft || x.startRight != y.startRight ||
        x.endLeft != y.endLeft || x.endRight != y.endRight ||
        (x.firstChild == 0) != (y.firstChild == 0) ||
        (x.nextSibling == 0) != (y.nextSibling == 0) ||
        mine_at.at(x.parent) != their_at.at(y.parent)) {
      return ::testing::AssertionFailure() << "element #" << i << " differs in:\n" << text;
    }
  }
  return ::testing::AssertionSuccess();
}

// Runs a script (the language is described in the cases' file) and gives its output.
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

TEST(Markup, ScriptsOverDocuments) {
  const auto cases = test::ReadCases(MARKUP_TEST_DATA "/scripts.txt");
  EXPECT_EQ(cases.size(), 58u);
  for (const auto& field : cases) {  // text, script, output, text afterwards ("=": unchanged)
    ASSERT_EQ(field.size(), 4u);
    SCOPED_TRACE(field[0] + " / " + field[1]);
    CMarkupSTL doc;
    ASSERT_TRUE(doc.SetDocument("<earlier/>") && doc.FindElement());
    if (!doc.SetDocument(field[0].c_str())) {
      EXPECT_EQ(doc.GetDoc(), field[0]);
      EXPECT_EQ(doc.GetFreePos(), 1);
      EXPECT_EQ(doc.GetMainPos(), 0);
    }
    EXPECT_EQ(RunScript(doc, field[1]), field[2]);
    EXPECT_EQ(doc.GetDoc(), field[3] == "=" ? field[0] : field[3]);
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

class RandomDocument {
 public:
  explicit RandomDocument(uint32_t seed) : mRng(seed) {}

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
  uint32_t Pick(uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(mRng); }
  bool Chance(uint32_t n) { return Pick(n) == 0; }

 private:
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

  std::mt19937 mRng;
};

// Puts the cursor on `element` with the public operations: from the root, the child at each
// level by counting FindChildElement calls, then into it.
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

void RunRandomEdits(uint32_t seed, int edits) {
  SCOPED_TRACE("seed " + std::to_string(seed));
  RandomDocument random(seed);
  CMarkupSTL doc;
  const std::string original = random.Text();
  ASSERT_TRUE(doc.SetDocument(original.c_str())) << doc.GetError() << "\n" << original;
  ASSERT_TRUE(IndexMatchesReparse(doc));
  std::map<int32_t, std::string> expected;  // what each element must read back at the end
  for (int step = 0; step < edits; ++step) {
    const std::vector<int32_t> all = ElementsInOrder(doc);
    const int32_t target = all[random.Pick(static_cast<uint32_t>(all.size()))];
    MoveTo(doc, target);
    const std::string before = doc.GetDoc(), name = random.Name();
    const int32_t parent = doc.GetParentPos();
    const uint32_t op = random.Pick(4);
    if (op == 0) {
      const std::string value = random.Value();
      const bool leaf = doc.GetIndex()[target].firstChild == 0;
      ASSERT_EQ(doc.SetData(value.c_str()), leaf);
      ASSERT_EQ(leaf ? doc.GetData() : doc.GetDoc(), leaf ? value : before);
      if (leaf) expected[target] = value;
    } else if (op == 1) {  // a child after a random child position (or after the last child)
      uint32_t children = 0;
      for (int32_t c = doc.GetIndex()[target].firstChild; c; c = doc.GetIndex()[c].nextSibling) {
        ++children;
      }
      for (uint32_t i = random.Pick(children + 1); i > 0; --i) ASSERT_TRUE(doc.FindChildElement());
      ASSERT_TRUE(doc.AddChildElement(name.c_str()));
      ASSERT_EQ(doc.GetMainPos(), target);
      ASSERT_TRUE(doc.IntoElement());
      ASSERT_EQ(doc.GetTagName(), name);
      expected.erase(target);
      expected[doc.GetMainPos()] = "";
    } else if (op == 2 && !parent) {
      ASSERT_FALSE(doc.AddElement(name.c_str()));
      ASSERT_EQ(doc.GetDoc(), before);
    } else {  // after the main element, or after the last child when into it
      ASSERT_TRUE(op != 3 || doc.IntoElement());
      ASSERT_TRUE(doc.AddElement(name.c_str()));
      ASSERT_EQ(doc.GetTagName(), name);
      ASSERT_EQ(doc.GetIndex()[doc.GetMainPos()].parent, op == 3 ? target : parent);
      if (op == 3) expected.erase(target);
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
  for (uint32_t seed = 1; seed <= 400 && !::testing::Test::HasFatalFailure(); ++seed) {
    RunRandomEdits(seed, 40);
  }
}

}  // namespace
}  // namespace corvel::markup
