// Every short byte sequence decoded strictly, accepted exactly when iconv accepts it and to
// the same units. Large: built as its own executable labelled heavy.
#include <gtest/gtest.h>

#include <vector>

#include "iconv_reference.h"

namespace corvel::test {
namespace {

// Checks every sequence of bytes whose k-th byte is drawn from choices[k].
void ExpectAllAgree(const std::vector<std::vector<int>>& choices) {
  const IconvReference iconv("UTF-8", "UTF-16LE");
  size_t mismatches = 0;
  std::string first, bytes;
  auto walk = [&](auto& self, size_t at) -> void {
    if (at == choices.size()) {
      if (OursFromUtf8(bytes) != iconv.Convert(bytes) && mismatches++ == 0) first = bytes;
      return;
    }
    for (int b : choices[at]) {
      bytes.push_back(static_cast<char>(b));
      self(self, at + 1);
      bytes.pop_back();
    }
  };
  walk(walk, 0);
  EXPECT_EQ(mismatches, 0u) << "first: " << ::testing::PrintToString(first);
}

std::vector<int> Range(int first, int last) {
  std::vector<int> values;
  for (int b = first; b <= last; ++b) values.push_back(b);
  return values;
}

TEST(UtfSequences, EveryShortInputAgreesWithIconv) {
  const std::vector<int> all = Range(0, 255);
  const std::vector<int> edges = {0x00, 0x41, 0x7F, 0x80, 0x81, 0xBE, 0xBF, 0xC0, 0xF0, 0xFF};
  ExpectAllAgree({all});
  ExpectAllAgree({all, all});
  ExpectAllAgree({Range(0xE0, 0xEF), all, all});  // every three-byte lead
  ExpectAllAgree({Range(0xF0, 0xFF), all, edges});
  ExpectAllAgree({Range(0xF0, 0xFF), all, edges, edges});
}

}  // namespace
}  // namespace corvel::test
