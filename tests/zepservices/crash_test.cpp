// A process killed inside a store transaction leaves the database as it was before that
// transaction, and the file stays sound.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "test_support.h"
#include "zep_test_util.h"

namespace corvel::zeptest {
namespace {

TEST(StoreCrash, KilledInsideATransactionLeavesTheStoreAsBefore) {
  test::ScratchFolder scratch;
  {
    Handle store(C_ZEPPCDServiceCreate());
    ASSERT_EQ(C_ZEPPCDServiceSetValueForKeyInSubDomain(store.get(), "kept", "Old", "S", false), 0u);
  }
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(ready[0]);
    ZEPHandle store = C_ZEPPCDServiceCreate();
    bool ok = store && C_ZEPPCDServiceBeginTransaction(store) == 0;
    // More than the page cache holds, so changed pages reach the database file (after the
    // journal is synced) before the commit.
    for (int i = 0; ok && i < 16000; ++i) {
      std::string key = "New" + std::to_string(i);
      ok = C_ZEPPCDServiceSetValueForKeyInSubDomain(store, std::string(300, 'v').c_str(),
                                                    key.c_str(), "S", false) == 0;
    }
    ok = ok &&
         C_ZEPPCDServiceSetValueForKeyInSubDomain(store, "overwritten", "Old", "S", false) == 0;
    ok = ok && C_ZEPPCDServiceRemoveKeyInSubDomain(store, "Old", "S", false) == 0;
    char flag = ok ? 'y' : 'n';
    if (write(ready[1], &flag, 1) != 1) _exit(2);
    for (;;) pause();  // killed here, inside the transaction
  }
  close(ready[1]);
  char flag = 0;
  ASSERT_EQ(read(ready[0], &flag, 1), 1);
  close(ready[0]);
  kill(child, SIGKILL);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  ASSERT_EQ(flag, 'y');  // the child did its writes before it was killed
  // The database file itself was changed, and the journal is hot.
  ASSERT_GT(test::ReadWholeFile(scratch.pcd_db()).value_or("").size(), 1000000u);

  Handle store(C_ZEPPCDServiceCreate());
  ASSERT_TRUE(store);
  EXPECT_EQ(Rows(store.get()), std::vector<std::string>{"p S Old=kept"});
  store.reset();
  EXPECT_EQ(QueryText(scratch.pcd_db(), "PRAGMA integrity_check"), "ok");
  // The hot journal was rolled back and removed.
  EXPECT_FALSE(test::ReadWholeFile(scratch.pcd_db() + "-journal").has_value());
}

}  // namespace
}  // namespace corvel::zeptest
