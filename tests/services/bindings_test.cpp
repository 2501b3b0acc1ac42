// The bound wrappers against the real services library: the calling sequences the library
// relies on.
#include <gtest/gtest.h>

#include <cstdarg>
#include <stdexcept>
#include <string>

#include "services/store_transaction.h"
#include "services/zep_bindings.h"
#include "test_support.h"

namespace corvel::zep {
namespace {

void LogLine(ZEPHandle service, const char* format, ...) {
  va_list args;
  va_start(args, format);
  C_ZEPLogv(service, "TAVLib", 4, ZEP_LOG_PATTERN_NONE, format, args);
  va_end(args);
}

// A transaction left by a throw is ended all the same: another process sees what it wrote.
TEST(Bindings, StoreTransactionEndsWhenLeftByAThrow) {
  test::ScratchFolder scratch;
  try {
    services::StoreTransaction transaction;
    transaction.Begin();
    ASSERT_EQ(C_ZEPPCDServiceSetValueForKeyInSubDomain(transaction.handle(), "v", "k", "S", true),
              0u);
    throw std::runtime_error("left by a throw");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(test::RunInChild([] {
              ScopedHandle store(C_ZEPPCDServiceCreate());
              char value[8] = {};
              return C_ZEPPCDServiceValueForKeyInSubDomain(store.get(), value, sizeof value, "k",
                                                           "S", true) == 0 &&
                             std::string(value) == "v"
                         ? 0
                         : 1;
            }),
            0);
}

TEST(Bindings, StoreSequenceWritesReadsAndRemoves) {
  test::ScratchFolder scratch;
  {
    ScopedHandle store(C_ZEPPCDServiceCreate());
    ASSERT_TRUE(store);
    EXPECT_EQ(C_ZEPPCDServiceCheckDatabase(store.get(), false), 0u);
    EXPECT_EQ(C_ZEPPCDServiceBeginTransaction(store.get()), 0u);
    EXPECT_EQ(
        C_ZEPPCDServiceSetValueForKeyInSubDomain(store.get(), "1", "EULA_ACCEPTED", "PROD", true),
        0u);
    EXPECT_EQ(C_ZEPPCDServiceSetValueForKeyInSubDomain(store.get(), "PROD", "LicensingCode", "PAY",
                                                       false),
              0u);
    EXPECT_EQ(C_ZEPPCDServiceEndTransaction(store.get()), 0u);
  }
  ScopedHandle store(C_ZEPPCDServiceCreate());
  char buffer[512];
  EXPECT_EQ(C_ZEPPCDServiceValueForKeyInSubDomain(store.get(), buffer, sizeof buffer,
                                                  "EULA_ACCEPTED", "PROD", true),
            0u);
  EXPECT_STREQ(buffer, "1");
  EXPECT_NE(C_ZEPPCDServiceValueForKeyInSubDomain(store.get(), buffer, sizeof buffer,
                                                  "EULA_ACCEPTED", "PROD", false),
            0u);
  EXPECT_EQ(C_ZEPPCDServiceLicensingCodeForCorvelCode(store.get(), buffer, sizeof buffer, "PAY"),
            0u);
  EXPECT_STREQ(buffer, "PROD");
  EXPECT_EQ(C_ZEPPCDServiceRemoveKeyInSubDomain(store.get(), "EULA_ACCEPTED", "PROD", true), 0u);
  EXPECT_EQ(C_ZEPPCDServiceRemoveAllKeysInSubDomain(store.get(), "PAY", false), 0u);
  EXPECT_NE(C_ZEPPCDServiceLicensingCodeForCorvelCode(store.get(), buffer, sizeof buffer, "PAY"),
            0u);

  ScopedHandle eula(C_EULAServiceCreate());
  ASSERT_TRUE(eula);
  EXPECT_EQ(C_EULA_SetState(eula.get(), "PROD", 1, 4, "en_US"), 0u);
  EXPECT_TRUE(test::ReadWholeFile(scratch.pcd_db()).has_value());
  // Every call was bound: nothing went to the debugger output.
  EXPECT_FALSE(test::ReadWholeFile(scratch.debug_output()).has_value());
}

TEST(Bindings, LoggingSessionAsTheLibraryRunsIt) {
  test::ScratchFolder scratch;
  std::string path = scratch.temp() + "/tavlib.log";
  ScopedHandle logger(C_ZEPLoggerCreateFileLoggerWithPathAndSize(path.c_str(), 102400000));
  ASSERT_TRUE(logger);
  // The logger creates its file at once.
  EXPECT_EQ(test::ReadWholeFile(path).value_or("<missing>"), "");
  ScopedHandle service(C_ZEPLoggingServiceCreateWithID(0));
  ASSERT_TRUE(service);
  C_ZEPLoggingServiceAddLogger(service.get(), logger.get());
  logger.reset();  // the service keeps it
  LogLine(service.get(), "__TAVLIB_LOG_FILE__");
  LogLine(service.get(), "Version %s\n", "3.0.0.10,3.0");
  LogLine(nullptr, "second instance %d", 2);  // a later instance passes no service
  C_ZEPLoggingServiceCleanUpResource(service.get());
  LogLine(nullptr, "after the clean-up");
  service.reset();

  std::string text = test::ReadWholeFile(path).value_or("");
  EXPECT_NE(text.find(" informational TAVLib: __TAVLIB_LOG_FILE__\n"), std::string::npos);
  EXPECT_NE(text.find(" informational TAVLib: Version 3.0.0.10,3.0\n"), std::string::npos);
  EXPECT_NE(text.find(" informational TAVLib: second instance 2\n"), std::string::npos);
  EXPECT_EQ(text.find("after the clean-up"), std::string::npos);
  EXPECT_LT(text.find("__TAVLIB_LOG_FILE__"), 127u);
}

}  // namespace
}  // namespace corvel::zep
