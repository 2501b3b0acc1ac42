// The proxy credentials an instance keeps for the network client. GetCredentialsForProxy is
// not exported, so this executable links the C binding statically and reaches the instance
// behind its handle.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "corvel_tavlib.h"
#include "frame/tavlib_impl.h"
#include "records/record_operations.h"
#include "test_support.h"

namespace corvel::records {
namespace {

class ProxyCredentialsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(mHandle = Corvel_TAVLib_CreateRef(), nullptr); }
  void TearDown() override { Corvel_TAVLib_ReleaseRef(mHandle, 0); }
  uint32_t Get(TAVLibProxyCredentials* credentials) {
    return GetCredentialsForProxy(*frame::FromHandle(mHandle), credentials);
  }
  bool Logged(const std::string& message) const {
    const std::string log = test::ReadWholeFile(mScratch.temp() + "/tavlib.log").value_or("");
    return log.find("TAVLib: " + message + "\n") != std::string::npos;
  }

  test::ScratchFolder mScratch;
  TAVLibHandle mHandle = nullptr;
};

TEST_F(ProxyCredentialsTest, NothingKeptNullAndIllFormedInput) {
  TAVLibProxyCredentials credentials{};
  EXPECT_EQ(Get(&credentials), 6u);
  EXPECT_TRUE(Logged("TAVLIB Proxy credentials are empty "));
  EXPECT_EQ(Get(nullptr), 9u);
  EXPECT_TRUE(Logged("TAVLIB Invalid argument passed "));

  // A name alone is something kept; an ill-formed field is refused and changes nothing.
  std::strcpy(credentials.username, "user");
  credentials.remember = 1;
  ASSERT_EQ(Corvel_TAVLib_SetCredentialsForProxy(mHandle, &credentials), 0u);
  std::strcpy(credentials.password, "p\xE2\x82");
  EXPECT_EQ(Corvel_TAVLib_SetCredentialsForProxy(mHandle, &credentials), 9u);
  TAVLibProxyCredentials taken;
  std::memset(&taken, 'x', sizeof taken);
  ASSERT_EQ(Get(&taken), 0u);
  EXPECT_STREQ(taken.username, "user");
  EXPECT_STREQ(taken.password, "");
  EXPECT_EQ(taken.remember, 1);
}

TEST_F(ProxyCredentialsTest, FieldsAreCutTo256BytesAndTerminated) {
  // Fields filled to their last byte, without a terminator.
  TAVLibProxyCredentials given;
  std::memset(given.username, 'u', sizeof given.username);
  std::memset(given.password, 'p', sizeof given.password);
  given.remember = 0;
  ASSERT_EQ(Corvel_TAVLib_SetCredentialsForProxy(mHandle, &given), 0u);
  TAVLibProxyCredentials taken;
  std::memset(&taken, 'x', sizeof taken);
  ASSERT_EQ(Get(&taken), 0u);
  EXPECT_EQ(std::string(taken.username), std::string(256, 'u'));
  EXPECT_EQ(std::string(taken.password), std::string(256, 'p'));
  EXPECT_EQ(taken.remember, 0);

  // A cut never splits a UTF-8 sequence: 255 ASCII bytes and a two-byte letter keep 255.
  std::memset(given.username, 'u', 255);
  std::memcpy(given.username + 255, "\xC3\xA9", 2);
  ASSERT_EQ(Corvel_TAVLib_SetCredentialsForProxy(mHandle, &given), 0u);
  ASSERT_EQ(Get(&taken), 0u);
  EXPECT_EQ(std::string(taken.username), std::string(255, 'u'));
}

}  // namespace
}  // namespace corvel::records
