// The secure preference exports and the keeping of an instance's proxy credentials, through
// the C interface of the shared library.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "corvel_tavlib.h"
#include "test_support.h"

namespace corvel::prefs {
namespace {

using corvel::test::ReadWholeFile;
using corvel::test::WriteWholeFile;

// The value read size first, or the failing result as text.
std::string Read(const char* domain, const char* key, const char* path = nullptr) {
  uint32_t size = 0;
  int32_t status = Corvel_TAVLib_GetSecurePreference(domain, key, nullptr, &size, path);
  std::string value(size, '\x7f');
  if (status == kTAVLibPrefSuccess)
    status = Corvel_TAVLib_GetSecurePreference(domain, key, value.data(), &size, path);
  if (status != kTAVLibPrefSuccess) return "result " + std::to_string(status);
  EXPECT_EQ(value.back(), '\0');
  return value.substr(0, value.size() - 1);
}

int32_t Write(const char* domain, const char* key, const std::string& value,
              const char* path = nullptr) {
  return Corvel_TAVLib_SetSecurePreference(domain, key, value.c_str(), path);
}

TAVLibProxyCredentials Record(const std::string& username, const std::string& password,
                              unsigned char remember) {
  TAVLibProxyCredentials record{};
  std::memcpy(record.username, username.data(), std::min(username.size(), sizeof record.username));
  std::memcpy(record.password, password.data(), std::min(password.size(), sizeof record.password));
  record.remember = remember;
  return record;
}

std::string Bytes(const TAVLibProxyCredentials& record) {
  return std::string(reinterpret_cast<const char*>(&record), sizeof record);
}

class PreferencesTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(mHandle = Corvel_TAVLib_CreateRef(), nullptr); }
  void TearDown() override { Corvel_TAVLib_ReleaseRef(mHandle, 0); }

  std::string UserFolder() const { return mScratch.local_appdata() + "/Corvel/TAV"; }
  std::string UserFile() const { return UserFolder() + "/securePrefs.xml"; }
  std::string UserFileText() const { return ReadWholeFile(UserFile()).value_or(""); }
  // The enciphered text stored for key K of domain D.
  std::string StoredK() const {
    const std::string text = UserFileText();
    const size_t at = text.find("<K>") + 3;
    return text.substr(at, text.find('<', at) - at);
  }
  // How many times the main log holds the line.
  size_t Logged(const std::string& line) const {
    const std::string log = mScratch.main_log(), whole = "TAVLib: " + line + "\n";
    size_t count = 0;
    for (size_t at = log.find(whole); at != std::string::npos; at = log.find(whole, at + 1))
      ++count;
    return count;
  }
  void Give(const TAVLibProxyCredentials& record, uint32_t status = kTAVLibSuccess) {
    EXPECT_EQ(Corvel_TAVLib_SetCredentialsForProxy(mHandle, &record), status);
  }
  uint32_t Keep(int32_t outcome, bool* kept = nullptr) {
    return Corvel_TAVLib_KeepProxyCredentials(mHandle, outcome, kept);
  }
  // The kept user name and password, or the failing results.
  static std::string Kept() {
    return Read("ProxyCredentials", "ProxyUsername") + " / " +
           Read("ProxyCredentials", "ProxyPassword");
  }

  corvel::test::ScratchFolder mScratch;
  TAVLibHandle mHandle = nullptr;
};

TEST_F(PreferencesTest, ValuesReadBackSizeFirstFromTheUsersOrElseTheSharedFile) {
  const std::string main_log = mScratch.main_log();
  const std::string shared = mScratch.common_files() + "/Corvel/TAV/securePrefs.xml";
  ASSERT_EQ(Write("Domain", "Key", "shared", shared.c_str()), kTAVLibPrefSuccess);
  EXPECT_EQ(Read("Domain", "Key"), "shared");
  const std::string value = "p\xC3\xA4ssw\xC3\xB6rd \xE2\x82\xAC 0123456789";  // bytes above 0x7F
  ASSERT_EQ(Write("Domain", "Mine", value), kTAVLibPrefSuccess);
  EXPECT_EQ(Read("Domain", "Mine"), value);
  EXPECT_EQ(Read("Domain", "Key"), "result -1") << "the user's file, now there, is the one read";
  EXPECT_EQ(Read("Domain", "Key", shared.c_str()), "shared");
  // An empty value reads back as ""; a null domain is the default one.
  ASSERT_EQ(Write("Domain", "Mine", ""), kTAVLibPrefSuccess);
  EXPECT_EQ(Read("Domain", "Mine"), "");
  ASSERT_EQ(Write(nullptr, "Key", "value"), kTAVLibPrefSuccess);
  EXPECT_EQ(Read("DefaultDomain", "Key"), "value");
  EXPECT_EQ(Read("Elsewhere", "Key"), "result -1");
#ifndef _WIN32
  // POSIX modes (on Windows the user's folder keeps files private by the access list it hands
  // down): rewrites keep the file and its folders private.
  using std::filesystem::perms, std::filesystem::status;
  EXPECT_EQ(status(UserFile()).permissions(), perms(0600));
  EXPECT_EQ(status(UserFolder()).permissions(), perms(0700));
  EXPECT_EQ(status(mScratch.local_appdata() + "/Corvel").permissions(), perms(0700));
#endif
  EXPECT_EQ(mScratch.main_log(), main_log) << "preferences never go through the main log";
}

