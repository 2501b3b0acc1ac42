// The value obfuscation (RC4 under a text key, upper-case hex) and the time-stamped account
// record text. Checked on every input:
//  - decoding arbitrary hex under an arbitrary key never fails and gives at most half the
//    text's length, without a zero byte;
//  - encoding gives two upper-case hex digits per byte, and decoding (in either case of the
//    digits) gives the plain text up to its first zero byte;
//  - a text damaged at some pair decodes to the plain prefix before the damage;
//  - formatting a parsed account record and parsing it again changes nothing more, and a
//    merged entry is in the record.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cctype>

#include "fuzz_support.h"
#include "records/account_record.h"
#include "records/value_obfuscation.h"

namespace records = corvel::records;

namespace {

std::string BeforeZero(const std::string& text) { return text.substr(0, text.find('\0')); }

void CheckDecodeArbitrary(const std::string& hex, const std::string& key) {
  const std::string plain = records::DeobfuscateValue(hex, key);
  if (key.empty()) FUZZ_CHECK(plain.empty(), "an empty key decoded something");
  FUZZ_CHECK(plain.size() <= hex.size() / 2, "decoded more bytes than the hex holds");
  FUZZ_CHECK(plain.find('\0') == std::string::npos, "decoded text holds a zero byte");
}

void CheckRoundTrip(const std::string& plain, const std::string& key, size_t damageAt,
                    char damage) {
  const std::string hex = records::ObfuscateValue(plain, key);
  if (plain.empty() || key.empty()) {
    FUZZ_CHECK(hex.empty(), "nothing to encode gave a text");
    return;
  }
  FUZZ_CHECK(hex.size() == 2 * plain.size(), "encoded length is not two digits per byte");
  FUZZ_CHECK(std::all_of(hex.begin(), hex.end(),
                         [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }),
             "encoded text is not upper-case hex");
  FUZZ_CHECK(records::DeobfuscateValue(hex, key) == BeforeZero(plain), "round trip lost the value");
  std::string lower = hex;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  FUZZ_CHECK(records::DeobfuscateValue(lower, key) == BeforeZero(plain),
             "lower-case digits decode differently");
  // A key longer than the cipher's key limit keys it by its first 256 bytes only.
  if (key.size() > records::kMaxObfuscationKeyBytes) {
    FUZZ_CHECK(
        records::ObfuscateValue(plain, key.substr(0, records::kMaxObfuscationKeyBytes)) == hex,
        "bytes past the key limit changed the cipher");
  }
  // Damage one digit: the pairs before it still decode.
  if (std::isxdigit(static_cast<unsigned char>(damage))) return;
  std::string damaged = hex;
  const size_t at = damageAt % damaged.size();
  damaged[at] = damage;
  const std::string decoded = records::DeobfuscateValue(damaged, key);
  const std::string prefix = BeforeZero(plain.substr(0, at / 2));
  FUZZ_CHECK(decoded.compare(0, prefix.size(), prefix) == 0 && decoded.size() >= prefix.size(),
             "a damaged text lost the prefix before the damage");
}

void CheckAccountRecord(const std::string& stored, const std::string& code,
                        const std::string& digest, const std::string& stamp) {
  const records::AccountRecordMap parsed = records::ParseAccountRecord(stored);
  const std::string formatted = records::FormatAccountRecord(parsed);
  const std::string again = records::FormatAccountRecord(records::ParseAccountRecord(formatted));
  FUZZ_CHECK(again == formatted, "formatting a parsed record is not stable");

  const std::string updated = records::UpdatedAccountRecordText(stored, code, digest, stamp);
  // A code that can stand in the record is in it afterwards: no "=" in the code or the digest,
  // and no piece of the separator in any text (pieces could join across edges: "{|" + "}").
  if (code.empty() || code.find('=') != std::string::npos ||
      digest.find('=') != std::string::npos) {
    return;
  }
  for (const std::string* text : {&code, &digest, &stamp}) {
    if (text->find_first_of("{|}") != std::string::npos) return;
  }
  const records::AccountRecordMap merged = records::ParseAccountRecord(updated);
  const auto found = merged.find(code);
  FUZZ_CHECK(found != merged.end(), "a merged code is missing from the record");
  const auto before = parsed.find(code);
  if (before == parsed.end()) {
    FUZZ_CHECK(found->second.digest == digest && found->second.time_stamp == stamp,
               "a new entry was not recorded as given");
  } else if (before->second.digest.find(digest) != std::string::npos) {
    FUZZ_CHECK(found->second.time_stamp == stamp, "a known digest did not get the new time");
  } else {
    FUZZ_CHECK(found->second.digest == before->second.digest &&
                   found->second.time_stamp == before->second.time_stamp,
               "another digest's entry was changed");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string key = in.ConsumeRandomLengthString(300);
  const std::string hex = in.ConsumeRandomLengthString(512);
  const size_t damageAt = in.ConsumeIntegral<size_t>();
  const char damage = in.ConsumeIntegral<char>();
  CheckDecodeArbitrary(hex, key);
  CheckRoundTrip(hex, key, damageAt, damage);
  const std::string code = in.ConsumeRandomLengthString(40);
  const std::string digest = in.ConsumeRandomLengthString(40);
  const std::string stamp = in.ConsumeRandomLengthString(16);
  CheckAccountRecord(in.ConsumeBytesAsString(in.remaining_bytes()), code, digest, stamp);
  return 0;
}
