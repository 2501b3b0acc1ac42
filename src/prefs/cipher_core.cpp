#include "prefs/cipher_core.h"

#include <cryptopp/filters.h>

#include <exception>

namespace corvel::prefs {

namespace {

constexpr char kVectorCharacter = 'K';
constexpr size_t kVectorLength = 16;

// The value of a hexadecimal digit, or -1 for any other character.
int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string BytesToHex(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (unsigned char byte : bytes) {
    hex.push_back(kDigits[byte >> 4]);
    hex.push_back(kDigits[byte & 0x0F]);
  }
  return hex;
}

std::string HexToBytes(const std::string& hex) {
  std::string bytes;
  bytes.reserve(hex.size() / 2);
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    unsigned value = 0;
    for (size_t k = 0; k < 2; ++k) {
      int digit = DigitValue(hex[i + k]);
      if (digit < 0) break;
      value = value * 16 + static_cast<unsigned>(digit);
    }
    bytes.push_back(static_cast<char>(value));
  }
  return bytes;
}

std::string InitialisationVectorText() { return std::string(kVectorLength, kVectorCharacter); }

CipherCore::CipherCore() { Reset(); }

void CipherCore::Reset() {
  mError = false;
  mKey.clear();
  mPlainText.clear();
  mCipherText.clear();
  mInitialisationVector.clear();
  mErrorText.clear();
  mEncrypted = false;
  mDecrypted = false;
  mVectorBuilt = false;
  mRawInput = true;
  mRawOutput = false;
}

void CipherCore::Fail(const std::string& text) {
  mError = true;
  mErrorText = text;
}

bool CipherCore::SetKey(const std::string& key) {
  if (key.empty() || key.size() % 8 != 0) {
    Fail("No valid Key Length");
    return false;
  }
  mKey = key;
  return true;
}

bool CipherCore::SetPlainText(const std::string& text) {
  if (text.empty()) {
    Fail("No valid Plain String Length");
    return false;
  }
  mPlainText = text;
  mEncrypted = false;
  return true;
}

bool CipherCore::SetCipherText(const std::string& text) {
  if (text.empty()) {
    Fail("No valid Encrypted String Length");
    return false;
  }
  mCipherText = text;
  mDecrypted = false;
  return true;
}

void CipherCore::BuildInitialisationVector() {
  mInitialisationVector = InitialisationVectorText();
  mVectorBuilt = true;
}

bool CipherCore::Transform(CryptoPP::StreamTransformation& mode, const std::string& input,
                           std::string* out) {
  try {
    out->clear();
    CryptoPP::StringSource source(
        input, true,
        new CryptoPP::StreamTransformationFilter(mode, new CryptoPP::StringSink(*out)));
    return true;
  } catch (const std::exception& e) {
    out->clear();
    Fail(e.what());
    return false;
  }
}

const std::string& CipherCore::Encipher() {
  if (mEncrypted) return mCipherText;
  if (!mVectorBuilt) BuildInitialisationVector();
  std::string input = mRawInput ? mPlainText : HexToBytes(mPlainText);
  std::string output;
  bool keyed = false;
  try {
    mEncryption.SetKeyWithIV(reinterpret_cast<const CryptoPP::byte*>(mKey.data()), mKey.size(),
                             reinterpret_cast<const CryptoPP::byte*>(mInitialisationVector.data()),
                             mInitialisationVector.size());
    keyed = true;
  } catch (const std::exception& e) {
    Fail(e.what());
  }
  if (!keyed || !Transform(mEncryption, input, &output)) {
    mCipherText.clear();
    return mCipherText;
  }
  if (!mRawOutput) {
    try {
      output = BytesToHex(output);
    } catch (const std::exception&) {
      Fail("failed in char to hex conversion");
      mCipherText.clear();
      return mCipherText;
    }
  }
  mCipherText = std::move(output);
  mEncrypted = true;
  return mCipherText;
}

const std::string& CipherCore::Decipher() {
  if (mDecrypted) return mPlainText;
  if (!mVectorBuilt) BuildInitialisationVector();
  std::string input = mRawInput ? mCipherText : HexToBytes(mCipherText);
  std::string output;
  bool keyed = false;
  try {
    mDecryption.SetKeyWithIV(reinterpret_cast<const CryptoPP::byte*>(mKey.data()), mKey.size(),
                             reinterpret_cast<const CryptoPP::byte*>(mInitialisationVector.data()),
                             mInitialisationVector.size());
    keyed = true;
  } catch (const std::exception& e) {
    Fail(e.what());
  }
  if (!keyed || !Transform(mDecryption, input, &output)) {
    mPlainText.clear();
    return mPlainText;
  }
  if (!mRawOutput) output = BytesToHex(output);
  mPlainText = std::move(output);
  mDecrypted = true;
  return mPlainText;
}

}  // namespace corvel::prefs
