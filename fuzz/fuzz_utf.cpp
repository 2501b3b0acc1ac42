// The checked UTF-8/UTF-16 converters against a plain reference decoder and encoder written
// here from the conversion rules. The input is read both as UTF-8 bytes and as UTF-16LE
// units. Checked on every input:
//  - strict and lenient conversion accept exactly what the reference accepts, give exactly
//    the reference's output, and throw only illegal_utf_sequence with the message of their
//    direction ("Bad UTF-8 sequence." or "Bad UTF-16 sequence.");
//  - whatever strict conversion accepts converts back to the same text (round trip);
//  - lenient UTF-16 -> UTF-8 -> UTF-16 gives back any UTF-16 text, lone surrogates included;
//  - the result does not depend on the intermediate buffer size;
//  - Utf8ToWide and WideToUtf8 agree with the strict conversion.
#include <cstring>
#include <optional>

#include "fuzz_support.h"
#include "util/utf_convert.h"
#include "util/utf_steps.h"

namespace util = corvel::util;
using corvel::aws::gen::illegal_utf_sequence;

namespace {

void AppendUnit(std::u16string& out, uint32_t code_point) {
  if (code_point < 0x10000) {
    out.push_back(static_cast<char16_t>(code_point));
  } else {
    code_point -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (code_point >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (code_point & 0x3FF)));
  }
}

void AppendUtf8(std::string& out, uint32_t c) {
  const int trailing = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
  static const unsigned char kLead[] = {0x00, 0xC0, 0xE0, 0xF0};
  out.push_back(static_cast<char>(kLead[trailing] | (c >> (6 * trailing))));
  for (int k = trailing - 1; k >= 0; --k)
    out.push_back(static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F)));
}

// UTF-8 to UTF-16 by the rules: lead bytes C2-F4; continuation bytes 80-BF; after E0 the
// second byte is at least A0, after F0 at least 90, after F4 at most 8F (strict only);
// surrogate code points are ill-formed when strict and kept when lenient; code points above
// 10FFFF (lenient only) become U+FFFD. Nullopt for an ill-formed or cut-off input.
std::optional<std::u16string> ReferenceUtf8ToUtf16(const std::string& text, bool lenient) {
  std::u16string out;
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  for (size_t i = 0; i < n;) {
    const unsigned char lead = s[i];
    if (lead < 0x80) {
      out.push_back(lead);
      ++i;
      continue;
    }
    const size_t trailing = lead >= 0xC2 && lead <= 0xDF   ? 1
                            : lead >= 0xE0 && lead <= 0xEF ? 2
                            : lead >= 0xF0 && lead <= 0xF4 ? 3
                                                           : 0;
    if (trailing == 0) return std::nullopt;
    if (i + trailing >= n) return std::nullopt;  // cut off by the end
    uint32_t c = lead & (trailing == 1 ? 0x1F : trailing == 2 ? 0x0F : 0x07);
    for (size_t k = 1; k <= trailing; ++k) {
      if (s[i + k] < 0x80 || s[i + k] > 0xBF) return std::nullopt;
      c = (c << 6) | (s[i + k] & 0x3F);
    }
    if (lead == 0xE0 && s[i + 1] < 0xA0) return std::nullopt;
    if (lead == 0xF0 && s[i + 1] < 0x90) return std::nullopt;
    if (lead == 0xF4 && s[i + 1] > 0x8F && !lenient) return std::nullopt;
    if (c >= 0xD800 && c <= 0xDFFF && !lenient) return std::nullopt;
    AppendUnit(out, c > 0x10FFFF ? 0xFFFD : c);
    i += trailing + 1;
  }
  return out;
}

// UTF-16 to UTF-8: a high surrogate followed by a low one is one code point; a high
// surrogate followed by anything else, or a lone low one, is ill-formed when strict and
// encoded by itself when lenient; a high surrogate in the last unit is encoded by itself.
std::optional<std::string> ReferenceUtf16ToUtf8(const std::u16string& text, bool lenient) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
      const uint32_t next = text[i + 1];
      if (next >= 0xDC00 && next <= 0xDFFF) {
        c = ((c - 0xD800) << 10) + (next - 0xDC00) + 0x10000;
        ++i;
      } else if (!lenient) {
        return std::nullopt;
      }
    } else if (c >= 0xDC00 && c <= 0xDFFF && !lenient) {
      return std::nullopt;
    }
    AppendUtf8(out, c);
  }
  return out;
}

