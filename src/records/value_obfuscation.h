// Value obfuscation: RC4 keyed with a text (usually the subdomain's name), written as
// upper-case hexadecimal. Used for cached values and for the enciphered account identifier.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace corvel::records {

// Only the first kMaxObfuscationKeyBytes bytes of the key text key the cipher.
inline constexpr size_t kMaxObfuscationKeyBytes = 256;

// Enciphers the bytes of `plain` under `key` and writes each byte as two upper-case hex
// digits, high nibble first. An empty plain text gives an empty result. `key` must be
// non-empty; with an empty key the result is empty as well.
std::string ObfuscateValue(std::string_view plain, std::string_view key);

// The reverse. The hex text is converted two digits per byte (either case accepted);
// conversion stops at the first pair that is not two hex digits and leaves the remaining
// bytes zero, and a text of odd length converts to nothing (every byte stays zero). The
// cipher then runs over half the text's length, and the result is taken up to its first
// zero byte. So a damaged text decodes to the plain prefix before the damage followed by
// keystream bytes, never to an error. An empty key gives an empty result.
std::string DeobfuscateValue(std::string_view hex, std::string_view key);

}  // namespace corvel::records
