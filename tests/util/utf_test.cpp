// The UTF-8/UTF-16 conversions: strict ones against glibc iconv over every scalar value, the
// lenient rules and error messages in one table, and the buffered steps.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <random>

#include "iconv_reference.h"
#include "util/utf_steps.h"

namespace corvel::util {
namespace {

using test::IconvReference;
using test::OursFromUtf16;
using test::OursFromUtf8;

TEST(UtfAgainstIconv, EveryScalarValueConvertsAsIconvConvertsIt) {
  const IconvReference to_utf8("UTF-32LE", "UTF-8"), to_utf16("UTF-32LE", "UTF-16LE");
  for (uint32_t first = 0; first <= 0x10FFFF; first += 0x1000) {
    std::string utf32;
    for (uint32_t cp = first; cp < first + 0x1000; ++cp) {
      if (cp >= 0xD800 && cp <= 0xDFFF) continue;
      for (int shift = 0; shift < 32; shift += 8) utf32 += static_cast<char>(cp >> shift);
    }
    if (utf32.empty()) continue;
    const auto utf8 = to_utf8.Convert(utf32), utf16 = to_utf16.Convert(utf32);
    ASSERT_TRUE(utf8 && utf16) << "iconv rejected block " << first;
    EXPECT_EQ(OursFromUtf8(*utf8), *utf16) << "UTF-8 to UTF-16, block " << first;
    EXPECT_EQ(OursFromUtf16(*utf16), *utf8) << "UTF-16 to UTF-8, block " << first;
  }
  // Every surrogate alone before a letter is rejected by both (encoded in UTF-8, by
  // utf_sequences_test).
  const IconvReference from_utf16("UTF-16LE", "UTF-8");
  for (uint32_t cp = 0xD800; cp <= 0xDFFF; ++cp) {
    const std::string lone = {static_cast<char>(cp), static_cast<char>(cp >> 8), 'A', 0};
    ASSERT_FALSE(from_utf16.Convert(lone)) << cp;
    EXPECT_FALSE(OursFromUtf16(lone)) << cp;
  }
}

// ASCII runs are converted a block at a time: one non-ASCII sequence, well- or ill-formed, at
// every offset of a run and followed by runs of every length up to two blocks.
TEST(UtfAgainstIconv, OneSequenceAtEveryOffsetOfAnAsciiRun) {
  const IconvReference to_utf16("UTF-8", "UTF-16LE");
  const std::string ascii = "/var/lib/Corvel/PCD/pcd.db {3F2504E0-4F89-11D3} INFO TAVLib";
  for (const char* other :
       {"\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80", "\x80", "\xe2\x82", "\xed\xa0\x80"}) {
    for (size_t at = 0; at <= 40; ++at) {
      for (size_t after = 0; after <= 33; ++after) {
        const std::string utf8 = ascii.substr(0, at) + other + ascii.substr(at, after);
        const auto utf16 = to_utf16.Convert(utf8);
        ASSERT_EQ(OursFromUtf8(utf8), utf16) << ::testing::PrintToString(utf8);
        ASSERT_TRUE(!utf16 || OursFromUtf16(*utf16) == utf8) << ::testing::PrintToString(utf8);
      }
    }
  }
}

// The result of a conversion, or nullopt with the message of what it threw.
template <typename Text, typename Conversion>
std::optional<Text> Outcome(Conversion conversion, std::string* message) {
  try {
    return conversion();
  } catch (const aws::gen::illegal_utf_sequence& e) {
    *message = e.what();
    return std::nullopt;
  }
}

const std::u16string kNone = u"(throws)";

// Strict acceptance is iconv's to judge (above and in utf_sequences_test); these are the rules
// lenient conversion adds, the quirk strict UTF-16 shares, and the messages.
TEST(UtfConvert, LenientRulesAndMessages) {
  const struct {
    std::string utf8;
    std::u16string lenient;
  } from_utf8[] = {
      {"x\xed\xa0\x80y", std::u16string(u"x\xD800y", 3)},  // encoded surrogates pass through
      {"a\xf4\x90\x80\x80z", u"a\uFFFDz"},                 // above U+10FFFF
      {"\xf5\x80\x80\x80", kNone},      // ill-formed however lenient: leads above F4,
      {"\xf8\x88\x80\x80\x80", kNone},  // five-byte forms, a cut sequence
      {"abc\xe2\x82", kNone}};
  for (const auto& c : from_utf8) {
    std::string message = "Bad UTF-8 sequence.";
    const auto out =
        Outcome<std::u16string>([&] { return ConvertUtf8ToUtf16(c.utf8, true); }, &message);
    EXPECT_EQ(out.value_or(kNone), c.lenient) << ::testing::PrintToString(c.utf8);
    EXPECT_EQ(message, "Bad UTF-8 sequence.");
  }
  // Lone surrogates are encoded by themselves when lenient; a high one at the end always.
  const std::pair<std::u16string, std::string> from_utf16[] = {
      {std::u16string(1, char16_t{0xDC00}), "\xed\xb0\x80"},
      {std::u16string(1, char16_t{0xD800}) + u"A", "\xed\xa0\x80\x41"},
      {std::u16string(2, char16_t{0xDBFF}), "\xed\xaf\xbf\xed\xaf\xbf"}};
  for (const auto& [utf16, utf8] : from_utf16) EXPECT_EQ(ConvertUtf16ToUtf8(utf16, true), utf8);
  EXPECT_EQ(ConvertUtf16ToUtf8(u"z" + std::u16string(1, char16_t{0xD83D}), false), "z\xed\xa0\xbd");
  std::string message;
  EXPECT_FALSE(Outcome<std::string>([] { return ConvertUtf16ToUtf8(u"\xDC00", false); }, &message));
  EXPECT_EQ(message, "Bad UTF-16 sequence.");
}

TEST(UtfConvert, OutputDoesNotDependOnTheBufferSize) {
  static const std::u16string kPieces[] = {u"a",      u" ",          u"\u00e9",
                                           u"\u03a9", u"\u20ac",     u"\u4e2d",
                                           u"\ufffd", u"\U0001F600", u"\U0010FFFF"};
  std::mt19937 random(7);
  std::u16string utf16;
  for (int i = 0; i < 3000; ++i) utf16 += kPieces[random() % std::size(kPieces)];
  const std::string utf8 = ConvertUtf16ToUtf8(utf16, false);
  for (size_t size : {2, 3, 4, 5, 7, 255, 256, 257, 1000, 10000}) {
    EXPECT_TRUE(size < 4 || ConvertUtf16ToUtf8Buffered(utf16, false, size) == utf8) << size;
    EXPECT_EQ(ConvertUtf8ToUtf16Buffered(utf8, false, size), utf16) << size;
  }
  // A step without room for the next code point fails.
  EXPECT_EQ(ConvertUtf8ToUtf16Buffered("abc", false, 1), u"abc");
  for (const auto& step :
       {std::function<void()>([] { ConvertUtf8ToUtf16Buffered("\xf0\x9f\x98\x80", false, 1); }),
        std::function<void()>([] { ConvertUtf8ToUtf16Buffered("a", false, 0); }),
        std::function<void()>([] { ConvertUtf16ToUtf8Buffered(u"\u20ac", false, 2); })}) {
    std::string message;
    EXPECT_FALSE(Outcome<bool>([&] { return step(), true; }, &message));
    EXPECT_EQ(message, "Empty target buffer.");
  }
  // The platform's form: false for no input or no output, an empty result when ill-formed.
  std::u16string wide;
  std::string narrow;
  EXPECT_FALSE(Utf8ToWide("", &wide) || Utf8ToWide("a", nullptr) || WideToUtf8(u"", &narrow));
  EXPECT_TRUE(Utf8ToWide("\xe2\x82\xac", &wide) && wide == u"\u20ac");
  EXPECT_TRUE(WideToUtf8(u"\U0001F600", &narrow) && narrow == "\xf0\x9f\x98\x80");
  EXPECT_TRUE(Utf8ToWide("\xc0\x80", &wide) && wide.empty());
  EXPECT_TRUE(WideToUtf8(std::u16string(1, char16_t{0xDC00}), &narrow) && narrow.empty());
}

}  // namespace
}  // namespace corvel::util
