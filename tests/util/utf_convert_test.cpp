#include "util/utf_convert.h"

#include <gtest/gtest.h>

#include <random>

#include "util/utf_steps.h"

namespace corvel::util {
namespace {

using aws::gen::illegal_utf_sequence;

// The message of the exception a conversion throws, or "" when it does not throw.
template <typename Conversion>
std::string FailureOf(Conversion&& conversion) {
  try {
    conversion();
  } catch (const illegal_utf_sequence& e) {
    return e.what();
  }
  return "";
}

std::string Utf8FailureOf(const std::string& text, bool lenient) {
  return FailureOf([&] { ConvertUtf8ToUtf16(text, lenient); });
}

std::string Utf16FailureOf(const std::u16string& text, bool lenient) {
  return FailureOf([&] { ConvertUtf16ToUtf8(text, lenient); });
}

// Mixed text: ASCII, two-, three- and four-byte characters in random order.
std::u16string MixedText(size_t characters, unsigned seed) {
  static const std::u16string kPieces[] = {u"a",          u"Z",         u" ",      u"\u00e9",
                                           u"\u03a9",     u"\u20ac",    u"\u4e2d", u"\ufffd",
                                           u"\U0001F600", u"\U0010FFFF"};
  std::mt19937 random(seed);
  std::uniform_int_distribution<size_t> pick(0, std::size(kPieces) - 1);
  std::u16string text;
  for (size_t i = 0; i < characters; ++i) text += kPieces[pick(random)];
  return text;
}

TEST(UtfConvert, WellFormedTextRoundTrips) {
  const std::string utf8 = "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80" + std::string(1, '\0') + "z";
  const std::u16string utf16 = u"a\u00e9\u20ac\U0001F600" + std::u16string(1, u'\0') + u"z";
  for (bool lenient : {false, true}) {
    EXPECT_EQ(ConvertUtf8ToUtf16(utf8, lenient), utf16);
    EXPECT_EQ(ConvertUtf16ToUtf8(utf16, lenient), utf8);
  }
  EXPECT_EQ(ConvertUtf8ToUtf16("", false), u"");
  EXPECT_EQ(ConvertUtf16ToUtf8(u"", false), "");
}

TEST(UtfConvert, EncodedSurrogateFailsStrictAndPassesThroughLenient) {
  EXPECT_EQ(Utf8FailureOf("\xed\xa0\x80", false), "Bad UTF-8 sequence.");
  EXPECT_EQ(Utf8FailureOf("\xed\xbf\xbf", false), "Bad UTF-8 sequence.");
  EXPECT_EQ(ConvertUtf8ToUtf16("x\xed\xa0\x80y", true), std::u16string(u"x\xD800y", 3));
  EXPECT_EQ(ConvertUtf8ToUtf16("\xed\xbf\xbf", true), std::u16string(1, char16_t(0xDFFF)));
  // The largest code points below the surrogates are fine in both modes.
  EXPECT_EQ(ConvertUtf8ToUtf16("\xed\x9f\xbf", false), u"\uD7FF");
}

TEST(UtfConvert, CodePointAboveRangeFailsStrictAndBecomesReplacementLenient) {
  EXPECT_EQ(Utf8FailureOf("\xf4\x90\x80\x80", false), "Bad UTF-8 sequence.");
  EXPECT_EQ(ConvertUtf8ToUtf16("\xf4\x90\x80\x80", true), u"\uFFFD");
  EXPECT_EQ(ConvertUtf8ToUtf16("a\xf4\xbf\xbf\xbf"
                               "b",
                               true),
            u"a\uFFFDb");
  EXPECT_EQ(ConvertUtf8ToUtf16("\xf4\x8f\xbf\xbf", false), u"\U0010FFFF");
}

TEST(UtfConvert, IllFormedUtf8FailsInBothModes) {
  const char* const kIllFormed[] = {
      "\x80",              // continuation byte as lead
      "\xbf",              //
      "\xc0\x80",          // lead bytes C0 and C1 (overlong two-byte forms)
      "\xc1\xbf",          //
      "\xc3\x41",          // continuation byte outside 80-BF
      "\xc3\xc3",          //
      "\xe0\x9f\xbf",      // overlong three-byte form
      "\xe2\x82\x41",      // bad third byte
      "\xf0\x8f\xbf\xbf",  // overlong four-byte form
      "\xf0\x9f\x98\x41",  // bad fourth byte
      "\xf5\x80\x80\x80",  // lead bytes above F4
      "\xf7\xbf\xbf\xbf",  //
      "\xf8\x88\x80\x80\x80",
      "\xfc\x84\x80\x80\x80\x80",
      "\xfe",
      "\xff",
  };
  for (const char* text : kIllFormed) {
    for (bool lenient : {false, true}) {
      EXPECT_EQ(Utf8FailureOf(std::string("ok") + text, lenient), "Bad UTF-8 sequence.")
          << "input " << ::testing::PrintToString(std::string(text)) << " lenient " << lenient;
    }
  }
}

TEST(UtfConvert, SequenceCutOffByEndOfInputEndsTheConversion) {
  for (const char* text : {"\xc3", "abc\xe2\x82", "\xe2", "\xf0\x9f\x98", "\xf0", "\xf8\x88"}) {
    for (bool lenient : {false, true}) {
      EXPECT_EQ(Utf8FailureOf(text, lenient), "Bad UTF-8 sequence.")
          << ::testing::PrintToString(std::string(text));
    }
  }
}

TEST(UtfConvert, LoneSurrogatesInUtf16) {
  const std::u16string low(1, char16_t(0xDC00));
  EXPECT_EQ(Utf16FailureOf(low, false), "Bad UTF-16 sequence.");
  EXPECT_EQ(ConvertUtf16ToUtf8(low, true), "\xed\xb0\x80");

  const std::u16string high_then_letter = std::u16string(1, char16_t(0xD800)) + u"A";
  EXPECT_EQ(Utf16FailureOf(high_then_letter, false), "Bad UTF-16 sequence.");
  EXPECT_EQ(ConvertUtf16ToUtf8(high_then_letter, true),
            "\xed\xa0\x80"
            "A");

  const std::u16string two_highs(2, char16_t(0xDBFF));
  EXPECT_EQ(Utf16FailureOf(two_highs, false), "Bad UTF-16 sequence.");
  EXPECT_EQ(ConvertUtf16ToUtf8(two_highs, true), "\xed\xaf\xbf\xed\xaf\xbf");

  // A high surrogate that is the last unit is encoded by itself.
  const std::u16string trailing_high = u"z" + std::u16string(1, char16_t(0xD83D));
  for (bool lenient : {false, true}) {
    EXPECT_EQ(ConvertUtf16ToUtf8(trailing_high, lenient), "z\xed\xa0\xbd");
  }
}

TEST(UtfConvert, OutputDoesNotDependOnTheBufferSize) {
  const std::u16string utf16 = MixedText(3000, 7);
  const std::string utf8 = ConvertUtf16ToUtf8(utf16, false);
  ASSERT_EQ(ConvertUtf8ToUtf16(utf8, false), utf16);
  for (size_t units : {2, 3, 5, 255, 256, 257, 1000, 10000}) {
    EXPECT_EQ(ConvertUtf8ToUtf16Buffered(utf8, false, units), utf16) << units;
  }
  for (size_t bytes : {4, 5, 7, 255, 256, 257, 1000, 10000}) {
    EXPECT_EQ(ConvertUtf16ToUtf8Buffered(utf16, false, bytes), utf8) << bytes;
  }
  // A surrogate pair must not be split across two fills of the buffer.
  const std::string straddling = std::string(255, 'a') + "\xf0\x9f\x98\x80";
  EXPECT_EQ(ConvertUtf8ToUtf16(straddling, false), std::u16string(255, u'a') + u"\U0001F600");
}

TEST(UtfConvert, StepWithoutRoomReportsEmptyTargetBuffer) {
  EXPECT_EQ(FailureOf([] { ConvertUtf8ToUtf16Buffered("\xf0\x9f\x98\x80", false, 1); }),
            "Empty target buffer.");
  EXPECT_EQ(FailureOf([] { ConvertUtf8ToUtf16Buffered("a", false, 0); }), "Empty target buffer.");
  EXPECT_EQ(FailureOf([] { ConvertUtf16ToUtf8Buffered(u"\u20ac", false, 2); }),
            "Empty target buffer.");
  // Room for the units that fit is used; the buffer is only "empty" when nothing fits.
  EXPECT_EQ(ConvertUtf8ToUtf16Buffered("abc", false, 1), u"abc");
}

TEST(UtfConvert, TheExceptionIsAStandardException) {
  try {
    ConvertUtf8ToUtf16("\xff", false);
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Bad UTF-8 sequence.");
  }
}

TEST(UtfConvert, ThroughThePlatform) {
  std::u16string wide;
  EXPECT_FALSE(Utf8ToWide("", &wide));
  EXPECT_FALSE(Utf8ToWide("a", nullptr));
  ASSERT_TRUE(
      Utf8ToWide("\xe2\x82\xac"
                 "1",
                 &wide));
  EXPECT_EQ(wide, u"\u20ac1");
  ASSERT_TRUE(Utf8ToWide("\xc0\x80", &wide));
  EXPECT_EQ(wide, u"");

  std::string narrow;
  EXPECT_FALSE(WideToUtf8(u"", &narrow));
  ASSERT_TRUE(WideToUtf8(u"\U0001F600", &narrow));
  EXPECT_EQ(narrow, "\xf0\x9f\x98\x80");
  ASSERT_TRUE(WideToUtf8(std::u16string(1, char16_t(0xDC00)), &narrow));
  EXPECT_EQ(narrow, "");
}

}  // namespace
}  // namespace corvel::util
