// The secure preferences store end to end: files, layout, results, log lines and failures.
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <sys/stat.h>
#include <unistd.h>

#include "prefs/cipher_core.h"
#include "prefs/crypt_engine.h"
#include "prefs/key_material.h"
#include "prefs/secure_prefs.h"
#include "prefs_test_helpers.h"
#include "test_support.h"

namespace corvel::prefs {
namespace {

using corvel::test::ReadWholeFile;
using corvel::test::WriteWholeFile;
using test::LogContains;

struct Read {
  int result;
  std::string value;
};

class SecurePrefsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(WriteWholeFile(scratch_.temp() + "/qiv.trace", ""));
    ASSERT_EQ(0, InitPrefs());
  }
  void TearDown() override { EXPECT_EQ(0, UninitPrefs()); }

  std::string UserFile() const { return scratch_.local_appdata() + "/Corvel/TAV/securePrefs.xml"; }
  std::string CommonFile() const { return scratch_.common_files() + "/Corvel/TAV/securePrefs.xml"; }

  // The size-first pattern: ask for the size, then read with exactly that size.
  static Read Get(const char* domain, const char* key, const char* path = nullptr) {
    uint32_t size = 0;
    int result = GetPrefValue(domain, key, nullptr, &size, path);
    if (result != 0) return {result, ""};
    std::string buffer(size, '\x7F');
    result = GetPrefValue(domain, key, buffer.data(), &size, path);
    if (result != 0) return {result, ""};
    EXPECT_EQ('\0', buffer.back());
    buffer.pop_back();
    return {result, buffer};
  }

  static std::string StoredText(const std::string& file, const char* domain, const char* key) {
    pugi::xml_document document;
    EXPECT_TRUE(document.load_file(file.c_str()));
    return document.child("TAVPrefs").child(domain).child(key).text().get();
  }

  corvel::test::ScratchFolder scratch_;
  FixedKeyMaterial alice_{"0f3c9a7e55d24b1e8c6a2f4d9b7e1a30", "alice"};
  ScopedKeyMaterial material_{alice_};
};

