// Readers of what the preferences store leaves behind, independent of the store's own code:
// its log as UTF-8 lines, and AES-CBC through OpenSSL.
#pragma once

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "test_support.h"
#include "util/utf_convert.h"

namespace corvel::prefs::test {

inline std::string LogBytes() {
  return corvel::test::ReadWholeFile(platform::TempFolder() + "/Velmo.log").value_or("");
}

// The log's lines: after the FF FE mark, split at CR LF, converted to UTF-8.
inline std::vector<std::string> LogLines() {
  const std::string bytes = LogBytes();
  std::vector<std::string> lines;
  if (bytes.compare(0, 2, "\xFF\xFE") != 0) return lines;
  std::u16string text;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                         (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  for (size_t start = 0; start < text.size();) {
    const size_t end = std::min(text.find(u"\r\n", start), text.size());
    lines.push_back(util::ConvertUtf16ToUtf8(text.substr(start, end - start), true));
    start = end + 2;
  }
  return lines;
}

inline bool LogContains(const std::string& fragment) {
  for (const std::string& line : LogLines()) {
    if (line.find(fragment) != std::string::npos) return true;
  }
  return false;
}

// Bytes of upper- or lower-case hexadecimal through OpenSSL; nullopt for anything else.
inline std::optional<std::string> FromHex(const std::string& hex) {
  long length = 0;
  unsigned char* bytes = OPENSSL_hexstr2buf(hex.c_str(), &length);
  if (bytes == nullptr) return std::nullopt;
  std::string out(reinterpret_cast<char*>(bytes), static_cast<size_t>(length));
  OPENSSL_free(bytes);
  return out;
}

// AES-CBC with PKCS #7 padding through OpenSSL, AES-192 or AES-256 by the key's length;
// nullopt when OpenSSL refuses (a padding error included).
inline std::optional<std::string> OpenSslAes(bool encrypt, const std::string& input,
                                             const std::string& key, const std::string& iv) {
  std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> context(EVP_CIPHER_CTX_new(),
                                                                          EVP_CIPHER_CTX_free);
  const EVP_CIPHER* cipher = key.size() == 24   ? EVP_aes_192_cbc()
                             : key.size() == 32 ? EVP_aes_256_cbc()
                                                : nullptr;
  if (cipher == nullptr || iv.size() != 16) return std::nullopt;
  std::string out(input.size() + 32, '\0');
  auto* o = reinterpret_cast<unsigned char*>(out.data());
  int written = 0, last = 0;
  if (EVP_CipherInit_ex(context.get(), cipher, nullptr,
                        reinterpret_cast<const unsigned char*>(key.data()),
                        reinterpret_cast<const unsigned char*>(iv.data()), encrypt ? 1 : 0) != 1 ||
      EVP_CipherUpdate(context.get(), o, &written,
                       reinterpret_cast<const unsigned char*>(input.data()),
                       static_cast<int>(input.size())) != 1 ||
      EVP_CipherFinal_ex(context.get(), o + written, &last) != 1) {
    return std::nullopt;
  }
  out.resize(static_cast<size_t>(written + last));
  return out;
}

}  // namespace corvel::prefs::test
