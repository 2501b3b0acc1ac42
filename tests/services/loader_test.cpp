// The loader in the common output folder, where the real services library lies beside the
// test executable.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "services/service_loader.h"
#include "services/zep_bindings.h"
#include "services/zep_service.h"
#include "test_support.h"

namespace corvel::services {
namespace {

const char* const kServices = "libzepservices.so";

std::string ModuleFolder() {
  std::string module = platform::ModuleFilePath();
  return module.substr(0, module.rfind('/'));
}

// A file logger and logging service of the real library, so that the loader's lines (which
// go through C_ZEPLogv once the library is located) can be read back.
class LoggedLoader : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(chdir(scratch.root().c_str()), 0);
    log_path = scratch.Path("loader.log");
    zep::ScopedHandle logger(zep::C_ZEPLoggerCreateFileLoggerWithPathAndSize(log_path.c_str(), 0));
    service.reset(zep::C_ZEPLoggingServiceCreateWithID(0));
    ASSERT_TRUE(logger && service);
    zep::C_ZEPLoggingServiceAddLogger(service.get(), logger.get());
    loader = ServiceLoader::Instance();
  }
  void TearDown() override {
    if (service) zep::C_ZEPLoggingServiceCleanUpResource(service.get());
  }
  std::string LogText() const { return test::ReadWholeFile(log_path).value_or(""); }
  static size_t Count(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
      ++count;
    return count;
  }

  test::ScratchFolder scratch;
  std::string log_path;
  zep::ScopedHandle service;
  ServiceLoader* loader = nullptr;
};

TEST(Loader, LocatesAndLoadsTheServicesLibraryBesideTheModule) {
  test::ScratchFolder scratch;
  ASSERT_EQ(chdir(scratch.root().c_str()), 0);
  ServiceLoader* loader = ServiceLoader::Instance();
  ASSERT_NE(loader, nullptr);
  EXPECT_EQ(ServiceLoader::Instance(), loader);
  EXPECT_EQ(loader->SearchPaths(),
            (std::vector<std::string>{ModuleFolder(), platform::CurrentDirectory()}));
  EXPECT_TRUE(loader->BaseServicesLocated());
  EXPECT_TRUE(loader->LoggingServiceInUse());
  LibraryRecord record;
  ASSERT_TRUE(loader->LookupRecord(kServices, &record));
  EXPECT_EQ(record.mDirectory, ModuleFolder());
  EXPECT_EQ(record.mPath, ModuleFolder() + "/" + kServices);
  EXPECT_EQ(record.mAddCount, 1);
  // Loaded by the first bound call, the loader's own "using logging service now".
  EXPECT_NE(record.mModule, nullptr);
  // The search logged only below level 3, so the debugger output saw nothing.
  EXPECT_FALSE(test::ReadWholeFile(scratch.debug_output()).has_value());
}

TEST(Loader, CurrentFolderEqualToTheModuleFolderGivesOneSearchEntry) {
  test::ScratchFolder scratch;
  ASSERT_EQ(chdir(ModuleFolder().c_str()), 0);
  EXPECT_EQ(ServiceLoader::Instance()->SearchPaths(), std::vector<std::string>{ModuleFolder()});
}

TEST_F(LoggedLoader, KnownLibraryIsCountedWithoutSearchingAgain) {
  std::string here = platform::CurrentDirectory();
  ASSERT_TRUE(test::WriteWholeFile(here + "/libother.so", "not really a library"));
  ASSERT_TRUE(loader->FindLibrary("libother.so", ""));
  unlink((here + "/libother.so").c_str());
  // Gone from the disk, still in the table: no search happens.
  EXPECT_TRUE(loader->FindLibrary("libother.so", ""));
  LibraryRecord record;
  ASSERT_TRUE(loader->LookupRecord("libother.so", &record));
  EXPECT_EQ(record.mAddCount, 2);
  EXPECT_EQ(record.mPath, here + "/libother.so");
  std::string log = LogText();
  EXPECT_EQ(
      Count(log, "debug ServiceLoader: looking for library " + ModuleFolder() + "/libother.so\n"),
      1u);
  EXPECT_EQ(Count(log, "debug ServiceLoader: Found library " + here + "/libother.so\n"), 1u);
}

