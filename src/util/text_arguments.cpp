#include "util/text_arguments.h"

#include "util/utf_convert.h"

namespace corvel::util {

bool IsEmptyText(const char* text) { return text == nullptr || text[0] == '\0'; }

bool IsUsableText(const char* text) {
  if (text == nullptr) return false;
  try {
    ConvertUtf8ToUtf16(text, false);
    return true;
  } catch (const aws::gen::illegal_utf_sequence&) {
    return false;
  }
}

std::string Utf8Prefix(const std::string& text, size_t max_bytes) {
  if (text.size() <= max_bytes) return text;
  size_t end = max_bytes;
  // Step back over continuation bytes to the lead byte of the sequence the cut falls in.
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

}  // namespace corvel::util
