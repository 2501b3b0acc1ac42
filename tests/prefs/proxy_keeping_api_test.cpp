// Keeping an instance's proxy credentials in the secure preferences and reusing them, through
// the C interface.
#include <cstring>
#include <string>
#include <tuple>

#include "prefs_api_support.h"

namespace corvel::prefs::test {
namespace {

TAVLibProxyCredentials Record(const std::string& username, const std::string& password,
                              unsigned char remember) {
  TAVLibProxyCredentials record{};
  std::memcpy(record.username, username.data(), username.size());
  std::memcpy(record.password, password.data(), password.size());
  record.remember = remember;
  return record;
}

class ProxyKeepingTest : public PrefsApiTest {
 protected:
  void SetUp() override {
    mHandle = Corvel_TAVLib_CreateRef();
    ASSERT_NE(mHandle, nullptr);
  }
  void TearDown() override {
    if (mHandle != nullptr) Corvel_TAVLib_ReleaseRef(mHandle, 0);
  }

  void Give(const std::string& username, const std::string& password, unsigned char remember) {
    TAVLibProxyCredentials record = Record(username, password, remember);
    ASSERT_EQ(Corvel_TAVLib_SetCredentialsForProxy(mHandle, &record), kTAVLibSuccess);
  }
  uint32_t Keep(int32_t outcome, bool* kept) {
    return Corvel_TAVLib_KeepProxyCredentials(mHandle, outcome, kept);
  }
  static std::optional<std::string> Kept(const char* key) { return Read("ProxyCredentials", key); }

