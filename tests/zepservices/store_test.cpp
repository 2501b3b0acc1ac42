// The store of the services library: transactions that nest, handles created inside a
// transaction that write into it, bounded reads, the database's repair, the refusal of bad
// arguments, and several processes writing at once; read back from outside through the
// store's file.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "store_snapshot.h"
#include "test_support.h"
#include "zepservices.h"

namespace corvel::zeptest {
namespace {

using test::ReadSnapshot;
using test::StoreRows;
using test::U;

struct Handle {
  explicit Handle(ZEPHandle h = C_ZEPPCDServiceCreate()) : get(h) {}
  ~Handle() { C_ZEPRelease(get); }
  ZEPHandle get;
};

// The status both calls answered, or ~0 when they differ.
ZEPStatus Same(ZEPStatus a, ZEPStatus b) { return a == b ? a : ~0u; }

ZEPStatus Set(ZEPHandle store, const std::string& key, const std::string& value,
              const char* subdomain = "S") {
  return C_ZEPPCDServiceSetValueForKeyInSubDomain(store, value.c_str(), key.c_str(), subdomain,
                                                  true);
}

TEST(Store, TransactionsNestCommitAtTheOutermostEndAndAreUndoneByAReleaseInside) {
  test::ScratchFolder scratch;
  Handle store;
  ASSERT_EQ(Set(store.get, "Old", "before"), 0u);
  ASSERT_EQ(C_ZEPPCDServiceBeginTransaction(store.get), 0u);
  ASSERT_EQ(C_ZEPPCDServiceBeginTransaction(store.get), 0u);
  ASSERT_EQ(Set(store.get, "A", "a"), 0u);
  EXPECT_EQ(C_ZEPPCDServiceEndTransaction(store.get), 0u);
  {
    // Created inside the transaction (as the commit's account update creates its own handle):
    // it writes into the transaction, sees its writes, and cannot end it.
    Handle inner;
    EXPECT_EQ(Set(inner.get, "B", "b"), 0u);
    char value[8] = {};
    EXPECT_EQ(C_ZEPPCDServiceValueForKeyInSubDomain(inner.get, value, sizeof value, "A", "S", true),
              0u);
    EXPECT_STREQ(value, "a");
    EXPECT_EQ(C_ZEPPCDServiceEndTransaction(inner.get), ZEP_STATUS_NO_TRANSACTION);
    Handle eula(C_EULAServiceCreate());
    EXPECT_EQ(C_EULA_SetState(eula.get, "PROD", 1, 4, "fr_FR"), 0u);
  }
  // Still inside the outer transaction: nothing shows outside yet.
  EXPECT_EQ(ReadSnapshot(scratch.pcd_db()).values, StoreRows{U("S", "Old", "before")});
  EXPECT_EQ(C_ZEPPCDServiceEndTransaction(store.get), 0u);
  const test::StoreSnapshot after = ReadSnapshot(scratch.pcd_db());
  EXPECT_EQ(after.values, (StoreRows{U("S", "Old", "before"), U("S", "A", "a"), U("S", "B", "b")}));
  EXPECT_EQ(after.other_tables.at("eula_states").size(), 1u);
  EXPECT_EQ(C_ZEPPCDServiceEndTransaction(store.get), ZEP_STATUS_NO_TRANSACTION);
  {
    // A handle released inside its transaction undoes it, with another handle's writes.
    Handle outer;
    ASSERT_EQ(C_ZEPPCDServiceBeginTransaction(outer.get), 0u);
    EXPECT_EQ(Set(Handle().get, "Old", "changed"), 0u);
  }
  EXPECT_EQ(ReadSnapshot(scratch.pcd_db()), after);
}

TEST(Store, ACommitRefusedForAReadersLockIsUndoneAndTheHandleBeginsAgain) {
  test::ScratchFolder scratch;
  test::SetVariable("ZEP_PCD_BUSY_TIMEOUT_MS", "50");
  Handle store;
  ASSERT_EQ(Set(store.get, "Old", "before"), 0u);
  sqlite3* reader = nullptr;
  ASSERT_EQ(sqlite3_open_v2(scratch.pcd_db().c_str(), &reader, SQLITE_OPEN_READONLY, nullptr),
            SQLITE_OK);
  ASSERT_EQ(
      sqlite3_exec(reader, "BEGIN; SELECT count(*) FROM pcd_values", nullptr, nullptr, nullptr),
      SQLITE_OK);  // holds its read lock until it ends
  ASSERT_EQ(C_ZEPPCDServiceBeginTransaction(store.get), 0u);
  ASSERT_EQ(Set(store.get, "Lost", "lost"), 0u);
  EXPECT_NE(C_ZEPPCDServiceEndTransaction(store.get), 0u);
  sqlite3_close(reader);
  EXPECT_EQ(C_ZEPPCDServiceBeginTransaction(store.get), 0u);
  EXPECT_EQ(Set(store.get, "New", "new"), 0u);
  EXPECT_EQ(C_ZEPPCDServiceEndTransaction(store.get), 0u);
  EXPECT_EQ(ReadSnapshot(scratch.pcd_db()).values,
            (StoreRows{U("S", "Old", "before"), U("S", "New", "new")}));
  test::SetVariable("ZEP_PCD_BUSY_TIMEOUT_MS", std::nullopt);
}

TEST(Store, ReadsAreCutToTheBufferAndLicensingCodesComeFromTheProtectedDomain) {
  test::ScratchFolder scratch;
  Handle store;
  ASSERT_EQ(C_ZEPPCDServiceSetValueForKeyInSubDomain(store.get, "PRODUCT", "LicensingCode", "P", 0),
            0u);
  ASSERT_EQ(C_ZEPPCDServiceSetValueForKeyInSubDomain(store.get, "OPEN", "LicensingCode", "Q", 1),
            0u);
  char buffer[8];
  std::memset(buffer, 'z', sizeof buffer);
  EXPECT_EQ(C_ZEPPCDServiceLicensingCodeForCorvelCode(store.get, buffer, 4, "P"), 0u);
  EXPECT_STREQ(buffer, "PRO");
  EXPECT_EQ(buffer[4], 'z');  // nothing beyond the size given
  EXPECT_NE(C_ZEPPCDServiceValueForKeyInSubDomain(store.get, buffer, 0, "LicensingCode", "P", 0),
            0u);
  EXPECT_EQ(buffer[0], 'P');
  EXPECT_EQ(C_ZEPPCDServiceLicensingCodeForCorvelCode(store.get, buffer, 8, "Q"),
            ZEP_STATUS_NOT_FOUND);
  EXPECT_STREQ(buffer, "");  // a failed read leaves an empty text
  const ZEPEnumerateCallback stop_after_one = [](void* n, bool, const char*, const char*,
                                                 const char*) {
    return ++*static_cast<int*>(n) == 1 ? 1 : 0;
  };
  int visits = 0;
  EXPECT_EQ(C_ZEPPCDServiceEnumerate(store.get, nullptr, stop_after_one, &visits), 0u);
  EXPECT_EQ(visits, 1);  // stopped by the callback
  visits = 0;
  EXPECT_EQ(C_ZEPPCDServiceEnumerate(store.get, "_", stop_after_one, &visits), 0u);
  EXPECT_EQ(visits, 0);  // a subdomain is a name, not a pattern matching "P" and "Q"
}

TEST(Store, CreateAndCheckRepairAMissingTableAndKeepTheValuesButAnUnusableFileGivesNoHandle) {
  test::ScratchFolder scratch;
  const auto drop_table = [&] {
    sqlite3* db = nullptr;
    sqlite3_open(scratch.pcd_db().c_str(), &db);
    const int rc = sqlite3_exec(db, "DROP TABLE eula_states", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return rc;
  };
  ASSERT_EQ(Set(Handle().get, "K", "v"), 0u);
  ASSERT_EQ(drop_table(), SQLITE_OK);
  ZEPHandle again = C_ZEPPCDServiceCreate();  // finds half a schema and completes it
  EXPECT_EQ(C_ZEPPCDServiceCheckDatabase(again, false), 0u);
  ASSERT_EQ(drop_table(), SQLITE_OK);  // while the handle lives: reported, repaired on request
  EXPECT_NE(C_ZEPPCDServiceCheckDatabase(again, false), 0u);
  EXPECT_EQ(C_ZEPPCDServiceCheckDatabase(again, true), 0u);
  EXPECT_EQ(C_ZEPPCDServiceCheckDatabase(again, false), 0u);
  EXPECT_EQ(ReadSnapshot(scratch.pcd_db()).values, StoreRows{U("S", "K", "v")});
  C_ZEPRelease(again);  // the last handle: the next one opens the file anew
  ASSERT_TRUE(test::WriteWholeFile(scratch.pcd_db(), std::string(4096, 'G')));
  EXPECT_EQ(C_ZEPPCDServiceCreate(), nullptr);
  EXPECT_EQ(C_EULAServiceCreate(), nullptr);
}

TEST(Store, EntryPointsRefuseNullWrongAndReleasedHandlesAndNullTexts) {
  test::ScratchFolder scratch;
  Handle store, eula(C_EULAServiceCreate());
  Handle logger(C_ZEPLoggerCreateFileLoggerWithPathAndSize(scratch.Path("x.log").c_str(), 0));
  ZEPHandle released = C_ZEPPCDServiceCreate();
  C_ZEPRelease(released);
  C_ZEPRelease(released);  // a second release of a dead handle is ignored
  char b[8];
  // Each call gets a handle for the store's place, one for the EULA service's, and a text.
  using Call = std::function<ZEPStatus(ZEPHandle, ZEPHandle, const char*)>;
  const Call calls[] = {
      [](auto s, auto, auto) { return C_ZEPPCDServiceBeginTransaction(s); },
      [](auto s, auto, auto) { return C_ZEPPCDServiceEndTransaction(s); },
      [](auto s, auto, auto) { return C_ZEPPCDServiceCheckDatabase(s, true); },
      [&](auto s, auto, auto t) {
        return Same(C_ZEPPCDServiceValueForKeyInSubDomain(s, b, 8, t, "s", true),
                    C_ZEPPCDServiceValueForKeyInSubDomain(s, b, 8, "k", t, true));
      },
      [](auto s, auto, auto t) {
        return Same(Same(C_ZEPPCDServiceSetValueForKeyInSubDomain(s, t, "k", "s", true),
                         C_ZEPPCDServiceSetValueForKeyInSubDomain(s, "v", t, "s", true)),
                    C_ZEPPCDServiceSetValueForKeyInSubDomain(s, "v", "k", t, true));
      },
      [](auto s, auto, auto t) {
        return Same(C_ZEPPCDServiceRemoveKeyInSubDomain(s, t, "s", true),
                    C_ZEPPCDServiceRemoveKeyInSubDomain(s, "k", t, true));
      },
      [](auto s, auto, auto t) { return C_ZEPPCDServiceRemoveAllKeysInSubDomain(s, t, true); },
      [&](auto s, auto, auto t) { return C_ZEPPCDServiceLicensingCodeForCorvelCode(s, b, 8, t); },
      [](auto, auto e, auto t) {
        return Same(C_EULA_SetState(e, t, 1, 4, "en"), C_EULA_SetState(e, "p", 1, 4, t));
      },
  };
  for (size_t i = 0; i < std::size(calls); ++i) {
    SCOPED_TRACE(i);
    // Bad handles of either kind, then good handles with a null text (the calls from the
    // fourth on take texts).
    for (ZEPHandle bad : {static_cast<ZEPHandle>(nullptr), logger.get, released})
      EXPECT_EQ(calls[i](bad, bad, "t"), ZEP_STATUS_INVALID_ARGUMENT);
    EXPECT_EQ(calls[i](eula.get, store.get, "t"), ZEP_STATUS_INVALID_ARGUMENT);
    if (i >= 3) {
      EXPECT_EQ(calls[i](store.get, eula.get, nullptr), ZEP_STATUS_INVALID_ARGUMENT);
    }
  }
  EXPECT_EQ(ReadSnapshot(scratch.pcd_db()).values, StoreRows{});  // nothing was written
}

constexpr int kProcesses = 5;
constexpr int kKeys = 60;

// Several processes writing one store at once (heavy: a few thousand commits): each waits
// for the others, none fails, no write is lost. A writer writes the keys of subdomain
// args[0]: every other one alone, on a handle of its own; the others each in a transaction
// that also reads and bumps a counter shared by all processes (a lost update would show there).
CORVEL_TEST_CHILD(WriteKeys) {
  const char* subdomain = args.at(0).c_str();
  for (int i = 0; i < kKeys; ++i) {
    const std::string key = "K" + std::to_string(i);
    if (i % 2 == 0) {
      if (Set(Handle().get, key, subdomain, subdomain) != 0) return 2;
      continue;
    }
    Handle store;
    char count[32];
    if (C_ZEPPCDServiceBeginTransaction(store.get) != 0) return 3;
    const long next = C_ZEPPCDServiceValueForKeyInSubDomain(store.get, count, sizeof count, "Count",
                                                            "Shared", true) == 0
                          ? std::stol(count) + 1
                          : 1;
    if (Set(store.get, key, subdomain, subdomain) != 0 ||
        Set(store.get, "Count", std::to_string(next), "Shared") != 0 ||
        C_ZEPPCDServiceEndTransaction(store.get) != 0) {
      return 4;
    }
  }
  return 0;
}

TEST(StoreConcurrency, ProcessesWritingAtOnceLoseNothing) {
  test::ScratchFolder scratch;
  C_ZEPRelease(C_ZEPPCDServiceCreate());  // the schema exists before the race starts
  std::vector<int> children;
  for (int p = 0; p < kProcesses; ++p) {
    children.push_back(test::StartChild("WriteKeys", {"P" + std::to_string(p)}));
  }
  for (int child : children) EXPECT_EQ(test::WaitForChild(child), 0) << "a writer saw a failure";

  // Every transaction bumped the counter exactly once.
  StoreRows expected{U("Shared", "Count", std::to_string(kProcesses * kKeys / 2))};
  for (int p = 0; p < kProcesses; ++p) {
    const std::string subdomain = "P" + std::to_string(p);
    for (int i = 0; i < kKeys; ++i)
      expected.insert(U(subdomain, "K" + std::to_string(i), subdomain));
  }
  const StoreRows actual = ReadSnapshot(scratch.pcd_db()).values;
  EXPECT_EQ(actual, expected) << test::Difference(expected, actual);
}

}  // namespace
}  // namespace corvel::zeptest
