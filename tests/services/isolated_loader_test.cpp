// The loader seen from an executable whose own folder holds no services library: each test
// makes its scratch folder the current folder and puts nothing, a damaged library or a file
// that is no library there under the services library's name.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdarg>
#include <filesystem>
#include <string>

#include "platform/platform.h"
#include "services/service_loader.h"
#include "services/zep_bindings.h"
#include "test_support.h"

namespace corvel::services {
namespace {

const char* const kServices = "libzepservices.so";

class IsolatedLoader : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(chdir(scratch.root().c_str()), 0); }

  std::string Debug() const { return test::ReadWholeFile(scratch.debug_output()).value_or(""); }
  std::string LibraryPath() const { return platform::CurrentDirectory() + "/" + kServices; }
  void PlaceLibrary(const char* source) { std::filesystem::copy_file(source, LibraryPath()); }
  // The lines the damaged library's C_ZEPLogv recorded.
  std::string Recorded() {
    using Lines = const char* (*)();
    auto lines = reinterpret_cast<Lines>(
        ServiceLoader::Instance()->ResolveSymbol(kServices, "FakeZepRecordedLines"));
    return lines ? lines() : "<no recorder>";
  }

  test::ScratchFolder scratch;
};

void Log(const char* format, ...) {
  va_list args;
  va_start(args, format);
  zep::C_ZEPLogv(nullptr, "TAVLib", 4, ZEP_LOG_PATTERN_NONE, format, args);
  va_end(args);
}

TEST_F(IsolatedLoader, AbsentLibraryIsReportedOnceAndEveryCallAnswersUnbound) {
  EXPECT_EQ(zep::C_ZEPPCDServiceCreate(), nullptr);
  EXPECT_EQ(Debug(),
            "ServiceLoader: Failed to find libzepservices.so\r\n"
            "ServiceLoader: ERROR: base services library failed to load\r\n"
            "PCDService: failed to find C_ZEPPCDServiceCreate\n\r\n");
  ASSERT_TRUE(ServiceLoader::Exists());
  EXPECT_FALSE(ServiceLoader::Instance()->BaseServicesLocated());
  EXPECT_FALSE(ServiceLoader::Instance()->LoggingServiceInUse());

  // No second search: from here on each call writes only its own line.
  ASSERT_TRUE(test::WriteWholeFile(scratch.debug_output(), ""));
  char buffer[8];
  const ZEPStatus unbound = ZEP_STATUS_UNBOUND;
  EXPECT_EQ(zep::C_ZEPLoggerCreateFileLoggerWithPathAndSize("x.log", 1), nullptr);
  EXPECT_EQ(zep::C_ZEPLoggingServiceCreateWithID(0), nullptr);
  zep::C_ZEPLoggingServiceAddLogger(nullptr, nullptr);
  zep::C_ZEPLoggingServiceCleanUpResource(nullptr);
  Log("a line for %s", "nobody");
  EXPECT_EQ(zep::C_ZEPPCDServiceBeginTransaction(nullptr), unbound);
  EXPECT_EQ(zep::C_ZEPPCDServiceEndTransaction(nullptr), unbound);
  EXPECT_EQ(zep::C_ZEPPCDServiceCheckDatabase(nullptr, false), unbound);
  EXPECT_EQ(zep::C_ZEPPCDServiceValueForKeyInSubDomain(nullptr, buffer, 8, "k", "s", true),
            unbound);
  EXPECT_EQ(zep::C_ZEPPCDServiceSetValueForKeyInSubDomain(nullptr, "v", "k", "s", true), unbound);
  EXPECT_EQ(zep::C_ZEPPCDServiceRemoveKeyInSubDomain(nullptr, "k", "s", true), unbound);
  EXPECT_EQ(zep::C_ZEPPCDServiceRemoveAllKeysInSubDomain(nullptr, "s", true), unbound);
  EXPECT_EQ(zep::C_ZEPPCDServiceLicensingCodeForCorvelCode(nullptr, buffer, 8, "p"), unbound);
  EXPECT_EQ(zep::C_ZEPPCDServiceEnumerate(nullptr, nullptr, nullptr, nullptr), unbound);
  EXPECT_EQ(zep::C_EULAServiceCreate(), nullptr);
  EXPECT_EQ(zep::C_EULA_SetState(nullptr, "p", 1, 4, "en"), unbound);
  zep::C_ZEPRelease(nullptr);
  EXPECT_EQ(Debug(),
            "Logging: failed to find C_ZEPLoggerCreateFileLoggerWithPathAndSize\n\r\n"
            "Logging: failed to find C_ZEPLoggingServiceCreateWithID\n\r\n"
            "Logging: failed to find C_ZEPLoggingServiceAddLogger\n\r\n"
            "Logging: failed to find C_ZEPLoggingServiceCleanUpResource\n\r\n"
            "Logging: failed to find C_ZEPLogv\n\r\n"
            "PCDService: failed to find C_ZEPPCDServiceBeginTransaction\n\r\n"
            "PCDService: failed to find C_ZEPPCDServiceEndTransaction\n\r\n"
            "PCDService: failed to find C_ZEPPCDServiceCheckDatabase\n\r\n"
            "PCDService: failed to find C_ZEPPCDServiceValueForKeyInSubDomain\n\r\n"
            "PCDService: failed to find C_ZEPPCDServiceSetValueForKeyInSubDomain\n\r\n"
            "PCDService: failed to find C_ZEPPCDServiceRemoveKeyInSubDomain\n\r\n"
            "PCDService: failed to find C_ZEPPCDServiceRemoveAllKeysInSubDomain\n\r\n"
            "PCDService: failed to find C_ZEPPCDServiceLicensingCodeForCorvelCode\n\r\n"
            "PCDService: failed to find C_ZEPPCDServiceEnumerate\n\r\n"
            "EULA: failed to find C_EULAServiceCreate\r\n"
            "EULA: failed to find C_EULA_SetState\r\n"
            "ServiceLoader: failed to find C_ZEPRelease\n\r\n");
}

