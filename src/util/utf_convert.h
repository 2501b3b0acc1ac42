// Conversion between UTF-8 and UTF-16. UTF-16 is std::u16string / char16_t everywhere.
#pragma once

#include <stdexcept>
#include <string>

namespace corvel::aws::gen {

// Thrown by the checked conversions: "Bad UTF-8 sequence.", "Bad UTF-16 sequence." or
// "Empty target buffer.".
class illegal_utf_sequence : public std::runtime_error {
 public:
  explicit illegal_utf_sequence(const char* what) : std::runtime_error(what) {}
};

}  // namespace corvel::aws::gen

namespace corvel::util {

// Checked whole-string conversion. Strict mode throws illegal_utf_sequence on ill-formed
// input; lenient mode passes surrogates through and maps out-of-range code points to U+FFFD.
std::u16string ConvertUtf8ToUtf16(const std::string& text, bool lenient);
std::string ConvertUtf16ToUtf8(const std::u16string& text, bool lenient);

// Conversion "through the platform" (code page 65001 semantics): nullopt-like results are
// modelled as a bool. Utf8ToWide returns false when the input is empty (no length to ask
// for); on an ill-formed input it succeeds with an empty output.
bool Utf8ToWide(const std::string& text, std::u16string* out);
bool WideToUtf8(const std::u16string& text, std::string* out);

}  // namespace corvel::util
