#include "records/value_obfuscation.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "records/rc4.h"
#include "records/upper_hex.h"

namespace corvel::records {
namespace {

Rc4 KeyedCipher(std::string_view key) {
  return Rc4(reinterpret_cast<const uint8_t*>(key.data()),
             std::min(key.size(), kMaxObfuscationKeyBytes));
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Two digits per byte into `bytes` (already zeroed); stops at the first bad pair.
void HexToBytes(std::string_view hex, std::vector<uint8_t>& bytes) {
  if (hex.size() % 2 != 0) return;
  for (size_t n = 0; n < bytes.size(); ++n) {
    const int high = HexDigitValue(hex[2 * n]);
    const int low = HexDigitValue(hex[2 * n + 1]);
    if (high < 0 || low < 0) return;
    bytes[n] = static_cast<uint8_t>(high << 4 | low);
  }
}

}  // namespace

std::string ObfuscateValue(std::string_view plain, std::string_view key) {
  if (plain.empty() || key.empty()) return {};
  std::vector<uint8_t> bytes(plain.begin(), plain.end());
  KeyedCipher(key).Apply(bytes.data(), bytes.size());
  return ToUpperHex(bytes.data(), bytes.size());
}

std::string DeobfuscateValue(std::string_view hex, std::string_view key) {
  if (key.empty()) return {};
  std::vector<uint8_t> bytes(hex.size() / 2, 0);
  HexToBytes(hex, bytes);
  KeyedCipher(key).Apply(bytes.data(), bytes.size());
  const auto end = std::find(bytes.begin(), bytes.end(), uint8_t{0});
  return std::string(bytes.begin(), end);
}

}  // namespace corvel::records
