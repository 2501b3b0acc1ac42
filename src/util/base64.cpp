#include "util/base64.h"

namespace corvel::util {

namespace {
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}  // namespace

void EncodeBase64(const unsigned char* data, size_t length, std::string& out) {
  out.clear();
  if (!data || length == 0) return;
  out.reserve((length + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= length; i += 3) {
    const unsigned group = (data[i] << 16) | (data[i + 1] << 8) | data[i + 2];
    out += kAlphabet[(group >> 18) & 0x3F];
    out += kAlphabet[(group >> 12) & 0x3F];
    out += kAlphabet[(group >> 6) & 0x3F];
    out += kAlphabet[group & 0x3F];
  }
  const size_t rest = length - i;
  if (rest == 0) return;
  // The last one or two bytes, completed with zero bytes and padded to four characters.
  const unsigned group = (data[i] << 16) | (rest == 2 ? data[i + 1] << 8 : 0);
  out += kAlphabet[(group >> 18) & 0x3F];
  out += kAlphabet[(group >> 12) & 0x3F];
  out += rest == 2 ? kAlphabet[(group >> 6) & 0x3F] : '=';
  out += '=';
}

}  // namespace corvel::util
