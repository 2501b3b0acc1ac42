// The worker under CryptEngine: AES in CBC mode with PKCS #7 padding (Crypto++), with
// upper-case hexadecimal text on the cipher side.
#pragma once

#include <cryptopp/aes.h>
#include <cryptopp/modes.h>

#include <string>

namespace corvel::prefs {

// Upper-case hexadecimal, two characters per byte, high nibble first.
std::string BytesToHex(const std::string& bytes);
// Two characters per byte (length / 2 bytes; an odd last character is ignored). Only "0"-"9"
// and "A"-"F" are digits: at the first other character of a pair the byte keeps the nibbles
// read so far.
std::string HexToBytes(const std::string& hex);

// The 16-character initialisation vector text (one fixed character repeated).
std::string InitialisationVectorText();

class CipherCore {
 public:
  CipherCore();

  // Clears every text and flag; selects raw input and hexadecimal output (enciphering).
  void Reset();

  // Each setter stores one value or refuses it, raising the error flag and setting the error
  // text: a key whose length is 0 or not a multiple of 8 ("No valid Key Length"), an empty
  // plain text ("No valid Plain String Length"), an empty cipher text ("No valid Encrypted
  // String Length").
  bool SetKey(const std::string& key);
  bool SetPlainText(const std::string& text);
  bool SetCipherText(const std::string& text);
  // Raw input: the input is taken as bytes; clear: it is hexadecimal text, decoded first.
  void SetRawInput(bool raw) { mRawInput = raw; }
  // Raw output: the result is kept as bytes; clear: it is turned into hexadecimal text.
  void SetRawOutput(bool raw) { mRawOutput = raw; }

  // Enciphers the plain text (deciphers the cipher text) with the key and the initialisation
  // vector. The result is kept, so a second call returns it without working again. On
  // failure the error flag is raised, the error text set and the result is empty.
  const std::string& Encipher();
  const std::string& Decipher();

  bool failed() const { return mError; }
  const std::string& errorText() const { return mErrorText; }

 private:
  void Fail(const std::string& text);
  void BuildInitialisationVector();
  // Runs `input` through a StreamTransformationFilter over `mode` into `out`.
  bool Transform(CryptoPP::StreamTransformation& mode, const std::string& input, std::string* out);

  bool mError = false;
  std::string mKey;
  std::string mPlainText;
  std::string mCipherText;
  std::string mInitialisationVector;
  std::string mErrorText;
  bool mEncrypted = false;
  bool mDecrypted = false;
  bool mVectorBuilt = false;
  bool mRawOutput = false;
  bool mRawInput = true;
  CryptoPP::CBC_Mode<CryptoPP::AES>::Encryption mEncryption;
  CryptoPP::CBC_Mode<CryptoPP::AES>::Decryption mDecryption;
};

}  // namespace corvel::prefs
