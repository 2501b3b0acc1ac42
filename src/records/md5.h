// The MD5 message digest (RFC 1321).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvel::records {

class Md5 {
 public:
  using Digest = std::array<uint8_t, 16>;

  Md5();
  void Update(const uint8_t* data, size_t length);
  void Update(std::string_view text);
  // Pads, finishes and returns the digest; the object must not be updated afterwards.
  Digest Finish();

 private:
  void Transform(const uint8_t block[64]);

  std::array<uint32_t, 4> mState;
  uint64_t mBitCount = 0;
  std::array<uint8_t, 64> mBuffer{};
  size_t mBuffered = 0;
};

// The digest of `text` as 32 upper-case hexadecimal digits.
std::string Md5UpperHex(std::string_view text);

}  // namespace corvel::records
