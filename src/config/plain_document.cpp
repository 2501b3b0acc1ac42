#include "config/plain_document.h"

#include <tinyxml.h>

#include <cstdint>
#include <cstring>

namespace corvel::config {

namespace {

enum ByteClass : uint8_t { kPlain, kQuestionMark, kRefused, kLead2, kLead3, kLead4 };

struct ByteClasses {
  ByteClass of[256];
};

constexpr ByteClasses MakeByteClasses() {
  ByteClasses classes{};
  for (int byte = 0; byte < 256; ++byte) {
    ByteClass c = kPlain;
    if (byte == '&' || (byte < 0x20 && byte != '\t' && byte != '\n')) c = kRefused;
    if (byte == '?') c = kQuestionMark;
    // Continuation bytes out of place, overlong leads (C0, C1) and leads beyond U+10FFFF.
    if (byte >= 0x80) c = kRefused;
    if (byte >= 0xC2 && byte <= 0xDF) c = kLead2;
    if (byte >= 0xE0 && byte <= 0xEF) c = kLead3;
    if (byte >= 0xF0 && byte <= 0xF4) c = kLead4;
    classes.of[byte] = c;
  }
  return classes;
}
constexpr ByteClasses kByteClasses = MakeByteClasses();

bool InRange(const unsigned char* p, const unsigned char* end, unsigned char low,
             unsigned char high) {
  return p < end && *p >= low && *p <= high;
}

// The length of the well-formed UTF-8 sequence at `p` (led by a byte of class kLead*), or 0.
size_t SequenceLength(const unsigned char* p, const unsigned char* end) {
  const unsigned char lead = *p;
  // The second byte's range excludes overlong forms, surrogates and code points past U+10FFFF.
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead == 0xE0) low = 0xA0;
  if (lead == 0xED) high = 0x9F;
  if (lead == 0xF0) low = 0x90;
  if (lead == 0xF4) high = 0x8F;
  const ByteClass lead_class = kByteClasses.of[lead];
  const size_t length = lead_class == kLead2 ? 2 : lead_class == kLead3 ? 3 : 4;
  if (!InRange(p + 1, end, low, high)) return 0;
  for (size_t i = 2; i < length; ++i) {
    if (!InRange(p + i, end, 0x80, 0xBF)) return 0;
  }
  return length;
}

// Where a "<?" may stand in a plain document: right after an optional byte order mark and
// blanks, where the XML library reads the document's first node.
const unsigned char* FirstNodeStart(const unsigned char* p, const unsigned char* end) {
  if (end - p >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) p += 3;
  while (p < end && (*p == ' ' || *p == '\t' || *p == '\n')) ++p;
  return p;
}

// True when none of the 8 bytes at `p` needs a closer look: all are ASCII from 0x20 up, none
// is "&" or "?".
bool PlainAsciiWord(const unsigned char* p) {
  constexpr uint64_t kOnes = 0x0101010101010101ULL;
  constexpr uint64_t kHighBits = 0x8080808080808080ULL;
  uint64_t word;
  std::memcpy(&word, p, sizeof word);
  auto has_zero_byte = [](uint64_t w) { return ((w - kOnes) & ~w & kHighBits) != 0; };
  const bool below_space = ((word - kOnes * 0x20) & ~word & kHighBits) != 0;
  return (word & kHighBits) == 0 && !below_space && !has_zero_byte(word ^ (kOnes * '&')) &&
         !has_zero_byte(word ^ (kOnes * '?'));
}

// Checks the byte rules of plain text. With `marks_matter`, a "<?" is allowed only at `mark`.
bool IsPlainText(const unsigned char* begin, const unsigned char* end, const unsigned char* mark,
                 bool marks_matter) {
  const unsigned char* p = begin;
  while (p < end) {
    if (end - p >= 8 && PlainAsciiWord(p)) {
      p += 8;
      continue;
    }
    // Byte by byte up to the end of this word at least (a sequence may reach beyond it).
    for (const unsigned char* stop = p + 8 < end ? p + 8 : end; p < stop;) {
      switch (kByteClasses.of[*p]) {
        case kPlain:
          ++p;
          break;
        case kQuestionMark:
          if (marks_matter && p > begin && p[-1] == '<' && p - 1 != mark) return false;
          ++p;
          break;
        case kRefused:
          return false;
        default: {
          const size_t length = SequenceLength(p, end);
          if (length == 0) return false;
          p += length;
        }
      }
    }
  }
  return true;
}

bool HoldsNoQuote(const char* value) { return std::strchr(value, '"') == nullptr; }

}  // namespace

bool IsPlainDocumentText(const char* text, size_t size) {
  const auto* begin = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* end = begin + size;
  return IsPlainText(begin, end, FirstNodeStart(begin, end), true);
}

bool IsPlainCode(const char* code) {
  if (code == nullptr) return false;
  const auto* begin = reinterpret_cast<const unsigned char*>(code);
  return IsPlainText(begin, begin + std::strlen(code), nullptr, false);
}

bool SavesAsParsed(const TiXmlDocument& document) {
  const TiXmlNode* first = document.FirstChild();
  const TiXmlDeclaration* declaration = first != nullptr ? first->ToDeclaration() : nullptr;
  if (declaration == nullptr) return true;
  return HoldsNoQuote(declaration->Version()) && HoldsNoQuote(declaration->Encoding()) &&
         HoldsNoQuote(declaration->Standalone());
}

}  // namespace corvel::config