  TAVLibHandle mHandle = nullptr;
};

// Every outcome with both remember flags: only a request that went through, with remember 1,
// keeps the credentials.
class ProxyKeepingRuleTest
    : public ProxyKeepingTest,
      public ::testing::WithParamInterface<std::tuple<int32_t, unsigned char>> {};

TEST_P(ProxyKeepingRuleTest, KeepsOnlyRememberedCredentialsOfASucceededRequest) {
  const auto [outcome, remember] = GetParam();
  const bool should_keep = outcome == kTAVLibProxyRequestSucceeded && remember == 1;
  Give("proxy-user", "s3cret-pass", remember);

  bool kept = !should_keep;
  EXPECT_EQ(Keep(outcome, &kept), kTAVLibSuccess);
  EXPECT_EQ(kept, should_keep);
  if (should_keep) {
    EXPECT_EQ(Kept("ProxyUsername"), "proxy-user");
    EXPECT_EQ(Kept("ProxyPassword"), "s3cret-pass");
    EXPECT_TRUE(MainLogHas("TAVLIB Proxy credentials kept"));
  } else {
    EXPECT_FALSE(Mode(UserFile())) << "nothing written";
  }
  EXPECT_TRUE(MainLogHas("TAVLIB KeepProxyCredentials: STARTED"));
  EXPECT_TRUE(MainLogHas("TAVLIB KeepProxyCredentials: ENDED"));
  EXPECT_EQ(MainLog().find("s3cret"), std::string::npos) << "credentials are never logged";
  EXPECT_EQ(PrefsLogBytes().find("s\0003\0c\0r\0e\0t\0", 0, 12), std::string::npos);
  EXPECT_EQ(UserFileText().find("s3cret"), std::string::npos) << "stored enciphered";
}

INSTANTIATE_TEST_SUITE_P(
    EveryOutcome, ProxyKeepingRuleTest,
    ::testing::Combine(::testing::Values(kTAVLibProxyRequestSucceeded,
                                         kTAVLibProxyAuthenticationRequired,
                                         kTAVLibProxyAuthenticationFailed,
                                         kTAVLibProxyRequestKeepsNothing),
                       ::testing::Values(0, 1)),
    [](const ::testing::TestParamInfo<std::tuple<int32_t, unsigned char>>& info) {
      return "Outcome" + std::to_string(std::get<0>(info.param)) + "Remember" +
             std::to_string(std::get<1>(info.param));
    });

TEST_F(ProxyKeepingTest, KeptFileIsLaidOutAndPrivate) {
  Give("first", "one", 1);
  ASSERT_EQ(Keep(kTAVLibProxyRequestSucceeded, nullptr), kTAVLibSuccess);
  Give("second", "two", 1);
  ASSERT_EQ(Keep(kTAVLibProxyRequestSucceeded, nullptr), kTAVLibSuccess);
  EXPECT_EQ(Kept("ProxyUsername"), "second");
  EXPECT_EQ(Kept("ProxyPassword"), "two");
  EXPECT_EQ(Mode(UserFile()), 0600u);
  EXPECT_EQ(Mode(UserFolder()), 0700u);

  // One domain element, its user name before its password, each replaced in place.
  const std::string text = UserFileText();
  EXPECT_EQ(text.find("<ProxyCredentials>"), text.rfind("<ProxyCredentials>"));
  EXPECT_EQ(text.find("<ProxyUsername>"), text.rfind("<ProxyUsername>"));
  EXPECT_LT(text.find("<ProxyUsername>"), text.find("<ProxyPassword>"));

  // Credentials not to be kept leave the kept ones alone.
  Give("third", "three", 0);
  ASSERT_EQ(Keep(kTAVLibProxyRequestSucceeded, nullptr), kTAVLibSuccess);
  Give("fourth", "four", 1);
  ASSERT_EQ(Keep(kTAVLibProxyAuthenticationFailed, nullptr), kTAVLibSuccess);
  EXPECT_EQ(Kept("ProxyUsername"), "second");
  EXPECT_EQ(Kept("ProxyPassword"), "two");
}

TEST_F(ProxyKeepingTest, KeepRefusals) {
  bool kept = true;
  EXPECT_EQ(Keep(kTAVLibProxyRequestSucceeded, &kept), kTAVLibNotFound) << "nothing recorded";
  EXPECT_FALSE(kept);

  Give("user", "pass", 1);
  for (int32_t outcome : {-1, 4, 1000}) {
    kept = true;
    EXPECT_EQ(Keep(outcome, &kept), kTAVLibInvalidArgument) << outcome;
    EXPECT_FALSE(kept);
  }
  EXPECT_TRUE(MainLogHas("TAVLIB Invalid argument passed "));
  EXPECT_FALSE(Mode(UserFile()));

  // The user's folder cannot be made: a file stands where it should go.
  ASSERT_TRUE(corvel::test::WriteWholeFile(mScratch.local_appdata() + "/Corvel", "x"));
  kept = true;
  EXPECT_EQ(Keep(kTAVLibProxyRequestSucceeded, &kept), kTAVLibStoreFailed);
  EXPECT_FALSE(kept);
  EXPECT_TRUE(
      MainLogHas("TAVLIB Proxy credentials not kept: writing the secure preferences failed"));
}

TEST_F(ProxyKeepingTest, NullOrReleasedHandleDoesNothing) {
  Corvel_TAVLib_ReleaseRef(mHandle, 0);
  const std::string log_before = MainLog();
  for (TAVLibHandle handle : {static_cast<TAVLibHandle>(nullptr), mHandle}) {
    bool kept = true;
    EXPECT_EQ(Corvel_TAVLib_KeepProxyCredentials(handle, kTAVLibProxyRequestSucceeded, &kept),
              kTAVLibNoInstance);
    EXPECT_TRUE(kept) << "left alone";
    TAVLibProxyCredentials record;
    std::memset(&record, 'x', sizeof record);
    EXPECT_EQ(Corvel_TAVLib_ReuseProxyCredentials(handle, &record), kTAVLibNoInstance);
    EXPECT_EQ(record.username[0], 'x');
  }
  mHandle = nullptr;
  EXPECT_EQ(MainLog(), log_before);
  EXPECT_EQ(PrefsLogBytes(), "");
}

TEST_F(ProxyKeepingTest, ReuseGivesKeptCredentialsToAnotherInstance) {
  Give("kept-user", "kept-pass", 1);
  ASSERT_EQ(Keep(kTAVLibProxyRequestSucceeded, nullptr), kTAVLibSuccess);
  Corvel_TAVLib_ReleaseRef(mHandle, 0);
  mHandle = Corvel_TAVLib_CreateRef();
  ASSERT_NE(mHandle, nullptr);
  ASSERT_EQ(Keep(kTAVLibProxyRequestSucceeded, nullptr), kTAVLibNotFound) << "a fresh instance";

  TAVLibProxyCredentials record;
  std::memset(&record, 'x', sizeof record);
  ASSERT_EQ(Corvel_TAVLib_ReuseProxyCredentials(mHandle, &record), kTAVLibSuccess);
  EXPECT_STREQ(record.username, "kept-user");
  EXPECT_STREQ(record.password, "kept-pass");
  EXPECT_EQ(record.remember, 1);
  EXPECT_EQ(record.username[sizeof record.username - 1], '\0') << "the rest of the field is zero";
  EXPECT_TRUE(MainLogHas("TAVLIB Kept proxy credentials reused"));

  // The instance now holds them: keeping again writes them back over other stored values.
  ASSERT_EQ(
      Corvel_TAVLib_SetSecurePreference("ProxyCredentials", "ProxyUsername", "other", nullptr),
      kTAVLibPrefSuccess);
  bool kept = false;
  ASSERT_EQ(Keep(kTAVLibProxyRequestSucceeded, &kept), kTAVLibSuccess);
  EXPECT_TRUE(kept);
  EXPECT_EQ(Kept("ProxyUsername"), "kept-user");
}

TEST_F(ProxyKeepingTest, KeptCredentialsSurviveTheProcess) {
  // Another process keeps them; this one, whose instance predates the write, reuses them.
  const int status = corvel::test::RunInChild([] {
    TAVLibHandle handle = Corvel_TAVLib_CreateRef();
    TAVLibProxyCredentials record = Record("child-user", "child-pass", 1);
    bool kept = false;
    int result = handle != nullptr && Corvel_TAVLib_SetCredentialsForProxy(handle, &record) == 0 &&
                         Corvel_TAVLib_KeepProxyCredentials(handle, 0, &kept) == 0 && kept
                     ? 0
                     : 1;
    Corvel_TAVLib_ReleaseRef(handle, 0);
    return result;
  });
  ASSERT_EQ(status, 0);
  TAVLibProxyCredentials record{};
  ASSERT_EQ(Corvel_TAVLib_ReuseProxyCredentials(mHandle, &record), kTAVLibSuccess);
  EXPECT_STREQ(record.username, "child-user");
  EXPECT_STREQ(record.password, "child-pass");
}

TEST_F(ProxyKeepingTest, ReuseWithoutUsableKeptCredentialsChangesNothing) {
  // Each stored state leaves the record and the instance as they were.
  auto expect_not_reused = [this](const char* what) {
    TAVLibProxyCredentials record;
    std::memset(&record, 'x', sizeof record);
    EXPECT_EQ(Corvel_TAVLib_ReuseProxyCredentials(mHandle, &record), kTAVLibNotFound) << what;
    EXPECT_EQ(record.username[0], 'x') << what;
    EXPECT_EQ(record.remember, 'x') << what;
    EXPECT_EQ(Keep(kTAVLibProxyRequestSucceeded, nullptr), kTAVLibNotFound)
        << what << ": the instance still holds nothing";
  };
  auto store = [](const char* key, const char* value) {
    ASSERT_EQ(Corvel_TAVLib_SetSecurePreference("ProxyCredentials", key, value, nullptr),
              kTAVLibPrefSuccess);
  };
  expect_not_reused("no file");
  store("ProxyUsername", "user");
  expect_not_reused("no password kept");
  store("ProxyUsername", "");
  store("ProxyPassword", "");
  expect_not_reused("both empty");
  store("ProxyPassword", "p\xC3");
  expect_not_reused("ill-formed text");

  // A damaged value: a cipher text that is not a whole number of blocks does not decipher.
  store("ProxyPassword", "pass");
  store("ProxyUsername", "user");
  std::string text = UserFileText();
  const size_t start = text.find("<ProxyPassword>");
  ASSERT_NE(start, std::string::npos);
  const size_t value = start + std::strlen("<ProxyPassword>");
  text.replace(value, text.find('<', value) - value, "00112233445566778899AABBCCDDEE");
  ASSERT_TRUE(corvel::test::WriteWholeFile(UserFile(), text));
  expect_not_reused("undecipherable password");
}

TEST_F(ProxyKeepingTest, ReuseCutsLongValuesToTheRecordFields) {
  const std::string long_name(300, 'n');
  const std::string split_password = std::string(255, 'p') + "\xC3\xA9" + "tail";
  ASSERT_EQ(Corvel_TAVLib_SetSecurePreference("ProxyCredentials", "ProxyUsername",
                                              long_name.c_str(), nullptr),
            kTAVLibPrefSuccess);
  ASSERT_EQ(Corvel_TAVLib_SetSecurePreference("ProxyCredentials", "ProxyPassword",
                                              split_password.c_str(), nullptr),
            kTAVLibPrefSuccess);
  TAVLibProxyCredentials record;
  std::memset(&record, 'x', sizeof record);
  ASSERT_EQ(Corvel_TAVLib_ReuseProxyCredentials(mHandle, &record), kTAVLibSuccess);
  EXPECT_EQ(std::string(record.username), std::string(256, 'n'));
  EXPECT_EQ(std::string(record.password), std::string(255, 'p')) << "no split UTF-8 sequence";
}

}  // namespace
}  // namespace corvel::prefs::test
