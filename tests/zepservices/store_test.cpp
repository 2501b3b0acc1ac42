// The store of the services library: transactions that nest, and handles created inside a
// transaction that write into it, read back from outside through the store's file.
#include <gtest/gtest.h>

#include <string>

#include "store_snapshot.h"
#include "test_support.h"
#include "zepservices.h"

namespace corvel::zeptest {
namespace {

using test::ReadSnapshot;
using test::StoreRows;
using test::U;

struct Handle {
  explicit Handle(ZEPHandle h) : get(h) {}
  ~Handle() { C_ZEPRelease(get); }
  ZEPHandle get;
};

ZEPStatus Set(ZEPHandle store, const std::string& key, const std::string& value) {
  return C_ZEPPCDServiceSetValueForKeyInSubDomain(store, value.c_str(), key.c_str(), "S", true);
}

TEST(Store, TransactionsNestAndCommitAtTheOutermostEnd) {
  test::ScratchFolder scratch;
  Handle store(C_ZEPPCDServiceCreate());
  ASSERT_EQ(Set(store.get, "Old", "before"), 0u);
  ASSERT_EQ(C_ZEPPCDServiceBeginTransaction(store.get), 0u);
  ASSERT_EQ(C_ZEPPCDServiceBeginTransaction(store.get), 0u);
  ASSERT_EQ(Set(store.get, "A", "a"), 0u);
  EXPECT_EQ(C_ZEPPCDServiceEndTransaction(store.get), 0u);
  {
    // Created inside the transaction (as the commit's account update creates its own handle):
    // it writes into the transaction, sees its writes, and cannot end it.
    Handle inner(C_ZEPPCDServiceCreate());
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
}

TEST(Store, HandleReleasedInsideItsTransactionUndoesItWithTheOtherHandlesWrites) {
  test::ScratchFolder scratch;
  {
    Handle outer(C_ZEPPCDServiceCreate());
    ASSERT_EQ(Set(outer.get, "Old", "before"), 0u);
    ASSERT_EQ(C_ZEPPCDServiceBeginTransaction(outer.get), 0u);
    Handle inner(C_ZEPPCDServiceCreate());
    EXPECT_EQ(Set(inner.get, "Old", "changed"), 0u);
  }
  EXPECT_EQ(ReadSnapshot(scratch.pcd_db()).values, StoreRows{U("S", "Old", "before")});
}

}  // namespace
}  // namespace corvel::zeptest
