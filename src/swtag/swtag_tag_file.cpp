#include "swtag/swtag_tag_file.h"

#include <vector>

#include "swtag/swtag_files.h"

namespace corvel::swtag {

namespace {

bool StartsWithUtf16Mark(const std::string& bytes) {
  return bytes.size() > 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
         static_cast<unsigned char>(bytes[1]) == 0xFE;
}

// The UTF-16LE units after the mark; an odd last byte is ignored.
std::string Utf16FileToUtf8(const std::string& bytes) {
  std::vector<char16_t> units;
  units.reserve(bytes.size() / 2);
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    const auto low = static_cast<unsigned char>(bytes[i]);
    const auto high = static_cast<unsigned char>(bytes[i + 1]);
    units.push_back(static_cast<char16_t>(low | (high << 8)));
  }
  return markup::MarkupUtf16ToUtf8(units.data(), units.size());
}

}  // namespace

bool LoadTagFile(const std::string& path, markup::CMarkupSTL& document, bool* unicode) {
  std::string bytes;
  if (!ReadExistingFile(path, &bytes)) return false;
  *unicode = StartsWithUtf16Mark(bytes);
  const std::string text = *unicode ? Utf16FileToUtf8(bytes) : bytes;
  return document.SetDocument(text.c_str());
}

std::string TagFileBytes(const markup::CMarkupSTL& document, bool unicode) {
  const std::string& text = document.GetDoc();
  if (!unicode || text.empty()) return text;
  const std::u16string units = markup::MarkupUtf8ToUtf16(text);
  std::string bytes("\xFF\xFE", 2);
  bytes.reserve(2 + units.size() * 2);
  for (char16_t unit : units) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>((unit >> 8) & 0xFF));
  }
  return bytes;
}

}  // namespace corvel::swtag
