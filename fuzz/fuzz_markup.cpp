// The markup engine on arbitrary text: parse, then a sequence of navigation steps, reads and
// edits chosen by the input. Checked on every input:
//  - a successful parse gives an index that describes the text (tags where the offsets say,
//    children inside their parents, siblings in order);
//  - on a well-formed document every edit that reports success keeps the index equal to a
//    fresh parse of the edited text (so the text stays well-formed), SetData reads back what
//    was set, and refused edits leave the text as it was;
//  - Save followed by Load gives back the same text.
#include <tuple>

#include "fuzz_support.h"

namespace corvel::fuzz {
namespace {

using markup::CMarkupSTL;
using markup::ElementEntry;

// Names that the parser reads back as the same name: no whitespace, no token delimiter, no
// quote and no '[' (a name's '[' ends the part that end tags are matched against).
bool IsPlainName(const std::string& name) {
  return !name.empty() && name.find_first_of(" \t\r\n<>=\\/?!\"'[&") == std::string::npos;
}

// The index of a well-formed document describes its text.
void CheckIndexDescribesText(const CMarkupSTL& doc) {
  const std::string& text = doc.GetDoc();
  const auto& index = doc.GetIndex();
  const std::vector<Placed> elements = ElementsInOrder(doc);
  FUZZ_CHECK(!elements.empty(), "a well-formed document without elements");
  for (const Placed& p : elements) {
    const ElementEntry &e = p.entry, &child = index[e.firstChild], &next = index[e.nextSibling];
    FUZZ_CHECK(e.startLeft >= 0 && e.endRight < int32_t(text.size()) &&
                   e.startLeft < e.startRight && text[e.startLeft] == '<' &&
                   text[e.startRight] == '>' && text[e.endRight] == '>',
               "tag offsets outside the text, out of order or not on '<' and '>'");
    // An empty element ends in "/>"; another has its end tag after the start tag.
    FUZZ_CHECK(e.startRight == e.endLeft + 1
                   ? e.endRight == e.startRight && text[e.endLeft] == '/'
                   : e.startRight < e.endLeft && e.endLeft < e.endRight && text[e.endLeft] == '<',
               "end tag offsets out of order");
    FUZZ_CHECK((!e.firstChild || (child.startLeft > e.startRight && child.endRight < e.endLeft)) &&
                   (!e.nextSibling || (next.startLeft > e.endRight && next.parent == e.parent)),
               "a first child outside its parent, or siblings out of order or apart");
  }
}

// The edited index equals the index of a fresh parse of the edited text.
void CheckMatchesReparse(const CMarkupSTL& edited, const std::string& after) {
  CMarkupSTL fresh;
  FUZZ_CHECK(fresh.SetDocument(edited.GetDoc().c_str()), "not well-formed after " + after);
  const auto same = [](const Placed& a, const Placed& b) {
    const ElementEntry &x = a.entry, &y = b.entry;
    return std::tie(a.depth, x.startLeft, x.startRight, x.endLeft, x.endRight) ==
           std::tie(b.depth, y.startLeft, y.startRight, y.endLeft, y.endRight);
  };
  const std::vector<Placed> mine = ElementsInOrder(edited), theirs = ElementsInOrder(fresh);
  FUZZ_CHECK(std::equal(mine.begin(), mine.end(), theirs.begin(), theirs.end(), same),
             "the index differs from a fresh parse after " + after);
  CheckIndexDescribesText(fresh);
}

const char* const kNames[] = {"a", "b", "swid:name", "swid:numeric", "r", "x-y", "n.1", "_"};
const char* const kPaths[] = {"/", "*", "*/a", "/a/b", "a/b", "/*/*", "a[1]", "a=x", "a b", ""};

// A text as the engine sees it through its C string arguments.
std::string CText(FuzzedDataProvider& in, size_t longest) {
  return in.ConsumeRandomLengthString(longest).c_str();
}

std::string PickName(FuzzedDataProvider& in) {
  const int kind = in.ConsumeIntegralInRange(0, 2);
  if (kind == 0) return kNames[in.ConsumeIntegralInRange<size_t>(0, std::size(kNames) - 1)];
  if (kind == 1) return kPaths[in.ConsumeIntegralInRange<size_t>(0, std::size(kPaths) - 1)];
  return CText(in, 24);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  CMarkupSTL doc;
  const bool wellFormed = doc.SetDocument(CText(in, size).c_str());
  FUZZ_CHECK(wellFormed == doc.IsWellFormed(), "SetDocument result differs from IsWellFormed");
  FUZZ_CHECK(doc.GetMainPos() == 0 && doc.GetParentPos() == 0 && doc.GetChildPos() == 0,
             "a parse left the cursor set");
  if (wellFormed) CheckIndexDescribesText(doc);
  // Edits keep a well-formed document well-formed; a document that failed to parse promises
  // nothing about its text (an element added at document level may follow the broken part).
  bool checkEdits = wellFormed && TagsRoundTrip(doc);

  for (int step = 0; step < 48 && in.remaining_bytes() > 0; ++step) {
    const std::string before = doc.GetDoc();
    const int op = in.ConsumeIntegralInRange(0, 11);
    if (op <= 1) {
      const std::string name = PickName(in);
      const char* wanted = in.ConsumeBool() ? nullptr : name.c_str();
      (void)(op == 0 ? doc.FindElement(wanted) : doc.FindChildElement(wanted));
    } else if (op <= 3) {
      (void)(op == 2 ? doc.IntoElement() : doc.OutOfElement());
    } else if (op == 4) {
      FUZZ_CHECK(doc.GetTagName().empty() || doc.GetMainPos() != 0,
                 "a tag name without a main element");
      (void)doc.GetData();
    } else if (op <= 6) {
      const std::string value = CText(in, 64);
      const bool mayEdit =
          doc.GetMainPos() != 0 && doc.GetIndex()[doc.GetMainPos()].firstChild == 0;
      const bool set = doc.SetData(value.c_str());
      FUZZ_CHECK(set == mayEdit, "SetData result against the documented rule");
      FUZZ_CHECK(set || doc.GetDoc() == before, "a refused SetData changed the text");
      if (set && checkEdits) {
        FUZZ_CHECK(doc.GetData() == value, "SetData does not read back");
        CheckMatchesReparse(doc, "SetData");
      }
    } else if (op <= 8) {
      const std::string name = in.ConsumeBool() ? PickName(in) : kNames[step % std::size(kNames)];
      const bool child = in.ConsumeBool();
      const bool added = child ? doc.AddChildElement(name.c_str()) : doc.AddElement(name.c_str());
      FUZZ_CHECK(added || doc.GetDoc() == before, "a refused add changed the text");
      FUZZ_CHECK(!added || (child ? doc.GetChildPos() != 0
                                  : doc.GetMainPos() != 0 && doc.GetChildPos() == 0),
                 "an add left the cursor elsewhere");
      // A name the parser reads differently leaves a text that edits cannot keep consistent.
      checkEdits = checkEdits && (!added || IsPlainName(name));
      if (added && checkEdits) {
        FUZZ_CHECK(child || doc.GetTagName() == name, "an added element reads another name");
        CheckMatchesReparse(doc, child ? "AddChildElement" : "AddElement");
      }
    } else if (op == 9) {
      // Re-parsing the edited text keeps it (and its well-formedness, when edits were kept
      // consistent).
      const bool again = doc.SetDocument(before.c_str());
      FUZZ_CHECK(doc.GetDoc() == before, "SetDocument changed the text");
      FUZZ_CHECK(again || !checkEdits, "a consistently edited document no longer parses");
      checkEdits = again && TagsRoundTrip(doc);
    } else if (op == 10) {
      const std::string path = Scratch().Path("saved.xml");
      FUZZ_CHECK(doc.Save(path.c_str()), "Save failed: " + doc.GetError());
      FUZZ_CHECK(ReadWholeFile(path) == before, "Save wrote other bytes");
      CMarkupSTL loaded, parsed;
      const bool loadedWell = loaded.Load(path.c_str());
      // A text that itself begins with FF FE is read back as UTF-16 by design.
      if (before.size() > 2 && before[0] == '\xFF' && before[1] == '\xFE') continue;
      FUZZ_CHECK(loaded.GetDoc() == before, "Load did not read back what Save wrote");
      FUZZ_CHECK(loadedWell == parsed.SetDocument(before.c_str()), "Load and SetDocument disagree");
    } else {
      doc.SetDocument(nullptr);
      FUZZ_CHECK(doc.GetDoc().empty() && !doc.IsWellFormed(), "SetDocument(null) kept a text");
      checkEdits = false;
    }
  }
  return 0;
}

}  // namespace corvel::fuzz
