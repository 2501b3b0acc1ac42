// The loader and the bound entry points against the real services library, which lies beside
// the test executable: first calls from many threads, a services library that cannot be
// found, opened or fully bound, the debugger output's bound, a store transaction left by a
// throw, and reference counts taken from many threads.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "services/service_loader.h"
#include "services/store_transaction.h"
#include "services/zep_bindings.h"
#include "services/zep_ref_object.h"
#include "store_snapshot.h"
#include "test_support.h"

namespace corvel::services {
namespace {

const char* const kServices = "libzepservices.so";

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

// Damage done to the services library by replacing one system call of the loader.
bool IsServices(const char* path) {
  const size_t length = std::strlen(path), name = std::strlen(kServices);
  return length >= name && std::strcmp(path + length - name, kServices) == 0;
}
int Absent(const char* path, int mode) {
  if (!IsServices(path)) return access(path, mode);
  errno = ENOENT;
  return -1;
}
void* Unloadable(const char*, int) { return nullptr; }
void* WithoutBegin(void* library, const char* name) {
  return std::strcmp(name, "C_ZEPPCDServiceBeginTransaction") ? dlsym(library, name) : nullptr;
}
void* WithoutLog(void* library, const char* name) {
  return std::strcmp(name, "C_ZEPLogv") ? dlsym(library, name) : nullptr;
}

struct Damage {
  const char* name;
  const char* call;
  platform::SystemCall replacement;
  ZEPStatus begin;  // of a transaction on that store
  // The debugger output of both calls; "@" stands for the library's path.
  std::string debug;
};
void PrintTo(const Damage& damage, std::ostream* out) { *out << damage.name; }

const std::string kOpenFailed =
    "ServiceLoader: Failed to open library @\r\nLogging: failed to find C_ZEPLogv\n\r\n";
const Damage kDamages[] = {
    // Searched for once: later calls only say what they miss.
    {"absent", "access", reinterpret_cast<platform::SystemCall>(&Absent), ZEP_STATUS_UNBOUND,
     "ServiceLoader: Failed to find libzepservices.so\r\n"
     "ServiceLoader: ERROR: base services library failed to load\r\n"
     "PCDService: failed to find C_ZEPPCDServiceCreate\n\r\n"
     "PCDService: failed to find C_ZEPPCDServiceBeginTransaction\n\r\n"},
    // Opened again on every call; the loader's own line cannot be logged either.
    {"unloadable", "dlopen", reinterpret_cast<platform::SystemCall>(&Unloadable),
     ZEP_STATUS_UNBOUND,
     kOpenFailed + kOpenFailed + "PCDService: failed to find C_ZEPPCDServiceCreate\n\r\n" +
         kOpenFailed + "PCDService: failed to find C_ZEPPCDServiceBeginTransaction\n\r\n"},
    {"missing_export", "dlsym", reinterpret_cast<platform::SystemCall>(&WithoutBegin),
     ZEP_STATUS_UNBOUND, "PCDService: failed to find C_ZEPPCDServiceBeginTransaction\n\r\n"},
    // Noticed once, by the loader's "using logging service now".
    {"missing_log", "dlsym", reinterpret_cast<platform::SystemCall>(&WithoutLog), 0,
     "ServiceLoader: Unable to locate symbol C_ZEPLogv in libzepservices.so\r\n"
     "Logging: failed to find C_ZEPLogv\n\r\n"},
};

class DamagedServices : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedServices, CallsAnswerUnboundAndSayWhyOnTheDebuggerOutput) {
  const Damage& damage = GetParam();
  test::ScratchFolder scratch;
  platform::ScopedSystemCall broken(damage.call, damage.replacement);
  ASSERT_TRUE(broken.replaced());
  zep::ScopedHandle store(zep::C_ZEPPCDServiceCreate());
  EXPECT_EQ(zep::C_ZEPPCDServiceBeginTransaction(store.get()), damage.begin);

  const std::string module = platform::ModuleFilePath();
  const std::string path = module.substr(0, module.rfind('/') + 1) + kServices;
  std::string expected = damage.debug;
  for (size_t at; (at = expected.find('@')) != std::string::npos;) expected.replace(at, 1, path);
  EXPECT_EQ(test::ReadWholeFile(scratch.debug_output()).value_or(""), expected);
}

INSTANTIATE_TEST_SUITE_P(Loader, DamagedServices, ::testing::ValuesIn(kDamages),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(StoreTransaction, EndsWhenLeftByAThrow) {
  test::ScratchFolder scratch;
  try {
    StoreTransaction transaction;
    transaction.Begin();
    ASSERT_EQ(
        zep::C_ZEPPCDServiceSetValueForKeyInSubDomain(transaction.handle(), "v", "k", "S", true),
        0u);
    throw std::runtime_error("left by a throw");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(test::ReadSnapshot(scratch.pcd_db()).values, test::StoreRows{test::U("S", "k", "v")});
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
