// Bytes written as upper-case hexadecimal, two digits per byte, high nibble first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace corvel::records {

inline std::string ToUpperHex(const uint8_t* bytes, size_t length) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(length * 2);
  for (size_t n = 0; n < length; ++n) {
    hex.push_back(kDigits[bytes[n] >> 4]);
    hex.push_back(kDigits[bytes[n] & 0x0F]);
  }
  return hex;
}

}  // namespace corvel::records
