// Shared helpers of the preferences tests: the log read back as UTF-8 lines, and AES through
// OpenSSL as an implementation independent of the library's.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace corvel::prefs::test {

std::string LogPath();   // "Velmo.log" in the current temporary folder
std::string LogBytes();  // its raw bytes, "" when missing
// The log's lines: after the FF FE mark, split at CR LF, converted to UTF-8.
std::vector<std::string> LogLines();
bool LogContains(const std::string& fragment);

// AES-CBC with PKCS #7 padding through OpenSSL; the key length picks AES-128/192/256.
// nullopt when OpenSSL refuses (a padding error included).
std::optional<std::string> OpenSslAes(bool encrypt, const std::string& input,
                                      const std::string& key, const std::string& iv);
// Strict hexadecimal decoding: nullopt for odd length or any character but 0-9 and A-F.
std::optional<std::string> FromHex(const std::string& hex);

}  // namespace corvel::prefs::test