TEST_F(IsolatedLoader, AfterShutdownTheLibraryIsSearchedAgain) {
  zep::C_ZEPRelease(nullptr);
  ServiceLoader::Shutdown();
  ASSERT_TRUE(test::WriteWholeFile(scratch.debug_output(), ""));
  PlaceLibrary(FAKE_PARTIAL_LIBRARY);  // now there is one to find
  EXPECT_NE(zep::C_ZEPPCDServiceCreate(), nullptr);
  EXPECT_TRUE(ServiceLoader::Instance()->BaseServicesLocated());
  EXPECT_EQ(Debug(), "");
}

TEST_F(IsolatedLoader, MissingExportIsNullLoggedAndAskedAgain) {
  PlaceLibrary(FAKE_PARTIAL_LIBRARY);
  ZEPHandle store = zep::C_ZEPPCDServiceCreate();  // exported by the damaged library
  EXPECT_NE(store, nullptr);
  EXPECT_EQ(zep::C_ZEPPCDServiceBeginTransaction(store), ZEP_STATUS_UNBOUND);
  EXPECT_EQ(zep::C_ZEPPCDServiceBeginTransaction(store), ZEP_STATUS_UNBOUND);
  EXPECT_EQ(Debug(),
            "PCDService: failed to find C_ZEPPCDServiceBeginTransaction\n\r\n"
            "PCDService: failed to find C_ZEPPCDServiceBeginTransaction\n\r\n");
  // The loader's lines went through the library's C_ZEPLogv, with a null service, the
  // component "ServiceLoader" and the argument pattern of each message.
  EXPECT_EQ(Recorded(),
            "null|ServiceLoader|5|null|using logging service now\n"
            "null|ServiceLoader|2|%s %s|Unable to locate symbol C_ZEPPCDServiceBeginTransaction in "
            "libzepservices.so\n"
            "null|ServiceLoader|2|%s %s|Unable to locate symbol C_ZEPPCDServiceBeginTransaction in "
            "libzepservices.so\n");
  LibraryRecord record;
  ASSERT_TRUE(ServiceLoader::Instance()->LookupRecord(kServices, &record));
  EXPECT_EQ(record.mSymbols.count("C_ZEPPCDServiceCreate"), 1u);
  EXPECT_EQ(record.mSymbols.count("C_ZEPPCDServiceBeginTransaction"), 0u);
}

TEST_F(IsolatedLoader, LibraryWithoutLogEntryCannotMakeLoggingCallItself) {
  PlaceLibrary(FAKE_NOLOG_LIBRARY);
  EXPECT_NE(zep::C_ZEPPCDServiceCreate(), nullptr);
  EXPECT_EQ(zep::C_ZEPPCDServiceEndTransaction(nullptr), ZEP_STATUS_UNBOUND);
  EXPECT_EQ(Debug(),
            // "using logging service now" at creation: C_ZEPLogv is missing.
            "ServiceLoader: Unable to locate symbol C_ZEPLogv in libzepservices.so\r\n"
            "Logging: failed to find C_ZEPLogv\n\r\n"
            // The missing C_ZEPPCDServiceEndTransaction: its line cannot be logged either.
            "ServiceLoader: Unable to locate symbol C_ZEPLogv in libzepservices.so\r\n"
            "Logging: failed to find C_ZEPLogv\n\r\n"
            "PCDService: failed to find C_ZEPPCDServiceEndTransaction\n\r\n");
}

TEST_F(IsolatedLoader, FileThatIsNoLibraryFailsToOpenOnEveryCall) {
  ASSERT_TRUE(test::WriteWholeFile(LibraryPath(), "this is not a shared object"));
  EXPECT_EQ(zep::C_ZEPPCDServiceCreate(), nullptr);
  const std::string failed_open = "ServiceLoader: Failed to open library " + LibraryPath() + "\r\n";
  const std::string no_log = "Logging: failed to find C_ZEPLogv\n\r\n";
  EXPECT_EQ(Debug(), failed_open + no_log +  // at creation, "using logging service now"
                         failed_open + no_log +
                         "PCDService: failed to find C_ZEPPCDServiceCreate\n\r\n");
  LibraryRecord record;
  ASSERT_TRUE(ServiceLoader::Instance()->LookupRecord(kServices, &record));
  EXPECT_EQ(record.mModule, nullptr);
}

}  // namespace
}  // namespace corvel::services
