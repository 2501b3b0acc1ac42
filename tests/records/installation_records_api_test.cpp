// Installation records and the commit steps that write them, through the C interface
// against the real store.
#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "records_api_support.h"

namespace corvel::records::test {
namespace {

using InstallationRecordsTest = RecordsApiTest;

// Account identifiers whose MD5 digests the RFC 1321 test suite gives.
constexpr char kIdAbc[] = "abc";
const std::string kDigestAbc = "900150983CD24FB0D6963F7D28E17F72";
constexpr char kIdA[] = "a";
const std::string kDigestA = "0CC175B9C0F1B6A831C399E269772661";

void RecordAccount(TAVLibHandle handle, const char* product, const char* id) {
  ASSERT_EQ(Corvel_TAVLib_SetCorvelId(handle, product), 0u);
  ASSERT_EQ(Corvel_TAVLib_SaveCorvelId(handle, id), 0u);
}

// The record with every time stamp at least `from` replaced by "NOW".
std::string WithFreshStampsMarked(const std::string& record, int64_t from) {
  std::string marked;
  size_t start = 0;
  while (start <= record.size()) {
    size_t end = record.find("{|}", start);
    if (end == std::string::npos) end = record.size();
    std::string piece = record.substr(start, end - start);
    const size_t stamp_at = piece.rfind('=') + 1;
    if (std::strtoll(piece.c_str() + stamp_at, nullptr, 10) >= from) {
      piece.replace(stamp_at, std::string::npos, "NOW");
    }
    marked += (start == 0 ? "" : "{|}") + piece;
    start = end + 3;
  }
  return marked;
}

TEST_F(InstallationRecordsTest, AgreementIsWrittenOnlyByACommittingRelease) {
  for (int32_t commit : {0, 2}) {
    ASSERT_EQ(Corvel_TAVLib_Set_Eula(mHandle, "de_DE", "PRODUCT"), 0u);
    ReleaseAndRenew(commit);
    EXPECT_TRUE(Contents().empty()) << "commit flag " << commit;
  }
  EXPECT_EQ(Corvel_TAVLib_Set_Eula(mHandle, "de_DE", nullptr), 9u);
  EXPECT_EQ(Corvel_TAVLib_Set_Eula(mHandle, "de_DE", "PRO\xFF"), 9u);
  EXPECT_EQ(LogCount("TAVLib EULAFlag EndeD"), 2);  // the two calls before the refusals
  ASSERT_EQ(Corvel_TAVLib_Set_Eula(mHandle, "de_DE", "PRODUCT"), 0u);
  ReleaseAndRenew(1);
  EXPECT_EQ(Contents(), (StoreContents{{Unprotected("PRODUCT", "EULA_ACCEPTED"), "1"},
                                       {Unprotected("PRODUCT", "EULA_LANGUAGE"), "de_DE"}}));
}

// The rows the services library's agreement service recorded.
std::vector<std::string> AgreementRows(const std::string& database) {
  std::vector<std::string> rows;
  sqlite3* db = nullptr;
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
      sqlite3_prepare_v2(db, "SELECT product_code, state, kind, language FROM eula_states", -1,
                         &statement, nullptr) == SQLITE_OK) {
    while (sqlite3_step(statement) == SQLITE_ROW) {
      std::string row;
      for (int column = 0; column < 4; ++column)
        row += (column ? "," : "") +
               std::string(reinterpret_cast<const char*>(sqlite3_column_text(statement, column)));
      rows.push_back(row);
    }
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return rows;
}

TEST_F(InstallationRecordsTest, ApplicationContextRecordsTheAgreementThroughTheService) {
  ASSERT_EQ(Corvel_TAVLib_SetApplicationData(mHandle, "DRIVER", "APP", "DRIVER-PRODUCT", "en_US",
                                             nullptr, kTAVLibTaggingNone),
            0u);
  EXPECT_EQ(Corvel_TAVLib_Set_Eula(mHandle, nullptr, "IGNORED"), 9u);
  EXPECT_EQ(Corvel_TAVLib_Set_Eula(mHandle, "ja_JP", nullptr), 0u);
  ReleaseAndRenew(1);
  // The driver's product code wins over the application's; no store keys are written.
  EXPECT_TRUE(Contents().empty());
  EXPECT_EQ(AgreementRows(mScratch.pcd_db()), std::vector<std::string>{"DRIVER-PRODUCT,1,4,ja_JP"});
}

TEST_F(InstallationRecordsTest, InstallLocaleListGrowsBySubstringTest) {
  for (const char* locale : {"en_US", "fr_FR", "fr_FR", "en"}) {  // "en" is in "en_US"
    ASSERT_EQ(Corvel_TAVLib_Set_InstallLocale(mHandle, locale, "PRODUCT"), 0u);
    ReleaseAndRenew(1);
    EXPECT_EQ(Stored("PRODUCT", "INSTALLLOCALE"),
              std::string(locale) == "en_US" ? "en_US" : "en_US{|}fr_FR");
  }
  EXPECT_EQ(Contents().size(), 1u);
  EXPECT_EQ(Corvel_TAVLib_Set_InstallLocale(mHandle, nullptr, "PRODUCT"), 9u);
  EXPECT_EQ(LogCount("TAVLib SetInstallLocale ENDED"), 5);  // the refusal logs it too

  // A stored list longer than the read buffer is seen cut at 511 characters.
  Store("PRODUCT", "INSTALLLOCALE", std::string(600, 'x'));
  ASSERT_EQ(Corvel_TAVLib_Set_InstallLocale(mHandle, "xx_YY", "PRODUCT"), 0u);
  ReleaseAndRenew(1);
  EXPECT_EQ(Stored("PRODUCT", "INSTALLLOCALE"), std::string(511, 'x') + "{|}xx_YY");
}

TEST_F(InstallationRecordsTest, SaveCorvelIdNeedsSetCorvelIdFirst) {
  EXPECT_EQ(Corvel_TAVLib_SaveCorvelId(mHandle, kIdAbc), 257u);
  EXPECT_TRUE(Logged("Error : SetCorvelID not called!"));
  EXPECT_EQ(Corvel_TAVLib_SetCorvelId(mHandle, nullptr), 9u);
  ReleaseAndRenew(1);
  EXPECT_TRUE(Contents().empty());
  // The identifier given too early is not remembered; an empty one records no identifier.
  ASSERT_EQ(Corvel_TAVLib_SetCorvelId(mHandle, "PRODUCT"), 0u);
  ASSERT_EQ(Corvel_TAVLib_SaveCorvelId(mHandle, ""), 0u);
  ASSERT_EQ(Corvel_TAVLib_SetCorvelIdExtProfile(mHandle, "EXT"), 0u);
  ReleaseAndRenew(1);
  EXPECT_EQ(Contents(), (StoreContents{{Unprotected("PRODUCT", "CORVELID"), "1"},
                                       {Unprotected("EXT", "CORVELID_EXT_PROFILE"), "1"}}));
}

TEST_F(InstallationRecordsTest, AccountRecordsOfOneProduct) {
  const int64_t before = NowSeconds();
  RecordAccount(mHandle, "PROD-B", kIdAbc);
  ReleaseAndRenew(1);
  const StoreContents contents = Contents();
  ASSERT_EQ(contents.size(), 3u);
  EXPECT_EQ(contents.at(Unprotected("PROD-B", "CORVELID")), "1");
  EXPECT_EQ(WithFreshStampsMarked(contents.at(Unprotected("CORVELIDWTTS", "DATA")), before),
            "PROD-B=" + kDigestAbc + "=NOW");
  EXPECT_TRUE(Logged("Corvelid with TS commit succeeded "));
  // "LineCV 15" is the identifier enciphered under the product code.
  EXPECT_EQ(contents.at(Unprotected("PROD-B", "LineCV 15")).size(), 6u);
  const char* value = nullptr;
  ASSERT_EQ(
      Corvel_TAVLib_GetValueforKeyInSubDomain(mHandle, &value, 512, "LineCV 15", "PROD-B", 1, true),
      0u);
  EXPECT_STREQ(value, kIdAbc);
}

TEST_F(InstallationRecordsTest, AccountRecordUpdatesKeepOrderAndDigests) {
  // A malformed piece, an entry whose digest will match, and one whose digest will not.
  Store("CORVELIDWTTS", "DATA",
        "BROKEN=only-one{|}PROD-B=" + kDigestAbc + "=200{|}PROD-C=" + kDigestA + "=300");
  const int64_t before = NowSeconds();
  RecordAccount(mHandle, "PROD-A", kIdA);  // new: added first in order
  ReleaseAndRenew(1);
  RecordAccount(mHandle, "PROD-B", kIdAbc);  // same digest: only its stamp moves
  ReleaseAndRenew(1);
  RecordAccount(mHandle, "PROD-C", kIdAbc);  // other digest: left as it was
  ReleaseAndRenew(1);
  EXPECT_EQ(
      WithFreshStampsMarked(Stored("CORVELIDWTTS", "DATA").value_or(""), before),
      "PROD-A=" + kDigestA + "=NOW{|}PROD-B=" + kDigestAbc + "=NOW{|}PROD-C=" + kDigestA + "=300");
  EXPECT_EQ(LogCount("Corvelid with TS commit succeeded "), 3);
  EXPECT_EQ(Stored("PROD-C", "CORVELID"), "1");
}

TEST_F(InstallationRecordsTest, EveryRecordOfOneCommitAndNothingElse) {
  Store("PAYLOAD", "Entry", "stale");
  ASSERT_EQ(Corvel_TAVLib_Set_Eula(mHandle, "en_GB", "PRODUCT"), 0u);
  ASSERT_EQ(Corvel_TAVLib_Set_InstallLocale(mHandle, "en_GB", "PRODUCT"), 0u);
  ASSERT_EQ(Corvel_TAVLib_CleanUpCachePCD(mHandle, "PAYLOAD"), 0u);
  RecordAccount(mHandle, "PRODUCT", kIdA);
  ASSERT_EQ(Corvel_TAVLib_SetCorvelIdExtProfile(mHandle, "PRODUCT"), 0u);
  TAVLibProxyCredentials credentials{"proxy-user", "proxy-secret", 1};
  EXPECT_EQ(Corvel_TAVLib_SetCredentialsForProxy(mHandle, &credentials), 0u);
  EXPECT_EQ(Corvel_TAVLib_SetCredentialsForProxy(mHandle, nullptr), 9u);
  char output[4] = "xyz";
  EXPECT_TRUE(Corvel_TAVLib_GetCorvelId(mHandle, output));
  EXPECT_FALSE(Corvel_TAVLib_GetCorvelId(mHandle, nullptr));
  EXPECT_STREQ(output, "xyz");
  ReleaseAndRenew(1);

  std::vector<std::string> keys;
  for (const auto& [key, value] : Contents()) keys.push_back(key);
  EXPECT_EQ(keys,
            (std::vector<std::string>{
                Unprotected("CORVELIDWTTS", "DATA"), Unprotected("PRODUCT", "CORVELID"),
                Unprotected("PRODUCT", "CORVELID_EXT_PROFILE"),
                Unprotected("PRODUCT", "EULA_ACCEPTED"), Unprotected("PRODUCT", "EULA_LANGUAGE"),
                Unprotected("PRODUCT", "INSTALLLOCALE"), Unprotected("PRODUCT", "LineCV 15")}));
  const std::string log = MainLog();
  EXPECT_EQ(log.find("Failed to Commit"), std::string::npos);
  EXPECT_EQ(log.find("proxy-secret"), std::string::npos);
}

TEST_F(InstallationRecordsTest, RefusedWritesAreLoggedAndTheCommitGoesOn) {
  // Another process makes the store, so this one holds no connection to it when the
  // unprivileged child opens it: the child can read the store but not write it.
  ASSERT_EQ(corvel::test::RunInChild([] {
              return WriteStoreValue("PAYLOAD", "Entry", "kept") &&
                             WriteStoreValue("PRODUCT", "INSTALLLOCALE", "de_DE")
                         ? 0
                         : 1;
            }),
            0);
  ASSERT_EQ(chmod(mScratch.pcd_db().c_str(), 0444), 0);  // refuses a non-root writer too
  const int child = corvel::test::RunAsUnprivileged([] {
    TAVLibHandle handle = Corvel_TAVLib_CreateRef();
    if (handle == nullptr || Corvel_TAVLib_Set_Eula(handle, "en_US", "PRODUCT") != 0 ||
        Corvel_TAVLib_Set_InstallLocale(handle, "en_US", "PRODUCT") != 0 ||
        Corvel_TAVLib_CleanUpCachePCD(handle, "PAYLOAD") != 0 ||
        Corvel_TAVLib_SetCorvelId(handle, "PRODUCT") != 0 ||
        Corvel_TAVLib_SaveCorvelId(handle, kIdAbc) != 0 ||
        Corvel_TAVLib_SetCorvelIdExtProfile(handle, "PRODUCT") != 0) {
      return 1;
    }
    Corvel_TAVLib_ReleaseRef(handle, 1);
    return 0;
  });
  ASSERT_EQ(child, 0);
  for (const char* line :
       {"EULA_ACCEPTED Failed to Commit", "EULA_LANGUAGE Failed to Commit",
        "INSTALLLOCALE Failed to Commit", "Can not delete PAYLOAD hive from cache pcd",
        "Set Corvel ID Failed to Commit", "Save CorvelID failed to commit",
        "Corvelid with TS failed to commit ", "Set Corvel ID Ext Profile Failed to Commit",
        "TAVLibImpl::CommitPCD ENDED"}) {
    EXPECT_TRUE(Logged(line)) << line;
  }
  EXPECT_EQ(Contents(), (StoreContents{{Unprotected("PAYLOAD", "Entry"), "kept"},
                                       {Unprotected("PRODUCT", "INSTALLLOCALE"), "de_DE"}}));
}

TEST_F(InstallationRecordsTest, NullHandleIsAnsweredWithoutWork) {
  const char* value = nullptr;
  TAVLibProxyCredentials credentials{};
  EXPECT_EQ(Corvel_TAVLib_EnumerateKeys(nullptr, "K", &value, 0), 4u);
  EXPECT_EQ(Corvel_TAVLib_SetValueforKeyInSubDomainInCache(nullptr, 0, "K", "v", "S", false), 4u);
  EXPECT_EQ(Corvel_TAVLib_GetValueforKeyInSubDomain(nullptr, &value, 512, "K", "S", 1, false), 4u);
  EXPECT_EQ(Corvel_TAVLib_RemoveKeyInSubDomainInCache(nullptr, 0, "K", "S"), 4u);
  EXPECT_EQ(Corvel_TAVLib_CleanUpCachePCD(nullptr, "S"), 4u);
  EXPECT_EQ(Corvel_TAVLib_Set_Eula(nullptr, "en_US", "P"), 4u);
  EXPECT_EQ(Corvel_TAVLib_Set_InstallLocale(nullptr, "en_US", "P"), 4u);
  EXPECT_EQ(Corvel_TAVLib_SetCorvelId(nullptr, "P"), 4u);
  EXPECT_EQ(Corvel_TAVLib_SaveCorvelId(nullptr, "id"), 4u);
  EXPECT_EQ(Corvel_TAVLib_SetCorvelIdExtProfile(nullptr, "P"), 4u);
  EXPECT_EQ(Corvel_TAVLib_SetCredentialsForProxy(nullptr, &credentials), 4u);
  EXPECT_FALSE(Corvel_TAVLib_GetCorvelId(nullptr, &credentials));
  EXPECT_TRUE(Contents().empty());
  const std::string log = MainLog();
  EXPECT_EQ(log.find("STARTED"), std::string::npos);
  EXPECT_EQ(log.find("Started."), std::string::npos);
}

}  // namespace
}  // namespace corvel::records::test
