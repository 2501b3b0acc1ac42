// The nesting scan reads a document with the XML library's own rules and keeps a counter where
// the parser keeps a call stack. What it must get right is where the parser sees a tag:
//  - a "<" starts an element only when a letter, "_" or a byte from 127 up follows; "<?xml"
//    (any case) starts a declaration, "<!--" a comment, "<![CDATA[" a CDATA section; "<!"
//    and every other "<" an unknown tag that ends at the next ">" (DOCTYPE, processing
//    instructions, "</" outside the root);
//  - text and quoted attribute values are stepped a character at a time, and a character can
//    swallow a "<" or a closing quote: a numeric reference runs to the next ";" whenever the
//    bytes just before that ";" are digits back to a "#" (or hexadecimal digits back to an
//    "x"), and in a UTF-8 document a lead byte steps over its whole sequence, whatever follows;
//  - a document is UTF-8 when it starts with a byte order mark, or when its first top-level
//    declaration names UTF-8 (or no encoding); white space then includes byte order marks.
// Where the parser stops on an error, the scan stops or goes on; it never closes an element the
// parser keeps open, so it never reports less than the parser reaches.
#include "config/nesting_depth.h"

#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>

namespace corvel::config {

namespace {

enum class Encoding { Unknown, Utf8, Legacy };

enum class Markup { Declaration, Comment, Cdata, Unknown, Element };

// Bytes the parser takes for the character that starts with `lead` in a UTF-8 document.
constexpr int Utf8SequenceLength(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 1;
}

// Bytes that text and quoted values step over one at a time, whatever else they are: all but
// NUL, "<", "&" and, in a UTF-8 document, the lead bytes of multi-byte sequences.
struct PlainBytes {
  bool plain[256];
};
constexpr PlainBytes MakePlainBytes(bool utf8) {
  PlainBytes bytes{};
  for (int byte = 0; byte < 256; ++byte) {
    bytes.plain[byte] = byte != '\0' && byte != '<' && byte != '&' &&
                        !(utf8 && Utf8SequenceLength(static_cast<unsigned char>(byte)) > 1);
  }
  return bytes;
}
constexpr PlainBytes kPlainBytes[2] = {MakePlainBytes(false), MakePlainBytes(true)};

// How the parser classes each byte in the process's locale (it asks the C library per byte;
// the scan asks once per byte value).
class ByteClasses {
 public:
  ByteClasses() {
    for (int byte = 0; byte < 256; ++byte) {
      mWhiteSpace[byte] = std::isspace(byte) != 0 || byte == '\n' || byte == '\r';
      // Every byte from 127 up counts as a letter.
      mNameStart[byte] = byte >= 127 || std::isalpha(byte) != 0 || byte == '_';
      mNameChar[byte] = byte >= 127 || std::isalnum(byte) != 0 || byte == '_' || byte == '-' ||
                        byte == '.' || byte == ':';
    }
  }
  bool WhiteSpace(char c) const { return mWhiteSpace[static_cast<unsigned char>(c)]; }
  bool NameStart(char c) const { return mNameStart[static_cast<unsigned char>(c)]; }
  bool NameChar(char c) const { return mNameChar[static_cast<unsigned char>(c)]; }

