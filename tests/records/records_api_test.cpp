// Cached data and the installation records written at a committing release, through the C
// interface against the real store: the store difference and the main log are the oracle.
#include <gtest/gtest.h>

#include <ctime>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "corvel_tavlib.h"
#include "store_snapshot.h"
#include "test_support.h"
#include "zepservices.h"

namespace corvel::records {
namespace {

using corvel::test::Difference;
using corvel::test::P;
using corvel::test::ReadSnapshot;
using corvel::test::StoreRows;
using corvel::test::U;

// Account identifiers whose MD5 digests the RFC 1321 test suite gives.
const std::string kDigestAbc = "900150983CD24FB0D6963F7D28E17F72";
const std::string kDigestA = "0CC175B9C0F1B6A831C399E269772661";

// Writes one row straight into the store, bypassing the library.
void Store(const corvel::test::StoreRow& row) {
  ZEPHandle store = C_ZEPPCDServiceCreate();
  ASSERT_NE(store, nullptr);
  EXPECT_EQ(C_ZEPPCDServiceSetValueForKeyInSubDomain(store, row.value.c_str(), row.key.c_str(),
                                                     row.subdomain.c_str(), row.unprotected),
            0u);
  C_ZEPRelease(store);
}

class RecordsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(mHandle = Corvel_TAVLib_CreateRef(), nullptr); }
  void TearDown() override { Corvel_TAVLib_ReleaseRef(mHandle, 0); }
  void Renew(int32_t commit) {
    Corvel_TAVLib_ReleaseRef(mHandle, commit);
    ASSERT_NE(mHandle = Corvel_TAVLib_CreateRef(), nullptr);
  }
  StoreRows Rows() const { return ReadSnapshot(mScratch.pcd_db()).values; }
  std::string Row(const std::string& subdomain, const std::string& key) const {
    for (const auto& row : Rows())
      if (row.unprotected && row.subdomain == subdomain && row.key == key) return row.value;
    return "<none>";
  }
  std::string Messages() const { return corvel::test::LogMessages(mScratch.main_log()); }
  static std::string Expected(const char* name) {
    return corvel::test::ReadWholeFile(std::string(RECORDS_TEST_DATA "/") + name).value_or(name);
  }
  corvel::test::ScratchFolder mScratch;
  TAVLibHandle mHandle = nullptr;
};

// A session of cached-data calls: each result, then the whole log against the expected one.
TEST_F(RecordsTest, CachedDataSessionGivesItsResultsAndItsLog) {
  Store(U("SUB", "Gone", "v"));
  Store(P("SUB", "Gone", "protected"));
  const char* value = nullptr;
  const auto get = [&](const char* key, bool deobfuscate, int32_t domain) {
    value = "caller's";
    const uint32_t status = Corvel_TAVLib_GetValueforKeyInSubDomain(mHandle, &value, 512, key,
                                                                    "SUB", domain, deobfuscate);
    return std::to_string(status) + " " + value;
  };
  const auto set = [&](int32_t type, const char* key, const char* text, bool obfuscate) {
    return std::to_string(
        Corvel_TAVLib_SetValueforKeyInSubDomainInCache(mHandle, type, key, text, "SUB", obfuscate));
  };
  const auto remove = [&](int32_t type) {
    return std::to_string(Corvel_TAVLib_RemoveKeyInSubDomainInCache(mHandle, type, "Gone", "SUB"));
  };
  const auto enumerate = [&](const char* key) {
    value = "caller's";
    return std::to_string(Corvel_TAVLib_EnumerateKeys(mHandle, key, &value, 0)) + " " + value;
  };
  EXPECT_EQ(set(0, "Secret", "abc", true), "0");
  EXPECT_EQ(get("Secret", true, 1), "0 abc");
  EXPECT_EQ(get("Secret", false, 7), "0 A68EC3");     // RC4 of "abc" under "SUB"
  EXPECT_EQ(get("Secret", false, 0), "10 caller's");  // 0: the protected domain
  EXPECT_EQ(set(2, "K", "v", false), "9");
  EXPECT_EQ(set(1, "K", "\xC3(", false), "9");
  EXPECT_EQ(remove(2), "9");
  EXPECT_EQ(remove(0), "0");
  EXPECT_EQ(remove(1), "0");
  EXPECT_EQ(enumerate("K"), "0 caller's");  // at install time
  EXPECT_EQ(enumerate(nullptr), "9 caller's");
  EXPECT_EQ(Rows(), StoreRows({U("SUB", "Secret", "A68EC3"), P("SUB", "Gone", "protected")}));
  EXPECT_EQ(Messages(), Expected("cached_data_session.txt"));
}

