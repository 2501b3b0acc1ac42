// UTF-8 to UTF-16 that never fails, as a code-page conversion does it: well-formed UTF-8
// is decoded and every byte that does not start a well-formed sequence becomes U+FFFD.
#pragma once

#include <string>

namespace corvel::prefs {

std::u16string DecodeUtf8Tolerant(const std::string& text);

}  // namespace corvel::prefs
