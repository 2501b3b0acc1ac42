// Checks of the text arguments the operations accept.
#pragma once

#include <cstddef>
#include <string>

namespace corvel::util {

// True when `text` is null or empty.
bool IsEmptyText(const char* text);

// True when `text` is non-null and well-formed UTF-8 (an empty text is well-formed).
bool IsUsableText(const char* text);

// The longest prefix of `text` of at most `max_bytes` bytes that does not end inside a
// UTF-8 sequence.
std::string Utf8Prefix(const std::string& text, size_t max_bytes);

}  // namespace corvel::util
