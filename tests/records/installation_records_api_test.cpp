// Installation records and the commit steps that write them, through the C interface
// against the real store.
#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "records_api_support.h"

namespace corvel::records::test {
namespace {

using InstallationRecordsTest = RecordsApiTest;

// MD5 digests (RFC 1321 test suite) of the account identifiers used below.
constexpr char kIdAbc[] = "abc";
constexpr char kDigestAbc[] = "900150983CD24FB0D6963F7D28E17F72";
constexpr char kIdA[] = "a";
constexpr char kDigestA[] = "0CC175B9C0F1B6A831C399E269772661";

std::string AccountEntry(const std::string& code, const std::string& digest,
                         const std::string& stamp) {
  return code + "=" + digest + "=" + stamp;
}

// The time stamp of the record's entry for `code`, checked to lie in [from, to].
void ExpectFreshStamp(const std::string& record, const std::string& code, int64_t from,
                      int64_t to) {
  const size_t at = record.find(code + "=");
  ASSERT_NE(at, std::string::npos) << record;
  const size_t stamp_at = record.find('=', record.find('=', at) + 1) + 1;
  const int64_t stamp = std::strtoll(record.c_str() + stamp_at, nullptr, 10);
  EXPECT_GE(stamp, from) << record;
  EXPECT_LE(stamp, to) << record;
}

TEST_F(InstallationRecordsTest, AgreementIsWrittenOnlyByACommittingRelease) {
  for (int32_t commit : {0, 2}) {
    ASSERT_EQ(Corvel_TAVLib_Set_Eula(mHandle, "de_DE", "PRODUCT"), 0u);
    ReleaseAndRenew(commit);
    EXPECT_TRUE(Contents().empty()) << "commit flag " << commit;
  }
  ASSERT_EQ(Corvel_TAVLib_Set_Eula(mHandle, "de_DE", "PRODUCT"), 0u);
  ReleaseAndRenew(1);
  EXPECT_EQ(Contents(), (StoreContents{{Unprotected("PRODUCT", "EULA_ACCEPTED"), "1"},
                                       {Unprotected("PRODUCT", "EULA_LANGUAGE"), "de_DE"}}));
  EXPECT_TRUE(Logged("TAVLib EULAFlag EndeD"));
}

TEST_F(InstallationRecordsTest, AgreementNeedsBothArgumentsAtInstallTime) {
  EXPECT_EQ(Corvel_TAVLib_Set_Eula(mHandle, "de_DE", nullptr), 9u);
  EXPECT_EQ(Corvel_TAVLib_Set_Eula(mHandle, nullptr, "PRODUCT"), 9u);
  EXPECT_EQ(Corvel_TAVLib_Set_Eula(mHandle, "de_DE", "PRO\xFF"), 9u);
  EXPECT_EQ(LogCount("TAVLib EULAFlag STARTED"), 3);
  EXPECT_FALSE(Logged("TAVLib EULAFlag EndeD"));
  ReleaseAndRenew(1);
  EXPECT_TRUE(Contents().empty());
}

// The agreement rows the services library's agreement service recorded.
std::vector<std::string> AgreementRows(const std::string& database) {
  std::vector<std::string> rows;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db,
                           "SELECT product_code, state, kind, language FROM eula_states "
                           "ORDER BY product_code",
                           -1, &statement, nullptr) == SQLITE_OK) {
      while (sqlite3_step(statement) == SQLITE_ROW) {
        std::string row;
        for (int column = 0; column < 4; ++column) {
          if (column > 0) row += ",";
          row += reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
        }
        rows.push_back(row);
      }
    }
    sqlite3_finalize(statement);
  }
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
  EXPECT_EQ(AgreementRows(mScratch.pcd_db()),
            std::vector<std::string>{"DRIVER-PRODUCT,1,4,ja_JP"});
}

