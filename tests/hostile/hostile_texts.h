// Texts a hostile or careless caller hands the library.
#pragma once

#include <string>
#include <vector>

namespace corvel::hostile {

inline const std::string& Text64K() {
  static const std::string text(64 * 1024, 'k');
  return text;
}

inline const std::string& Text1M() {
  static const std::string text(1024 * 1024, 'm');
  return text;
}

// Ill-formed UTF-8: a lead byte without its continuation, bytes that never occur, an overlong
// form of "/", an encoded surrogate, a sequence cut short at the end, a code point beyond
// U+10FFFF, and a stray continuation byte in the middle of plain text.
inline const std::vector<std::string>& IllFormedUtf8() {
  static const std::vector<std::string> texts = {"\xC3\x28",     "\xFF\xFE",    "\xC0\xAF",
                                                 "\xED\xA0\x80", "abc\xE2\x82", "\xF4\x90\x80\x80",
                                                 "pay\x80load"};
  return texts;
}

// Well-formed texts that break naive quoting: quotes, line breaks, the list separator,
// markup, SQL and pattern characters, printf directives, path steps.
inline const std::vector<std::string>& AwkwardTexts() {
  static const std::vector<std::string> texts = {
      "quo\"te'd",
      "line\nbreak\r\n",
      "x{|}y",
      "{|}",
      "<a attr=\"&amp;\">&lt;",
      "'); DROP TABLE pcd_values; --",
      "%",
      "*",
      "%s%s%s%n%x",
      "../../../escape",
      "tab\tand\x01control",
      "\xE2\x82\xAC\xF0\x9F\x98\x80 ok",
  };
  return texts;
}

// Names that are not XML names: a digit first, a blank, a colon, markup, empty.
inline const std::vector<std::string>& XmlInvalidNames() {
  static const std::vector<std::string> names = {"1abc", "a b",   "ns:name",     "<x>",
                                                 "a/b",  "-lead", "\xC3\xA9\xFF"};
  return names;
}

}  // namespace corvel::hostile