TEST_F(PreferencesTest, FailedWritesLeaveTheFileAsItWas) {
  ASSERT_EQ(Write("D", "K", "value"), kTAVLibPrefSuccess);
  const std::string good = UserFileText(), stored = StoredK();
  for (const std::string& content :
       {good.substr(0, good.size() / 2), std::string("not XML"), std::string(),
        "<Other><D><K>" + stored + "</K></D></Other>"}) {
    ASSERT_TRUE(WriteWholeFile(UserFile(), content));
    EXPECT_EQ(Write("D", "K2", "new"), kTAVLibPrefFailed) << content;
    EXPECT_EQ(UserFileText(), content);
  }

#ifndef _WIN32
  // Without any user folder (Windows always has one): writes fail, reads find no file.
  for (const char* name : {"CORVEL_LOCAL_APPDATA", "XDG_DATA_HOME", "HOME"})
    corvel::test::SetVariable(name, std::nullopt);
  EXPECT_EQ(Write("D", "K", "v"), kTAVLibPrefFailed);
  EXPECT_EQ(Read("D", "K"), "result -2");
#endif
}

TEST_F(PreferencesTest, DeeplyNestedFilesAreReadAndRewrittenWithoutIndentation) {
  ASSERT_EQ(Write("D", "K", "value"), kTAVLibPrefSuccess);
  const std::string stored = StoredK();
  auto nested = [](size_t depth, const std::string& inner) {
    std::string open, close;
    for (size_t i = 0; i < depth; ++i) open += "<n>", close += "</n>";
    return open + inner + close;
  };
  // Nesting around the stored value, and in another domain.
  for (auto [around_value, elsewhere] : {std::pair<size_t, size_t>{0, 3000}, {200000, 200000}}) {
    SCOPED_TRACE(around_value);
    ASSERT_TRUE(WriteWholeFile(UserFile(), "<TAVPrefs><D><K>" + nested(around_value, stored) +
                                               "</K></D><E>" + nested(elsewhere, "") +
                                               "</E></TAVPrefs>"));
    const size_t before = UserFileText().size();
    EXPECT_EQ(Read("D", "K"), "value");
    ASSERT_EQ(Write("D", "K", "other"), kTAVLibPrefSuccess);
    EXPECT_LT(UserFileText().size(), before + 64);
    EXPECT_EQ(Read("D", "K"), "other");
  }
}