TEST_F(InstallationRecordsTest, InstallLocaleListGrowsBySubstringTest) {
  const auto commit_locale = [this](const char* locale) {
    ASSERT_EQ(Corvel_TAVLib_Set_InstallLocale(mHandle, locale, "PRODUCT"), 0u);
    ReleaseAndRenew(1);
  };
  commit_locale("en_US");
  EXPECT_EQ(Stored("PRODUCT", "INSTALLLOCALE"), "en_US");
  commit_locale("fr_FR");
  EXPECT_EQ(Stored("PRODUCT", "INSTALLLOCALE"), "en_US{|}fr_FR");
  commit_locale("fr_FR");
  EXPECT_EQ(Stored("PRODUCT", "INSTALLLOCALE"), "en_US{|}fr_FR");
  commit_locale("en");  // contained in "en_US"
  EXPECT_EQ(Contents(), (StoreContents{{Unprotected("PRODUCT", "INSTALLLOCALE"),
                                        "en_US{|}fr_FR"}}));

  // The refusal logs both lines too: four calls above, one here.
  EXPECT_EQ(Corvel_TAVLib_Set_InstallLocale(mHandle, nullptr, "PRODUCT"), 9u);
  EXPECT_EQ(LogCount("TAVLib SetInstallLocale STARTED"), 5);
  EXPECT_EQ(LogCount("TAVLib SetInstallLocale ENDED"), 5);
}

TEST_F(InstallationRecordsTest, LocaleListIsReadThrough511Characters) {
  // A stored list longer than the read buffer is seen cut at 511 characters.
  const std::string long_list = std::string(600, 'x');
  Store("PRODUCT", "INSTALLLOCALE", long_list);
  ASSERT_EQ(Corvel_TAVLib_Set_InstallLocale(mHandle, "xx_YY", "PRODUCT"), 0u);
  ReleaseAndRenew(1);
  EXPECT_EQ(Stored("PRODUCT", "INSTALLLOCALE"), std::string(511, 'x') + "{|}xx_YY");
}

TEST_F(InstallationRecordsTest, SaveCorvelIdBeforeSetCorvelIdIsRefused) {
  EXPECT_EQ(Corvel_TAVLib_SaveCorvelId(mHandle, kIdAbc), 257u);
  EXPECT_TRUE(Logged("Error : SetCorvelID not called!"));
  EXPECT_EQ(Corvel_TAVLib_SetCorvelId(mHandle, nullptr), 9u);
  EXPECT_EQ(Corvel_TAVLib_SaveCorvelId(mHandle, nullptr), 9u);
  ReleaseAndRenew(1);
  EXPECT_TRUE(Contents().empty());

  // The identifier given too early is not remembered.
  ASSERT_EQ(Corvel_TAVLib_SetCorvelId(mHandle, "PRODUCT"), 0u);
  ReleaseAndRenew(1);
  EXPECT_EQ(Contents(), (StoreContents{{Unprotected("PRODUCT", "CORVELID"), "1"}}));
}

TEST_F(InstallationRecordsTest, AccountRecordsOfOneProduct) {
  const int64_t before = NowSeconds();
  ASSERT_EQ(Corvel_TAVLib_SetCorvelId(mHandle, "PROD-B"), 0u);
  ASSERT_EQ(Corvel_TAVLib_SaveCorvelId(mHandle, kIdAbc), 0u);
  ReleaseAndRenew(1);
  const int64_t after = NowSeconds();

  const StoreContents contents = Contents();
  ASSERT_EQ(contents.size(), 3u);
  EXPECT_EQ(contents.at(Unprotected("PROD-B", "CORVELID")), "1");
  const std::string record = contents.at(Unprotected("CORVELIDWTTS", "DATA"));
  EXPECT_EQ(record.rfind(AccountEntry("PROD-B", kDigestAbc, ""), 0), 0u) << record;
  EXPECT_EQ(record.find("{|}"), std::string::npos);
  ExpectFreshStamp(record, "PROD-B", before, after);
  EXPECT_TRUE(Logged("Corvelid with TS commit succeeded "));

  // "LineCV 15" is the identifier enciphered under the product code.
  const std::string enciphered = contents.at(Unprotected("PROD-B", "LineCV 15"));
  EXPECT_EQ(enciphered.size(), 6u);
  const char* value = nullptr;
  ASSERT_EQ(Corvel_TAVLib_GetValueforKeyInSubDomain(mHandle, &value, 512, "LineCV 15", "PROD-B",
                                                    1, true),
            0u);
  EXPECT_STREQ(value, kIdAbc);
}

