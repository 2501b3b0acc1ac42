// RC4 against the keystream vectors of RFC 6229, and the value obfuscation built on it.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

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

struct KeystreamLine {
  size_t offset;
  std::string hex;
};

struct KeyVectors {
  std::string key;
  std::vector<KeystreamLine> lines;
};

// Keys of 40 and 128 bits from both key sets of the RFC; keystream at chosen offsets.
const std::vector<KeyVectors> kRfc6229 = {
    {"0102030405",
     {
      {0, "b2396305f03dc027ccc3524a0a1118a8"},
      {16, "6982944f18fc82d589c403a47a0d0919"},
      {240, "28cb1132c96ce286421dcaadb8b69eae"},
      {256, "1cfcf62b03eddb641d77dfcf7f8d8c93"},
      {1008, "45129048e6a0ed0b56b490338f078da5"},
      {1024, "30abbcc7c20b01609f23ee2d5f6bb7df"},
      {1520, "3294f744d8f9790507e70f62e5bbceea"},
      {1536, "d8729db41882259bee4f825325f5a130"},
      {4080, "068326a2118416d21f9d04b2cd1ca050"},
      {4096, "ff25b58995996707e51fbdf08b34d875"},
     }},
    {"0102030405060708090a0b0c0d0e0f10",
     {
      {0, "9ac7cc9a609d1ef7b2932899cde41b97"},
      {16, "5248c4959014126a6e8a84f11d1a9e1c"},
      {240, "065902e4b620f6cc36c8589f66432f2b"},
      {256, "d39d566bc6bce3010768151549f3873f"},
      {1008, "e7a72574f8782ae26aabcf9ebcd66065"},
      {1024, "bdf0324e6083dcc6d3cedd3ca8c53c16"},
      {1520, "b40110c4190b5622a96116b0017ed297"},
      {1536, "ffa0b514647ec04f6306b892ae661181"},
      {4080, "ff38265c1642c1abe8d3c2fe5e572bf8"},
      {4096, "a36a4c301ae8ac13610ccbc12256cacc"},
     }},
    {"833222772a",
     {
      {0, "80ad97bdc973df8a2e879e92a497efda"},
      {16, "20f060c2f2e5126501d3d4fea10d5fc0"},
      {240, "faa148e99046181fec6b2085f3b20ed9"},
      {256, "f0daf5bab3d596839857846f73fbfe5a"},
      {1008, "6da453dbf81e82334a3d8866cb50a1e3"},
      {1024, "7828d074119cab5c22b294d7a9bfa0bb"},
      {1520, "adb89cea9a15fbe617295bd04b8ca05c"},
      {1536, "6251d87fd4aaae9a7e4ad5c217d3f300"},
      {4080, "6349d126a37afcba89794f9804914fdc"},
      {4096, "bf42c3018c2f7c66bfde524975768115"},
     }},
    {"ebb46227c6cc8b37641910833222772a",
     {
      {0, "720c94b63edf44e131d950ca211a5a30"},
      {16, "c366fdeacf9ca80436be7c358424d20b"},
      {240, "b3394a40aabf75cba42282ef25a0059f"},
      {256, "4847d81da4942dbc249defc48c922b9f"},
      {1008, "b60595514f24bc9fe522a6cad7393644"},
      {1024, "b515a8c5011754f59003058bdb81514e"},
      {1520, "3c70047e8cbc038e3b9820db601da495"},
      {1536, "1175da6ee756de46a53e2b075660b770"},
      {4080, "a2221a11b833ccb498a59540f0545f4a"},
      {4096, "5bbeb4787d59e5373fdbea6c6f75c29b"},
     }},
};

TEST(Rc4, MatchesRfc6229Keystreams) {
  for (const KeyVectors& vectors : kRfc6229) {
    const std::vector<uint8_t> key = FromHex(vectors.key);
    std::vector<uint8_t> stream(4112, 0);
    Rc4(key.data(), key.size()).Apply(stream.data(), stream.size());
    for (const KeystreamLine& line : vectors.lines) {
      const std::vector<uint8_t> expected = FromHex(line.hex);
      const std::vector<uint8_t> actual(stream.begin() + line.offset,
                                        stream.begin() + line.offset + 16);
      EXPECT_EQ(actual, expected) << "key " << vectors.key << " offset " << line.offset;
    }
  }
}