 private:
  bool mWhiteSpace[256];
  bool mNameStart[256];
  bool mNameChar[256];
};

bool StartsWith(const char* p, const char* tag) {
  return std::strncmp(p, tag, std::strlen(tag)) == 0;
}
bool IsDigit(char c, bool hexadecimal) {
  if (c >= '0' && c <= '9') return true;
  return hexadecimal && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'));
}

// The five predefined references and the character each stands for.
struct NamedReference {
  const char* text;
  char character;
};
constexpr NamedReference kNamedReferences[] = {
    {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};

// A numeric reference at `p` ("&#"): the position after it, or null when the parser refuses
// it. `decoded` (when not null) receives the low byte of its value.
const char* NumericReference(const char* p, std::string* decoded) {
  const bool hexadecimal = p[2] == 'x';
  if (hexadecimal && p[3] == '\0') return nullptr;
  const char* semicolon = std::strchr(p + (hexadecimal ? 3 : 2), ';');
  if (semicolon == nullptr) return nullptr;
  // The parser reads the digits backwards from the ";" to the first "x" (or "#") it meets.
  uint64_t value = 0;
  uint32_t weight = 1;
  for (const char* q = semicolon - 1; *q != (hexadecimal ? 'x' : '#'); --q) {
    if (!IsDigit(*q, hexadecimal)) return nullptr;
    uint32_t digit =
        *q <= '9' ? static_cast<uint32_t>(*q - '0') : static_cast<uint32_t>((*q | 0x20) - 'a' + 10);
    value += weight * digit;
    weight *= hexadecimal ? 16 : 10;
  }
  if (decoded != nullptr) *decoded += static_cast<char>(value);
  return semicolon + 1;
}

// A reference at `p` ("&"): the position after it, or null when the parser refuses it. An
// "&" that starts no reference stands for nothing and takes one byte.
const char* Reference(const char* p, std::string* decoded) {
  if (p[1] == '#' && p[2] != '\0') return NumericReference(p, decoded);
  for (const NamedReference& named : kNamedReferences) {
    if (StartsWith(p, named.text)) {
      if (decoded != nullptr) *decoded += named.character;
      return p + std::strlen(named.text);
    }
  }
  return p + 1;
}

class NestingScan {
 public:
  NestingScan(const char* text, int limit) : mText(text), mLimit(limit) {}

  int Run() {
    const char* p = mText;
    if (*p == '\0') return 0;
    if (StartsWith(p, "\xEF\xBB\xBF")) mEncoding = Encoding::Utf8;
    p = SkipWhiteSpace(p);
    while (p != nullptr && *p != '\0' && mDeepest <= mLimit) {
      p = mDepth == 0 ? TopLevelNode(p) : ContentNode(p);
      if (p != nullptr) p = SkipWhiteSpace(p);
    }
    return mDeepest;
  }

 private:
  // Every function below takes the position of a construct and returns the position after
  // it, or null where the parser stops (at an error or at the end of the text).

  const char* TopLevelNode(const char* p) {
    if (*p != '<') return nullptr;  // the parser ends the document at text outside elements
    Markup markup = Identify(p);
    if (markup != Markup::Declaration) return Node(p, markup);
    if (mEncoding != Encoding::Unknown) return Declaration(p, nullptr);
    std::string value;
    p = Declaration(p, &value);
    // The name ends at a NUL that a reference may have put into it.
    const char* name = value.c_str();
    mEncoding = *name == '\0' || StartsWithIgnoringCase(name, "utf-8") ||
                        StartsWithIgnoringCase(name, "utf8")
                    ? Encoding::Utf8
                    : Encoding::Legacy;
    return p;
  }

  const char* ContentNode(const char* p) {
    if (*p != '<') return Text(p);
    if (p[1] == '/') return EndTag(p);
    Markup markup = Identify(p);
    return markup == Markup::Declaration ? Declaration(p, nullptr) : Node(p, markup);
  }

  Markup Identify(const char* p) const {
    if (StartsWithIgnoringCase(p, "<?xml")) return Markup::Declaration;
    if (StartsWith(p, "<!--")) return Markup::Comment;
    if (StartsWith(p, "<![CDATA[")) return Markup::Cdata;
    if (StartsWith(p, "<!")) return Markup::Unknown;
    return mBytes.NameStart(p[1]) ? Markup::Element : Markup::Unknown;
  }

  const char* Node(const char* p, Markup markup) {
    switch (markup) {
      case Markup::Comment:
        return PastTerminator(p + 4, "-->");
      case Markup::Cdata:
        return PastTerminator(p + 9, "]]>");
      case Markup::Element:
        return StartTag(p);
      case Markup::Declaration:
      case Markup::Unknown:
        break;
    }
    const char* end = std::strchr(p + 1, '>');
    return end != nullptr ? end + 1 : nullptr;
  }

  static const char* PastTerminator(const char* p, const char* terminator) {
    const char* end = std::strstr(p, terminator);
    return end != nullptr ? end + std::strlen(terminator) : nullptr;
  }

  // "<name attributes>" enters the element; "<name attributes/>" leaves it again.
  const char* StartTag(const char* p) {
    if (++mDepth > mDeepest) mDeepest = mDepth;
    p = Name(SkipWhiteSpace(p + 1));
    while (p != nullptr) {
      p = SkipWhiteSpace(p);
      if (p == nullptr) return nullptr;
      if (*p == '/') {
        if (p[1] != '>') return nullptr;
        --mDepth;
        return p + 2;
      }
      if (*p == '>') return p + 1;
      p = Attribute(p, nullptr);
    }
    return nullptr;
  }

  // "</name>", with white space before the ">". The parser also checks the name; the scan
  // need not, because the parser stops where they differ.
  const char* EndTag(const char* p) {
    p += 2;
    while (mBytes.NameChar(*p)) ++p;
    p = SkipWhiteSpace(p);
    if (p == nullptr || *p != '>') return nullptr;
    --mDepth;
    return p + 1;
  }

  // Text up to the next "<" that no character swallows.
  const char* Text(const char* p) const {
    const bool* plain = Plain();
    while (p != nullptr) {
      while (plain[static_cast<unsigned char>(*p)]) ++p;
      if (*p == '\0') return nullptr;
      if (*p == '<') return p;
      p = mBytes.WhiteSpace(*p) ? p + 1 : Character(p, nullptr);
    }
    return nullptr;
  }

  // name = value, the value quoted or not. `value` (when not null) receives a quoted value
  // with its references resolved.
  const char* Attribute(const char* p, std::string* value) const {
    p = Name(SkipWhiteSpace(p));
    p = SkipWhiteSpace(p);
    if (p == nullptr || *p != '=') return nullptr;
    p = SkipWhiteSpace(p + 1);
    if (p == nullptr) return nullptr;
    if (*p == '"' || *p == '\'') return QuotedValue(p, value);
    if (value != nullptr) value->clear();
    while (*p != '\0' && !mBytes.WhiteSpace(*p) && *p != '/' && *p != '>') {
      if (*p == '"' || *p == '\'') return nullptr;
      if (value != nullptr) *value += *p;
      ++p;
    }
    return *p != '\0' ? p : nullptr;
  }

  const char* QuotedValue(const char* p, std::string* value) const {
    const bool* plain = Plain();
    const char quote = *p++;
    if (value != nullptr) value->clear();
    while (p != nullptr) {
      const char* start = p;
      while (plain[static_cast<unsigned char>(*p)] && *p != quote) ++p;
      if (value != nullptr) value->append(start, p);
      if (*p == '\0') return nullptr;
      if (*p == quote) return p[1] != '\0' ? p + 1 : nullptr;
      p = Character(p, value);
    }
    return nullptr;
  }

  // "<?xml ... >": only its version, encoding and standalone attributes are read as
  // attributes (so a ">" in their quoted values does not end it). `encoding` receives the
  // value of the last encoding attribute.
  const char* Declaration(const char* p, std::string* encoding) const {
    p += 5;
    while (p != nullptr && *p != '\0') {
      if (*p == '>') return p + 1;
      p = SkipWhiteSpace(p);
      if (p == nullptr) return nullptr;
      if (StartsWithIgnoringCase(p, "version") || StartsWithIgnoringCase(p, "standalone")) {
        p = Attribute(p, nullptr);
      } else if (StartsWithIgnoringCase(p, "encoding")) {
        p = Attribute(p, encoding);
      } else {
        while (*p != '\0' && *p != '>' && !mBytes.WhiteSpace(*p)) ++p;
      }
    }
    return nullptr;
  }

  const char* Name(const char* p) const {
    if (p == nullptr || !mBytes.NameStart(*p)) return nullptr;
    while (mBytes.NameChar(*p)) ++p;
    return *p != '\0' ? p : nullptr;
  }

  // One character of text or of a quoted value; `decoded` (when not null) receives it. Only
  // a declaration that decides the encoding is decoded, so before any UTF-8 stepping.
  const char* Character(const char* p, std::string* decoded) const {
    int length =
        mEncoding == Encoding::Utf8 ? Utf8SequenceLength(static_cast<unsigned char>(*p)) : 1;
    if (length == 1) {
      if (*p == '&') return Reference(p, decoded);
      if (decoded != nullptr) *decoded += *p;
      return p + 1;
    }
    for (int i = 1; i < length; ++i) {
      if (p[i] == '\0') return p + i;
    }
    return p + length;
  }

  const bool* Plain() const { return kPlainBytes[mEncoding == Encoding::Utf8 ? 1 : 0].plain; }

  const char* SkipWhiteSpace(const char* p) const {
    if (p == nullptr || *p == '\0') return nullptr;
    while (true) {
      if (mEncoding == Encoding::Utf8 &&
          (StartsWith(p, "\xEF\xBB\xBF") || StartsWith(p, "\xEF\xBF\xBE") ||
           StartsWith(p, "\xEF\xBF\xBF"))) {
        p += 3;
      } else if (mBytes.WhiteSpace(*p)) {
        ++p;
      } else {
        return p;
      }
    }
  }

  // Compares as the parser does: byte by byte through tolower of the (signed) byte, in the
  // process's locale, as the parser passes it.
  bool StartsWithIgnoringCase(const char* p, const char* tag) const {
    if (*p == '\0') return false;
    while (*p != '\0' && *tag != '\0' && ToLower(*p) == ToLower(*tag)) {
      ++p;
      ++tag;
    }
    return *tag == '\0';
  }

  int ToLower(int c) const {
    if (mEncoding == Encoding::Utf8 && c >= 128) return c;
    return std::tolower(c);
  }

  const ByteClasses mBytes;
  const char* mText;
  int mLimit;
  Encoding mEncoding = Encoding::Unknown;
  int mDepth = 0;
  int mDeepest = 0;
};

}  // namespace

int NestingDepth(const char* text, int limit) {
  return text == nullptr ? 0 : NestingScan(text, limit).Run();
}

}  // namespace corvel::config
