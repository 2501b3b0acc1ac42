// CryptEngine, CipherCore and the key derivation, checked against OpenSSL.
#include <gtest/gtest.h>

#include <random>

#include "prefs/cipher_core.h"
#include "prefs/crypt_engine.h"
#include "prefs/key_material.h"
#include "prefs/prefs_log.h"
#include "prefs_test_helpers.h"
#include "test_support.h"

namespace corvel::prefs {
namespace {

using test::LogContains;

class CipherTest : public ::testing::Test {
 protected:
  void SetUp() override { SetPrefsLogVerbosity(); }
  void TearDown() override { ClosePrefsLog(); }

  corvel::test::ScratchFolder scratch_;
  FixedKeyMaterial alice_{"0f3c9a7e55d24b1e8c6a2f4d9b7e1a30", "alice"};
  ScopedKeyMaterial material_{alice_};
};

std::string Encrypted(const std::string& plain) {
  CryptEngine engine("");
  EXPECT_TRUE(engine.Initialize());
  std::string out;
  EXPECT_EQ(kCryptSuccess, engine.Encrypt(plain, out));
  return out;
}

TEST_F(CipherTest, CipherTextLengthFollowsTheBlocks) {
  for (auto [length, hex_length] : {std::pair{1, 32}, {15, 32}, {16, 64}, {31, 64}, {32, 96}}) {
    std::string hex = Encrypted(std::string(static_cast<size_t>(length), 'x'));
    EXPECT_EQ(static_cast<size_t>(hex_length), hex.size()) << length;
    EXPECT_EQ(std::string::npos, hex.find_first_not_of("0123456789ABCDEF")) << hex;
  }
}

TEST_F(CipherTest, EveryLengthUpTo1000RoundTripsIncludingHighBytes) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> byte(1, 255);
  CryptEngine engine("");
  ASSERT_TRUE(engine.Initialize());
  for (size_t length = 1; length <= 1000; ++length) {
    std::string plain;
    for (size_t i = 0; i < length; ++i) plain.push_back(static_cast<char>(byte(random)));
    plain[0] = static_cast<char>(0x80 + length % 0x80);  // at least one byte above 0x7F
    std::string hex, back;
    ASSERT_EQ(kCryptSuccess, engine.Encrypt(plain, hex)) << length;
    ASSERT_EQ(kCryptSuccess, engine.Decrypt(hex, back)) << length;
    ASSERT_EQ(plain, back) << length;
  }
}

TEST_F(CipherTest, DerivedKeyMatchesAnIndependentDerivation) {
  // The derivation redone step by step with OpenSSL doing the AES.
  // Condensed texts computed with the openssl tool:
  // printf %s machine:<id> | openssl dgst -sha256 -binary | base64 | cut -c1-8
  std::string mixed = SwapPairs(MixKeyTexts("oqbmE9qU", "2r0duNNa"));
  EXPECT_EQ(16u, mixed.size());
  std::optional<std::string> cipher =
      test::OpenSslEncrypt(mixed, SwapPairs(KeyDerivationText()), InitialisationVectorText());
  ASSERT_TRUE(cipher.has_value());
  std::string expected = SwapPairs(test::ToUpperHex(*cipher).substr(0, 32));
  std::string key;
  ASSERT_TRUE(GenerateKey(&key));
  EXPECT_EQ(expected, key);
  EXPECT_EQ(32u, key.size());
  EXPECT_EQ(24u, KeyDerivationText().size());
  EXPECT_EQ(std::string(16, InitialisationVectorText()[0]), InitialisationVectorText());
}

TEST_F(CipherTest, CondensedTextsAreSha256Base64Prefixes) {
  // Expected values from: printf %s user:alice | openssl dgst -sha256 -binary | base64
  EXPECT_EQ("oqbmE9qU", CondensedKeyText("machine", "0f3c9a7e55d24b1e8c6a2f4d9b7e1a30"));
  EXPECT_EQ("2r0duNNa", CondensedKeyText("user", "alice"));
  EXPECT_NE(CondensedKeyText("user", "alice"), CondensedKeyText("machine", "alice"));
}

TEST_F(CipherTest, MixAndSwapSplitAtHalfLength) {
  EXPECT_EQ("abxcdy", MixKeyTexts("abcd", "xy"));
  EXPECT_EQ("awxbcyz", MixKeyTexts("abc", "wxyz"));
  // Halves counted in characters, not bytes: "é" stays whole.
  EXPECT_EQ("\xC3\xA9" "u" "b" "v", MixKeyTexts("\xC3\xA9" "b", "uv"));
  EXPECT_EQ("badce", SwapPairs("abcde"));
  EXPECT_EQ("", SwapPairs(""));
}

TEST_F(CipherTest, EnginesOutputDecipheredByOpenSslAes256) {
  std::string key;
  ASSERT_TRUE(GenerateKey(&key));
  for (std::string plain : {std::string("p"), std::string(16, 'q'), std::string("S\xC3\xBC\xC3\x9F" "e 1000")}) {
    std::optional<std::string> bytes = test::FromHex(Encrypted(plain));
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(plain, test::OpenSslDecrypt(*bytes, key, InitialisationVectorText()).value_or("<refused>"));
  }
}

TEST_F(CipherTest, AnotherUserOrMachineDerivesAnotherKeyAndCannotDecipher) {
  std::string hex = Encrypted("proxy-secret");
  std::string alice_key;
  ASSERT_TRUE(GenerateKey(&alice_key));
  for (FixedKeyMaterial other : {FixedKeyMaterial("0f3c9a7e55d24b1e8c6a2f4d9b7e1a30", "bob"),
                                 FixedKeyMaterial("9d11aa2e55d24b1e8c6a2f4d9b7e1a31", "alice")}) {
    ScopedKeyMaterial swap(other);
    std::string other_key;
    ASSERT_TRUE(GenerateKey(&other_key));
    EXPECT_NE(alice_key, other_key);
    CryptEngine engine("");
    ASSERT_TRUE(engine.Initialize());
    std::string out;
    EXPECT_EQ(kCryptDecryptFailed, engine.Decrypt(hex, out));
    EXPECT_TRUE(out.empty());
  }
  EXPECT_TRUE(LogContains("[WARN] CryptEngine - Failed in error: "));
}

TEST_F(CipherTest, MachineWithoutIdentifierUsesTheFallbackNumber) {
  FixedKeyMaterial without("", "alice");
  FixedKeyMaterial fallback(FallbackMachineText(), "alice");
  std::string a, b;
  {
    ScopedKeyMaterial swap(without);
    ASSERT_TRUE(GenerateKey(&a));
  }
  {
    ScopedKeyMaterial swap(fallback);
    ASSERT_TRUE(GenerateKey(&b));
  }
  EXPECT_EQ(a, b);
  EXPECT_EQ(std::string::npos, FallbackMachineText().find_first_not_of("0123456789"));
}

TEST_F(CipherTest, UnreadableUserNameFailsInitialisation) {
  FixedKeyMaterial nameless("0f3c9a7e55d24b1e8c6a2f4d9b7e1a30", "");
  ScopedKeyMaterial swap(nameless);
  CryptEngine engine("");
  EXPECT_FALSE(engine.Initialize());
  std::string out;
  EXPECT_EQ(kCryptRefused, engine.Encrypt("x", out));
  EXPECT_TRUE(LogContains("[WARN] CryptEngine - Failed in getting user name error:"));
  EXPECT_TRUE(LogContains("[WARN] CryptEngine - Failed in key generation"));
  EXPECT_TRUE(LogContains("[WARN] CryptEngine - CryptEngine is not initialized..."));
}

TEST_F(CipherTest, ResultsForBadArgumentsAndKeys) {
  std::string out;
  CryptEngine uninitialised("");
  EXPECT_EQ(kCryptEmptyInput, uninitialised.Encrypt("", out));
  EXPECT_EQ(kCryptEmptyInput, uninitialised.Decrypt("", out));
  EXPECT_EQ(kCryptRefused, uninitialised.Decrypt("00", out));

  CryptEngine odd_key("0123456789");  // 10 characters: not a multiple of 8
  ASSERT_TRUE(odd_key.Initialize());
  EXPECT_EQ(kCryptRefused, odd_key.Encrypt("value", out));
  EXPECT_TRUE(LogContains("While encrypting ...failed to set key  error: No valid Key Length"));

  CryptEngine short_key("01234567");  // a multiple of 8 that AES refuses
  ASSERT_TRUE(short_key.Initialize());
  EXPECT_EQ(kCryptEncryptFailed, short_key.Encrypt("value", out));
  EXPECT_TRUE(LogContains("Failed to encrypt data  error: AES/CBC: 8 is not a valid key length"));

  CryptEngine given(std::string(32, 'k'));  // a given key is used as it stands
  ASSERT_TRUE(given.Initialize());
  ASSERT_EQ(kCryptSuccess, given.Encrypt("value", out));
  std::optional<std::string> bytes = test::FromHex(out);
  ASSERT_TRUE(bytes.has_value());
  EXPECT_EQ("value", test::OpenSslDecrypt(*bytes, std::string(32, 'k'), InitialisationVectorText()));
}

TEST_F(CipherTest, MalformedCipherTextFailsWithResultFive) {
  CryptEngine engine("");
  ASSERT_TRUE(engine.Initialize());
  std::string hex = Encrypted("a value of some length");  // 64 characters
  std::string out;
  EXPECT_EQ(kCryptDecryptFailed, engine.Decrypt(hex.substr(0, 34), out));  // 17 bytes
  EXPECT_TRUE(LogContains("Failed in error: StreamTransformationFilter: ciphertext length is not a multiple of block size"));
  EXPECT_EQ(kCryptDecryptFailed, engine.Decrypt(hex.substr(0, 31), out));  // odd: 15 bytes
  // A bad digit in the last block: the byte read differs from the stored one, so the whole
  // last block deciphers to noise and the padding check fails.
  std::string bad_digit = hex;
  size_t position = bad_digit.find_first_not_of('0', 32);
  ASSERT_EQ(0u, position % 2) << "needs a byte whose high digit is not 0";
  bad_digit[position] = 'g';
  EXPECT_EQ(kCryptDecryptFailed, engine.Decrypt(bad_digit, out)) << hex;
  EXPECT_EQ(kCryptDecryptFailed, engine.Decrypt("Z", out));  // no byte at all
}

TEST(HexText, TwoUpperCaseDigitsPerByteAndLenientReading) {
  EXPECT_EQ("00FF7F80", BytesToHex(std::string("\x00\xFF\x7F\x80", 4)));
  EXPECT_EQ(std::string("\x1F\xA0", 2), HexToBytes("1FA0"));
  EXPECT_EQ(std::string("\x1F", 1), HexToBytes("1FA"));  // odd last character ignored
  // A byte keeps the nibbles read before the first bad character.
  EXPECT_EQ(std::string("\x05\x00\x00", 3), HexToBytes("5G" "G5" "af"));
}

}  // namespace
}  // namespace corvel::prefs
