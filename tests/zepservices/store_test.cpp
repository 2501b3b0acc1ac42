// The store of the services library against a real SQLite file per test.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "test_support.h"
#include "zep_test_util.h"

namespace corvel::zeptest {
namespace {

using Strings = std::vector<std::string>;

TEST(Store, DomainsAreIndependent) {
  test::ScratchFolder scratch;
  Handle store(C_ZEPPCDServiceCreate());
  ASSERT_TRUE(store);
  ASSERT_EQ(C_ZEPPCDServiceSetValueForKeyInSubDomain(store.get(), "protected", "Key", "SUB", false),
            0u);
  ASSERT_EQ(C_ZEPPCDServiceSetValueForKeyInSubDomain(store.get(), "open", "Key", "SUB", true), 0u);
  ASSERT_EQ(C_ZEPPCDServiceSetValueForKeyInSubDomain(store.get(), "other", "Key", "SUB2", true),
            0u);
  EXPECT_EQ(Get(store.get(), "Key", "SUB", false), "protected");
  EXPECT_EQ(Get(store.get(), "Key", "SUB", true), "open");

  EXPECT_EQ(C_ZEPPCDServiceRemoveKeyInSubDomain(store.get(), "Key", "SUB", true), 0u);
  EXPECT_EQ(C_ZEPPCDServiceRemoveKeyInSubDomain(store.get(), "Key", "SUB", true),
            ZEP_STATUS_NOT_FOUND);
  EXPECT_EQ(Get(store.get(), "Key", "SUB", true), NotFound());
  EXPECT_EQ(Get(store.get(), "Key", "SUB", false), "protected");

  ASSERT_EQ(C_ZEPPCDServiceSetValueForKeyInSubDomain(store.get(), "first", "Key", "SUB", true), 0u);
  ASSERT_EQ(C_ZEPPCDServiceSetValueForKeyInSubDomain(store.get(), "again", "Key", "SUB", true), 0u);
  ASSERT_EQ(C_ZEPPCDServiceSetValueForKeyInSubDomain(store.get(), "", "Empty", "SUB", true), 0u);
  EXPECT_EQ(C_ZEPPCDServiceRemoveAllKeysInSubDomain(store.get(), "SUB", false), 0u);
  EXPECT_EQ(C_ZEPPCDServiceRemoveAllKeysInSubDomain(store.get(), "EMPTY", false), 0u);
  store.reset();
  Handle reopened(C_ZEPPCDServiceCreate());
  // An empty value is a value.
  EXPECT_EQ(Get(reopened.get(), "Empty", "SUB", true), "");
  EXPECT_EQ(Rows(reopened.get()), (Strings{"u SUB Empty=", "u SUB Key=again", "u SUB2 Key=other"}));
}

TEST(Store, ReadsAreCutToTheBufferAndSucceed) {
  test::ScratchFolder scratch;
  Handle store(C_ZEPPCDServiceCreate());
  ASSERT_EQ(C_ZEPPCDServiceSetValueForKeyInSubDomain(store.get(), "abcdef", "K", "S", false), 0u);
  char buffer[8];
  std::memset(buffer, 'z', sizeof buffer);
  EXPECT_EQ(C_ZEPPCDServiceValueForKeyInSubDomain(store.get(), buffer, 4, "K", "S", false), 0u);
  EXPECT_STREQ(buffer, "abc");
  EXPECT_EQ(buffer[4], 'z');  // nothing beyond the size given
  EXPECT_EQ(C_ZEPPCDServiceValueForKeyInSubDomain(store.get(), buffer, 7, "K", "S", false), 0u);
  EXPECT_STREQ(buffer, "abcdef");
  EXPECT_EQ(C_ZEPPCDServiceValueForKeyInSubDomain(store.get(), buffer, 1, "K", "S", false), 0u);
  EXPECT_STREQ(buffer, "");
  buffer[0] = 'z';
  EXPECT_NE(C_ZEPPCDServiceValueForKeyInSubDomain(store.get(), buffer, 0, "K", "S", false), 0u);
  EXPECT_EQ(buffer[0], 'z');
  // A failed read leaves an empty text.
  std::strcpy(buffer, "stale");
  EXPECT_EQ(C_ZEPPCDServiceValueForKeyInSubDomain(store.get(), buffer, 8, "Nope", "S", false),
            ZEP_STATUS_NOT_FOUND);
  EXPECT_STREQ(buffer, "");
}

TEST(Store, TextsAreStoredByteForByte) {
  test::ScratchFolder scratch;
  const std::string key = "it's \"quoted\"; DROP TABLE pcd_values; --";
  const std::string subdomain = "{SUB'}; DELETE FROM pcd_values";
  const std::string value = "caf\xc3\xa9 \xe2\x82\xac \xff\xfe raw; 'x' \"y\" %s %n";
  {
    Handle store(C_ZEPPCDServiceCreate());
    ASSERT_EQ(C_ZEPPCDServiceSetValueForKeyInSubDomain(store.get(), value.c_str(), key.c_str(),
                                                       subdomain.c_str(), false),
              0u);
  }
  Handle store(C_ZEPPCDServiceCreate());
  EXPECT_EQ(Get(store.get(), key.c_str(), subdomain.c_str(), false), value);
  EXPECT_EQ(Rows(store.get(), subdomain.c_str()),
            Strings{"p " + subdomain + " " + key + "=" + value});
  // Keys differing only in case are different keys.
  EXPECT_EQ(
      Get(store.get(), "IT'S \"QUOTED\"; DROP TABLE PCD_VALUES; --", subdomain.c_str(), false),
      NotFound());
  EXPECT_EQ(QueryText(scratch.pcd_db(), "SELECT hex(value) FROM pcd_values"),
            "636166C3A920E282AC20FFFE207261773B20277827202279222025732025"
            "6E");
}

TEST(Store, TransactionsNestAndCommitAtTheOutermostEnd) {
  test::ScratchFolder scratch;
  Handle store(C_ZEPPCDServiceCreate());
  ASSERT_EQ(C_ZEPPCDServiceBeginTransaction(store.get()), 0u);
  ASSERT_EQ(C_ZEPPCDServiceBeginTransaction(store.get()), 0u);
  ASSERT_EQ(C_ZEPPCDServiceSetValueForKeyInSubDomain(store.get(), "v", "K", "S", true), 0u);
  EXPECT_EQ(C_ZEPPCDServiceEndTransaction(store.get()), 0u);
  // Still inside the outer transaction: another process sees nothing yet.
  std::string db = scratch.pcd_db();
  EXPECT_EQ(RunInChildProcess(
                [&] { return QueryText(db, "SELECT count(*) FROM pcd_values") == "0" ? 0 : 1; }),
            0);
  EXPECT_EQ(C_ZEPPCDServiceEndTransaction(store.get()), 0u);
  EXPECT_EQ(RunInChildProcess(
                [&] { return QueryText(db, "SELECT value FROM pcd_values") == "v" ? 0 : 1; }),
            0);
  EXPECT_EQ(C_ZEPPCDServiceEndTransaction(store.get()), ZEP_STATUS_NO_TRANSACTION);
}

TEST(Store, SecondHandleWritesInsideTheOpenTransaction) {
  test::ScratchFolder scratch;
  Handle outer(C_ZEPPCDServiceCreate());
  ASSERT_EQ(C_ZEPPCDServiceSetValueForKeyInSubDomain(outer.get(), "before", "Old", "S", true), 0u);
  ASSERT_EQ(C_ZEPPCDServiceBeginTransaction(outer.get()), 0u);
  ASSERT_EQ(C_ZEPPCDServiceSetValueForKeyInSubDomain(outer.get(), "a", "A", "S", true), 0u);
  {
    // Created inside the transaction, as the commit's account update creates its own handle.
    Handle inner(C_ZEPPCDServiceCreate());
    ASSERT_TRUE(inner);
    EXPECT_EQ(C_ZEPPCDServiceSetValueForKeyInSubDomain(inner.get(), "b", "B", "S", true), 0u);
    EXPECT_EQ(C_ZEPPCDServiceSetValueForKeyInSubDomain(inner.get(), "changed", "Old", "S", true),
              0u);
    EXPECT_EQ(Get(inner.get(), "A", "S", true), "a");  // sees the transaction's writes
    // The inner handle cannot end a transaction it did not begin.
    EXPECT_EQ(C_ZEPPCDServiceEndTransaction(inner.get()), ZEP_STATUS_NO_TRANSACTION);
  }
  // Released without its end: the transaction, with the other handle's writes, is undone.
  outer.reset();
  Handle store(C_ZEPPCDServiceCreate());
  EXPECT_EQ(Rows(store.get()), Strings{"u S Old=before"});

  ASSERT_EQ(C_ZEPPCDServiceBeginTransaction(store.get()), 0u);
  {
    Handle inner(C_ZEPPCDServiceCreate());
    ASSERT_EQ(C_ZEPPCDServiceSetValueForKeyInSubDomain(inner.get(), "b", "B", "S", true), 0u);
    Handle eula(C_EULAServiceCreate());
    ASSERT_EQ(C_EULA_SetState(eula.get(), "PROD", 1, 4, "fr_FR"), 0u);
  }
  ASSERT_EQ(C_ZEPPCDServiceEndTransaction(store.get()), 0u);
  EXPECT_EQ(Rows(store.get()), (Strings{"u S B=b", "u S Old=before"}));
  EXPECT_EQ(QueryText(scratch.pcd_db(),
                      "SELECT language FROM eula_states WHERE product_code = 'PROD' AND kind = 4 "
                      "AND state = 1"),
            "fr_FR");
}

TEST(Store, ThreadsShareTheConnectionAndItsTransaction) {
  test::ScratchFolder scratch;
  Handle outer(C_ZEPPCDServiceCreate());
  ASSERT_EQ(C_ZEPPCDServiceBeginTransaction(outer.get()), 0u);
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      std::string subdomain = "T" + std::to_string(t);
      for (int i = 0; i < 100; ++i) {
        Handle store(C_ZEPPCDServiceCreate());
        std::string key = "K" + std::to_string(i);
        if (C_ZEPPCDServiceSetValueForKeyInSubDomain(store.get(), key.c_str(), key.c_str(),
                                                     subdomain.c_str(), true) != 0 ||
            Get(store.get(), key.c_str(), subdomain.c_str(), true) != key) {
          ++failures[t];
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
  ASSERT_EQ(C_ZEPPCDServiceEndTransaction(outer.get()), 0u);
  EXPECT_EQ(QueryText(scratch.pcd_db(), "SELECT count(*) FROM pcd_values"), "400");
}

TEST(Store, CreatesTheDefaultDatabaseWithExplicitModes) {
  test::ScratchFolder scratch;
  platform::SetEnvironmentValue("ZEP_PCD_DB", "");
  mode_t previous = umask(077);  // the modes must not come from the umask
  Handle store(C_ZEPPCDServiceCreate());
  umask(previous);
  ASSERT_TRUE(store);
  struct stat info {};
  std::string folder = scratch.common_appdata() + "/Corvel";
  ASSERT_EQ(stat(folder.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0755u);
  ASSERT_EQ(stat((folder + "/PCD").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0755u);
  ASSERT_EQ(stat((folder + "/PCD/pcd.db").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0644u);
  EXPECT_EQ(C_ZEPPCDServiceCheckDatabase(store.get(), false), 0u);
}

TEST(Store, CheckDatabaseReportsAndRepairsAMissingSchema) {
  test::ScratchFolder scratch;
  Handle store(C_ZEPPCDServiceCreate());
  ASSERT_EQ(C_ZEPPCDServiceSetValueForKeyInSubDomain(store.get(), "v", "K", "S", true), 0u);
  store.reset();  // closes the process's connection
  EXPECT_EQ(QueryText(scratch.pcd_db(), "DROP TABLE eula_states"), "<no row>");
  // Create finds half a schema: it adds what is missing and keeps the values.
  Handle again(C_ZEPPCDServiceCreate());
  ASSERT_TRUE(again);
  EXPECT_EQ(C_ZEPPCDServiceCheckDatabase(again.get(), false), 0u);
  EXPECT_EQ(Get(again.get(), "K", "S", true), "v");
  // Dropped while the handle lives: reported, and created again on request.
  EXPECT_EQ(QueryText(scratch.pcd_db(), "DROP TABLE eula_states"), "<no row>");
  EXPECT_NE(C_ZEPPCDServiceCheckDatabase(again.get(), false), 0u);
  EXPECT_EQ(C_ZEPPCDServiceCheckDatabase(again.get(), true), 0u);
  EXPECT_EQ(C_ZEPPCDServiceCheckDatabase(again.get(), false), 0u);
}

TEST(Store, UnusableDatabaseGivesNoHandle) {
  test::ScratchFolder scratch;
  ASSERT_TRUE(test::WriteWholeFile(scratch.pcd_db(), std::string(4096, 'G')));
  EXPECT_EQ(C_ZEPPCDServiceCreate(), nullptr);
  EXPECT_EQ(C_EULAServiceCreate(), nullptr);
  // A file where a folder is expected: nobody can create the database there.
  ASSERT_TRUE(test::WriteWholeFile(scratch.Path("plain"), "x"));
  platform::SetEnvironmentValue("ZEP_PCD_DB", scratch.Path("plain/sub/pcd.db"));
  EXPECT_EQ(C_ZEPPCDServiceCreate(), nullptr);
}

TEST(Store, ReadOnlyStoreRefusesWritesWithAStatus) {
  test::ScratchFolder scratch;
  {
    Handle store(C_ZEPPCDServiceCreate());
    ASSERT_EQ(C_ZEPPCDServiceSetValueForKeyInSubDomain(store.get(), "v", "K", "S", false), 0u);
  }
  ASSERT_EQ(chmod(scratch.pcd_db().c_str(), 0444), 0);
  // As root the child runs as "nobody", for whom the mode applies.
  int result = test::RunAsUnprivileged([] {
    Handle store(C_ZEPPCDServiceCreate());
    if (!store) return 1;
    if (Get(store.get(), "K", "S", false) != "v") return 2;
    if (C_ZEPPCDServiceSetValueForKeyInSubDomain(store.get(), "w", "K", "S", false) !=
        ZEP_STATUS_READ_ONLY)
      return 3;
    if (C_ZEPPCDServiceRemoveKeyInSubDomain(store.get(), "K", "S", false) != ZEP_STATUS_READ_ONLY)
      return 4;
    Handle eula(C_EULAServiceCreate());
    if (C_EULA_SetState(eula.get(), "P", 1, 4, "en") != ZEP_STATUS_READ_ONLY) return 5;
    // A transaction on a store it can only read still gives consistent reads.
    if (C_ZEPPCDServiceBeginTransaction(store.get()) != 0) return 6;
    if (C_ZEPPCDServiceSetValueForKeyInSubDomain(store.get(), "w", "K", "S", false) == 0) return 7;
    if (Get(store.get(), "K", "S", false) != "v") return 8;
    if (C_ZEPPCDServiceEndTransaction(store.get()) != 0) return 9;
    return 0;
  });
  EXPECT_EQ(result, 0);
  ASSERT_EQ(chmod(scratch.pcd_db().c_str(), 0644), 0);
  Handle store(C_ZEPPCDServiceCreate());
  EXPECT_EQ(Get(store.get(), "K", "S", false), "v");
}

TEST(Store, LicensingCodeAndEnumeration) {
  test::ScratchFolder scratch;
  Handle store(C_ZEPPCDServiceCreate());
  ASSERT_EQ(C_ZEPPCDServiceSetValueForKeyInSubDomain(store.get(), "PRODUCT1", "LicensingCode",
                                                     "PAYLOAD1", false),
            0u);
  ASSERT_EQ(C_ZEPPCDServiceSetValueForKeyInSubDomain(store.get(), "UNPROT", "LicensingCode",
                                                     "PAYLOAD2", true),
            0u);
  ASSERT_EQ(C_ZEPPCDServiceSetValueForKeyInSubDomain(store.get(), "z", "B", "PAYLOAD1", true), 0u);
  char buffer[512];
  EXPECT_EQ(
      C_ZEPPCDServiceLicensingCodeForCorvelCode(store.get(), buffer, sizeof buffer, "PAYLOAD1"),
      0u);
  EXPECT_STREQ(buffer, "PRODUCT1");
  // Only the protected domain answers.
  EXPECT_EQ(
      C_ZEPPCDServiceLicensingCodeForCorvelCode(store.get(), buffer, sizeof buffer, "PAYLOAD2"),
      ZEP_STATUS_NOT_FOUND);
  EXPECT_EQ(C_ZEPPCDServiceLicensingCodeForCorvelCode(store.get(), buffer, 4, "PAYLOAD1"), 0u);
  EXPECT_STREQ(buffer, "PRO");

  EXPECT_EQ(Rows(store.get()), (Strings{"p PAYLOAD1 LicensingCode=PRODUCT1", "u PAYLOAD1 B=z",
                                        "u PAYLOAD2 LicensingCode=UNPROT"}));
  EXPECT_EQ(Rows(store.get(), "PAYLOAD1"),
            (Strings{"p PAYLOAD1 LicensingCode=PRODUCT1", "u PAYLOAD1 B=z"}));
  EXPECT_EQ(Rows(store.get(), "NONE"), Strings{});
  int visits = 0;
  EXPECT_EQ(C_ZEPPCDServiceEnumerate(
                store.get(), nullptr,
                [](void* context, bool, const char*, const char*, const char*) {
                  return ++*static_cast<int*>(context) == 2 ? 1 : 0;
                },
                &visits),
            0u);
  EXPECT_EQ(visits, 2);  // stopped by the callback
}

TEST(Store, EntryPointsRefuseNullWrongAndReleasedHandles) {
  test::ScratchFolder scratch;
  char buffer[8];
  ZEPHandle logger = C_ZEPLoggerCreateFileLoggerWithPathAndSize(scratch.Path("x.log").c_str(), 0);
  ZEPHandle released = C_ZEPPCDServiceCreate();
  C_ZEPRelease(released);
  C_ZEPRelease(released);  // a second release of a dead handle is ignored
  for (ZEPHandle bad : {static_cast<ZEPHandle>(nullptr), logger, released}) {
    EXPECT_EQ(C_ZEPPCDServiceBeginTransaction(bad), ZEP_STATUS_INVALID_ARGUMENT);
    EXPECT_EQ(C_ZEPPCDServiceEndTransaction(bad), ZEP_STATUS_INVALID_ARGUMENT);
    EXPECT_EQ(C_ZEPPCDServiceCheckDatabase(bad, true), ZEP_STATUS_INVALID_ARGUMENT);
    EXPECT_EQ(C_ZEPPCDServiceValueForKeyInSubDomain(bad, buffer, 8, "k", "s", true),
              ZEP_STATUS_INVALID_ARGUMENT);
    EXPECT_EQ(C_ZEPPCDServiceSetValueForKeyInSubDomain(bad, "v", "k", "s", true),
              ZEP_STATUS_INVALID_ARGUMENT);
    EXPECT_EQ(C_ZEPPCDServiceRemoveKeyInSubDomain(bad, "k", "s", true),
              ZEP_STATUS_INVALID_ARGUMENT);
    EXPECT_EQ(C_ZEPPCDServiceRemoveAllKeysInSubDomain(bad, "s", true), ZEP_STATUS_INVALID_ARGUMENT);
    EXPECT_EQ(C_ZEPPCDServiceLicensingCodeForCorvelCode(bad, buffer, 8, "p"),
              ZEP_STATUS_INVALID_ARGUMENT);
    EXPECT_EQ(C_EULA_SetState(bad, "p", 1, 4, "en"), ZEP_STATUS_INVALID_ARGUMENT);
    C_ZEPLoggingServiceAddLogger(bad, logger);
    C_ZEPLoggingServiceCleanUpResource(bad);
  }
  Handle store(C_ZEPPCDServiceCreate());
  Handle eula(C_EULAServiceCreate());
  EXPECT_EQ(C_ZEPPCDServiceValueForKeyInSubDomain(store.get(), nullptr, 8, "k", "s", true),
            ZEP_STATUS_INVALID_ARGUMENT);
  EXPECT_EQ(C_ZEPPCDServiceValueForKeyInSubDomain(store.get(), buffer, 8, nullptr, "s", true),
            ZEP_STATUS_INVALID_ARGUMENT);
  EXPECT_EQ(C_ZEPPCDServiceValueForKeyInSubDomain(store.get(), buffer, 8, "k", nullptr, true),
            ZEP_STATUS_INVALID_ARGUMENT);
  EXPECT_EQ(C_ZEPPCDServiceSetValueForKeyInSubDomain(store.get(), nullptr, "k", "s", true),
            ZEP_STATUS_INVALID_ARGUMENT);
  EXPECT_EQ(C_ZEPPCDServiceSetValueForKeyInSubDomain(store.get(), "v", nullptr, "s", true),
            ZEP_STATUS_INVALID_ARGUMENT);
  EXPECT_EQ(C_ZEPPCDServiceSetValueForKeyInSubDomain(store.get(), "v", "k", nullptr, true),
            ZEP_STATUS_INVALID_ARGUMENT);
  EXPECT_EQ(C_ZEPPCDServiceRemoveKeyInSubDomain(store.get(), nullptr, "s", true),
            ZEP_STATUS_INVALID_ARGUMENT);
  EXPECT_EQ(C_ZEPPCDServiceRemoveKeyInSubDomain(store.get(), "k", nullptr, true),
            ZEP_STATUS_INVALID_ARGUMENT);
  EXPECT_EQ(C_ZEPPCDServiceRemoveAllKeysInSubDomain(store.get(), nullptr, true),
            ZEP_STATUS_INVALID_ARGUMENT);
  EXPECT_EQ(C_ZEPPCDServiceLicensingCodeForCorvelCode(store.get(), buffer, 8, nullptr),
            ZEP_STATUS_INVALID_ARGUMENT);
  EXPECT_EQ(C_ZEPPCDServiceEnumerate(store.get(), nullptr, nullptr, nullptr),
            ZEP_STATUS_INVALID_ARGUMENT);
  EXPECT_EQ(C_EULA_SetState(eula.get(), nullptr, 1, 4, "en"), ZEP_STATUS_INVALID_ARGUMENT);
  EXPECT_EQ(C_EULA_SetState(eula.get(), "p", 1, 4, nullptr), ZEP_STATUS_INVALID_ARGUMENT);
  EXPECT_EQ(C_EULA_SetState(store.get(), "p", 1, 4, "en"), ZEP_STATUS_INVALID_ARGUMENT);
  EXPECT_EQ(C_ZEPPCDServiceBeginTransaction(eula.get()), ZEP_STATUS_INVALID_ARGUMENT);
  C_ZEPRelease(nullptr);
  C_ZEPRelease(logger);
  // Nothing was written by the refused calls.
  EXPECT_EQ(Rows(store.get()), Strings{});
}

}  // namespace
}  // namespace corvel::zeptest
