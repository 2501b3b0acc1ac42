// The services library is loaded while an instance lives and unloaded with the last one.
#include <gtest/gtest.h>

#include "corvel_tavlib.h"
#include "test_support.h"

namespace {

bool ServicesLibraryMapped() {
  const std::string maps = corvel::test::ReadWholeFile("/proc/self/maps").value_or("");
  return maps.find("/libzepservices.so") != std::string::npos;
}

TEST(ServicesLibrary, StaysLoadedUntilTheLastInstanceGoes) {
  corvel::test::ScratchFolder scratch;
  TAVLibHandle first = Corvel_TAVLib_CreateRef();
  TAVLibHandle second = Corvel_TAVLib_CreateRef();
  Corvel_TAVLib_ReleaseRef(first, 1);
  EXPECT_TRUE(ServicesLibraryMapped());
  Corvel_TAVLib_ReleaseRef(second, 0);
  EXPECT_FALSE(ServicesLibraryMapped());
}

}  // namespace
