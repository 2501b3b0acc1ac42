// The value obfuscation (RC4 under a text key, upper-case hex) and the time-stamped account
// record text. Checked on every input:
//  - decoding arbitrary hex under an arbitrary key never fails and gives at most half the
//    text's length, without a zero byte;
//  - encoding gives two upper-case hex digits per byte, and decoding (in either case of the
//    digits) gives the plain text up to its first zero byte;
//  - a text damaged at some pair decodes to the plain prefix before the damage;
//  - formatting a parsed account record and parsing it again changes nothing more, and a
//    merged entry is in the record.
#include <cctype>

#include "fuzz_support.h"
#include "records/account_record.h"
#include "records/value_obfuscation.h"

namespace records = corvel::records;

namespace {

std::string BeforeZero(const std::string& text) { return text.substr(0, text.find('\0')); }

// `plain` encoded under `key`, and decoded under it as if it were hex.
void CheckCipher(const std::string& plain, const std::string& key, size_t damageAt, char damage) {
  const std::string decoded = records::DeobfuscateValue(plain, key);
  FUZZ_CHECK(!key.empty() || decoded.empty(), "an empty key decoded something");
  FUZZ_CHECK(decoded.size() <= plain.size() / 2, "decoded more bytes than the hex holds");
  FUZZ_CHECK(decoded.find('\0') == std::string::npos, "decoded text holds a zero byte");

  const std::string encoded = records::ObfuscateValue(plain, key);
  if (plain.empty() || key.empty()) {
    FUZZ_CHECK(encoded.empty(), "nothing to encode gave a text");
    return;
  }
  FUZZ_CHECK(encoded.size() == 2 * plain.size(), "encoded length is not two digits per byte");
  FUZZ_CHECK(encoded.find_first_not_of("0123456789ABCDEF") == std::string::npos,
             "encoded text is not upper-case hex");
  std::string lower = encoded;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const std::string& digits : {encoded, lower}) {
    FUZZ_CHECK(records::DeobfuscateValue(digits, key) == BeforeZero(plain),
               "round trip lost the value");
  }
  // A key longer than the cipher's key limit keys it by its first 256 bytes only.
  const size_t limit = records::kMaxObfuscationKeyBytes;
  FUZZ_CHECK(key.size() <= limit || records::ObfuscateValue(plain, key.substr(0, limit)) == encoded,
             "bytes past the key limit changed the cipher");
  // Damage one digit: the pairs before it still decode.
  if (std::isxdigit(static_cast<unsigned char>(damage))) return;
  std::string damaged = encoded;
  const size_t at = damageAt % damaged.size();
  damaged[at] = damage;
  const std::string prefix = BeforeZero(plain.substr(0, at / 2));
  FUZZ_CHECK(records::DeobfuscateValue(damaged, key).compare(0, prefix.size(), prefix) == 0,
             "a damaged text lost the prefix before the damage");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string key = in.ConsumeRandomLengthString(300);
  const std::string hex = in.ConsumeRandomLengthString(512);
  const size_t damageAt = in.ConsumeIntegral<size_t>();
  CheckCipher(hex, key, damageAt, in.ConsumeIntegral<char>());

  const std::string code = in.ConsumeRandomLengthString(40);
  const std::string digest = in.ConsumeRandomLengthString(40);
  const std::string stamp = in.ConsumeRandomLengthString(16);
  const std::string stored = in.ConsumeRemainingBytesAsString();
  const records::AccountRecordMap parsed = records::ParseAccountRecord(stored);
  const std::string formatted = records::FormatAccountRecord(parsed);
  FUZZ_CHECK(records::FormatAccountRecord(records::ParseAccountRecord(formatted)) == formatted,
             "formatting a parsed record is not stable");
  const std::string updated = records::UpdatedAccountRecordText(stored, code, digest, stamp);
  // A code that can stand in the record is in it afterwards: no "=" in the code or the digest,
  // and no piece of the separator in any text (pieces could join across edges: "{|" + "}").
  if (code.empty() || (code + digest).find('=') != std::string::npos ||
      (code + digest + stamp).find_first_of("{|}") != std::string::npos) {
    return 0;
  }
  const records::AccountRecordMap merged = records::ParseAccountRecord(updated);
  const auto found = merged.find(code);
  FUZZ_CHECK(found != merged.end(), "a merged code is missing from the record");
  // A new entry is recorded as given, a known digest gets the new time, and another digest's
  // entry stays as it was.
  const auto before = parsed.find(code);
  records::AccountEntry expected{digest, stamp};
  if (before != parsed.end()) expected = before->second;
  if (before != parsed.end() && expected.digest.find(digest) != std::string::npos) {
    expected.time_stamp = stamp;
  }
  FUZZ_CHECK(
      found->second.digest == expected.digest && found->second.time_stamp == expected.time_stamp,
      "the merged entry differs from the rules");
  return 0;
}
