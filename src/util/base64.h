// Standard base64 (RFC 4648 alphabet, "=" padding, no line breaks).
#pragma once

#include <cstddef>
#include <string>

namespace corvel::util {

// Empties `out`, then encodes `length` bytes of `data` into it. A null input or a zero
// length leaves it empty.
void EncodeBase64(const unsigned char* data, size_t length, std::string& out);

}  // namespace corvel::util
