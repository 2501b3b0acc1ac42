// The loader and the bound entry points against the real services library, which lies beside
// the test executable: first calls from many threads, the debugger output's bound, and
// reference counts taken from many threads.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "services/service_loader.h"
#include "services/zep_bindings.h"
#include "services/zep_ref_object.h"
#include "test_support.h"

namespace corvel::services {
namespace {

TEST(Loader, ConcurrentFirstCallsShareOneLoaderAndOneLibrary) {
  test::ScratchFolder scratch;
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      for (int i = 0; i < 10; ++i) {
        zep::ScopedHandle store(zep::C_ZEPPCDServiceCreate());
        if (!store || zep::C_ZEPPCDServiceSetValueForKeyInSubDomain(
                          store.get(), "v", ("K" + std::to_string(i)).c_str(),
                          ("T" + std::to_string(t)).c_str(), true) != 0) {
          ++failures[t];
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
  LibraryRecord record;
  ASSERT_TRUE(ServiceLoader::Instance()->LookupRecord("libzepservices.so", &record));
  EXPECT_EQ(record.mAddCount, 1);
  EXPECT_FALSE(test::ReadWholeFile(scratch.debug_output()).has_value());
}

TEST(DebugLog, CutsTheLineAt4093CharactersAndStillEndsIt) {
  test::ScratchFolder scratch;
  ServiceLoader::DebugLog("ServiceLoader", "%s", std::string(5000, 'x').c_str());
  EXPECT_EQ(test::ReadWholeFile(scratch.debug_output()),
            "ServiceLoader: " + std::string(4093 - 15, 'x') + "\r\n");
}

TEST(RefObject, CountStaysExactUnderConcurrentReferences) {
  static bool destroyed = false;
  struct Probe : ZEPRefObject {
    ~Probe() override { destroyed = true; }
    const char* ServiceKind() const override { return "probe"; }
  };
  ZEPRefObject* probe = new Probe;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([probe] {
      for (int i = 0; i < 20000; ++i) probe->AddRef()->Release();
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(probe->RefCount(), 1u);
  EXPECT_FALSE(destroyed);
  probe->Release();
  EXPECT_TRUE(destroyed);
}

}  // namespace
}  // namespace corvel::services
