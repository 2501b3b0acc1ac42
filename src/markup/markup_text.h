// Character classes and small searches shared by the markup engine's source files. The
// document is scanned as a NUL-terminated text: a NUL byte ends every scan.
#pragma once

#include <cstdint>
#include <cstring>

namespace corvel::markup::text {

inline bool IsWhitespace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

inline bool IsDelimiter(char c) {
  switch (c) {
    case ' ':
    case '\t':
    case '\n':
    case '\r':
    case '<':
    case '>':
    case '=':
    case '\\':
    case '/':
    case '?':
    case '!':
      return true;
    default:
      return false;
  }
}

// Moves `offset` past whitespace; true when a non-NUL character was reached.
inline bool SkipWhitespace(const char* doc, int32_t& offset) {
  while (IsWhitespace(doc[offset])) ++offset;
  return doc[offset] != '\0';
}

// Moves `offset` to the next `c` at or after it, or to the terminating NUL; true when found.
inline bool FindChar(const char* doc, int32_t& offset, char c) {
  const char* found = std::strchr(doc + offset, c);
  if (!found) {
    offset += static_cast<int32_t>(std::strlen(doc + offset));
    return false;
  }
  offset = static_cast<int32_t>(found - doc);
  return true;
}

// Offset of the first `what` at or after `offset`, or -1.
inline int32_t FindText(const char* doc, int32_t offset, const char* what) {
  const char* found = std::strstr(doc + offset, what);
  return found ? static_cast<int32_t>(found - doc) : -1;
}

}  // namespace corvel::markup::text
