// Every short byte sequence decoded strictly, accepted exactly when iconv accepts it and to
// the same units. Large: built as its own executable labelled heavy.
#include <gtest/gtest.h>

#include <optional>

#include "iconv_reference.h"
#include "util/utf_convert.h"

namespace corvel::util {
namespace {

using test::BytesOf;
using test::IconvReference;

class SequenceCheck {
 public:
  SequenceCheck() : mIconv("UTF-8", "UTF-16LE") {}

  // Counts a disagreement and records the first one.
  void Check(const std::string& bytes) {
    const std::optional<std::string> expected = mIconv.Convert(bytes);
    std::optional<std::string> ours;
    try {
      ours = BytesOf(ConvertUtf8ToUtf16(bytes, false));
    } catch (const aws::gen::illegal_utf_sequence&) {
    }
    if (ours != expected && mMismatches++ == 0) mFirst = bytes;
  }

  void ExpectNoMismatch() const {
    EXPECT_EQ(mMismatches, 0u) << "first: " << ::testing::PrintToString(mFirst);
  }

 private:
  IconvReference mIconv;
  size_t mMismatches = 0;
  std::string mFirst;
};

std::string Bytes(std::initializer_list<int> values) {
  std::string text;
  for (int v : values) text += static_cast<char>(v);
  return text;
}

TEST(UtfSequences, EveryOneAndTwoByteInput) {
  SequenceCheck check;
  for (int a = 0; a < 256; ++a) {
    check.Check(Bytes({a}));
    for (int b = 0; b < 256; ++b) check.Check(Bytes({a, b}));
  }
  check.ExpectNoMismatch();
}

TEST(UtfSequences, EveryThreeByteInputWithAThreeByteLead) {
  SequenceCheck check;
  for (int a = 0xE0; a <= 0xEF; ++a) {
    for (int b = 0; b < 256; ++b) {
      for (int c = 0; c < 256; ++c) check.Check(Bytes({a, b, c}));
    }
  }
  check.ExpectNoMismatch();
}

TEST(UtfSequences, FourByteLeadsWithEverySecondByteAndEdgeTrailingBytes) {
  SequenceCheck check;
  const int kEdges[] = {0x00, 0x41, 0x7F, 0x80, 0x81, 0xBE, 0xBF, 0xC0, 0xF0, 0xFF};
  for (int a = 0xF0; a <= 0xFF; ++a) {
    for (int b = 0; b < 256; ++b) {
      check.Check(Bytes({a, b}));
      for (int c : kEdges) {
        check.Check(Bytes({a, b, c}));
        for (int d : kEdges) check.Check(Bytes({a, b, c, d}));
      }
    }
  }
  check.ExpectNoMismatch();
}

}  // namespace
}  // namespace corvel::util