template <typename Result, typename Convert>
std::optional<Result> Run(Convert convert, const char* expectedMessage) {
  try {
    return convert();
  } catch (const illegal_utf_sequence& e) {
    FUZZ_CHECK(std::strcmp(e.what(), expectedMessage) == 0,
               std::string("unexpected message ") + e.what());
    return std::nullopt;
  }
}

void CheckUtf8Input(const std::string& text, size_t bufferUnits) {
  for (bool lenient : {false, true}) {
    const auto expected = ReferenceUtf8ToUtf16(text, lenient);
    const auto got = Run<std::u16string>([&] { return util::ConvertUtf8ToUtf16(text, lenient); },
                                         "Bad UTF-8 sequence.");
    FUZZ_CHECK(got.has_value() == expected.has_value(), "UTF-8 acceptance differs");
    if (got) FUZZ_CHECK(*got == *expected, "UTF-8 -> UTF-16 output differs from the rules");
    // Any buffer of at least two units (a surrogate pair) gives the same result.
    const auto buffered = Run<std::u16string>(
        [&] { return util::ConvertUtf8ToUtf16Buffered(text, lenient, bufferUnits); },
        "Bad UTF-8 sequence.");
    FUZZ_CHECK(buffered == got, "UTF-8 -> UTF-16 depends on the buffer size");
    if (got && !lenient) {
      const auto back = Run<std::string>([&] { return util::ConvertUtf16ToUtf8(*got, false); },
                                         "Bad UTF-16 sequence.");
      FUZZ_CHECK(back && *back == text, "strict UTF-8 round trip lost the text");
    }
  }
  std::u16string wide;
  const bool converted = util::Utf8ToWide(text, &wide);
  FUZZ_CHECK(converted == !text.empty(), "Utf8ToWide result against its rule");
  const auto strict = ReferenceUtf8ToUtf16(text, false);
  FUZZ_CHECK(wide == (strict ? *strict : std::u16string()), "Utf8ToWide differs from strict");
}

void CheckUtf16Input(const std::u16string& text, size_t bufferBytes) {
  for (bool lenient : {false, true}) {
    const auto expected = ReferenceUtf16ToUtf8(text, lenient);
    const auto got = Run<std::string>([&] { return util::ConvertUtf16ToUtf8(text, lenient); },
                                      "Bad UTF-16 sequence.");
    FUZZ_CHECK(got.has_value() == expected.has_value(), "UTF-16 acceptance differs");
    if (got) FUZZ_CHECK(*got == *expected, "UTF-16 -> UTF-8 output differs from the rules");
    const auto buffered = Run<std::string>(
        [&] { return util::ConvertUtf16ToUtf8Buffered(text, lenient, bufferBytes); },
        "Bad UTF-16 sequence.");
    FUZZ_CHECK(buffered == got, "UTF-16 -> UTF-8 depends on the buffer size");
    if (!got) continue;
    // Lenient UTF-8 keeps lone surrogates, so lenient conversion both ways is lossless; a
    // strict result converts back strictly, except for a high surrogate left in the last unit.
    const bool trailingHigh = !text.empty() && text.back() >= 0xD800 && text.back() <= 0xDBFF;
    if (lenient || !trailingHigh) {
      const auto back = Run<std::u16string>([&] { return util::ConvertUtf8ToUtf16(*got, lenient); },
                                            "Bad UTF-8 sequence.");
      FUZZ_CHECK(back && *back == text, "UTF-16 round trip lost the text");
    }
  }
  std::string narrow;
  const bool converted = util::WideToUtf8(text, &narrow);
  FUZZ_CHECK(converted == !text.empty(), "WideToUtf8 result against its rule");
  const auto strict = ReferenceUtf16ToUtf8(text, false);
  FUZZ_CHECK(narrow == (strict ? *strict : std::string()), "WideToUtf8 differs from strict");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the intermediate buffer sizes: 2 to 33 units, 4 to 35 bytes.
  const size_t bufferUnits = 2 + (data[0] & 0x1F);
  const size_t bufferBytes = 4 + (data[0] >> 3);
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  CheckUtf8Input(text, bufferUnits);
  std::u16string units;
  for (size_t i = 0; i + 1 < text.size(); i += 2) {
    units.push_back(static_cast<char16_t>(static_cast<unsigned char>(text[i]) |
                                          static_cast<unsigned char>(text[i + 1]) << 8));
  }
  CheckUtf16Input(units, bufferBytes);
  return 0;
}
