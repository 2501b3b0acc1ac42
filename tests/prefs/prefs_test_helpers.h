// Shared helpers of the preferences tests: the log read back as UTF-8 lines, and AES through
// OpenSSL as an implementation independent of the library's.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace corvel::prefs::test {

// The path of "Velmo.log" in the current temporary folder.
std::string LogPath();
// The raw bytes of the log ("" when missing).
std::string LogBytes();
// The log's lines (after the FF FE mark, split at CR LF, converted to UTF-8).
std::vector<std::string> LogLines();
// Whether some line of the log contains `fragment`.
bool LogContains(const std::string& fragment);

// AES-CBC with PKCS #7 padding through OpenSSL; the key length picks AES-128/192/256.
// nullopt when OpenSSL refuses (a padding error included).
std::optional<std::string> OpenSslDecrypt(const std::string& cipher, const std::string& key,
                                          const std::string& iv);
std::optional<std::string> OpenSslEncrypt(const std::string& plain, const std::string& key,
                                          const std::string& iv);

std::string ToUpperHex(const std::string& bytes);
// Strict decoding for the tests: nullopt for odd length or any non-hex character.
std::optional<std::string> FromHex(const std::string& hex);

}  // namespace corvel::prefs::test
