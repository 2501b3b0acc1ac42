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
#include "fuzz_support.h"
#include "util/utf_convert.h"
#include "util/utf_steps.h"

namespace util = corvel::util;
using corvel::aws::gen::illegal_utf_sequence;

namespace {

// UTF-8 to UTF-16 by the rules: lead bytes C2-F4; continuation bytes 80-BF; after E0 the
// second byte is at least A0, after F0 at least 90, after F4 at most 8F (strict only);
// surrogate code points are ill-formed when strict and kept when lenient; code points above
// 10FFFF (lenient only) become U+FFFD. Nullopt for an ill-formed or cut-off input.
std::optional<std::u16string> ReferenceUtf8ToUtf16(const std::string& text, bool lenient) {
  std::u16string out;
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char lead = s[i];
    const int trailing = lead < 0x80   ? 0
                         : lead < 0xC2 ? -1
                         : lead < 0xE0 ? 1
                         : lead < 0xF0 ? 2
                         : lead < 0xF5 ? 3
                                       : -1;
    if (trailing < 0 || i + trailing >= text.size()) return std::nullopt;  // or cut off
    uint32_t c = lead & (0x7F >> (trailing ? trailing + 1 : 0));
    for (int k = 1; k <= trailing; ++k) {
      if (s[i + k] < 0x80 || s[i + k] > 0xBF) return std::nullopt;
      c = (c << 6) | (s[i + k] & 0x3F);
    }
    if ((lead == 0xE0 && s[i + 1] < 0xA0) || (lead == 0xF0 && s[i + 1] < 0x90)) return std::nullopt;
    if (!lenient && ((lead == 0xF4 && s[i + 1] > 0x8F) || (c >= 0xD800 && c <= 0xDFFF))) {
      return std::nullopt;
    }
    if (c > 0x10FFFF) c = 0xFFFD;
    if (c >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      c = 0xDC00 + (c & 0x3FF);
    }
    out.push_back(static_cast<char16_t>(c));
    i += trailing;
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
    const bool last = i + 1 == text.size();
    const uint32_t next = last ? 0 : text[i + 1];
    const bool high = c >= 0xD800 && c <= 0xDBFF, low = c >= 0xDC00 && c <= 0xDFFF;
    if (high && next >= 0xDC00 && next <= 0xDFFF) {
      c = ((c - 0xD800) << 10) + (next - 0xDC00) + 0x10000;
      ++i;
    } else if (!lenient && (low || (high && !last))) {
      return std::nullopt;
    }
    static const unsigned char kLead[] = {0x00, 0xC0, 0xE0, 0xF0};
    const int trailing = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    out.push_back(static_cast<char>(kLead[trailing] | (c >> (6 * trailing))));
    for (int k = trailing - 1; k >= 0; --k) {
      out.push_back(static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F)));
    }
  }
  return out;
}

// The result of converting `text`, or nullopt when the conversion throws illegal_utf_sequence
// with the message of its direction.
template <typename Text, typename Conversion>
auto Run(const Text&, Conversion conversion) -> std::optional<decltype(conversion())> {
  try {
    return conversion();
  } catch (const illegal_utf_sequence& e) {
    constexpr bool kBytes = std::is_same_v<Text, std::string>;
    FUZZ_CHECK(std::strcmp(e.what(), kBytes ? "Bad UTF-8 sequence." : "Bad UTF-16 sequence.") == 0,
               std::string("unexpected message ") + e.what());
    return std::nullopt;
  }
}

// Any intermediate buffer (at least a surrogate pair, or a four-byte sequence, long) gives the
// same result. Whatever strict conversion accepts converts back to the same text, but a high
// surrogate left in the last unit; lenient UTF-8 keeps lone surrogates, so lenient UTF-16 ->
// UTF-8 -> UTF-16 is lossless too.
template <typename Text, typename Out>
void CheckInput(const Text& text, size_t buffer, std::optional<Out> (*reference)(const Text&, bool),
                Out (*convert)(const Text&, bool), Out (*buffered)(const Text&, bool, size_t),
                bool (*unchecked)(const Text&, Out*), Text (*back)(const Out&, bool)) {
  constexpr bool kUnits = std::is_same_v<Text, std::u16string>;
  const uint32_t last = text.empty() ? 0 : static_cast<uint32_t>(text.back());
  const bool trailingHigh = kUnits && last >= 0xD800 && last <= 0xDBFF;
  for (bool lenient : {false, true}) {
    const auto expected = reference(text, lenient);
    const auto got = Run(text, [&] { return convert(text, lenient); });
    FUZZ_CHECK(got == expected, "acceptance or output differs from the rules");
    FUZZ_CHECK(Run(text, [&] { return buffered(text, lenient, buffer); }) == got,
               "the result depends on the buffer size");
    FUZZ_CHECK(!got || !(lenient ? kUnits : !trailingHigh) ||
                   Run(*got, [&] { return back(*got, lenient); }) == text,
               "round trip lost the text");
  }
  // The unchecked form converts as strictly as the checked one and fails on an empty text.
  Out wide;
  FUZZ_CHECK(unchecked(text, &wide) == !text.empty(), "unchecked result against its rule");
  FUZZ_CHECK(wide == reference(text, false).value_or(Out()), "unchecked differs from strict");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the intermediate buffer sizes: 2 to 33 units, 4 to 35 bytes.
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  CheckInput(text, 2 + (data[0] & 0x1F), ReferenceUtf8ToUtf16, util::ConvertUtf8ToUtf16,
             util::ConvertUtf8ToUtf16Buffered, util::Utf8ToWide, util::ConvertUtf16ToUtf8);
  std::u16string units;
  for (size_t i = 0; i + 1 < text.size(); i += 2) {
    units.push_back(static_cast<char16_t>(static_cast<unsigned char>(text[i]) |
                                          static_cast<unsigned char>(text[i + 1]) << 8));
  }
  CheckInput(units, 4 + (data[0] >> 3), ReferenceUtf16ToUtf8, util::ConvertUtf16ToUtf8,
             util::ConvertUtf16ToUtf8Buffered, util::WideToUtf8, util::ConvertUtf8ToUtf16);
  return 0;
}
