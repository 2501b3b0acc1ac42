// What the C interface cannot reach in the secure preferences: the cipher and the key derivation
// checked against OpenSSL under chosen key material, and a save whose flush fails.
#include <gtest/gtest.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <cerrno>
#include <filesystem>
#include <random>

#include "platform/platform.h"
#include "prefs/cipher_core.h"
#include "prefs/crypt_engine.h"
#include "prefs/key_material.h"
#include "prefs/prefs_log.h"
#include "prefs/secure_prefs.h"
#include "test_support.h"

namespace corvel::prefs {
namespace {

constexpr const char* kMachine = "0f3c9a7e55d24b1e8c6a2f4d9b7e1a30";

// AES-CBC with PKCS #7 padding through OpenSSL, AES-192 or AES-256 by the key's length; on
// upper- or lower-case hexadecimal when deciphering. "<refused>" when OpenSSL refuses.
std::string OpenSslAes(bool encrypt, const std::string& input, const std::string& key) {
  long length = static_cast<long>(input.size());
  unsigned char* bytes = encrypt ? nullptr : OPENSSL_hexstr2buf(input.c_str(), &length);
  const auto* in = encrypt ? reinterpret_cast<const unsigned char*>(input.data()) : bytes;
  const std::string iv = InitialisationVectorText();
  std::string out(static_cast<size_t>(length) + 32, '\0');
  auto* o = reinterpret_cast<unsigned char*>(out.data());
  EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
  int written = 0, last = 0;
  const bool ok =
      in != nullptr && iv.size() == 16 && (key.size() == 24 || key.size() == 32) &&
      EVP_CipherInit_ex(context, key.size() == 24 ? EVP_aes_192_cbc() : EVP_aes_256_cbc(), nullptr,
                        reinterpret_cast<const unsigned char*>(key.data()),
                        reinterpret_cast<const unsigned char*>(iv.data()), encrypt) == 1 &&
      EVP_CipherUpdate(context, o, &written, in, static_cast<int>(length)) == 1 &&
      EVP_CipherFinal_ex(context, o + written, &last) == 1;
  EVP_CIPHER_CTX_free(context);
  OPENSSL_free(bytes);
  out.resize(static_cast<size_t>(written + last));
  return ok ? out : "<refused>";
}

class SecurePrefsTest : public ::testing::Test {
 protected:
  void SetUp() override { SetPrefsLogVerbosity(); }
  void TearDown() override { ClosePrefsLog(); }

  static std::string Key() {
    std::string key;
    EXPECT_TRUE(GenerateKey(&key));
    return key;
  }
  std::string UserFile() const { return scratch_.local_appdata() + "/Corvel/TAV/securePrefs.xml"; }
  static std::string Get(const char* domain, const char* key) {
    char buffer[256] = {};
    uint32_t size = sizeof buffer;
    const int result = GetPrefValue(domain, key, buffer, &size, nullptr);
    return result == kPrefsSuccess ? buffer : "result " + std::to_string(result);
  }

