// The time-stamped account record: key "DATA" of subdomain "CORVELIDWTTS", a list of
// entries "product code=account digest=time stamp" joined by "{|}", in ascending byte order
// of the product codes, each code once. The time stamp is the low 32 bits of the system
// time in seconds since 1970, read as a signed number, in decimal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace corvel::records {

inline constexpr char kAccountRecordSubDomain[] = "CORVELIDWTTS";
inline constexpr char kAccountRecordKey[] = "DATA";
inline constexpr char kRecordSeparator[] = "{|}";
// The record is read into a buffer of this size, so at most 1023 characters are seen.
inline constexpr size_t kAccountRecordBufferSize = 1024;

struct AccountEntry {
  std::string digest;
  std::string time_stamp;
};

// Ordered by product code, byte by byte.
using AccountRecordMap = std::map<std::string, AccountEntry>;

// Cuts the text at every "{|}"; in each piece the code runs to the first "=", the digest to
// the next "=", and the time stamp is the rest. Pieces with fewer than two "=" are skipped;
// of a code that occurs twice the first occurrence is kept.
AccountRecordMap ParseAccountRecord(std::string_view text);

// Adds an absent code; for a present code whose stored digest contains `digest`, replaces
// the time stamp; a present code with another digest is left as it is.
void MergeAccountEntry(AccountRecordMap& record, const std::string& product_code,
                       const std::string& digest, const std::string& time_stamp);

// "code=digest=stamp" for every entry with a non-empty code, joined by "{|}".
std::string FormatAccountRecord(const AccountRecordMap& record);

// The record's form of a time: the low 32 bits of `seconds`, signed, in decimal.
std::string AccountTimeStamp(int64_t seconds_since_1970);

// Parse, merge and format in one step.
std::string UpdatedAccountRecordText(std::string_view stored, const std::string& product_code,
                                     const std::string& digest, const std::string& time_stamp);

// Reads the stored record (a failed read counts as empty), merges the entry stamped with the
// current time and writes the record back, each access on its own store handle. True when
// the store accepted the write; false when it refused it or no handle could be created.
bool UpdateTimeStampedAccountRecord(const std::string& product_code, const std::string& digest);

}  // namespace corvel::records