TEST_F(SecurePrefsTest, FirstWriteCreatesPrivateFolderAndFile) {
  ASSERT_EQ(0, SetPrefValue("ProxyCredentials", "ProxyUsername", "jdoe", nullptr));
  struct stat st{};
  ASSERT_EQ(0, stat(UserFile().c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 0777);
  for (const char* folder : {"/Corvel", "/Corvel/TAV"}) {
    ASSERT_EQ(0, stat((scratch_.local_appdata() + folder).c_str(), &st));
    EXPECT_EQ(0700u, st.st_mode & 0777) << folder;
  }
  pugi::xml_document document;
  ASSERT_TRUE(document.load_file(UserFile().c_str()));
  pugi::xml_node root = document.document_element();
  EXPECT_STREQ("TAVPrefs", root.name());
  ASSERT_EQ(1, std::distance(root.begin(), root.end()));
  pugi::xml_node domain = root.first_child();
  EXPECT_STREQ("ProxyCredentials", domain.name());
  ASSERT_EQ(1, std::distance(domain.begin(), domain.end()));
  std::string text = domain.child("ProxyUsername").text().get();
  EXPECT_EQ(32u, text.size());
  EXPECT_EQ(std::string::npos, text.find_first_not_of("0123456789ABCDEF"));
  EXPECT_EQ(std::string::npos, ReadWholeFile(UserFile())->find("jdoe"));
  EXPECT_EQ("jdoe", Get("ProxyCredentials", "ProxyUsername").value);
  EXPECT_TRUE(LogContains("[TRACE] NVX - set value for key ..."));
  EXPECT_TRUE(LogContains("[TRACE] NVX - setting prefs file to default.."));
}

TEST_F(SecurePrefsTest, SameKeyIsReplacedInPlaceAndSecondKeyJoinsTheDomain) {
  ASSERT_EQ(0, SetPrefValue("ProxyCredentials", "ProxyUsername", "first", nullptr));
  ASSERT_EQ(0, SetPrefValue("ProxyCredentials", "ProxyPassword", "secret", nullptr));
  ASSERT_EQ(0, SetPrefValue("ProxyCredentials", "ProxyUsername", "second user name", nullptr));
  pugi::xml_document document;
  ASSERT_TRUE(document.load_file(UserFile().c_str()));
  pugi::xml_node root = document.document_element();
  ASSERT_EQ(1, std::distance(root.begin(), root.end()));
  pugi::xml_node domain = root.first_child();
  ASSERT_EQ(2, std::distance(domain.begin(), domain.end()));
  EXPECT_STREQ("ProxyUsername", domain.first_child().name());
  EXPECT_STREQ("ProxyPassword", domain.last_child().name());
  EXPECT_EQ(64u, std::string(domain.first_child().text().get()).size());
  EXPECT_EQ("second user name", Get("ProxyCredentials", "ProxyUsername").value);
  EXPECT_EQ("secret", Get("ProxyCredentials", "ProxyPassword").value);
}

TEST_F(SecurePrefsTest, NullDomainMeansDefaultDomain) {
  ASSERT_EQ(0, SetPrefValue(nullptr, "Theme", "dark", nullptr));
  EXPECT_EQ(32u, StoredText(UserFile(), "DefaultDomain", "Theme").size());
  EXPECT_EQ("dark", Get(nullptr, "Theme").value);
  EXPECT_EQ("dark", Get("DefaultDomain", "Theme").value);
  EXPECT_TRUE(LogContains("[INFO] NVX - setting domain to default.."));
}

TEST_F(SecurePrefsTest, MissingKeyAndMissingFile) {
  EXPECT_EQ(-2, Get("ProxyCredentials", "ProxyUsername").result);
  EXPECT_TRUE(LogContains("[INFO] Utilities - File does not exist\n"));
  EXPECT_TRUE(LogContains("[WARN] NVX - Failed to get pref file path..."));
  ASSERT_EQ(0, SetPrefValue("ProxyCredentials", "ProxyUsername", "jdoe", nullptr));
  EXPECT_EQ(-1, Get("ProxyCredentials", "ProxyPassword").result);
  EXPECT_EQ(-1, Get("OtherDomain", "ProxyUsername").result);
  EXPECT_TRUE(LogContains("[ERROR] NVX - Failed to fetch value from xml :" + UserFile()));
  // An explicit file that does not exist is a failed read, not a missing file.
  EXPECT_EQ(-1, Get("ProxyCredentials", "ProxyUsername", scratch_.Path("absent.xml").c_str()).result);
  EXPECT_TRUE(LogContains("Failed to read from xml :" + scratch_.Path("absent.xml")));
}

TEST_F(SecurePrefsTest, SizeFirstThenExactBufferAndOneByteShort) {
  ASSERT_EQ(0, SetPrefValue("D", "K", "0123456789", nullptr));
  uint32_t size = 0;
  ASSERT_EQ(0, GetPrefValue("D", "K", nullptr, &size, nullptr));
  EXPECT_EQ(11u, size);
  EXPECT_TRUE(LogContains("[INFO] NVX - returning size of value as:11"));
  char buffer[11];
  uint32_t short_size = 10;
  EXPECT_EQ(-4, GetPrefValue("D", "K", buffer, &short_size, nullptr));
  EXPECT_TRUE(LogContains("Insufficient buffer size..."));
  ASSERT_EQ(0, GetPrefValue("D", "K", buffer, &size, nullptr));
  EXPECT_STREQ("0123456789", buffer);
  EXPECT_EQ(-3, GetPrefValue("D", nullptr, buffer, &size, nullptr));
  EXPECT_EQ(-3, GetPrefValue("D", "K", buffer, nullptr, nullptr));
  EXPECT_TRUE(LogContains("Invalid arguments in get value for key..."));
  EXPECT_EQ(-3, SetPrefValue("D", nullptr, "v", nullptr));
  EXPECT_EQ(-3, SetPrefValue("D", "K", nullptr, nullptr));
  EXPECT_TRUE(LogContains("Invalid arguments in set value for key..."));
}

TEST_F(SecurePrefsTest, EmptyValueIsAnEmptyElement) {
  ASSERT_EQ(0, SetPrefValue("D", "K", "", nullptr));
  EXPECT_EQ("", StoredText(UserFile(), "D", "K"));
  uint32_t size = 0;
  ASSERT_EQ(0, GetPrefValue("D", "K", nullptr, &size, nullptr));
  EXPECT_EQ(1u, size);
  // An empty value replaces a stored one too.
  ASSERT_EQ(0, SetPrefValue("D", "K2", "x", nullptr));
  ASSERT_EQ(0, SetPrefValue("D", "K2", "", nullptr));
  EXPECT_EQ(Read({0, ""}).value, Get("D", "K2").value);
  EXPECT_EQ(0, Get("D", "K2").result);
}

TEST_F(SecurePrefsTest, CommonFileIsReadButWritesGoToTheUserFile) {
  ASSERT_EQ(0, system(("mkdir -p " + scratch_.common_files() + "/Corvel/TAV").c_str()));
  ASSERT_EQ(0, SetPrefValue("D", "Shared", "from common", CommonFile().c_str()));
  std::string common_before = *ReadWholeFile(CommonFile());
  EXPECT_EQ("from common", Get("D", "Shared").value);
  ASSERT_EQ(0, SetPrefValue("D", "Mine", "user value", nullptr));
  EXPECT_EQ(common_before, *ReadWholeFile(CommonFile()));
  EXPECT_EQ("user value", Get("D", "Mine").value);
  // Now that the user file exists it is the one read.
  EXPECT_EQ(-1, Get("D", "Shared").result);
}

TEST_F(SecurePrefsTest, NamesThatAreNotXmlNamesAreRefused) {
  ASSERT_EQ(0, SetPrefValue("D", "K", "v", nullptr));
  std::string before = *ReadWholeFile(UserFile());
  for (const char* name : {"a b", "1abc", "x/y", "*", "p:q", "a[1]", "-x", "\xC3\x28"}) {
    EXPECT_EQ(-1, SetPrefValue(name, "K", "v", nullptr)) << name;
    EXPECT_EQ(-1, SetPrefValue("D", name, "v", nullptr)) << name;
    EXPECT_EQ(-1, Get(name, "K").result) << name;
  }
  EXPECT_EQ(-3, SetPrefValue("", "K", "v", nullptr));
  EXPECT_EQ(-3, SetPrefValue("D", "", "v", nullptr));
  EXPECT_EQ(before, *ReadWholeFile(UserFile()));
  EXPECT_EQ(0, SetPrefValue("Dom\xC3\xA4ne", "_k-1.x", "ok", nullptr));  // non-ASCII names are names
  EXPECT_EQ("ok", Get("Dom\xC3\xA4ne", "_k-1.x").value);
}

TEST_F(SecurePrefsTest, AnotherUserOrMachineCannotReadTheValue) {
  ASSERT_EQ(0, SetPrefValue("ProxyCredentials", "ProxyPassword", "hunter2", nullptr));
  FixedKeyMaterial bob("0f3c9a7e55d24b1e8c6a2f4d9b7e1a30", "bob");
  FixedKeyMaterial elsewhere("77aa3c9a7e55d24b1e8c6a2f4d9b7e1a", "alice");
  for (const KeyMaterialSource* other : {static_cast<const KeyMaterialSource*>(&bob),
                                         static_cast<const KeyMaterialSource*>(&elsewhere)}) {
    ScopedKeyMaterial swap(*other);
    EXPECT_EQ(-1, Get("ProxyCredentials", "ProxyPassword").result);
  }
  EXPECT_TRUE(LogContains("[ERROR] NVX - failed to decrypt"));
  EXPECT_EQ("hunter2", Get("ProxyCredentials", "ProxyPassword").value);
}

TEST_F(SecurePrefsTest, StoredValueIsAes256CbcWithPkcs7PaddingUnderTheDerivedKey) {
  const std::string value = "p\xC3\xA4ss w\xC3\xB6rd with 16+ bytes";
  ASSERT_EQ(0, SetPrefValue("ProxyCredentials", "ProxyPassword", value.c_str(), nullptr));
  std::string key;
  ASSERT_TRUE(GenerateKey(&key));
  std::optional<std::string> cipher = test::FromHex(StoredText(UserFile(), "ProxyCredentials", "ProxyPassword"));
  ASSERT_TRUE(cipher.has_value());
  EXPECT_EQ(value, test::OpenSslDecrypt(*cipher, key, InitialisationVectorText()).value_or("<refused>"));
}

TEST_F(SecurePrefsTest, DamagedFilesFailAndStayUnchanged) {
  ASSERT_EQ(0, SetPrefValue("D", "K", "value", nullptr));
  std::string good = *ReadWholeFile(UserFile());
  std::string stored = StoredText(UserFile(), "D", "K");
  const std::string damaged[] = {
      good.substr(0, good.size() / 2),                      // truncated
      "this is not XML at all",                             // not XML
      "",                                                   // empty
      "<Other><D><K>" + stored + "</K></D></Other>",        // another document
  };
  for (const std::string& content : damaged) {
    ASSERT_TRUE(WriteWholeFile(UserFile(), content));
    EXPECT_EQ(-1, SetPrefValue("D", "K2", "new", nullptr)) << content;
    EXPECT_EQ(content, *ReadWholeFile(UserFile()));
  }
  EXPECT_TRUE(LogContains("[ERROR] NVX - Failed to init with XML at :" + UserFile()));
  EXPECT_TRUE(LogContains("Failed in get root node, while updating pref xml..."));
  ASSERT_TRUE(WriteWholeFile(UserFile(), "<TAVPrefs><D>"));
  EXPECT_EQ(-1, Get("D", "K").result);
  EXPECT_TRUE(LogContains("[ERROR] NVX - Failed to read from xml :" + UserFile()));
  // Cipher text that is cut short, has a bad digit, or is not a whole block.
  for (const std::string& text : {stored.substr(0, 31), stored.substr(0, 30) + "G1", stored + "00"}) {
    ASSERT_TRUE(WriteWholeFile(UserFile(), "<TAVPrefs><D><K>" + text + "</K></D></TAVPrefs>"));
    EXPECT_EQ(-1, Get("D", "K").result) << text;
  }
  EXPECT_TRUE(LogContains("[WARN] CryptEngine - Failed in error: "));
}

TEST_F(SecurePrefsTest, OverlongValueIsRefused) {
  ASSERT_EQ(0, SetPrefValue("D", "K", "small", nullptr));
  std::string before = *ReadWholeFile(UserFile());
  std::string huge(1 << 20, 'v');
  EXPECT_EQ(-1, SetPrefValue("D", "K", huge.c_str(), nullptr));
  EXPECT_EQ(before, *ReadWholeFile(UserFile()));
  std::string largest(kMaxPrefValueLength, 'w');
  ASSERT_EQ(0, SetPrefValue("D", "K", largest.c_str(), nullptr));
  EXPECT_EQ(largest, Get("D", "K").value);
}

TEST_F(SecurePrefsTest, FolderAndFileCreationFailures) {
  // A file where the Corvel folder should be: the folder cannot be created.
  ASSERT_TRUE(WriteWholeFile(scratch_.local_appdata() + "/Corvel", "file"));
  EXPECT_EQ(-7, SetPrefValue("D", "K", "v", nullptr));
  EXPECT_TRUE(LogContains("Failed in creation of parent directory, while creating pref xml..."));
  // A file where the TAV folder should be: "already exists", but the file cannot be written.
  ASSERT_EQ(0, unlink((scratch_.local_appdata() + "/Corvel").c_str()));
  ASSERT_EQ(0, mkdir((scratch_.local_appdata() + "/Corvel").c_str(), 0700));
  ASSERT_TRUE(WriteWholeFile(scratch_.local_appdata() + "/Corvel/TAV", "file"));
  EXPECT_EQ(-5, SetPrefValue("D", "K", "v", nullptr));
  EXPECT_TRUE(LogContains("failed in writing XML file, while creating prefs XML"));
  EXPECT_EQ("file", *ReadWholeFile(scratch_.local_appdata() + "/Corvel/TAV"));
}

TEST_F(SecurePrefsTest, ReadOnlyFolderLeavesTheFileUnchanged) {
  ASSERT_EQ(0, SetPrefValue("D", "K", "before", nullptr));
  std::string folder = scratch_.local_appdata() + "/Corvel/TAV";
  if (corvel::test::RunningAsRoot()) {
    for (const std::string& path : {scratch_.local_appdata() + "/Corvel", folder, UserFile()}) {
      ASSERT_EQ(0, chown(path.c_str(), corvel::test::kUnprivilegedId, corvel::test::kUnprivilegedId));
    }
  }
  ASSERT_EQ(0, chmod(folder.c_str(), 0500));
  std::string before = *ReadWholeFile(UserFile());
  int status = corvel::test::RunAsUnprivileged([&] {
    InitPrefs();
    int result = SetPrefValue("D", "K", "after", nullptr);
    UninitPrefs();
    return result == -1 ? 0 : 1;
  });
  ASSERT_EQ(0, chmod(folder.c_str(), 0700));
  EXPECT_EQ(0, status);
  EXPECT_EQ(before, *ReadWholeFile(UserFile()));
  EXPECT_TRUE(LogContains("failed in writing XML file, while updating prefs XML"));
}

TEST_F(SecurePrefsTest, UpdateAndResolveRefuseBadArguments) {
  EXPECT_EQ(-3, UpdatePrefsXml("", "D", "K", "00"));
  EXPECT_EQ(-3, UpdatePrefsXml(UserFile(), "", "K", "00"));
  EXPECT_EQ(-3, UpdatePrefsXml(UserFile(), "D", "", "00"));
  EXPECT_TRUE(LogContains("Invalid arguments in set user credentials..."));
  std::string path;
  EXPECT_EQ(-1, ResolvePrefsPath("bad\xFF" "path", &path));
  EXPECT_TRUE(LogContains("failed in getting NativeString for prefsFilePath"));
  EXPECT_EQ(-1, SetPrefValue("bad\xFF", "K", "v", nullptr));
  EXPECT_TRUE(LogContains("failed in getting NativeString for domain"));
  EXPECT_EQ(-2, ResolvePrefsPath(nullptr, &path));
}

}  // namespace
}  // namespace corvel::prefs
