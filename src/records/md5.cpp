#include "records/md5.h"

#include <algorithm>
#include <cstring>

#include "records/upper_hex.h"

namespace corvel::records {
namespace {

constexpr uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

constexpr int kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                            5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                            4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                            6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

uint32_t RotateLeft(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

uint32_t LoadLittleEndian(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

}  // namespace

Md5::Md5() : mState{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476} {}

void Md5::Transform(const uint8_t block[64]) {
  uint32_t x[16];
  for (int n = 0; n < 16; ++n) x[n] = LoadLittleEndian(block + 4 * n);

  uint32_t a = mState[0], b = mState[1], c = mState[2], d = mState[3];
  for (int n = 0; n < 64; ++n) {
    uint32_t f;
    int g;
    if (n < 16) {
      f = (b & c) | (~b & d);
      g = n;
    } else if (n < 32) {
      f = (d & b) | (~d & c);
      g = (5 * n + 1) % 16;
    } else if (n < 48) {
      f = b ^ c ^ d;
      g = (3 * n + 5) % 16;
    } else {
      f = c ^ (b | ~d);
      g = (7 * n) % 16;
    }
    const uint32_t rotated = RotateLeft(a + f + kSine[n] + x[g], kShift[n]);
    a = d;
    d = c;
    c = b;
    b = b + rotated;
  }
  mState[0] += a;
  mState[1] += b;
  mState[2] += c;
  mState[3] += d;
}

void Md5::Update(const uint8_t* data, size_t length) {
  mBitCount += static_cast<uint64_t>(length) * 8;
  while (length > 0) {
    const size_t take = std::min(length, mBuffer.size() - mBuffered);
    std::memcpy(mBuffer.data() + mBuffered, data, take);
    mBuffered += take;
    data += take;
    length -= take;
    if (mBuffered == mBuffer.size()) {
      Transform(mBuffer.data());
      mBuffered = 0;
    }
  }
}

void Md5::Update(std::string_view text) {
  Update(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

Md5::Digest Md5::Finish() {
  const uint64_t bit_count = mBitCount;
  uint8_t length_bytes[8];
  for (int n = 0; n < 8; ++n) length_bytes[n] = static_cast<uint8_t>(bit_count >> (8 * n));

  static constexpr uint8_t kPadding[64] = {0x80};
  const size_t pad = mBuffered < 56 ? 56 - mBuffered : 120 - mBuffered;
  Update(kPadding, pad);
  Update(length_bytes, sizeof length_bytes);

  Digest digest;
  for (int n = 0; n < 4; ++n)
    for (int k = 0; k < 4; ++k) digest[4 * n + k] = static_cast<uint8_t>(mState[n] >> (8 * k));
  return digest;
}

std::string Md5UpperHex(std::string_view text) {
  Md5 md5;
  md5.Update(text);
  const Md5::Digest digest = md5.Finish();
  return ToUpperHex(digest.data(), digest.size());
}

}  // namespace corvel::records
