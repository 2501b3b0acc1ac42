// The loader against a damaged services library: one system call of the loader is replaced
// so that the library cannot be opened or lacks an entry point. The calls answer unbound and
// say why on the debugger output. (A library that cannot be found at all is seen through the
// C interface in tests/config/missing_services_posix_test.cpp.)
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/platform.h"
#include "services/zep_bindings.h"
#include "test_support.h"

namespace corvel::services {
namespace {

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
  const std::string path = module.substr(0, module.rfind('/') + 1) + "libzepservices.so";
  std::string expected = damage.debug;
  for (size_t at; (at = expected.find('@')) != std::string::npos;) expected.replace(at, 1, path);
  EXPECT_EQ(test::ReadWholeFile(scratch.debug_output()).value_or(""), expected);
}

INSTANTIATE_TEST_SUITE_P(Loader, DamagedServices, ::testing::ValuesIn(kDamages),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvel::services
