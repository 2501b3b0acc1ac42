// A process killed inside a store transaction leaves the database as it was before that
// transaction, and the file stays sound; the files the services library creates have modes of
// their own, whatever the umask.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "child_process.h"
#include "store_snapshot.h"
#include "test_support.h"
#include "zepservices.h"

namespace corvel::zeptest {
namespace {

// Changes the store inside a transaction, says so in the file args[0] names, and waits there
// to be killed.
CORVEL_TEST_CHILD(WriteAndWaitInsideATransaction) {
  ZEPHandle store = C_ZEPPCDServiceCreate();
  bool ok = store && C_ZEPPCDServiceBeginTransaction(store) == 0;
  // More than the page cache holds, so changed pages reach the database file (after the
  // journal is synced) before the commit.
  for (int i = 0; ok && i < 16000; ++i) {
    ok = C_ZEPPCDServiceSetValueForKeyInSubDomain(store, std::string(300, 'v').c_str(),
                                                  ("New" + std::to_string(i)).c_str(), "S",
                                                  false) == 0;
  }
  ok = ok && C_ZEPPCDServiceSetValueForKeyInSubDomain(store, "overwritten", "Old", "S", false) == 0;
  ok = ok && C_ZEPPCDServiceRemoveKeyInSubDomain(store, "Old", "S", false) == 0;
  if (!ok || !test::WriteWholeFile(args.at(0), "ready")) return 1;
  for (;;) pause();
}

TEST(StoreCrash, KilledInsideATransactionLeavesTheStoreAsBefore) {
  test::ScratchFolder scratch;
  ZEPHandle store = C_ZEPPCDServiceCreate();
  ASSERT_EQ(C_ZEPPCDServiceSetValueForKeyInSubDomain(store, "kept", "Old", "S", false), 0u);
  C_ZEPRelease(store);
  const test::StoreSnapshot before = test::ReadSnapshot(scratch.pcd_db());

  const std::string ready = scratch.Path("ready");
  const int child = test::StartChild("WriteAndWaitInsideATransaction", {ready});
  ASSERT_GT(child, 0);
  while (!test::ReadWholeFile(ready).has_value()) {
    ASSERT_EQ(waitpid(child, nullptr, WNOHANG), 0) << "the child ended before its writes";
    usleep(10000);
  }
  kill(child, SIGKILL);
  ASSERT_EQ(test::WaitForChild(child), -1);
  // The database file itself was changed, and the journal is hot.
  ASSERT_GT(test::ReadWholeFile(scratch.pcd_db()).value_or("").size(), 1000000u);

  // Opening the store rolls the hot journal back and removes it.
  C_ZEPRelease(C_ZEPPCDServiceCreate());
  EXPECT_EQ(test::ReadSnapshot(scratch.pcd_db()), before);
  EXPECT_EQ(test::IntegrityCheck(scratch.pcd_db()), "ok");
  EXPECT_FALSE(test::ReadWholeFile(scratch.pcd_db() + "-journal").has_value());
}

TEST(StoreFiles, HaveExplicitModesWhateverTheUmask) {
  test::ScratchFolder scratch;
  unsetenv("ZEP_PCD_DB");  // the default place
  const std::string folder = scratch.common_appdata() + "/Corvel", log = scratch.Path("x.log");
  const mode_t previous = umask(077);
  C_ZEPRelease(C_ZEPPCDServiceCreate());
  C_ZEPRelease(C_ZEPLoggerCreateFileLoggerWithPathAndSize(log.c_str(), 0));
  umask(previous);
  for (const auto& [path, mode] : {std::pair{folder, 0755u},
                                   {folder + "/PCD", 0755u},
                                   {folder + "/PCD/pcd.db", 0644u},
                                   {log, 0644u}}) {
    struct stat info {};
    EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
    EXPECT_EQ(info.st_mode & 07777, mode) << path;
  }
}

}  // namespace
}  // namespace corvel::zeptest