TEST_F(RecordsTest, EnumerationInAnApplicationReadsTheProductsProtectedRows) {
  ASSERT_EQ(Corvel_TAVLib_SetApplicationData(mHandle, "DRIVER", "APP", "DRIVER-PRODUCT", "fr_FR",
                                             "PAYLOAD", kTAVLibTaggingNone),
            0u);
  for (const auto& row : {P("DRIVER", "K", "from driver"), P("DRIVER-PRODUCT", "K", "product"),
                          P("MAPPED", "K", "from mapping"), U("DRIVER", "K", "unprotected")})
    Store(row);
  const auto enumerate = [&](const char* key, int32_t type) {
    const char* value = nullptr;
    EXPECT_EQ(Corvel_TAVLib_EnumerateKeys(mHandle, key, &value, type), 0u);
    return std::string(value ? value : "<null>");
  };
  EXPECT_EQ(enumerate("K", 0), "from driver");
  EXPECT_EQ(enumerate("K", 5), "from driver");
  // Type 1: the driver's product code, unless "<app product>{|}<app locale>" maps it.
  EXPECT_EQ(enumerate("K", 1), "product");
  Store(U("APP{|}fr_FR", "FLMap", "MAPPED"));
  EXPECT_EQ(enumerate("K", 1), "from mapping");
  EXPECT_EQ(enumerate("Absent", 0), "") << "an absent key still hands back a text";
  // The agreement service records an agreement in an application, for the driver's product.
  EXPECT_EQ(Corvel_TAVLib_Set_Eula(mHandle, "ja_JP", nullptr), 0u);
  Renew(1);
  EXPECT_EQ(Rows().size(), 5u) << "the values stay as they were";
  // Columns: product code, kind, state, language, time recorded.
  const std::multiset<std::string> states =
      ReadSnapshot(mScratch.pcd_db()).other_tables.at("eula_states");
  ASSERT_EQ(states.size(), 1u);
  EXPECT_EQ(states.begin()->rfind("DRIVER-PRODUCT\x1f"
                                  "4\x1f"
                                  "1\x1fja_JP\x1f",
                                  0),
            0u);
  EXPECT_EQ(Messages(), Expected("enumeration_in_application.txt"));
}

TEST_F(RecordsTest, WithoutAStoreCachedDataCallsDoNothing) {
  ASSERT_TRUE(corvel::test::WriteWholeFile(mScratch.Path("blocker"), "not a folder"));
  corvel::test::SetVariable("ZEP_PCD_DB", mScratch.Path("blocker/pcd.db"));
  const char* value = "caller's";
  EXPECT_EQ(Corvel_TAVLib_SetValueforKeyInSubDomainInCache(mHandle, 0, "K", "v", "SUB", true), 0u);
  EXPECT_EQ(Corvel_TAVLib_SetValueforKeyInSubDomainInCache(mHandle, 2, "K", "v", "SUB", true), 0u);
  EXPECT_EQ(Corvel_TAVLib_GetValueforKeyInSubDomain(mHandle, &value, 512, "K", "SUB", 1, 0), 0u);
  EXPECT_STREQ(value, "caller's");
  EXPECT_EQ(Corvel_TAVLib_RemoveKeyInSubDomainInCache(mHandle, 2, "K", "SUB"), 0u);
  ASSERT_EQ(Corvel_TAVLib_SetApplicationData(mHandle, "D0", "A0", "DP", "fr_FR", "PAY",
                                             kTAVLibTaggingSuppressed),
            0u);
  // Missing optional values fall back to their defaults and replace the earlier ones.
  ASSERT_EQ(Corvel_TAVLib_SetApplicationData(mHandle, "D", "A", nullptr, "", nullptr, 0), 0u);
  ASSERT_EQ(Corvel_TAVLib_EnumerateKeys(mHandle, "K", &value, 0), 0u);
  EXPECT_STREQ(value, "");
  EXPECT_EQ(Messages(), Expected("cached_data_without_store.txt"));
}