// Every outcome with remember flags 0, 1 and 2: only a request that went through, with remember 1,
// keeps the credentials, in place of those kept before.
TEST_F(PreferencesTest, OnlyRememberedCredentialsOfASucceededRequestAreKept) {
  bool kept = true;
  EXPECT_EQ(Keep(kTAVLibProxyRequestSucceeded, &kept), kTAVLibNotFound) << "nothing recorded";
  EXPECT_FALSE(kept);
  std::string kept_before = "result -2 / result -2";
  for (int32_t outcome : {kTAVLibProxyRequestSucceeded, kTAVLibProxyAuthenticationRequired,
                          kTAVLibProxyAuthenticationFailed, kTAVLibProxyRequestKeepsNothing}) {
    for (unsigned char remember : {0, 1, 2}) {
      const std::string name = "user" + std::to_string(outcome) + std::to_string(remember);
      SCOPED_TRACE(name);
      Give(Record(name, "s3cret-" + name, remember));
      const bool should_keep = outcome == kTAVLibProxyRequestSucceeded && remember == 1;
      if (should_keep) kept_before = name + " / s3cret-" + name;
      kept = !should_keep;
      EXPECT_EQ(Keep(outcome, &kept), kTAVLibSuccess);
      EXPECT_EQ(kept, should_keep);
      EXPECT_EQ(Kept(), kept_before);
    }
  }
  EXPECT_EQ(Logged("TAVLIB Proxy credentials kept"), 1u);
  EXPECT_EQ(Logged("TAVLIB KeepProxyCredentials: ENDED"), 13u);
  EXPECT_EQ(mScratch.main_log().find("s3cret"), std::string::npos)
      << "credentials are never logged";
  EXPECT_EQ(ReadWholeFile(mScratch.temp() + "/Velmo.log")
                .value_or("")
                .find(std::string("s\0003\0c\0r\0e\0t\0", 12)),
            std::string::npos);
  EXPECT_EQ(UserFileText().find("s3cret"), std::string::npos) << "stored enciphered";

  // Fields are cut whole; an ill-formed one is refused and the instance keeps the last record.
  const std::string full(sizeof(TAVLibProxyCredentials::username), 'u');  // no terminator
  const struct {
    std::string username, password;
    uint32_t status;  // of the record given
    std::string kept;
  } cases[] = {
      {full, full, kTAVLibSuccess, std::string(256, 'u') + " / " + std::string(256, 'u')},
      {std::string(255, 'u') + "\xC3\xA9", "p", kTAVLibSuccess, std::string(255, 'u') + " / p"},
      {"user", "", kTAVLibSuccess, "user / "},  // a name alone is something kept
      {"next", "p\xE2\x82", kTAVLibInvalidArgument, "user / "},
      {"n\xC3(", "p", kTAVLibInvalidArgument, "user / "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.username.substr(0, 8));
    Give(Record(c.username, c.password, 1), c.status);
    ASSERT_EQ(Keep(kTAVLibProxyRequestSucceeded), kTAVLibSuccess);
    EXPECT_EQ(Kept(), c.kept);
  }
  // One domain element, its user name before its password, each replaced in place.
  const std::string text = UserFileText();
  EXPECT_EQ(text.find("<ProxyCredentials>"), text.rfind("<ProxyCredentials>"));
  EXPECT_EQ(text.find("<ProxyUsername"), text.rfind("<ProxyUsername"));
  EXPECT_LT(text.find("<ProxyUsername"), text.find("<ProxyPassword"));

  // The user's folder cannot be made: a file stands where it should go.
  ASSERT_EQ(std::filesystem::remove_all(mScratch.local_appdata() + "/Corvel") > 0, true);
  ASSERT_TRUE(WriteWholeFile(mScratch.local_appdata() + "/Corvel", "x"));
  Give(Record("fifth", "five", 1));
  EXPECT_EQ(Keep(kTAVLibProxyRequestSucceeded, &kept), kTAVLibStoreFailed);
  EXPECT_FALSE(kept);
  EXPECT_TRUE(Logged("TAVLIB Proxy credentials not kept: writing the secure preferences failed"));
}

TEST_F(PreferencesTest, ReuseTakesOnlyWellFormedValuesCutToTheFields) {
  const std::string long_password = std::string(255, 'p') + "\xC3\xA9" + "tail";
  const struct {
    const char* what;
    std::vector<std::pair<const char*, std::string>> stored;  // written in this order
    std::string username, password;  // expected; empty: not reused, nothing changed
  } cases[] = {
      {"no file", {}, "", ""},
      {"no password kept", {{"ProxyUsername", "user"}}, "", ""},
      {"both empty", {{"ProxyUsername", ""}, {"ProxyPassword", ""}}, "", ""},
      {"ill-formed text", {{"ProxyPassword", "p\xC3"}}, "", ""},
      {"undecipherable", {{"ProxyPassword", "pass"}, {"ProxyUsername", "user"}}, "", ""},
      {"long values",
       {{"ProxyUsername", std::string(300, 'n')}, {"ProxyPassword", long_password}},
       std::string(256, 'n'),
       std::string(255, 'p')},  // no split UTF-8 sequence
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    for (const auto& [key, value] : c.stored)
      ASSERT_EQ(Write("ProxyCredentials", key, value), kTAVLibPrefSuccess);
    if (std::string(c.what) == "undecipherable") {  // not a whole number of blocks
      std::string text = UserFileText();
      ASSERT_TRUE(WriteWholeFile(UserFile(), text.erase(text.find("</ProxyPassword>") - 2, 2)));
    }
    TAVLibProxyCredentials record;
    std::memset(&record, 'x', sizeof record);
    const bool reused = !c.username.empty();
    EXPECT_EQ(Corvel_TAVLib_ReuseProxyCredentials(mHandle, &record),
              reused ? kTAVLibSuccess : kTAVLibNotFound);
    // Each field whole: its text, then zeros; left as it was when nothing is reused.
    EXPECT_EQ(Bytes(record),
              reused ? Bytes(Record(c.username, c.password, 1)) : std::string(sizeof record, 'x'));
    EXPECT_EQ(Logged("TAVLIB Kept proxy credentials reused"), reused ? 1u : 0u);
    // The instance now holds them: keeping writes them back over the stored values.
    EXPECT_EQ(Keep(kTAVLibProxyRequestSucceeded), reused ? kTAVLibSuccess : kTAVLibNotFound);
    if (reused) {
      EXPECT_EQ(Kept(), c.username + " / " + c.password);
    }
  }
}

}  // namespace
}  // namespace corvel::prefs
