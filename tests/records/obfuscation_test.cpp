// The records' own primitives against independent references: RC4 against the keystreams of
// RFC 6229 (and the value obfuscation built on it), MD5 against the test suite of RFC 1321.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "records/account_record.h"
#include "records/md5.h"
#include "records/rc4.h"
#include "records/value_obfuscation.h"

namespace corvel::records {
namespace {

std::vector<uint8_t> FromHex(const std::string& hex) {
  std::vector<uint8_t> bytes;
  for (size_t n = 0; n + 1 < hex.size(); n += 2)
    bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(n, 2), nullptr, 16)));
  return bytes;
}

TEST(Rc4, MatchesRfc6229Keystreams) {
  // Keys of 40 and 128 bits from both key sets; 16 keystream bytes at each offset.
  const struct {
    const char* key;
    size_t offset;
    const char* keystream;
  } kVectors[] = {
      {"0102030405", 0, "b2396305f03dc027ccc3524a0a1118a8"},
      {"0102030405", 240, "28cb1132c96ce286421dcaadb8b69eae"},
      {"0102030405", 1008, "45129048e6a0ed0b56b490338f078da5"},
      {"0102030405", 4080, "068326a2118416d21f9d04b2cd1ca050"},
      {"0102030405060708090a0b0c0d0e0f10", 0, "9ac7cc9a609d1ef7b2932899cde41b97"},
      {"0102030405060708090a0b0c0d0e0f10", 240, "065902e4b620f6cc36c8589f66432f2b"},
      {"0102030405060708090a0b0c0d0e0f10", 1008, "e7a72574f8782ae26aabcf9ebcd66065"},
      {"0102030405060708090a0b0c0d0e0f10", 4080, "ff38265c1642c1abe8d3c2fe5e572bf8"},
      {"833222772a", 0, "80ad97bdc973df8a2e879e92a497efda"},
      {"833222772a", 240, "faa148e99046181fec6b2085f3b20ed9"},
      {"833222772a", 1008, "6da453dbf81e82334a3d8866cb50a1e3"},
      {"833222772a", 4080, "6349d126a37afcba89794f9804914fdc"},
      {"ebb46227c6cc8b37641910833222772a", 0, "720c94b63edf44e131d950ca211a5a30"},
      {"ebb46227c6cc8b37641910833222772a", 240, "b3394a40aabf75cba42282ef25a0059f"},
      {"ebb46227c6cc8b37641910833222772a", 1008, "b60595514f24bc9fe522a6cad7393644"},
      {"ebb46227c6cc8b37641910833222772a", 4080, "a2221a11b833ccb498a59540f0545f4a"},
  };
  for (const auto& v : kVectors) {
    const std::vector<uint8_t> key = FromHex(v.key);
    std::vector<uint8_t> stream(v.offset + 16, 0);
    Rc4(key.data(), key.size()).Apply(stream.data(), stream.size());
    EXPECT_EQ(std::vector<uint8_t>(stream.begin() + v.offset, stream.end()), FromHex(v.keystream))
        << v.key << " at " << v.offset;
  }
}

TEST(ValueObfuscation, HexOfTheCipherIsReadInEitherCase) {
  EXPECT_EQ(DeobfuscateValue("bbf316e8d940af0ad3", "Key"), "Plaintext");
}

TEST(Md5, MatchesRfc1321TestSuiteAndBlockBoundaries) {
  std::string digits;
  for (int n = 0; n < 8; ++n) digits += "1234567890";
  const std::pair<std::string, const char*> cases[] = {
      {"", "D41D8CD98F00B204E9800998ECF8427E"},
      {"a", "0CC175B9C0F1B6A831C399E269772661"},
      {"abc", "900150983CD24FB0D6963F7D28E17F72"},
      {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
      {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "D174AB98D277D9F5A5611C2C9F419D9F"},
      {digits, "57EDF4A22BE3C955AC49DA2E2107B67A"},
      // 55 bytes leave room for the length in one block; 56 and 64 need a second one.
      {std::string(55, 'a'), "EF1772B6DFF9A122358552954AD0DF65"},
      {std::string(56, 'a'), "3B0C8AC703F828B04C6C197006D17218"},
      {std::string(64, 'a'), "014842D480B571495A4A0363793F7367"},
  };
  for (const auto& [text, digest] : cases) EXPECT_EQ(Md5UpperHex(text), digest) << text;
}

TEST(AccountRecord, TimeStampIsTheLow32BitsSigned) {
  EXPECT_EQ(AccountTimeStamp(2147483648LL), "-2147483648");  // 2038-01-19 03:14:08 UTC
  EXPECT_EQ(AccountTimeStamp(4294967296LL + 5), "5");
}

}  // namespace
}  // namespace corvel::records
