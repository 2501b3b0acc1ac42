// Several processes writing one store at once: each waits for the others, none fails, no
// write is lost. Heavy: many processes and a few thousand commits.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "child_process.h"
#include "store_snapshot.h"
#include "test_support.h"
#include "zepservices.h"

namespace corvel::zeptest {
namespace {

constexpr int kProcesses = 5;
constexpr int kKeys = 60;

struct Handle {
  Handle() : get(C_ZEPPCDServiceCreate()) {}
  ~Handle() { C_ZEPRelease(get); }
  ZEPHandle get;
};

ZEPStatus Set(ZEPHandle store, const char* subdomain, const std::string& key,
              const std::string& value) {
  return C_ZEPPCDServiceSetValueForKeyInSubDomain(store, value.c_str(), key.c_str(), subdomain,
                                                  true);
}

// Writes the keys of subdomain args[0]: every other one alone, on a handle of its own; the
// others each in a transaction that also reads and bumps a counter shared by all processes
// (a lost update would show there).
CORVEL_TEST_CHILD(WriteKeys) {
  const char* subdomain = args.at(0).c_str();
  for (int i = 0; i < kKeys; ++i) {
    const std::string key = "K" + std::to_string(i);
    if (i % 2 == 0) {
      if (Set(Handle().get, subdomain, key, subdomain) != 0) return 2;
      continue;
    }
    Handle store;
    char count[32];
    if (C_ZEPPCDServiceBeginTransaction(store.get) != 0) return 3;
    const long next = C_ZEPPCDServiceValueForKeyInSubDomain(store.get, count, sizeof count, "Count",
                                                            "Shared", true) == 0
                          ? std::stol(count) + 1
                          : 1;
    if (Set(store.get, subdomain, key, subdomain) != 0 ||
        Set(store.get, "Shared", "Count", std::to_string(next)) != 0 ||
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
  test::StoreRows expected{test::U("Shared", "Count", std::to_string(kProcesses * kKeys / 2))};
  for (int p = 0; p < kProcesses; ++p) {
    const std::string subdomain = "P" + std::to_string(p);
    for (int i = 0; i < kKeys; ++i)
      expected.insert(test::U(subdomain, "K" + std::to_string(i), subdomain));
  }
  const test::StoreRows actual = test::ReadSnapshot(scratch.pcd_db()).values;
  EXPECT_EQ(actual, expected) << test::Difference(expected, actual);
}

}  // namespace
}  // namespace corvel::zeptest
