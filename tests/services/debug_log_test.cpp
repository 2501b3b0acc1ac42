#include <gtest/gtest.h>

#include <string>

#include "services/service_loader.h"
#include "test_support.h"

namespace corvel::services {
namespace {

TEST(DebugLog, WritesCategoryColonMessageAndCrLf) {
  test::ScratchFolder scratch;
  ServiceLoader::DebugLog("PCDService", "failed to find %s\n", "C_ZEPPCDServiceCreate");
  ServiceLoader::DebugLog("EULA", "plain %d%%", 7);
  EXPECT_EQ(test::ReadWholeFile(scratch.debug_output()).value_or("<none>"),
            "PCDService: failed to find C_ZEPPCDServiceCreate\n\r\nEULA: plain 7%\r\n");
}

TEST(DebugLog, CutsTheFormattedLineAt4093Characters) {
  test::ScratchFolder scratch;
  std::string long_text(5000, 'x');
  ServiceLoader::DebugLog("ServiceLoader", "%s", long_text.c_str());
  std::string line = test::ReadWholeFile(scratch.debug_output()).value_or("");
  ASSERT_EQ(line.size(), 4093u + 2u);
  EXPECT_EQ(line.substr(0, 15), "ServiceLoader: ");
  EXPECT_EQ(line.substr(4093), "\r\n");
  EXPECT_EQ(line.find_first_not_of('x', 15), 4093u);
}

}  // namespace
}  // namespace corvel::services
