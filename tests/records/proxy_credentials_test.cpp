// The proxy credentials an instance keeps for the network client. GetCredentialsForProxy is
// not exported, so this executable links the library's parts statically and reaches the
// instance behind its handle.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "corvel_tavlib.h"
#include "frame/tavlib_impl.h"
#include "test_support.h"

namespace corvel::records {
namespace {

class ProxyCredentialsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mHandle = Corvel_TAVLib_CreateRef();
    ASSERT_NE(mHandle, nullptr);
  }
  void TearDown() override { Corvel_TAVLib_ReleaseRef(mHandle, 0); }

  uint32_t Get(TAVLibProxyCredentials* credentials) {
    return frame::FromHandle(mHandle)->GetCredentialsForProxy(credentials);
  }
  std::string Log() const {
    return test::ReadWholeFile(mScratch.temp() + "/tavlib.log").value_or("");
  }

  test::ScratchFolder mScratch;
  TAVLibHandle mHandle = nullptr;
};

TEST_F(ProxyCredentialsTest, NothingKeptIsNotFoundAndNullIsInvalid) {
  TAVLibProxyCredentials credentials{};
  EXPECT_EQ(Get(&credentials), 6u);
  EXPECT_NE(Log().find("TAVLIB Proxy credentials are empty \n"), std::string::npos);
  EXPECT_EQ(Get(nullptr), 9u);
  EXPECT_NE(Log().find("TAVLIB Invalid argument passed \n"), std::string::npos);
}

TEST_F(ProxyCredentialsTest, KeptCredentialsComeBackWithTheRememberFlag) {
  TAVLibProxyCredentials given{};
  std::strcpy(given.username, "user");
  given.remember = 1;  // a password alone or a name alone is still something kept
  ASSERT_EQ(Corvel_TAVLib_SetCredentialsForProxy(mHandle, &given), 0u);

  TAVLibProxyCredentials taken;
  std::memset(&taken, 'x', sizeof taken);
  ASSERT_EQ(Get(&taken), 0u);
  EXPECT_STREQ(taken.username, "user");
  EXPECT_STREQ(taken.password, "");
  EXPECT_EQ(taken.remember, 1);

  given.remember = 0;
  std::strcpy(given.password, "second");
  ASSERT_EQ(Corvel_TAVLib_SetCredentialsForProxy(mHandle, &given), 0u);
  ASSERT_EQ(Get(&taken), 0u);
  EXPECT_STREQ(taken.password, "second");
  EXPECT_EQ(taken.remember, 0);
}

TEST_F(ProxyCredentialsTest, FieldsAreCutTo256CharactersAndTerminated) {
  // Fields filled to the last byte, without a terminator.
  TAVLibProxyCredentials given;
  std::memset(given.username, 'u', sizeof given.username);
  std::memset(given.password, 'p', sizeof given.password);
  given.remember = 1;
  ASSERT_EQ(Corvel_TAVLib_SetCredentialsForProxy(mHandle, &given), 0u);

  TAVLibProxyCredentials taken;
  std::memset(&taken, 'x', sizeof taken);
  ASSERT_EQ(Get(&taken), 0u);
  EXPECT_EQ(std::string(taken.username), std::string(256, 'u'));
  EXPECT_EQ(std::string(taken.password), std::string(256, 'p'));

  // A cut never splits a UTF-8 sequence: 255 ASCII bytes and a two-byte letter keep 255.
  std::memset(&given, 0, sizeof given);
  std::memset(given.username, 'u', 255);
  std::memcpy(given.username + 255, "\xC3\xA9", 2);  // fills the field, no terminator
  ASSERT_EQ(Corvel_TAVLib_SetCredentialsForProxy(mHandle, &given), 0u);
  ASSERT_EQ(Get(&taken), 0u);
  EXPECT_EQ(std::string(taken.username), std::string(255, 'u'));
}

TEST_F(ProxyCredentialsTest, IllFormedTextIsRefusedAndKeepsTheEarlierValues) {
  TAVLibProxyCredentials given{};
  std::strcpy(given.username, "user");
  std::strcpy(given.password, "pass");
  ASSERT_EQ(Corvel_TAVLib_SetCredentialsForProxy(mHandle, &given), 0u);
  std::strcpy(given.password, "p\xE2\x82");
  EXPECT_EQ(Corvel_TAVLib_SetCredentialsForProxy(mHandle, &given), 9u);
  TAVLibProxyCredentials taken{};
  ASSERT_EQ(Get(&taken), 0u);
  EXPECT_STREQ(taken.password, "pass");
}

}  // namespace
}  // namespace corvel::records
