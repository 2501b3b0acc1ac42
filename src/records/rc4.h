// The RC4 stream cipher. A fresh state is keyed for every transformation; encryption and
// decryption are the same operation (the keystream is combined with the data by XOR).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace corvel::records {

class Rc4 {
 public:
  // Runs the key schedule over `key_length` bytes of `key` (1 to 256 bytes); i = j = 0
  // afterwards.
  Rc4(const uint8_t* key, size_t key_length);

  // Combines the next `length` keystream bytes with `data` in place.
  void Apply(uint8_t* data, size_t length);

 private:
  uint8_t NextKeystreamByte();

  std::array<uint8_t, 256> mState{};
  uint8_t mI = 0;
  uint8_t mJ = 0;
};

}  // namespace corvel::records
