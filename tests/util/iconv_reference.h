// glibc iconv as an independent reference for the UTF conversions.
#pragma once

#include <iconv.h>

#include <optional>
#include <string>

namespace corvel::test {

// Converts `input` from one iconv encoding to another; nullopt when iconv rejects any of it
// (ill-formed or incomplete input).
class IconvReference {
 public:
  IconvReference(const char* from, const char* to) : mCd(iconv_open(to, from)) {}
  ~IconvReference() {
    if (valid()) iconv_close(mCd);
  }
  IconvReference(const IconvReference&) = delete;
  IconvReference& operator=(const IconvReference&) = delete;

  bool valid() const { return mCd != reinterpret_cast<iconv_t>(-1); }

  std::optional<std::string> Convert(const std::string& input) const {
    iconv(mCd, nullptr, nullptr, nullptr, nullptr);
    std::string output(input.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(input.data());
    size_t in_left = input.size();
    char* out = output.data();
    size_t out_left = output.size();
    if (iconv(mCd, &in, &in_left, &out, &out_left) == static_cast<size_t>(-1)) {
      return std::nullopt;
    }
    output.resize(output.size() - out_left);
    return output;
  }

 private:
  iconv_t mCd;
};

inline std::string BytesOf(const std::u16string& text) {
  return std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
}

inline std::u16string UnitsOf(const std::string& bytes) {
  std::u16string text(bytes.size() / 2, u'\0');
  bytes.copy(reinterpret_cast<char*>(text.data()), text.size() * 2);
  return text;
}

}  // namespace corvel::test
