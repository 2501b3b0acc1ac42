// Reading the markup engine's index for the fuzz targets: the elements in document order,
// and whether a document's start tags are ones that edits can keep consistent.
#pragma once

#include <string>
#include <vector>

#include "markup/markup_document.h"

namespace corvel::fuzz {

struct Placed {
  markup::ElementEntry entry;
  int depth;
};

// The elements in document order with their depth; stops (and reports false) when the links
// run longer than the entries handed out, which only a broken index can do.
bool ElementsInOrder(const markup::CMarkupSTL& doc, std::vector<Placed>* out);

// The tag name as the parser reads it after the '<' at `at`: whitespace skipped, then up to
// the next delimiter, or the delimiter itself when it comes first.
std::string TagNameAt(const std::string& text, int32_t at);

// Whether every element's start tag can be written back by an edit and read the same way:
//  - a start tag that opens with "<>" or "<<" has the delimiter itself for a name, and an end
//    tag or a filled-in empty element written with that name reads as another structure;
//  - filling in an empty element replaces its last '/' by ">...</name", so a start tag that
//    ends in "//>" keeps a "/>" and reads as empty again.
// Both are outside XML; the engine edits them by its rules but cannot keep their index equal
// to a fresh parse.
bool TagsRoundTrip(const markup::CMarkupSTL& doc);

}  // namespace corvel::fuzz
