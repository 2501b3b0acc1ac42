// A commit whose every record write the store refuses: each refusal is logged and the commit
// goes on. The store is read-only to an unprivileged user.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sstream>

#include "corvel_tavlib.h"
#include "store_snapshot.h"
#include "test_support.h"

namespace corvel::records {
namespace {

CORVEL_TEST_CHILD(CommitEveryRecord) {
  TAVLibHandle handle = Corvel_TAVLib_CreateRef();
  const bool ok = handle != nullptr && Corvel_TAVLib_Set_Eula(handle, "en_US", "PRODUCT") == 0 &&
                  Corvel_TAVLib_Set_InstallLocale(handle, "en_US", "PRODUCT") == 0 &&
                  Corvel_TAVLib_CleanUpCachePCD(handle, "PAYLOAD") == 0 &&
                  Corvel_TAVLib_SetCorvelId(handle, "PRODUCT") == 0 &&
                  Corvel_TAVLib_SaveCorvelId(handle, "abc") == 0 &&
                  Corvel_TAVLib_SetCorvelIdExtProfile(handle, "PRODUCT") == 0;
  Corvel_TAVLib_ReleaseRef(handle, 1);
  return ok ? 0 : 1;
}

TEST(InstallationRecords, RefusedWritesAreLoggedAndTheCommitGoesOn) {
  corvel::test::ScratchFolder scratch;
  // Another process makes the store with every record in it, so that none of this one's
  // connections holds it; writing the same values again is still refused.
  ASSERT_EQ(corvel::test::RunChild("CommitEveryRecord"), 0);
  const corvel::test::StoreSnapshot before = corvel::test::ReadSnapshot(scratch.pcd_db());
  ASSERT_EQ(chmod(scratch.pcd_db().c_str(), 0444), 0);
  ASSERT_EQ(unlink((scratch.temp() + "/tavlib.log").c_str()), 0);  // the child starts its own
  ASSERT_EQ(corvel::test::RunChild("CommitEveryRecord", {}, corvel::test::ChildUser::kUnprivileged),
            0);
  const std::string log = corvel::test::ReadWholeFile(scratch.temp() + "/tavlib.log").value_or("");
  std::istringstream expected(
      corvel::test::ReadWholeFile(RECORDS_TEST_DATA "/commit_refused.txt").value_or("missing"));
  for (std::string line; std::getline(expected, line);)
    EXPECT_NE(log.find("TAVLib: " + line + "\n"), std::string::npos) << line;
  EXPECT_TRUE(corvel::test::ReadSnapshot(scratch.pcd_db()) == before);
}

}  // namespace
}  // namespace corvel::records
