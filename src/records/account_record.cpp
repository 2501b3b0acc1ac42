#include "records/account_record.h"

#include <cstdio>

namespace corvel::records {
namespace {

constexpr std::string_view kSeparator = kRecordSeparator;

void AddPiece(std::string_view piece, AccountRecordMap& record) {
  const size_t first = piece.find('=');
  if (first == std::string_view::npos) return;
  const size_t second = piece.find('=', first + 1);
  if (second == std::string_view::npos) return;
  // emplace keeps the first occurrence of a code.
  record.emplace(std::string(piece.substr(0, first)),
                 AccountEntry{std::string(piece.substr(first + 1, second - first - 1)),
                              std::string(piece.substr(second + 1))});
}

}  // namespace

AccountRecordMap ParseAccountRecord(std::string_view text) {
  AccountRecordMap record;
  size_t start = 0;
  for (;;) {
    const size_t cut = text.find(kSeparator, start);
    if (cut == std::string_view::npos) {
      AddPiece(text.substr(start), record);
      return record;
    }
    AddPiece(text.substr(start, cut - start), record);
    start = cut + kSeparator.size();
  }
}

void MergeAccountEntry(AccountRecordMap& record, const std::string& product_code,
                       const std::string& digest, const std::string& time_stamp) {
  auto found = record.find(product_code);
  if (found == record.end()) {
    record.emplace(product_code, AccountEntry{digest, time_stamp});
  } else if (found->second.digest.find(digest) != std::string::npos) {
    found->second.time_stamp = time_stamp;
  }
}

std::string FormatAccountRecord(const AccountRecordMap& record) {
  std::string text;
  for (const auto& [code, entry] : record) {
    if (code.empty()) continue;
    text.append(code).append("=").append(entry.digest).append("=").append(entry.time_stamp);
    text.append(kSeparator);
  }
  const size_t last = text.rfind(kSeparator);
  if (last != std::string::npos) text.resize(last);
  return text;
}

std::string AccountTimeStamp(int64_t seconds_since_1970) {
  const auto low = static_cast<int32_t>(static_cast<uint32_t>(seconds_since_1970));
  char text[16];
  std::snprintf(text, sizeof text, "%d", static_cast<int>(low));
  return text;
}

std::string UpdatedAccountRecordText(std::string_view stored, const std::string& product_code,
                                     const std::string& digest, const std::string& time_stamp) {
  AccountRecordMap record = ParseAccountRecord(stored);
  MergeAccountEntry(record, product_code, digest, time_stamp);
  return FormatAccountRecord(record);
}

}  // namespace corvel::records
