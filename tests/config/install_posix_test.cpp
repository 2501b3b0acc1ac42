// Installing and removing with a store this user may read but not change.
#include <sys/stat.h>

#include "child_process.h"
#include "install_support.h"

namespace corvel::config::test {
namespace {

CORVEL_TEST_CHILD(ProcessAndRemove) {
  TAVLibHandle handle = Corvel_TAVLib_CreateRef();
  const uint32_t processed =
      Corvel_TAVLib_Process_file(handle, args[0].c_str(), "PAY", "DRV", nullptr);
  const uint32_t removed = Corvel_TAVLib_Remove_payload(handle, "PAY");
  Corvel_TAVLib_ReleaseRef(handle, 0);
  return processed == kTAVLibSuccess && removed == kTAVLibSuccess ? 0 : 1;
}

TEST_F(InstallTest, AStoreThatRefusesWritesIsNotReported) {
  // Processing stores nothing and still succeeds; removal removes nothing and succeeds.
  ASSERT_EQ(kTAVLibSuccess, Process(Write("seed.xml", Data("licensed.xml")), "PAY"));
  ASSERT_EQ(0, chmod(mScratch.pcd_db().c_str(), 0444));
  const std::string config = Write("application.xml", Data("unlicensed.xml"));
  // The child, another user, reads the document and appends to the main log.
  ASSERT_EQ(0, chmod(config.c_str(), 0666));
  ASSERT_EQ(0, chmod((mScratch.temp() + "/tavlib.log").c_str(), 0666));
  const StoreRows before = Stored();
  EXPECT_EQ(0, corvel::test::RunChild("ProcessAndRemove", {config},
                                      corvel::test::ChildUser::kUnprivileged));
  EXPECT_EQ(before, Stored()) << corvel::test::Difference(before, Stored());
  EXPECT_FALSE(DriverDocumentLeft());
  EXPECT_TRUE(Logged("Removing data for LicensingCode LIC"));
}

}  // namespace
}  // namespace corvel::config::test
