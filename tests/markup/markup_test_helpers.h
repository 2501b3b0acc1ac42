// Helpers for the markup engine tests: index comparison against a fresh parse of the text,
// and walking to an element through the public cursor operations.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "markup/markup_document.h"

namespace corvel::markup::test {

// The elements of a document in document order (pre-order), walked without recursion.
std::vector<int32_t> ElementsInOrder(const CMarkupSTL& doc);

// Whether `edited`'s index describes its own text exactly as a fresh parse of that text does:
// the same tree shape and the same four offsets for every element, in document order.
::testing::AssertionResult IndexMatchesReparse(const CMarkupSTL& edited);

// The text of an element's whole markup (start tag to end tag) as the index describes it.
std::string ElementMarkup(const CMarkupSTL& doc, int32_t element);

}  // namespace corvel::markup::test
