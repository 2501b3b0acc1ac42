// CryptEngine: enciphers a preference value into upper-case hexadecimal AES-256-CBC cipher
// text and back, with a key derived afresh from the machine and the user on every use.
// Diagnostics go to the preferences log under the category "CryptEngine".
#pragma once

#include <cstdint>
#include <string>

#include "prefs/cipher_core.h"

namespace corvel::prefs {

// Results of Encrypt and Decrypt.
enum CryptResult : int {
  kCryptSuccess = 0,
  kCryptRefused = 1,  // not initialised, or a value the core refused
  kCryptNoKey = 2,
  kCryptEmptyInput = 3,
  kCryptEncryptFailed = 4,
  kCryptDecryptFailed = 5,
};

class CryptEngine {
 public:
  // An empty key text makes Initialize derive the key with GenerateKey.
  explicit CryptEngine(const std::string& key);

  // Derives the key when none was given; true when the engine is ready.
  bool Initialize();

  int Encrypt(const std::string& plain, std::string& out);
  int Decrypt(const std::string& cipher_hex, std::string& out);

 private:
  int32_t mMode = 0;  // 0 after construction, 1 after Initialize (AES)
  std::string mKey;
  CipherCore mCore;
  bool mInitialised = false;
};

// Derives the 32-character key from the current key material (see key_material.h): the
// condensed machine text (the fallback number when the machine gives none) and user name
// are mixed and pair-swapped, enciphered under the pair-swapped fixed text, and the first 32
// hexadecimal characters, pair-swapped, are the key. False, with a warning in the log, when
// the user name cannot be read or the cipher fails.
bool GenerateKey(std::string* key);

// The steps of the derivation, exposed for checking it independently.
//
// Only the first cipher block of the derivation reaches the key, so only the first 16
// characters of the mix count. A machine identifier is 32 characters long: mixed as it is,
// its first half would fill those 16 characters and the user name would never reach the
// key. Both sources are therefore first condensed into 8-character texts (the start of the
// base64 text of SHA-256 over role, ":" and source), which makes the mix exactly 16
// characters with the whole of both in it.
std::string CondensedKeyText(const std::string& role, const std::string& source);
// First half of the machine text, first half of the user text, second half of the machine
// text, second half of the user text; halves are counted in UTF-16 units (n / 2 first).
std::string MixKeyTexts(const std::string& machine, const std::string& user);
// Swaps each adjacent pair of characters; an odd last character stays.
std::string SwapPairs(std::string text);
// The library's fixed 24-character text, before its pairs are swapped.
std::string KeyDerivationText();
// The machine text used when the machine gives none.
std::string FallbackMachineText();

}  // namespace corvel::prefs
