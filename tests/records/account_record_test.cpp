// The time-stamped account record: parse, merge, byte order and the time stamp form.
#include <gtest/gtest.h>

#include <string>

#include "records/account_record.h"

namespace corvel::records {
namespace {

TEST(AccountRecord, EntriesAreKeptInByteOrderWithoutATrailingSeparator) {
  std::string text = UpdatedAccountRecordText("", "beta", "D1", "10");
  EXPECT_EQ(text, "beta=D1=10");
  text = UpdatedAccountRecordText(text, "Zeta", "D2", "20");               // 'Z' sorts before 'b'
  text = UpdatedAccountRecordText(text, "\xC3\xA9t\xC3\xA9", "D3", "30");  // above ASCII
  EXPECT_EQ(text, "Zeta=D2=20{|}beta=D1=10{|}\xC3\xA9t\xC3\xA9=D3=30");
}

TEST(AccountRecord, MergeRenewsOnlyAMatchingDigestAndParseDropsBadPieces) {
  // "bad=one" has a single "="; the second "A" is a duplicate; empty pieces vanish; the
  // entry with an empty code is parsed but not written; the stamp is the rest after two "=".
  const std::string stored = "A=xxD1yy=1{|}bad=one{|}{|}A=D2=2{|}=D3=3{|}C=D4=4=extra";
  const AccountRecordMap record = ParseAccountRecord(stored);
  ASSERT_EQ(record.size(), 3u);
  EXPECT_EQ(record.at("").digest, "D3");
  EXPECT_EQ(record.at("C").time_stamp, "4=extra");
  // The stored digest contains the given one: the stamp moves.
  EXPECT_EQ(UpdatedAccountRecordText(stored, "A", "D1", "9"), "A=xxD1yy=9{|}C=D4=4=extra");
  // Another digest: unchanged.
  EXPECT_EQ(UpdatedAccountRecordText(stored, "C", "D9", "9"), "A=xxD1yy=1{|}C=D4=4=extra");
}

TEST(AccountRecord, TimeStampIsTheLow32BitsSigned) {
  EXPECT_EQ(AccountTimeStamp(1700000000), "1700000000");
  EXPECT_EQ(AccountTimeStamp(2147483648LL), "-2147483648");  // 2038-01-19 03:14:08 UTC
  EXPECT_EQ(AccountTimeStamp(4294967296LL + 5), "5");
}

}  // namespace
}  // namespace corvel::records
