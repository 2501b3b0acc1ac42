#include "prefs/tolerant_utf8.h"

namespace corvel::prefs {

std::u16string DecodeUtf8Tolerant(const std::string& text) {
  std::u16string out;
  out.reserve(text.size());
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  size_t size = text.size();
  size_t i = 0;
  while (i < size) {
    unsigned char lead = bytes[i];
    if (lead < 0x80) {
      out.push_back(lead);
      ++i;
      continue;
    }
    size_t trail = 0;
    char32_t code = 0;
    char32_t lower = 0x80;
    if (lead >= 0xC2 && lead <= 0xDF) {
      trail = 1, code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      trail = 2, code = lead & 0x0F, lower = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      trail = 3, code = lead & 0x07, lower = 0x10000;
    }
    bool good = trail > 0 && i + trail < size;
    for (size_t k = 1; good && k <= trail; ++k) {
      unsigned char next = bytes[i + k];
      if ((next & 0xC0) != 0x80)
        good = false;
      else
        code = (code << 6) | (next & 0x3F);
    }
    if (good && (code < lower || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)))
      good = false;
    if (!good) {
      out.push_back(u'\xFFFD');
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(code));
    }
    i += trail + 1;
  }
  return out;
}

}  // namespace corvel::prefs
