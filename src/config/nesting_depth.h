// How deep the XML library's parser nests elements on a text, found without parsing it.
#pragma once

namespace corvel::config {

// Configuration, override and driver documents nest at most this many elements (the root
// counts as one). Real documents nest three or four; the XML library's parser recurses once
// per level, and its indented layout grows with the square of the depth.
constexpr int kNestingLimit = 32;

// The deepest element nesting the XML library's parser reaches when it parses `text` (a
// NUL-terminated document, as the loader hands it over), counting the root as 1 and counting
// elements the parser enters before it stops on an error. Never less than the parser's depth;
// equal to it on every document the parser reads without error. Counting stops once it
// exceeds `limit`. One pass over the text, no allocation beyond a declaration's encoding.
int NestingDepth(const char* text, int limit);

}  // namespace corvel::config