TEST_F(RecordsTest, InstallLocaleListGrowsBySubstringTest) {
  for (const char* locale : {"en_US", "fr_FR", "fr_FR", "en"}) {  // "en" is in "en_US"
    ASSERT_EQ(Corvel_TAVLib_Set_InstallLocale(mHandle, locale, "PRODUCT"), 0u);
    Renew(1);
    EXPECT_EQ(Row("PRODUCT", "INSTALLLOCALE"),
              std::string(locale) == "en_US" ? "en_US" : "en_US{|}fr_FR");
  }
  // A stored list longer than the read buffer is seen cut at 511 characters.
  Store(U("PRODUCT", "INSTALLLOCALE", std::string(600, 'x')));
  ASSERT_EQ(Corvel_TAVLib_Set_InstallLocale(mHandle, "xx_YY", "PRODUCT"), 0u);
  Renew(1);
  EXPECT_EQ(Row("PRODUCT", "INSTALLLOCALE"), std::string(511, 'x') + "{|}xx_YY");
}

TEST_F(RecordsTest, CommitWritesEveryRecordAndNothingElse) {
  Store(U("PAYLOAD", "Entry", "stale"));
  Store(U("OTHER", "Entry", "kept"));
  ASSERT_EQ(Corvel_TAVLib_Set_Eula(mHandle, "en_GB", "PRODUCT"), 0u);
  ASSERT_EQ(Corvel_TAVLib_Set_InstallLocale(mHandle, "en_GB", "PRODUCT"), 0u);
  ASSERT_EQ(Corvel_TAVLib_CleanUpCachePCD(mHandle, "PAYLOAD"), 0u);
  ASSERT_EQ(Corvel_TAVLib_SetCorvelId(mHandle, "PRODUCT"), 0u);
  ASSERT_EQ(Corvel_TAVLib_SaveCorvelId(mHandle, "abc"), 0u);
  ASSERT_EQ(Corvel_TAVLib_SetCorvelIdExtProfile(mHandle, "EXT"), 0u);
  Renew(1);
  const StoreRows expected = {U("OTHER", "Entry", "kept"),
                              U("CORVELIDWTTS", "DATA", Row("CORVELIDWTTS", "DATA")),
                              U("PRODUCT", "CORVELID", "1"),
                              U("EXT", "CORVELID_EXT_PROFILE", "1"),
                              U("PRODUCT", "EULA_ACCEPTED", "1"),
                              U("PRODUCT", "EULA_LANGUAGE", "en_GB"),
                              U("PRODUCT", "INSTALLLOCALE", "en_GB"),
                              U("PRODUCT", "LineCV 15", "8CEE93")};  // RC4 of "abc" under "PRODUCT"
  EXPECT_TRUE(Rows() == expected) << Difference(expected, Rows());
  EXPECT_EQ(Messages(), Expected("commit_every_record.txt"));
}

TEST_F(RecordsTest, AccountRecordUpdatesKeepByteOrderAndDigests) {
  // A malformed piece, an entry whose digest will match, and one whose digest will not.
  Store(U("CORVELIDWTTS", "DATA",
          "BROKEN=only-one{|}PROD-B=" + kDigestAbc + "=200{|}PROD-C=" + kDigestA + "=300"));
  const int64_t before = std::time(nullptr);
  for (const auto& [product, id] : {std::pair{"PROD-A", "a"},
                                    {"PROD-B", "abc"},
                                    {"PROD-C", "abc"},
                                    {"beta", "a"},
                                    {"Zeta", "a"},
                                    {"\xC3\xA9t\xC3\xA9", "a"}}) {
    ASSERT_EQ(Corvel_TAVLib_SetCorvelId(mHandle, product), 0u);
    ASSERT_EQ(Corvel_TAVLib_SaveCorvelId(mHandle, id), 0u);
    Renew(1);
  }
  // New entries go in byte order ('Z' before 'b', bytes above ASCII last); the matching
  // digest only has its stamp moved (to a time of these updates); the other digest is left as
  // it was.
  const std::string record = Row("CORVELIDWTTS", "DATA"), now = R"(=(\d+))", next = R"(\{\|\})";
  std::smatch stamps;
  ASSERT_TRUE(std::regex_match(
      record, stamps,
      std::regex("PROD-A=" + kDigestA + now + next + "PROD-B=" + kDigestAbc + now + next +
                 "PROD-C=" + kDigestA + "=300" + next + "Zeta=" + kDigestA + now + next +
                 "beta=" + kDigestA + now + next + "\xC3\xA9t\xC3\xA9=" + kDigestA + now)))
      << record;
  for (size_t stamp = 1; stamp < stamps.size(); ++stamp)
    EXPECT_GE(std::stoll(stamps[stamp]), before);
  EXPECT_EQ(Row("PROD-C", "CORVELID"), "1");
}

}  // namespace
}  // namespace corvel::records
