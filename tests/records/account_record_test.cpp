// The time-stamped account record: parse, merge, order and the time stamp form.
#include <gtest/gtest.h>

#include <string>

#include "records/account_record.h"

namespace corvel::records {
namespace {

const std::string kDigestA = "0CC175B9C0F1B6A831C399E269772661";
const std::string kDigestB = "900150983CD24FB0D6963F7D28E17F72";

TEST(AccountRecord, FirstEntryHasNoSeparator) {
  EXPECT_EQ(UpdatedAccountRecordText("", "PRODUCT", kDigestA, "1700000000"),
            "PRODUCT=" + kDigestA + "=1700000000");
}

TEST(AccountRecord, EntriesAreWrittenInByteOrderOfTheirCodes) {
  std::string text = UpdatedAccountRecordText("", "beta", kDigestA, "10");
  text = UpdatedAccountRecordText(text, "Zeta", kDigestB, "20");  // 'Z' sorts before 'b'
  text = UpdatedAccountRecordText(text, "alpha", kDigestB, "30");
  EXPECT_EQ(text, "Zeta=" + kDigestB + "=20{|}alpha=" + kDigestB + "=30{|}beta=" + kDigestA +
                      "=10");
  // Bytes above 0x7F sort after ASCII.
  EXPECT_EQ(UpdatedAccountRecordText("\xC3\xA9t\xC3\xA9=D=1", "zz", "E", "2"),
            "zz=E=2{|}\xC3\xA9t\xC3\xA9=D=1");
}

TEST(AccountRecord, SameDigestMovesOnlyTheTimeStamp) {
  const std::string stored = "A=" + kDigestA + "=10{|}B=" + kDigestB + "=20";
  EXPECT_EQ(UpdatedAccountRecordText(stored, "B", kDigestB, "99"),
            "A=" + kDigestA + "=10{|}B=" + kDigestB + "=99");
  // The test is "the stored digest contains the given one".
  EXPECT_EQ(UpdatedAccountRecordText("A=xx" + kDigestA + "yy=10", "A", kDigestA, "11"),
            "A=xx" + kDigestA + "yy=11");
}

TEST(AccountRecord, OtherDigestLeavesTheEntryUnchanged) {
  const std::string stored = "A=" + kDigestA + "=10";
  EXPECT_EQ(UpdatedAccountRecordText(stored, "A", kDigestB, "99"), stored);
}

TEST(AccountRecord, MalformedAndDuplicatePiecesAreDropped) {
  // "bad=only-one" has a single "="; the second "A" is a duplicate; empty pieces vanish; an
  // entry with an empty code is parsed but not written.
  const std::string stored = "A=D1=1{|}bad=only-one{|}{|}A=D2=2{|}=D3=3{|}C=D4=4=extra";
  const AccountRecordMap record = ParseAccountRecord(stored);
  ASSERT_EQ(record.size(), 3u);
  EXPECT_EQ(record.at("A").digest, "D1");
  EXPECT_EQ(record.at("").digest, "D3");
  EXPECT_EQ(record.at("C").time_stamp, "4=extra");
  EXPECT_EQ(UpdatedAccountRecordText(stored, "B", "D5", "5"),
            "A=D1=1{|}B=D5=5{|}C=D4=4=extra");
}

TEST(AccountRecord, TimeStampIsTheLow32BitsSigned) {
  EXPECT_EQ(AccountTimeStamp(0), "0");
  EXPECT_EQ(AccountTimeStamp(1700000000), "1700000000");
  EXPECT_EQ(AccountTimeStamp(2147483648LL), "-2147483648");  // 2038-01-19 03:14:08 UTC
  EXPECT_EQ(AccountTimeStamp(4294967296LL + 5), "5");
}

}  // namespace
}  // namespace corvel::records