TEST_F(InstallationRecordsTest, AccountRecordKeepsProductsInOrder) {
  ASSERT_EQ(Corvel_TAVLib_SetCorvelId(mHandle, "PROD-B"), 0u);
  ASSERT_EQ(Corvel_TAVLib_SaveCorvelId(mHandle, kIdAbc), 0u);
  ReleaseAndRenew(1);
  ASSERT_EQ(Corvel_TAVLib_SetCorvelId(mHandle, "PROD-A"), 0u);
  ASSERT_EQ(Corvel_TAVLib_SaveCorvelId(mHandle, kIdA), 0u);
  ReleaseAndRenew(1);

  const std::string record = Stored("CORVELIDWTTS", "DATA").value_or("");
  const size_t separator = record.find("{|}");
  ASSERT_NE(separator, std::string::npos) << record;
  EXPECT_EQ(record.rfind(AccountEntry("PROD-A", kDigestA, ""), 0), 0u) << record;
  EXPECT_EQ(record.substr(separator + 3).rfind(AccountEntry("PROD-B", kDigestAbc, ""), 0), 0u)
      << record;
  EXPECT_EQ(record.find("{|}", separator + 3), std::string::npos) << record;
}

TEST_F(InstallationRecordsTest, SameDigestMovesOnlyItsTimeStamp) {
  Store("CORVELIDWTTS", "DATA",
        AccountEntry("PROD-A", kDigestA, "100") + "{|}" + AccountEntry("PROD-B", kDigestAbc, "200"));
  const int64_t before = NowSeconds();
  ASSERT_EQ(Corvel_TAVLib_SetCorvelId(mHandle, "PROD-B"), 0u);
  ASSERT_EQ(Corvel_TAVLib_SaveCorvelId(mHandle, kIdAbc), 0u);
  ReleaseAndRenew(1);
  const int64_t after = NowSeconds();

  const std::string record = Stored("CORVELIDWTTS", "DATA").value_or("");
  const std::string kept = AccountEntry("PROD-A", kDigestA, "100") + "{|}" +
                           AccountEntry("PROD-B", kDigestAbc, "");
  EXPECT_EQ(record.rfind(kept, 0), 0u) << record;
  ExpectFreshStamp(record, "PROD-B", before, after);
}

TEST_F(InstallationRecordsTest, OtherDigestLeavesTheRecordUnchanged) {
  const std::string stored = AccountEntry("PROD-B", kDigestA, "200");
  Store("CORVELIDWTTS", "DATA", stored);
  ASSERT_EQ(Corvel_TAVLib_SetCorvelId(mHandle, "PROD-B"), 0u);
  ASSERT_EQ(Corvel_TAVLib_SaveCorvelId(mHandle, kIdAbc), 0u);
  ReleaseAndRenew(1);
  EXPECT_EQ(Stored("CORVELIDWTTS", "DATA"), stored);
  EXPECT_TRUE(Logged("Corvelid with TS commit succeeded "));
  // The other records are written all the same.
  EXPECT_EQ(Stored("PROD-B", "CORVELID"), "1");
  EXPECT_TRUE(Stored("PROD-B", "LineCV 15").has_value());
}

TEST_F(InstallationRecordsTest, MalformedStoredPieceIsDropped) {
  Store("CORVELIDWTTS", "DATA", "BROKEN=only-one{|}" + AccountEntry("PROD-A", kDigestA, "100"));
  ASSERT_EQ(Corvel_TAVLib_SetCorvelId(mHandle, "PROD-C"), 0u);
  ASSERT_EQ(Corvel_TAVLib_SaveCorvelId(mHandle, kIdAbc), 0u);
  ReleaseAndRenew(1);
  const std::string record = Stored("CORVELIDWTTS", "DATA").value_or("");
  EXPECT_EQ(record.rfind(AccountEntry("PROD-A", kDigestA, "100") + "{|}" +
                             AccountEntry("PROD-C", kDigestAbc, ""),
                         0),
            0u)
      << record;
  EXPECT_EQ(record.find("BROKEN"), std::string::npos);
}

TEST_F(InstallationRecordsTest, EmptyIdentifierWritesOnlyTheAccountFlag) {
  ASSERT_EQ(Corvel_TAVLib_SetCorvelId(mHandle, "PRODUCT"), 0u);
  ASSERT_EQ(Corvel_TAVLib_SaveCorvelId(mHandle, ""), 0u);
  ASSERT_EQ(Corvel_TAVLib_SetCorvelIdExtProfile(mHandle, "EXT-PRODUCT"), 0u);
  EXPECT_EQ(Corvel_TAVLib_SetCorvelIdExtProfile(mHandle, nullptr), 9u);
  ReleaseAndRenew(1);
  EXPECT_EQ(Contents(), (StoreContents{{Unprotected("PRODUCT", "CORVELID"), "1"},
                                       {Unprotected("EXT-PRODUCT", "CORVELID_EXT_PROFILE"), "1"}}));
  EXPECT_EQ(LogCount("TAVLib SetCorvelIdExtProfile END"), 1);
}

