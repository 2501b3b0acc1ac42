#include "prefs_test_helpers.h"

#include <openssl/evp.h>

#include <memory>

#include "platform/platform.h"
#include "test_support.h"
#include "util/utf_convert.h"

namespace corvel::prefs::test {

std::string LogPath() { return platform::TempFolder() + "/Velmo.log"; }

std::string LogBytes() { return corvel::test::ReadWholeFile(LogPath()).value_or(""); }

std::vector<std::string> LogLines() {
  std::string bytes = LogBytes();
  std::vector<std::string> lines;
  if (bytes.compare(0, 2, "\xFF\xFE") != 0) return lines;
  std::u16string text;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                         (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  for (size_t start = 0; start < text.size();) {
    size_t end = std::min(text.find(u"\r\n", start), text.size());
    lines.push_back(util::ConvertUtf16ToUtf8(text.substr(start, end - start), true));
    start = end + 2;
  }
  return lines;
}

bool LogContains(const std::string& fragment) {
  for (const std::string& line : LogLines()) {
    if (line.find(fragment) != std::string::npos) return true;
  }
  return false;
}

std::optional<std::string> OpenSslAes(bool encrypt, const std::string& input,
                                      const std::string& key, const std::string& iv) {
  const EVP_CIPHER* cipher = key.size() == 16   ? EVP_aes_128_cbc()
                             : key.size() == 24 ? EVP_aes_192_cbc()
                             : key.size() == 32 ? EVP_aes_256_cbc()
                                                : nullptr;
  if (!cipher || iv.size() != 16) return std::nullopt;
  std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> context(EVP_CIPHER_CTX_new(),
                                                                          EVP_CIPHER_CTX_free);
  std::string out(input.size() + 32, '\0');
  auto* o = reinterpret_cast<unsigned char*>(out.data());
  int written = 0;
  int final_written = 0;
  if (EVP_CipherInit_ex(context.get(), cipher, nullptr,
                        reinterpret_cast<const unsigned char*>(key.data()),
                        reinterpret_cast<const unsigned char*>(iv.data()), encrypt ? 1 : 0) != 1 ||
      EVP_CipherUpdate(context.get(), o, &written,
                       reinterpret_cast<const unsigned char*>(input.data()),
                       static_cast<int>(input.size())) != 1 ||
      EVP_CipherFinal_ex(context.get(), o + written, &final_written) != 1) {
    return std::nullopt;
  }
  out.resize(static_cast<size_t>(written + final_written));
  return out;
}

std::optional<std::string> FromHex(const std::string& hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string bytes;
  for (size_t i = 0; i < hex.size(); i += 2) {
    int value = 0;
    for (char c : hex.substr(i, 2)) {
      int digit = (c >= '0' && c <= '9') ? c - '0' : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
      if (digit < 0) return std::nullopt;
      value = value * 16 + digit;
    }
    bytes.push_back(static_cast<char>(value));
  }
  return bytes;
}

}  // namespace corvel::prefs::test