TEST_F(LoggedLoader, ResolvedSymbolsAreCachedAndMissingOnesAskedAgain) {
  void* first = loader->ResolveSymbol(kServices, "C_ZEPRelease");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(loader->ResolveSymbol(kServices, "C_ZEPRelease"), first);
  EXPECT_EQ(loader->ResolveSymbol(kServices, "C_ZEPNoSuchEntry"), nullptr);
  EXPECT_EQ(loader->ResolveSymbol(kServices, "C_ZEPNoSuchEntry"), nullptr);
  EXPECT_EQ(loader->ResolveSymbol("libnotadded.so", "C_ZEPRelease"), nullptr);
  EXPECT_EQ(loader->ResolveSymbol(nullptr, "C_ZEPRelease"), nullptr);
  EXPECT_EQ(loader->ResolveSymbol(kServices, nullptr), nullptr);

  LibraryRecord record;
  ASSERT_TRUE(loader->LookupRecord(kServices, &record));
  EXPECT_EQ(record.mSymbols.count("C_ZEPRelease"), 1u);
  EXPECT_EQ(record.mSymbols.count("C_ZEPNoSuchEntry"), 0u);
  std::string log = LogText();
  EXPECT_EQ(
      Count(log,
            "error ServiceLoader: Unable to locate symbol C_ZEPNoSuchEntry in libzepservices.so\n"),
      2u);
  EXPECT_EQ(Count(log,
                  "debug ServiceLoader: Symbol C_ZEPRelease can't be found in library "
                  "libnotadded.so because the library has not been added to the loader\n"),
            1u);
}

TEST(Loader, ShutdownFreesTheLibraryAndTheNextCallStartsAfresh) {
  test::ScratchFolder scratch;
  ASSERT_EQ(chdir(scratch.root().c_str()), 0);
  ASSERT_NE(ServiceLoader::Instance(), nullptr);
  ServiceLoader::Instance()->FindLibrary(kServices, "");  // add count 2
  ServiceLoader::Shutdown();
  EXPECT_FALSE(ServiceLoader::Exists());
  ServiceLoader::Shutdown();  // nothing to do
  EXPECT_FALSE(ServiceLoader::Exists());

  zep::ScopedHandle store(zep::C_ZEPPCDServiceCreate());
  EXPECT_TRUE(store);
  ASSERT_TRUE(ServiceLoader::Exists());
  LibraryRecord record;
  ASSERT_TRUE(ServiceLoader::Instance()->LookupRecord(kServices, &record));
  EXPECT_EQ(record.mAddCount, 1);  // searched again: a new record
  EXPECT_NE(record.mModule, nullptr);
  EXPECT_EQ(record.mSymbols.count("C_ZEPPCDServiceCreate"), 1u);
}

class SampleService : public _ZEPService {
 public:
  const char* ServiceKind() const override { return "sample"; }
};

TEST(Loader, ServiceObjectsCreateTheLoaderAndLeaveItBehind) {
  test::ScratchFolder scratch;
  ASSERT_FALSE(ServiceLoader::Exists());
  SampleService* service = new SampleService;
  ASSERT_TRUE(ServiceLoader::Exists());
  EXPECT_EQ(service->loader(), ServiceLoader::Instance());
  EXPECT_TRUE(service->loader()->BaseServicesLocated());
  service->Release();
  EXPECT_TRUE(ServiceLoader::Exists());
}

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
  ASSERT_TRUE(ServiceLoader::Instance()->LookupRecord(kServices, &record));
  EXPECT_EQ(record.mAddCount, 1);
  EXPECT_FALSE(test::ReadWholeFile(scratch.debug_output()).has_value());
}

}  // namespace
}  // namespace corvel::services