  corvel::test::ScratchFolder scratch_;
  FixedKeyMaterial alice_{kMachine, "alice"};
  ScopedKeyMaterial material_{alice_};
};

TEST_F(SecurePrefsTest, DerivedKeyMatchesAnIndependentDerivation) {
  // Condensed texts from:
  // printf %s machine:<id> | openssl dgst -sha256 -binary | base64 | cut -c1-8
  EXPECT_EQ("oqbmE9qU", CondensedKeyText("machine", kMachine));
  EXPECT_EQ("2r0duNNa", CondensedKeyText("user", "alice"));
  // Their halves mixed, "oqbm" "2r0d" "E9qU" "uNNa", then every pair of characters swapped.
  const std::string cipher = OpenSslAes(true, "qombr2d09EUqNuaN", SwapPairs(KeyDerivationText()));
  EXPECT_EQ(SwapPairs(BytesToHex(cipher).substr(0, 32)), Key());
  EXPECT_EQ("badce", SwapPairs("abcde"));
}

TEST_F(SecurePrefsTest, StoredValueIsAes256CbcOpenedOnlyByItsUserAndMachine) {
  const std::string value = "p\xC3\xA4ss w\xC3\xB6rd with 16+ bytes";
  ASSERT_EQ(kPrefsSuccess,
            SetPrefValue("ProxyCredentials", "ProxyPassword", value.c_str(), nullptr));
  const std::string file = corvel::test::ReadWholeFile(UserFile()).value_or("");
  const size_t at = file.find("<ProxyPassword>") + 15;
  const std::string hex = file.substr(at, file.find('<', at) - at);
  EXPECT_EQ(std::string::npos, hex.find_first_not_of("0123456789ABCDEF"));
  EXPECT_EQ(value, OpenSslAes(false, hex, Key()));
  {
    // Another user's key (the key's dependence on user and machine: the derivation test).
    FixedKeyMaterial bob(kMachine, "bob");
    ScopedKeyMaterial swap(bob);
    EXPECT_EQ("result -1", Get("ProxyCredentials", "ProxyPassword"));
  }
  EXPECT_EQ(value, Get("ProxyCredentials", "ProxyPassword"));

  // A machine that gives no text derives the key from the fallback text; a user without a
  // name derives none, and nothing is enciphered.
  FixedKeyMaterial without("", "alice"), fallback(FallbackMachineText(), "alice"),
      nameless(kMachine, "");
  ScopedKeyMaterial first(without);
  const std::string without_key = Key();
  ScopedKeyMaterial second(fallback);
  EXPECT_EQ(without_key, Key());
  ScopedKeyMaterial third(nameless);
  EXPECT_EQ(kPrefsFailed, SetPrefValue("D", "K", "v", nullptr));
}

TEST_F(SecurePrefsTest, EveryLengthUpTo1000IsAes256CbcInWholeBlocks) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> byte(1, 255);
  CryptEngine engine("");
  ASSERT_TRUE(engine.Initialize());
  for (size_t length = 1; length <= 1000; ++length) {
    std::string plain, hex, back;
    for (size_t i = 0; i < length; ++i) plain.push_back(static_cast<char>(byte(random)));
    ASSERT_EQ(kCryptSuccess, engine.Encrypt(plain, hex)) << length;
    ASSERT_EQ((length / 16 + 1) * 32, hex.size()) << length;  // padding adds 1 to 16 bytes
    ASSERT_EQ(plain, OpenSslAes(false, hex, Key())) << length;
    ASSERT_EQ(kCryptSuccess, engine.Decrypt(hex, back)) << length;
    ASSERT_EQ(plain, back) << length;
  }
}

TEST_F(SecurePrefsTest, FailedFlushLeavesTheFileAsItWas) {
  auto failing_fsync = +[](int) {
    errno = EIO;
    return -1;
  };
  {
    platform::ScopedSystemCall broken("fsync", failing_fsync);
    ASSERT_TRUE(broken.replaced());
    EXPECT_EQ(kPrefsCannotWriteFile, SetPrefValue("D", "K", "v", nullptr));
  }
  EXPECT_FALSE(corvel::test::ReadWholeFile(UserFile()));
  ASSERT_EQ(kPrefsSuccess, SetPrefValue("D", "K", "before", nullptr));
  const std::optional<std::string> before = corvel::test::ReadWholeFile(UserFile());
  {
    platform::ScopedSystemCall broken("fsync", failing_fsync);
    EXPECT_EQ(kPrefsFailed, SetPrefValue("D", "K", "after", nullptr));
  }
  EXPECT_EQ(before, corvel::test::ReadWholeFile(UserFile()));
  const std::filesystem::directory_iterator folder(scratch_.local_appdata() + "/Corvel/TAV");
  EXPECT_EQ(1, std::distance(folder, {})) << "the new file is not left beside it";
}

}  // namespace
}  // namespace corvel::prefs
