// The secure preference exports: the same results as the store's own functions, reached from
// C without an instance.
#include <cstring>
#include <string>

#include "prefs_api_support.h"

namespace corvel::prefs::test {
namespace {

using SecurePreferenceApiTest = PrefsApiTest;

TEST_F(SecurePreferenceApiTest, SizeFirstReadAndOneByteShort) {
  const std::string value = "p\xC3\xA4ssw\xC3\xB6rd \xE2\x82\xAC 0123456789";  // bytes above 0x7F
  ASSERT_EQ(Corvel_TAVLib_SetSecurePreference("Domain", "Key", value.c_str(), nullptr),
            kTAVLibPrefSuccess);

  uint32_t size = 0;
  ASSERT_EQ(Corvel_TAVLib_GetSecurePreference("Domain", "Key", nullptr, &size, nullptr),
            kTAVLibPrefSuccess);
  EXPECT_EQ(size, value.size() + 1);

  std::string buffer(size, 'x');
  uint32_t short_size = size - 1;
  EXPECT_EQ(Corvel_TAVLib_GetSecurePreference("Domain", "Key", buffer.data(), &short_size, nullptr),
            kTAVLibPrefBufferTooSmall);
  EXPECT_EQ(buffer, std::string(size, 'x')) << "a refused read leaves the buffer alone";

  ASSERT_EQ(Corvel_TAVLib_GetSecurePreference("Domain", "Key", buffer.data(), &size, nullptr),
            kTAVLibPrefSuccess);
  EXPECT_EQ(buffer, value + '\0');
  EXPECT_EQ(UserFileText().find("p\xC3\xA4ssw"), std::string::npos) << "stored enciphered";

  // An empty value reads back as "" with size 1; a replaced value reads back replaced.
  ASSERT_EQ(Corvel_TAVLib_SetSecurePreference("Domain", "Key", "", nullptr), kTAVLibPrefSuccess);
  EXPECT_EQ(Read("Domain", "Key"), "");
  ASSERT_EQ(Corvel_TAVLib_SetSecurePreference("Domain", "Key", "again", nullptr),
            kTAVLibPrefSuccess);
  EXPECT_EQ(Read("Domain", "Key"), "again");
}

TEST_F(SecurePreferenceApiTest, FailureResults) {
  uint32_t size = 0;
  int32_t result = 0;
  // No file anywhere yet.
  EXPECT_FALSE(Read("Domain", "Key", &result));
  EXPECT_EQ(result, kTAVLibPrefNoFile);

  EXPECT_EQ(Corvel_TAVLib_GetSecurePreference("Domain", nullptr, nullptr, &size, nullptr),
            kTAVLibPrefInvalidArgument);
  EXPECT_EQ(Corvel_TAVLib_GetSecurePreference("Domain", "Key", nullptr, nullptr, nullptr),
            kTAVLibPrefInvalidArgument);
  EXPECT_EQ(Corvel_TAVLib_SetSecurePreference("Domain", nullptr, "v", nullptr),
            kTAVLibPrefInvalidArgument);
  EXPECT_EQ(Corvel_TAVLib_SetSecurePreference("Domain", "Key", nullptr, nullptr),
            kTAVLibPrefInvalidArgument);
  EXPECT_EQ(Corvel_TAVLib_SetSecurePreference("Domain", "", "v", nullptr),
            kTAVLibPrefInvalidArgument);
  EXPECT_EQ(Corvel_TAVLib_SetSecurePreference("", "Key", "v", nullptr), kTAVLibPrefInvalidArgument);
  EXPECT_EQ(Corvel_TAVLib_SetSecurePreference("Domain", "not a name", "v", nullptr),
            kTAVLibPrefFailed);
  EXPECT_FALSE(Mode(UserFile())) << "no failed write creates the file";

  ASSERT_EQ(Corvel_TAVLib_SetSecurePreference("Domain", "Key", "v", nullptr), kTAVLibPrefSuccess);
  EXPECT_FALSE(Read("Domain", "Other", &result));
  EXPECT_EQ(result, kTAVLibPrefFailed) << "a missing key is a failure, not an empty value";
  EXPECT_FALSE(Read("Elsewhere", "Key", &result));
  EXPECT_EQ(result, kTAVLibPrefFailed);

  // A file stands where a folder should be: as the file's own folder, the folder counts as
  // made and the file cannot be written; further up, the folder cannot be made.
  const std::string blocker = mScratch.Path("blocker");
  ASSERT_TRUE(corvel::test::WriteWholeFile(blocker, "x"));
  EXPECT_EQ(Corvel_TAVLib_SetSecurePreference("Domain", "Key", "v", (blocker + "/p.xml").c_str()),
            kTAVLibPrefCannotWriteFile);
  EXPECT_EQ(
      Corvel_TAVLib_SetSecurePreference("Domain", "Key", "v", (blocker + "/sub/p.xml").c_str()),
      kTAVLibPrefCannotCreateFolder);
}

TEST_F(SecurePreferenceApiTest, NullDomainIsTheDefaultDomain) {
  ASSERT_EQ(Corvel_TAVLib_SetSecurePreference(nullptr, "Key", "value", nullptr),
            kTAVLibPrefSuccess);
  EXPECT_EQ(Read("DefaultDomain", "Key"), "value");
  ASSERT_EQ(Corvel_TAVLib_SetSecurePreference("DefaultDomain", "Key", "other", nullptr),
            kTAVLibPrefSuccess);
  EXPECT_EQ(Read(nullptr, "Key"), "other");
}

TEST_F(SecurePreferenceApiTest, OwnerOnlyFileWithoutInstanceOrMainLog) {
  ASSERT_EQ(Corvel_TAVLib_SetSecurePreference("Domain", "First", "1", nullptr), kTAVLibPrefSuccess);
  ASSERT_EQ(Corvel_TAVLib_SetSecurePreference("Domain", "Second", "2", nullptr),
            kTAVLibPrefSuccess);
  ASSERT_EQ(Corvel_TAVLib_SetSecurePreference("Domain", "First", "3", nullptr), kTAVLibPrefSuccess);
  EXPECT_EQ(Mode(UserFile()), 0600u) << "rewrites keep the file private";
  EXPECT_EQ(Mode(UserFolder()), 0700u);
  EXPECT_EQ(Mode(mScratch.local_appdata() + "/Corvel"), 0700u);
  EXPECT_EQ(Read("Domain", "First"), "3");
  EXPECT_EQ(Read("Domain", "Second"), "2");

  EXPECT_EQ(MainLog(), "") << "preferences never go through the main log";
  EXPECT_NE(PrefsLogBytes(), "") << "their diagnostics go to the preferences log";
}

TEST_F(SecurePreferenceApiTest, ExplicitPathAndSharedFallback) {
  // A file only in the shared location is read; a write goes to the user's file.
  const std::string shared = mScratch.common_files() + "/Corvel/TAV/securePrefs.xml";
  ASSERT_EQ(Corvel_TAVLib_SetSecurePreference("Domain", "Key", "shared", shared.c_str()),
            kTAVLibPrefSuccess);
  EXPECT_FALSE(Mode(UserFile()));
  EXPECT_EQ(Read("Domain", "Key"), "shared");

  ASSERT_EQ(Corvel_TAVLib_SetSecurePreference("Domain", "Key", "mine", nullptr),
            kTAVLibPrefSuccess);
  EXPECT_EQ(Read("Domain", "Key"), "mine");
  EXPECT_EQ(Read("Domain", "Key", nullptr, shared.c_str()), "shared");
}

}  // namespace
}  // namespace corvel::prefs::test
