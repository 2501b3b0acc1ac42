#include "util/base64.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "test_support.h"

namespace corvel::util {
namespace {

std::string Encode(const std::string& bytes) {
  std::string out = "left over";
  EncodeBase64(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), out);
  return out;
}

TEST(Base64, Rfc4648Vectors) {
  EXPECT_EQ(Encode(""), "");
  EXPECT_EQ(Encode("f"), "Zg==");
  EXPECT_EQ(Encode("fo"), "Zm8=");
  EXPECT_EQ(Encode("foo"), "Zm9v");
  EXPECT_EQ(Encode("foob"), "Zm9vYg==");
  EXPECT_EQ(Encode("fooba"), "Zm9vYmE=");
  EXPECT_EQ(Encode("foobar"), "Zm9vYmFy");
  EXPECT_EQ(Encode("abc"), "YWJj");
  EXPECT_EQ(Encode("ab"), "YWI=");
  EXPECT_EQ(Encode("a"), "YQ==");
}

TEST(Base64, NullInputEmptiesTheOutput) {
  std::string out = "stale";
  EncodeBase64(nullptr, 5, out);
  EXPECT_EQ(out, "");
}

// Every byte value at every position of a group, and each tail length, against openssl.
TEST(Base64, AgreesWithOpensslOnEveryByteValue) {
  test::ScratchFolder scratch;
  std::string all;
  for (int round = 0; round < 3; ++round) {
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b + round);
  }
  for (size_t tail : {0, 1, 2}) {
    const std::string input = all + std::string(tail, '\xff');
    const std::string file = scratch.Path("input.bin");
    ASSERT_TRUE(test::WriteWholeFile(file, input));
    FILE* pipe = popen(("openssl base64 -A -in " + file).c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string expected;
    char chunk[512];
    size_t n;
    while ((n = fread(chunk, 1, sizeof(chunk), pipe)) > 0) expected.append(chunk, n);
    ASSERT_EQ(pclose(pipe), 0);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(Encode(input), expected) << "tail " << tail;
  }
}

}  // namespace
}  // namespace corvel::util
