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

constexpr const char* kMachine = "0f3c9a7e55d24b1e8c6a2f4d9b7e1a30";

class CipherTest : public ::testing::Test {
 protected:
  void SetUp() override { SetPrefsLogVerbosity(); }
  void TearDown() override { ClosePrefsLog(); }

  static std::string Encrypted(const std::string& plain) {
    CryptEngine engine("");
    EXPECT_TRUE(engine.Initialize());
    std::string out;
    EXPECT_EQ(kCryptSuccess, engine.Encrypt(plain, out));
    return out;
  }
  static std::string Key() {
    std::string key;
    EXPECT_TRUE(GenerateKey(&key));
    return key;
  }

  corvel::test::ScratchFolder scratch_;
  FixedKeyMaterial alice_{kMachine, "alice"};
  ScopedKeyMaterial material_{alice_};
};

TEST_F(CipherTest, EveryLengthUpTo1000RoundTripsInWholeBlocksOfUpperCaseHex) {
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
    // 1 to 15 bytes give 32 characters, 16 give 64: padding always adds 1 to 16 bytes.
    ASSERT_EQ((length / 16 + 1) * 32, hex.size()) << length;
    ASSERT_EQ(std::string::npos, hex.find_first_not_of("0123456789ABCDEF")) << hex;
    ASSERT_EQ(kCryptSuccess, engine.Decrypt(hex, back)) << length;
    ASSERT_EQ(plain, back) << length;
  }
}

TEST_F(CipherTest, DerivedKeyMatchesAnIndependentDerivation) {
  // Condensed texts from: printf %s machine:<id> | openssl dgst -sha256 -binary | base64 | cut
  // -c1-8
  EXPECT_EQ("oqbmE9qU", CondensedKeyText("machine", kMachine));
  EXPECT_EQ("2r0duNNa", CondensedKeyText("user", "alice"));
  std::string mixed = SwapPairs(MixKeyTexts("oqbmE9qU", "2r0duNNa"));
  std::optional<std::string> cipher =
      test::OpenSslAes(true, mixed, SwapPairs(KeyDerivationText()), InitialisationVectorText());
  ASSERT_TRUE(cipher.has_value());
  EXPECT_EQ(SwapPairs(BytesToHex(*cipher).substr(0, 32)), Key());

  EXPECT_EQ("abxcdy", MixKeyTexts("abcd", "xy"));
  EXPECT_EQ("awxbcyz", MixKeyTexts("abc", "wxyz"));
  EXPECT_EQ("\xC3\xA9ubv", MixKeyTexts("\xC3\xA9"
                                       "b",
                                       "uv"));  // halves counted in characters
  EXPECT_EQ("badce", SwapPairs("abcde"));
}

TEST_F(CipherTest, AnotherUserOrMachineDerivesAnotherKeyAndCannotDecipher) {
  std::string hex = Encrypted("proxy-secret");
  std::string alice_key = Key();
  for (FixedKeyMaterial other :
       {FixedKeyMaterial(kMachine, "bob"), FixedKeyMaterial("9d11aa2e", "alice")}) {
    ScopedKeyMaterial swap(other);
    EXPECT_NE(alice_key, Key());
    CryptEngine engine("");
    ASSERT_TRUE(engine.Initialize());
    std::string out;
    EXPECT_EQ(kCryptDecryptFailed, engine.Decrypt(hex, out));
    EXPECT_TRUE(out.empty());
  }
  EXPECT_TRUE(LogContains("[WARN] CryptEngine - Failed in error: "));
  // A machine that gives no text derives the key from the fallback number.
  FixedKeyMaterial without("", "alice");
  FixedKeyMaterial fallback(FallbackMachineText(), "alice");
  ScopedKeyMaterial first(without);
  std::string without_key = Key();
  ScopedKeyMaterial second(fallback);
  EXPECT_EQ(without_key, Key());
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

  FixedKeyMaterial nameless(kMachine, "");
  ScopedKeyMaterial swap(nameless);
  CryptEngine engine("");
  EXPECT_FALSE(engine.Initialize());
  EXPECT_EQ(kCryptRefused, engine.Encrypt("x", out));
  EXPECT_TRUE(LogContains("[WARN] CryptEngine - Failed in getting user name error:"));
  EXPECT_TRUE(LogContains("[WARN] CryptEngine - Failed in key generation"));
  EXPECT_TRUE(LogContains("[WARN] CryptEngine - CryptEngine is not initialized..."));
}

TEST_F(CipherTest, MalformedCipherTextFailsWithResultFive) {
  CryptEngine engine("");
  ASSERT_TRUE(engine.Initialize());
  std::string hex = Encrypted("a value of some length");  // 64 characters
  std::string out;
  EXPECT_EQ(kCryptDecryptFailed, engine.Decrypt(hex.substr(0, 34), out));  // 17 bytes
  EXPECT_TRUE(
      LogContains("Failed in error: StreamTransformationFilter: ciphertext length is not a "
                  "multiple of block size"));
  EXPECT_EQ(kCryptDecryptFailed, engine.Decrypt(hex.substr(0, 31), out));  // odd: 15 bytes
  EXPECT_EQ(kCryptDecryptFailed, engine.Decrypt("Z", out));                // no byte at all
  // A bad digit in the last block changes the byte read, so the block deciphers to noise and
  // the padding check fails.
  size_t position = hex.find_first_not_of('0', 32);
  ASSERT_EQ(0u, position % 2) << "needs a byte whose high digit is not 0";
  hex[position] = 'g';
  EXPECT_EQ(kCryptDecryptFailed, engine.Decrypt(hex, out)) << hex;
}

TEST(HexText, TwoUpperCaseDigitsPerByteAndLenientReading) {
  EXPECT_EQ("00FF7F80", BytesToHex(std::string("\x00\xFF\x7F\x80", 4)));
  EXPECT_EQ(std::string("\x1F\xA0", 2), HexToBytes("1FA0"));
  EXPECT_EQ(std::string("\x1F", 1), HexToBytes("1FA"));  // odd last character ignored
  // A byte keeps the nibbles read before the first bad character.
  EXPECT_EQ(std::string("\x05\x00\x00", 3), HexToBytes("5G"
                                                       "G5"
                                                       "af"));
}

}  // namespace
}  // namespace corvel::prefs
