// The strict conversions checked against glibc iconv, an independent decoder and encoder.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

#include "iconv_reference.h"
#include "util/utf_convert.h"

namespace corvel::util {
namespace {

using test::BytesOf;
using test::IconvReference;
using test::UnitsOf;

bool IsSurrogate(uint32_t code_point) { return code_point >= 0xD800 && code_point <= 0xDFFF; }

std::string Utf32Of(uint32_t first, uint32_t last) {
  std::string bytes;
  for (uint32_t cp = first; cp <= last; ++cp) {
    if (IsSurrogate(cp)) continue;
    for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>((cp >> shift) & 0xFF);
  }
  return bytes;
}

// Our strict UTF-8 decoding as UTF-16LE bytes, nullopt when it throws.
std::optional<std::string> OursFromUtf8(const std::string& utf8) {
  try {
    return BytesOf(ConvertUtf8ToUtf16(utf8, false));
  } catch (const aws::gen::illegal_utf_sequence&) {
    return std::nullopt;
  }
}

std::optional<std::string> OursFromUtf16(const std::u16string& utf16) {
  try {
    return ConvertUtf16ToUtf8(utf16, false);
  } catch (const aws::gen::illegal_utf_sequence&) {
    return std::nullopt;
  }
}

TEST(UtfAgainstIconv, EveryScalarValueConvertsAsIconvConvertsIt) {
  IconvReference to_utf8("UTF-32LE", "UTF-8");
  IconvReference to_utf16("UTF-32LE", "UTF-16LE");
  ASSERT_TRUE(to_utf8.valid() && to_utf16.valid());
  constexpr uint32_t kBlock = 0x1000;
  for (uint32_t first = 0; first <= 0x10FFFF; first += kBlock) {
    const std::string utf32 = Utf32Of(first, first + kBlock - 1);
    if (utf32.empty()) continue;
    const auto utf8 = to_utf8.Convert(utf32);
    const auto utf16 = to_utf16.Convert(utf32);
    ASSERT_TRUE(utf8 && utf16) << "iconv rejected block " << first;
    EXPECT_EQ(OursFromUtf8(*utf8), *utf16) << "UTF-8 to UTF-16, block " << first;
    EXPECT_EQ(OursFromUtf16(UnitsOf(*utf16)), *utf8) << "UTF-16 to UTF-8, block " << first;
  }
}

// ASCII runs are converted a block at a time: one non-ASCII sequence, well- or ill-formed, at
// every offset of a run and followed by runs of every length up to two blocks.
TEST(UtfAgainstIconv, OneSequenceAtEveryOffsetOfAnAsciiRun) {
  IconvReference to_utf16("UTF-8", "UTF-16LE");
  const std::string ascii = "/var/lib/Corvel/PCD/pcd.db {3F2504E0-4F89-11D3} INFO TAVLib";
  for (const char* other :
       {"\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80", "\x80", "\xe2\x82", "\xed\xa0\x80"}) {
    for (size_t at = 0; at <= 40; ++at) {
      for (size_t after = 0; after <= 33; ++after) {
        const std::string utf8 = ascii.substr(0, at) + other + ascii.substr(at, after);
        const auto utf16 = to_utf16.Convert(utf8);
        ASSERT_EQ(OursFromUtf8(utf8), utf16) << ::testing::PrintToString(utf8);
        if (!utf16) continue;
        ASSERT_EQ(OursFromUtf16(UnitsOf(*utf16)), utf8) << ::testing::PrintToString(utf8);
      }
    }
  }
}

TEST(UtfAgainstIconv, EverySurrogateIsRejectedByBothInBothDirections) {
  IconvReference from_utf8("UTF-8", "UTF-16LE");
  IconvReference from_utf16("UTF-16LE", "UTF-8");
  for (uint32_t cp = 0xD800; cp <= 0xDFFF; ++cp) {
    const std::string encoded = {static_cast<char>(0xE0 | (cp >> 12)),
                                 static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
                                 static_cast<char>(0x80 | (cp & 0x3F))};
    ASSERT_FALSE(from_utf8.Convert(encoded)) << cp;
    EXPECT_FALSE(OursFromUtf8(encoded)) << cp;
    // A lone unit followed by a letter (a trailing high surrogate is encoded by itself).
    const std::u16string lone = std::u16string(1, static_cast<char16_t>(cp)) + u"A";
    ASSERT_FALSE(from_utf16.Convert(BytesOf(lone))) << cp;
    EXPECT_FALSE(OursFromUtf16(lone)) << cp;
  }
}

}  // namespace
}  // namespace corvel::util
