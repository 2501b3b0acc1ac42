#include "prefs/crypt_engine.h"

#include <cryptopp/sha.h>

#include "prefs/key_material.h"
#include "prefs/prefs_log.h"
#include "prefs/tolerant_utf8.h"
#include "util/base64.h"
#include "util/utf_convert.h"

namespace corvel::prefs {

namespace {

constexpr const char* kCategory = "CryptEngine";
constexpr size_t kKeyLength = 32;

// Kept as characters so that the text is assembled at run time, not stored as a string.
constexpr char kDerivationCharacters[24] = {'q', 'T', '7', 'v', 'M', '2', 'x', 'R',
                                            'k', '9', 'L', 'w', 'e', '4', 'N', 'b',
                                            'Z', '6', 'h', 'P', 'c', '3', 'Y', 'j'};
constexpr unsigned long long kFallbackMachineNumber = 4127730518ULL;
constexpr size_t kKeyTextLength = 8;

}  // namespace

std::string KeyDerivationText() {
  return std::string(kDerivationCharacters, sizeof kDerivationCharacters);
}

std::string FallbackMachineText() { return std::to_string(kFallbackMachineNumber); }

std::string CondensedKeyText(const std::string& role, const std::string& source) {
  std::string input = role + ":" + source;
  CryptoPP::byte digest[CryptoPP::SHA256::DIGESTSIZE];
  CryptoPP::SHA256().CalculateDigest(digest, reinterpret_cast<const CryptoPP::byte*>(input.data()),
                                     input.size());
  std::string text;
  util::EncodeBase64(digest, sizeof digest, text);
  return text.substr(0, kKeyTextLength);
}

std::string SwapPairs(std::string text) {
  for (size_t i = 0; i + 1 < text.size(); i += 2) std::swap(text[i], text[i + 1]);
  return text;
}

std::string MixKeyTexts(const std::string& machine, const std::string& user) {
  std::u16string wide_machine = DecodeUtf8Tolerant(machine);
  std::u16string wide_user = DecodeUtf8Tolerant(user);
  size_t machine_half = wide_machine.size() / 2;
  size_t user_half = wide_user.size() / 2;
  std::u16string mix = wide_machine.substr(0, machine_half) + wide_user.substr(0, user_half) +
                       wide_machine.substr(machine_half) + wide_user.substr(user_half);
  return util::ConvertUtf16ToUtf8(mix, true);
}

bool GenerateKey(std::string* key) {
  const KeyMaterialSource& material = CurrentKeyMaterial();
  std::string machine = material.MachineText();
  if (machine.empty()) machine = FallbackMachineText();
  std::string user;
  int error = 0;
  if (!material.UserName(&user, &error)) {
    PrefsWarn(kCategory, "Failed in getting user name error:%d", error);
    return false;
  }
  std::string mixed;
  try {
    mixed = SwapPairs(
        MixKeyTexts(CondensedKeyText("machine", machine), CondensedKeyText("user", user)));
  } catch (const std::exception&) {
    PrefsWarn(kCategory, "Failed in key generation");
    return false;
  }
  CipherCore core;
  core.Reset();
  if (!core.SetPlainText(mixed)) {
    PrefsWarn(kCategory, "While encrypting ...failed to set plain string  error: %s",
              core.errorText().c_str());
    return false;
  }
  if (!core.SetKey(SwapPairs(KeyDerivationText()))) {
    PrefsWarn(kCategory, "While encrypting ...failed to set key  error: %s",
              core.errorText().c_str());
    return false;
  }
  const std::string& hex = core.Encipher();
  if (core.failed() || hex.size() < kKeyLength) {
    PrefsWarn(kCategory, "Failed to encrypt data  error: %s", core.errorText().c_str());
    return false;
  }
  *key = SwapPairs(hex.substr(0, kKeyLength));
  return true;
}

CryptEngine::CryptEngine(const std::string& key) : mKey(key) {}

bool CryptEngine::Initialize() {
  mMode = 1;
  if (mKey.empty() && !GenerateKey(&mKey)) {
    mKey.clear();
    PrefsWarn(kCategory, "Failed in key generation");
    return false;
  }
  mInitialised = true;
  return true;
}

int CryptEngine::Encrypt(const std::string& plain, std::string& out) {
  if (plain.empty()) {
    PrefsWarn(kCategory, "invalid arguments to cryptEngine encrypt");
    return kCryptEmptyInput;
  }
  if (!mInitialised) {
    PrefsWarn(kCategory, "CryptEngine is not initialized...");
    return kCryptRefused;
  }
  if (mKey.empty()) {
    PrefsWarn(kCategory, "key should be set before proceeding for encryption...");
    return kCryptNoKey;
  }
  mCore.Reset();
  if (!mCore.SetPlainText(plain)) {
    PrefsWarn(kCategory, "While encrypting ...failed to set plain string  error: %s",
              mCore.errorText().c_str());
    return kCryptRefused;
  }
  if (!mCore.SetKey(mKey)) {
    PrefsWarn(kCategory, "While encrypting ...failed to set key  error: %s",
              mCore.errorText().c_str());
    return kCryptRefused;
  }
  const std::string& result = mCore.Encipher();
  if (mCore.failed()) {
    PrefsWarn(kCategory, "Failed to encrypt data  error: %s", mCore.errorText().c_str());
    return kCryptEncryptFailed;
  }
  out = result;
  return kCryptSuccess;
}

int CryptEngine::Decrypt(const std::string& cipher_hex, std::string& out) {
  if (cipher_hex.empty()) {
    PrefsWarn(kCategory, "invalid arguments to cryptEngine decrypt");
    return kCryptEmptyInput;
  }
  if (!mInitialised) {
    PrefsWarn(kCategory, "CryptEngine is not initialized...");
    return kCryptRefused;
  }
  if (mKey.empty()) {
    PrefsWarn(kCategory, "key should be set before proceeding for decryption...");
    return kCryptNoKey;
  }
  mCore.Reset();
  mCore.SetRawInput(false);
  mCore.SetRawOutput(true);
  if (!mCore.SetCipherText(cipher_hex)) {
    PrefsWarn(kCategory, "While decrypting ...failed to set encrypt key  error: %s",
              mCore.errorText().c_str());
    return kCryptRefused;
  }
  if (!mCore.SetKey(mKey)) {
    PrefsWarn(kCategory, "While decrypting ...failed to set key  error: %s",
              mCore.errorText().c_str());
    return kCryptRefused;
  }
  const std::string& result = mCore.Decipher();
  if (mCore.failed()) {
    PrefsWarn(kCategory, "Failed in error: %s", mCore.errorText().c_str());
    return kCryptDecryptFailed;
  }
  out = result;
  return kCryptSuccess;
}

}  // namespace corvel::prefs