TEST(Rc4, KeystreamContinuesAcrossCalls) {
  const std::vector<uint8_t> key = FromHex("0102030405");
  std::vector<uint8_t> whole(300, 0), pieces(300, 0);
  Rc4(key.data(), key.size()).Apply(whole.data(), whole.size());
  Rc4 cipher(key.data(), key.size());
  cipher.Apply(pieces.data(), 7);
  cipher.Apply(pieces.data() + 7, 293);
  EXPECT_EQ(pieces, whole);
}

std::vector<uint8_t> Keystream(const std::string& key, size_t length) {
  std::vector<uint8_t> stream(length, 0);
  Rc4(reinterpret_cast<const uint8_t*>(key.data()), key.size()).Apply(stream.data(), length);
  return stream;
}

// `prefix`, then the keystream bytes from `from` on, up to the first zero byte.
std::string PrefixThenKeystream(const std::string& prefix, const std::vector<uint8_t>& stream,
                                size_t from) {
  std::string text = prefix;
  for (size_t n = from; n < stream.size() && stream[n] != 0; ++n)
    text += static_cast<char>(stream[n]);
  return text;
}

TEST(ValueObfuscation, EncodesAsUpperCaseHexOfTheRc4Output) {
  // RC4 with key "Key" over "Plaintext" is the classic BBF316E8D940AF0AD3.
  EXPECT_EQ(ObfuscateValue("Plaintext", "Key"), "BBF316E8D940AF0AD3");
  const std::string hex = ObfuscateValue("abc", "SUB-1");
  ASSERT_EQ(hex.size(), 6u);
  EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos);
  EXPECT_EQ(DeobfuscateValue(hex, "SUB-1"), "abc");
  EXPECT_NE(DeobfuscateValue(hex, "SUB-2"), "abc");
  EXPECT_EQ(ObfuscateValue("", "SUB-1"), "");
}

TEST(ValueObfuscation, AcceptsLowerCaseDigitsWhenDecoding) {
  std::string hex = ObfuscateValue("Hello, world", "k");
  for (char& c : hex) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(DeobfuscateValue(hex, "k"), "Hello, world");
}

TEST(ValueObfuscation, OnlyTheFirst256KeyBytesCount) {
  std::string key;
  for (int n = 0; n < 256; ++n) key += static_cast<char>('a' + n % 26);
  std::string other_last = key;
  other_last.back() = '#';
  const std::string value(100, 'v');
  EXPECT_EQ(ObfuscateValue(value, key), ObfuscateValue(value, key + "tail"));
  EXPECT_NE(ObfuscateValue(value, key), ObfuscateValue(value, other_last));
}

TEST(ValueObfuscation, OddLengthDecodesAsAllZeroBytes) {
  // Nothing converts, so the cipher runs over two zero bytes and yields its own keystream.
  EXPECT_EQ(DeobfuscateValue("ABCDE", "key"), PrefixThenKeystream("", Keystream("key", 2), 0));
  EXPECT_EQ(DeobfuscateValue("A", "key"), "");
}

TEST(ValueObfuscation, BadDigitStopsConversionAndZeroByteEndsTheText) {
  const std::string key = "subdomain";
  std::string damaged = ObfuscateValue("abcdef", key);
  damaged[5] = 'G';  // the third pair is no longer hexadecimal
  // The first two bytes decode; the others stayed zero and became keystream.
  EXPECT_EQ(DeobfuscateValue(damaged, key), PrefixThenKeystream("ab", Keystream(key, 6), 2));

  // A zero byte in the plain text ends the decoded text there.
  const std::string with_zero = ObfuscateValue(std::string("ab\0cd", 5), key);
  EXPECT_EQ(DeobfuscateValue(with_zero, key), "ab");
}

}  // namespace
}  // namespace corvel::records
