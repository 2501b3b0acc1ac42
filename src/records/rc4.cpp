#include "records/rc4.h"

#include <utility>

namespace corvel::records {

Rc4::Rc4(const uint8_t* key, size_t key_length) {
  for (size_t n = 0; n < mState.size(); ++n) mState[n] = static_cast<uint8_t>(n);
  if (key == nullptr || key_length == 0) return;
  uint8_t j = 0;
  for (size_t n = 0; n < mState.size(); ++n) {
    j = static_cast<uint8_t>(j + mState[n] + key[n % key_length]);
    std::swap(mState[n], mState[j]);
  }
}

uint8_t Rc4::NextKeystreamByte() {
  mI = static_cast<uint8_t>(mI + 1);
  mJ = static_cast<uint8_t>(mJ + mState[mI]);
  std::swap(mState[mI], mState[mJ]);
  return mState[static_cast<uint8_t>(mState[mI] + mState[mJ])];
}

void Rc4::Apply(uint8_t* data, size_t length) {
  for (size_t n = 0; n < length; ++n) data[n] ^= NextKeystreamByte();
}

}  // namespace corvel::records
