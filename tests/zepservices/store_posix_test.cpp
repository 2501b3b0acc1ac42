// The files the services library creates have modes of their own, whatever the umask.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "test_support.h"
#include "zepservices.h"

namespace corvel::zeptest {
namespace {

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
