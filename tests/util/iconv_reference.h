// glibc iconv as an independent reference for the UTF conversions, and our strict
// conversions in the same terms (bytes, nullopt when the input is rejected).
#pragma once

#include <iconv.h>

#include <optional>
#include <string>

#include "util/utf_convert.h"

namespace corvel::test {

class IconvReference {
 public:
  IconvReference(const char* from, const char* to) : mCd(iconv_open(to, from)) {}
  ~IconvReference() { iconv_close(mCd); }

  // nullopt when iconv rejects any of `input` (ill-formed or incomplete).
  std::optional<std::string> Convert(const std::string& input) const {
    iconv(mCd, nullptr, nullptr, nullptr, nullptr);
    std::string output(input.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(input.data());
    char* out = output.data();
    size_t in_left = input.size(), out_left = output.size();
    if (iconv(mCd, &in, &in_left, &out, &out_left) == static_cast<size_t>(-1)) return {};
    output.resize(output.size() - out_left);
    return output;
  }

 private:
  iconv_t mCd;
};

// UTF-8 to UTF-16LE bytes, strictly.
inline std::optional<std::string> OursFromUtf8(const std::string& utf8) {
  try {
    const std::u16string units = util::ConvertUtf8ToUtf16(utf8, false);
    return std::string(reinterpret_cast<const char*>(units.data()), units.size() * 2);
  } catch (const aws::gen::illegal_utf_sequence&) {
    return std::nullopt;
  }
}

// UTF-16LE bytes to UTF-8, strictly.
inline std::optional<std::string> OursFromUtf16(const std::string& bytes) {
  std::u16string units(bytes.size() / 2, u'\0');
  bytes.copy(reinterpret_cast<char*>(units.data()), units.size() * 2);
  try {
    return util::ConvertUtf16ToUtf8(units, false);
  } catch (const aws::gen::illegal_utf_sequence&) {
    return std::nullopt;
  }
}

}  // namespace corvel::test