TEST_F(InstallationRecordsTest, EveryRecordOfOneCommitTogether) {
  Store("PAYLOAD", "Entry", "stale");
  ASSERT_EQ(Corvel_TAVLib_Set_Eula(mHandle, "en_GB", "PRODUCT"), 0u);
  ASSERT_EQ(Corvel_TAVLib_Set_InstallLocale(mHandle, "en_GB", "PRODUCT"), 0u);
  ASSERT_EQ(Corvel_TAVLib_CleanUpCachePCD(mHandle, "PAYLOAD"), 0u);
  ASSERT_EQ(Corvel_TAVLib_SetCorvelId(mHandle, "PRODUCT"), 0u);
  ASSERT_EQ(Corvel_TAVLib_SaveCorvelId(mHandle, kIdA), 0u);
  ASSERT_EQ(Corvel_TAVLib_SetCorvelIdExtProfile(mHandle, "PRODUCT"), 0u);
  ReleaseAndRenew(1);
  const StoreContents contents = Contents();
  std::vector<std::string> keys;
  for (const auto& [key, value] : contents) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{
                      Unprotected("CORVELIDWTTS", "DATA"),
                      Unprotected("PRODUCT", "CORVELID"),
                      Unprotected("PRODUCT", "CORVELID_EXT_PROFILE"),
                      Unprotected("PRODUCT", "EULA_ACCEPTED"),
                      Unprotected("PRODUCT", "EULA_LANGUAGE"),
                      Unprotected("PRODUCT", "INSTALLLOCALE"),
                      Unprotected("PRODUCT", "LineCV 15"),
                  }));
  EXPECT_EQ(MainLog().find("Failed to Commit"), std::string::npos);
}

TEST_F(InstallationRecordsTest, GetCorvelIdAnswersForAnyNonNullOutput) {
  char output[4] = "xyz";
  EXPECT_TRUE(Corvel_TAVLib_GetCorvelId(mHandle, output));
  EXPECT_STREQ(output, "xyz");
  EXPECT_FALSE(Corvel_TAVLib_GetCorvelId(mHandle, nullptr));
  EXPECT_EQ(LogCount("TAVLib GetCorvelId STARTED"), 2);
  EXPECT_EQ(LogCount("TAVLib GetCorvelId END"), 1);
  EXPECT_FALSE(Corvel_TAVLib_GetCorvelId(nullptr, output));
}

TEST_F(InstallationRecordsTest, ProxyCredentialsAreCheckedAndNeverStored) {
  TAVLibProxyCredentials credentials{};
  std::strcpy(credentials.username, "proxy-user");
  std::strcpy(credentials.password, "proxy-secret");
  credentials.remember = 1;
  EXPECT_EQ(Corvel_TAVLib_SetCredentialsForProxy(mHandle, &credentials), 0u);
  EXPECT_EQ(Corvel_TAVLib_SetCredentialsForProxy(mHandle, nullptr), 9u);
  EXPECT_TRUE(Logged("TAVLIB Invalid argument passed "));
  EXPECT_EQ(LogCount("TAVLIB SetCredentialsForProxy: ENDED"), 2);
  ReleaseAndRenew(1);
  EXPECT_TRUE(Contents().empty());
  EXPECT_EQ(MainLog().find("proxy-secret"), std::string::npos);
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
  EXPECT_TRUE(Contents().empty());
  const std::string log = MainLog();
  EXPECT_EQ(log.find("STARTED"), std::string::npos);
  EXPECT_EQ(log.find("Started."), std::string::npos);
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
    if (handle == nullptr) return 10;
    if (Corvel_TAVLib_Set_Eula(handle, "en_US", "PRODUCT") != 0 ||
        Corvel_TAVLib_Set_InstallLocale(handle, "en_US", "PRODUCT") != 0 ||
        Corvel_TAVLib_CleanUpCachePCD(handle, "PAYLOAD") != 0 ||
        Corvel_TAVLib_SetCorvelId(handle, "PRODUCT") != 0 ||
        Corvel_TAVLib_SaveCorvelId(handle, kIdAbc) != 0 ||
        Corvel_TAVLib_SetCorvelIdExtProfile(handle, "PRODUCT") != 0) {
      return 11;
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

}  // namespace
}  // namespace corvel::records::test
