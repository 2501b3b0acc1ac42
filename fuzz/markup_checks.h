// Reading the markup engine's index for the fuzz targets: the elements in document order,
// and whether a document's start tags are ones that edits can keep consistent.
#pragma once

#include "fuzz_support.h"
#include "markup/markup_document.h"

namespace corvel::fuzz {

struct Placed {
  markup::ElementEntry entry;
  int depth;
};

// Appends the elements from `at` and its next siblings on, in document order, with their
// depth; a failed check when the links run longer than the entries handed out, which only a
// broken index can do. The depth stays within what a fuzz input can nest.
inline void AppendInOrder(const markup::CMarkupSTL& doc, int32_t at, int depth,
                          std::vector<Placed>& out) {
  for (; at; at = doc.GetIndex()[at].nextSibling) {
    FUZZ_CHECK(at > 0 && at < doc.GetFreePos() && out.size() <= size_t(doc.GetFreePos()),
               "element links run past the entries handed out");
    out.push_back({doc.GetIndex()[at], depth});
    AppendInOrder(doc, doc.GetIndex()[at].firstChild, depth + 1, out);
  }
}

inline std::vector<Placed> ElementsInOrder(const markup::CMarkupSTL& doc) {
  std::vector<Placed> out;
  if (doc.GetIndex().exists()) AppendInOrder(doc, doc.GetIndex()[0].firstChild, 0, out);
  return out;
}

// Whether every element's start tag can be written back by an edit and read the same way:
//  - a start tag that opens with "<>" or "<<" (blanks between allowed) has the delimiter
//    itself for a name, and an end tag or a filled-in empty element written with that name
//    reads as another structure;
//  - filling in an empty element replaces its last '/' by ">...</name", so a start tag that
//    ends in "//>" keeps a "/>" and reads as empty again.
// Both are outside XML; the engine edits them by its rules but cannot keep their index equal
// to a fresh parse.
inline bool TagsRoundTrip(const markup::CMarkupSTL& doc) {
  const std::string& text = doc.GetDoc();
  for (const Placed& p : ElementsInOrder(doc)) {
    const size_t name = text.find_first_not_of(" \t\r\n", p.entry.startLeft + 1);
    if (name != std::string::npos && (text[name] == '<' || text[name] == '>')) return false;
    const bool empty = p.entry.startRight == p.entry.endLeft + 1;
    if (empty && p.entry.endLeft > 0 && text[p.entry.endLeft - 1] == '/') return false;
  }
  return true;
}

}  // namespace corvel::fuzz
