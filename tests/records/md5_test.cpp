// MD5 against the test suite of RFC 1321 and across the padding's block boundaries.
#include <gtest/gtest.h>

#include <string>

#include "records/md5.h"

namespace corvel::records {
namespace {

TEST(Md5, MatchesRfc1321TestSuiteAndBlockBoundaries) {
  EXPECT_EQ(Md5UpperHex(""), "D41D8CD98F00B204E9800998ECF8427E");
  EXPECT_EQ(Md5UpperHex("a"), "0CC175B9C0F1B6A831C399E269772661");
  EXPECT_EQ(Md5UpperHex("abc"), "900150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(Md5UpperHex("message digest"), "F96B697D7CB7938D525A2F31AAF161D0");
  EXPECT_EQ(Md5UpperHex("abcdefghijklmnopqrstuvwxyz"), "C3FCD3D76192E4007DFB496CCA67E13B");
  EXPECT_EQ(Md5UpperHex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
            "D174AB98D277D9F5A5611C2C9F419D9F");
  std::string digits;
  for (int n = 0; n < 8; ++n) digits += "1234567890";
  EXPECT_EQ(Md5UpperHex(digits), "57EDF4A22BE3C955AC49DA2E2107B67A");
  // 55 bytes leave room for the length in one block; 56 and 64 need a second one.
  EXPECT_EQ(Md5UpperHex(std::string(55, 'a')), "EF1772B6DFF9A122358552954AD0DF65");
  EXPECT_EQ(Md5UpperHex(std::string(56, 'a')), "3B0C8AC703F828B04C6C197006D17218");
  EXPECT_EQ(Md5UpperHex(std::string(64, 'a')), "014842D480B571495A4A0363793F7367");
}

}  // namespace
}  // namespace corvel::records
