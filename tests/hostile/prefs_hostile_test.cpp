// Hostile callers of the secure-preference and proxy-credential exports: names that are not
// XML names (path and predicate steps among them) never address another value, refusals leave
// the file byte for byte as it was, awkward values come back exactly, and the store of cached
// data is never touched.
#include <sys/stat.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "hostile_fixture.h"
#include "hostile_texts.h"

namespace corvel::hostile {
namespace {

const Arg kNull;

class HostilePrefsTest : public HostileCallerTest {
 protected:
  std::string UserFile() const { return mScratch.local_appdata() + "/Corvel/TAV/securePrefs.xml"; }
  std::string FileText() const {
    return corvel::test::ReadWholeFile(UserFile()).value_or("<no file>");
  }
  // The value of domain/key, or the failing result as text.
  std::string Read(const Arg& domain, const Arg& key, const char* path = nullptr) {
    uint32_t size = 0;
    int32_t result = Corvel_TAVLib_GetSecurePreference(C(domain), C(key), nullptr, &size, path);
    if (result != kTAVLibPrefSuccess) return "result " + std::to_string(result);
    std::string value(size, '\0');
    result = Corvel_TAVLib_GetSecurePreference(C(domain), C(key), value.data(), &size, path);
    if (result != kTAVLibPrefSuccess) return "result " + std::to_string(result);
    value.resize(size - 1);
    return value;
  }
};

TEST_F(HostilePrefsTest, NamesThatAreNotXmlNamesAddressNothing) {
  ASSERT_EQ(
      Corvel_TAVLib_SetSecurePreference("ProxyCredentials", "ProxyPassword", "secret", nullptr),
      kTAVLibPrefSuccess);
  ASSERT_EQ(Corvel_TAVLib_SetSecurePreference(nullptr, "Other", "other", nullptr),
            kTAVLibPrefSuccess);
  const std::string file = FileText();

  // Path steps, predicates, wildcards and unions would reach other elements if pasted into
  // the XPath; markup would change the file if pasted into it.
  std::vector<std::string> names = {"*",
                                    "ProxyCredentials/ProxyPassword",
                                    "ProxyPassword]",
                                    "node()",
                                    "..",
                                    ".",
                                    "ProxyPassword|//ProxyPassword",
                                    "ProxyPassword[1]",
                                    "//ProxyPassword",
                                    "ProxyPassword "};
  names.insert(names.end(), XmlInvalidNames().begin(), XmlInvalidNames().end());
  names.insert(names.end(), IllFormedUtf8().begin(), IllFormedUtf8().end());
  names.push_back(AwkwardTexts()[0]);
  names.push_back(AwkwardTexts()[1]);
  for (const std::string& name : names) {
    SCOPED_TRACE(Label(name));
    EXPECT_EQ(Read(name, "ProxyPassword"), "result -1");
    EXPECT_EQ(Read("ProxyCredentials", name), "result -1");
    EXPECT_EQ(Read(kNull, name), "result -1");
    EXPECT_EQ(Corvel_TAVLib_SetSecurePreference(name.c_str(), "Key", "v", nullptr),
              kTAVLibPrefFailed);
    EXPECT_EQ(Corvel_TAVLib_SetSecurePreference("ProxyCredentials", name.c_str(), "v", nullptr),
              kTAVLibPrefFailed);
    EXPECT_EQ(FileText(), file);
  }
  EXPECT_EQ(Read("ProxyCredentials", "ProxyPassword"), "secret");
  EXPECT_EQ(Read("DefaultDomain", "Other"), "other");
  ExpectStoreChange();
}

TEST_F(HostilePrefsTest, RefusedWritesLeaveTheFileAsItWas) {
  ASSERT_EQ(Corvel_TAVLib_SetSecurePreference("D", "K", "kept", nullptr), kTAVLibPrefSuccess);
  const std::string file = FileText();
  struct Case {
    Arg domain, key, value, path;
    int32_t result;
  };
  const std::string blocker = mScratch.Path("blocker");
  ASSERT_TRUE(corvel::test::WriteWholeFile(blocker, "x"));
  const std::vector<Case> cases = {
      {"D", kNull, "v", kNull, kTAVLibPrefInvalidArgument},
      {"D", "K", kNull, kNull, kTAVLibPrefInvalidArgument},
      {"", "K", "v", kNull, kTAVLibPrefInvalidArgument},
      {"D", "", "v", kNull, kTAVLibPrefInvalidArgument},
      // Longer than 65,536 bytes.
      {"D", "K", std::string(65537, 'v'), kNull, kTAVLibPrefFailed},
      {"D", "K", Text1M(), kNull, kTAVLibPrefFailed},
      // Files that cannot be the preferences file.
      {"D", "K", "v", mScratch.root(), kTAVLibPrefFailed},
      {"D", "K", "v", blocker + "/sub/p.xml", kTAVLibPrefCannotCreateFolder},
      {"D", "K", "v", mScratch.Path("\xC3\x28.xml"), kTAVLibPrefFailed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Label(c.domain) + " " + Label(c.key) + " " + Label(c.value) + " " + Label(c.path));
    EXPECT_EQ(Corvel_TAVLib_SetSecurePreference(C(c.domain), C(c.key), C(c.value), C(c.path)),
              c.result);
    EXPECT_EQ(FileText(), file);
  }
  EXPECT_EQ(Read("D", "K"), "kept");
  ExpectStoreChange();
}

TEST_F(HostilePrefsTest, AwkwardValuesAndLongNamesComeBackExactly) {
  std::vector<std::string> values = AwkwardTexts();
  values.push_back(std::string(65536, 'v'));
  values.push_back("");
  values.push_back(std::string("nul\0inside", 10));  // a C text: ends at the NUL
  int count = 0;
  for (const std::string& value : values) {
    const std::string key = "Key" + std::to_string(++count);
    ASSERT_EQ(Corvel_TAVLib_SetSecurePreference("Hostile", key.c_str(), value.c_str(), nullptr),
              kTAVLibPrefSuccess)
        << Label(value);
    EXPECT_EQ(Read("Hostile", key), std::string(value.c_str())) << Label(value);
  }
  EXPECT_EQ(FileText().find("DROP TABLE"), std::string::npos) << "values are stored enciphered";
  // Long names that are XML names.
  const std::string long_name = "n" + std::string(64 * 1024, 'a');
  ASSERT_EQ(
      Corvel_TAVLib_SetSecurePreference(long_name.c_str(), long_name.c_str(), "deep", nullptr),
      kTAVLibPrefSuccess);
  EXPECT_EQ(Read(long_name, long_name), "deep");
  struct stat info {};
  ASSERT_EQ(stat(UserFile().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
  ExpectStoreChange();
}

TEST_F(HostilePrefsTest, ReadsRefuseBadArgumentsAndDamagedFiles) {
  uint32_t size = 0;
  EXPECT_EQ(Corvel_TAVLib_GetSecurePreference("D", "K", nullptr, &size, nullptr),
            kTAVLibPrefNoFile);
  EXPECT_EQ(Corvel_TAVLib_GetSecurePreference("D", nullptr, nullptr, &size, nullptr),
            kTAVLibPrefInvalidArgument);
  char buffer[4] = "abc";
  EXPECT_EQ(Corvel_TAVLib_GetSecurePreference("D", "K", buffer, nullptr, nullptr),
            kTAVLibPrefInvalidArgument);
  ASSERT_EQ(Corvel_TAVLib_SetSecurePreference("D", "K", "four", nullptr), kTAVLibPrefSuccess);
  for (uint32_t short_size : {0u, 1u, 4u}) {
    size = short_size;
    EXPECT_EQ(Corvel_TAVLib_GetSecurePreference("D", "K", buffer, &size, nullptr),
              kTAVLibPrefBufferTooSmall);
    EXPECT_STREQ(buffer, "abc");
  }
  // Damaged files: not XML, a value that is not hexadecimal, one enciphered elsewhere.
  const std::vector<std::string> damaged = {
      "\xFF\xFE<<<", "<TAVPrefs><D><K>XYZ</K></D></TAVPrefs>",
      "<TAVPrefs><D><K>00112233445566778899AABBCCDDEEFF</K></D></TAVPrefs>",
      "<TAVPrefs><D><K>0011</K></D></TAVPrefs>", ""};
  for (const std::string& text : damaged) {
    ASSERT_TRUE(corvel::test::WriteWholeFile(UserFile(), text));
    EXPECT_EQ(Read("D", "K"), "result -1") << Label(text);
    EXPECT_EQ(Read("D", "K", mScratch.Path("\xC3\x28").c_str()), "result -1");
  }
  ExpectStoreChange();
}

TEST_F(HostilePrefsTest, ProxyCredentialsAreKeptAndReusedOnlyAsTheRulesSay) {
  bool kept = true;
  EXPECT_EQ(Corvel_TAVLib_KeepProxyCredentials(mHandle, kTAVLibProxyRequestSucceeded, &kept),
            kTAVLibNotFound);
  EXPECT_FALSE(kept);
  TAVLibProxyCredentials record{};
  std::memset(&record, 0x5a, sizeof record);
  EXPECT_EQ(Corvel_TAVLib_ReuseProxyCredentials(mHandle, &record), kTAVLibNotFound);
  EXPECT_EQ(record.remember, 0x5a) << "a failed reuse leaves the record alone";

  // Fields full to the last byte (no NUL: read whole, handed out cut to 256 bytes), markup
  // and quotes in them.
  TAVLibProxyCredentials credentials{};
  std::memset(credentials.username, '<', sizeof credentials.username);
  const std::string password = "pa\"ss</ProxyPassword>\n{|}%n";
  std::memcpy(credentials.password, password.c_str(), password.size() + 1);
  credentials.remember = 1;
  ASSERT_EQ(Corvel_TAVLib_SetCredentialsForProxy(mHandle, &credentials), kTAVLibSuccess);
  for (int32_t outcome : {4, -1, INT_MIN, INT_MAX}) {
    kept = true;
    EXPECT_EQ(Corvel_TAVLib_KeepProxyCredentials(mHandle, outcome, &kept), kTAVLibInvalidArgument);
    EXPECT_FALSE(kept);
  }
  for (int32_t outcome : {kTAVLibProxyAuthenticationRequired, kTAVLibProxyAuthenticationFailed,
                          kTAVLibProxyRequestKeepsNothing}) {
    EXPECT_EQ(Corvel_TAVLib_KeepProxyCredentials(mHandle, outcome, &kept), kTAVLibSuccess);
    EXPECT_FALSE(kept);
  }
  EXPECT_EQ(FileText(), "<no file>");
  EXPECT_EQ(Corvel_TAVLib_KeepProxyCredentials(mHandle, kTAVLibProxyRequestSucceeded, nullptr),
            kTAVLibSuccess);
  EXPECT_EQ(Read("ProxyCredentials", "ProxyUsername"), std::string(256, '<'));
  EXPECT_EQ(Read("ProxyCredentials", "ProxyPassword"), password);

  // Another instance takes them back, the same bytes; a remember flag other than 1 keeps
  // nothing and leaves the kept ones alone.
  Renew(0);
  ASSERT_EQ(Corvel_TAVLib_ReuseProxyCredentials(mHandle, &record), kTAVLibSuccess);
  EXPECT_EQ(std::string(record.username), std::string(256, '<'));
  EXPECT_EQ(std::string(record.password), password);
  EXPECT_EQ(record.remember, 1);
  EXPECT_EQ(Corvel_TAVLib_ReuseProxyCredentials(mHandle, nullptr), kTAVLibSuccess);
  credentials.remember = 2;
  ASSERT_EQ(Corvel_TAVLib_SetCredentialsForProxy(mHandle, &credentials), kTAVLibSuccess);
  EXPECT_EQ(Corvel_TAVLib_KeepProxyCredentials(mHandle, kTAVLibProxyRequestSucceeded, &kept),
            kTAVLibSuccess);
  EXPECT_FALSE(kept);
  EXPECT_EQ(Read("ProxyCredentials", "ProxyPassword"), password);

  // A kept value that is not well-formed UTF-8 is not handed out.
  ASSERT_EQ(
      Corvel_TAVLib_SetSecurePreference("ProxyCredentials", "ProxyUsername", "u\xC3\x28", nullptr),
      kTAVLibPrefSuccess);
  std::memset(&record, 0x5a, sizeof record);
  EXPECT_EQ(Corvel_TAVLib_ReuseProxyCredentials(mHandle, &record), kTAVLibNotFound);
  EXPECT_EQ(record.remember, 0x5a);
  // A damaged file neither.
  ASSERT_TRUE(corvel::test::WriteWholeFile(UserFile(), "<TAVPrefs><ProxyCredentials>"));
  EXPECT_EQ(Corvel_TAVLib_ReuseProxyCredentials(mHandle, &record), kTAVLibNotFound);
  ExpectStoreChange();
}

}  // namespace
}  // namespace corvel::hostile
