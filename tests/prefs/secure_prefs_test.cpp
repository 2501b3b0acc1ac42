// The secure preferences store end to end: files, layout, results, log lines and failures.
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <iterator>

#include "platform/platform.h"
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

constexpr const char* kMachine = "0f3c9a7e55d24b1e8c6a2f4d9b7e1a30";

class SecurePrefsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(WriteWholeFile(scratch_.temp() + "/qiv.trace", ""));
    ASSERT_EQ(0, InitPrefs());
  }
  void TearDown() override { EXPECT_EQ(0, UninitPrefs()); }

  std::string UserFile() const { return scratch_.local_appdata() + "/Corvel/TAV/securePrefs.xml"; }
  std::string Contents() const { return ReadWholeFile(UserFile()).value_or("<missing>"); }

  // The size-first pattern: the size, then the value read with exactly that size. The
  // result, with the value appended after a "=" on success.
  static std::string Get(const char* domain, const char* key, const char* path = nullptr) {
    uint32_t size = 0;
    int result = GetPrefValue(domain, key, nullptr, &size, path);
    if (result != 0) return std::to_string(result);
    std::string buffer(size, '\x7F');
    result = GetPrefValue(domain, key, buffer.data(), &size, path);
    if (result != 0 || buffer.back() != '\0') return std::to_string(result) + " unterminated";
    return "0=" + buffer.substr(0, size - 1);
  }

  static pugi::xml_node Root(pugi::xml_document& document, const std::string& file) {
    EXPECT_TRUE(document.load_file(file.c_str()));
    return document.child("TAVPrefs");
  }

  corvel::test::ScratchFolder scratch_;
  FixedKeyMaterial alice_{kMachine, "alice"};
  ScopedKeyMaterial material_{alice_};
};

TEST_F(SecurePrefsTest, WritesCreatePrivateFileAndKeepTheLayout) {
  ASSERT_EQ(0, SetPrefValue("ProxyCredentials", "ProxyUsername", "first", nullptr));
  struct stat st {};
  ASSERT_EQ(0, stat(UserFile().c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 0777);
  for (const char* folder : {"/Corvel", "/Corvel/TAV"}) {
    ASSERT_EQ(0, stat((scratch_.local_appdata() + folder).c_str(), &st));
    EXPECT_EQ(0700u, st.st_mode & 0777) << folder;
  }
  ASSERT_EQ(0, SetPrefValue("ProxyCredentials", "ProxyPassword", "secret", nullptr));
  ASSERT_EQ(0, SetPrefValue("ProxyCredentials", "ProxyUsername", "second user name", nullptr));
  ASSERT_EQ(0, SetPrefValue(nullptr, "Theme", "dark", nullptr));
  pugi::xml_document document;
  pugi::xml_node root = Root(document, UserFile());
  ASSERT_EQ(2, std::distance(root.begin(), root.end()));
  pugi::xml_node domain = root.first_child();
  EXPECT_STREQ("ProxyCredentials", domain.name());
  EXPECT_STREQ("DefaultDomain", root.last_child().name());
  // The replaced key keeps its place; the second key comes after it.
  ASSERT_EQ(2, std::distance(domain.begin(), domain.end()));
  EXPECT_STREQ("ProxyUsername", domain.first_child().name());
  EXPECT_STREQ("ProxyPassword", domain.last_child().name());
  std::string text = domain.first_child().text().get();
  EXPECT_EQ(64u, text.size());
  EXPECT_EQ(std::string::npos, text.find_first_not_of("0123456789ABCDEF"));
  EXPECT_EQ(32u, std::string(root.last_child().child("Theme").text().get()).size());

  EXPECT_EQ("0=second user name", Get("ProxyCredentials", "ProxyUsername"));
  EXPECT_EQ("0=secret", Get("ProxyCredentials", "ProxyPassword"));
  EXPECT_EQ("0=dark", Get(nullptr, "Theme"));
  EXPECT_EQ("0=dark", Get("DefaultDomain", "Theme"));
  EXPECT_TRUE(LogContains("[INFO] NVX - setting domain to default.."));
  EXPECT_TRUE(LogContains("[TRACE] NVX - setting prefs file to default.."));
}

TEST_F(SecurePrefsTest, MissingFileKeyAndDomain) {
  EXPECT_EQ("-2", Get("ProxyCredentials", "ProxyUsername"));
  EXPECT_TRUE(LogContains("[INFO] Utilities - File does not exist\n"));
  EXPECT_TRUE(LogContains("[WARN] NVX - Failed to get pref file path..."));
  ASSERT_EQ(0, SetPrefValue("ProxyCredentials", "ProxyUsername", "jdoe", nullptr));
  EXPECT_EQ("-1", Get("ProxyCredentials", "ProxyPassword"));
  EXPECT_EQ("-1", Get("OtherDomain", "ProxyUsername"));
  EXPECT_TRUE(LogContains("[ERROR] NVX - Failed to fetch value from xml :" + UserFile()));
  // An explicit file that does not exist is a failed read, not a missing file.
  EXPECT_EQ("-1", Get("ProxyCredentials", "ProxyUsername", scratch_.Path("absent.xml").c_str()));
  EXPECT_TRUE(LogContains("Failed to read from xml :" + scratch_.Path("absent.xml")));
}

TEST_F(SecurePrefsTest, SizeFirstExactBufferOneByteShortAndEmptyValue) {
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
  EXPECT_EQ(-3, SetPrefValue("D", nullptr, "v", nullptr));
  EXPECT_EQ(-3, SetPrefValue("D", "K", nullptr, nullptr));
  EXPECT_TRUE(LogContains("Invalid arguments in get value for key..."));
  EXPECT_TRUE(LogContains("Invalid arguments in set value for key..."));
  // An empty value is an empty element, read back as "" without deciphering.
  ASSERT_EQ(0, SetPrefValue("D", "K", "", nullptr));
  pugi::xml_document document;
  EXPECT_TRUE(Root(document, UserFile()).child("D").child("K").first_child().empty());
  EXPECT_EQ("0=", Get("D", "K"));
}

TEST_F(SecurePrefsTest, NoUserFolderIsLoggedOnReadAndWrite) {
  for (const char* name : {"CORVEL_LOCAL_APPDATA", "XDG_DATA_HOME", "HOME"}) unsetenv(name);
  const std::string no_folder[] = {
      "[ERROR] Utilities - Unable to retreive Local App Data Path from Win library:\n",
      "[ERROR] NVX - failed to get user specific Folder path ..."};
  uint32_t size = 0;
  struct Case {
    std::function<int()> call;
    int result;
    std::vector<std::string> lines;  // the call's lines, from the level on
  };
  const Case cases[] = {
      {[] { return SetPrefValue("D", "K", "v", nullptr); },
       -1,
       {"[TRACE] NVX - set value for key ...", "[TRACE] NVX - setting prefs file to default..",
        no_folder[0], no_folder[1], "[ERROR] NVX - failed in get prefs file path"}},
      {[&] { return GetPrefValue("D", "K", nullptr, &size, nullptr); },
       -2,
       {"[TRACE] NVX - get value for Key ...", no_folder[0], no_folder[1],
        "[DEBUG] Utilities - ZRL Path retreived :" + scratch_.common_files() + "/Corvel\n",
        "[INFO] Utilities - File does not exist\n",
        "[WARN] NVX - Failed to get pref file path..."}},
  };
  for (const Case& c : cases) {
    size_t start = test::LogLines().size();
    EXPECT_EQ(c.result, c.call());
    std::vector<std::string> lines = test::LogLines();
    std::vector<std::string> own;
    for (size_t i = start; i < lines.size(); ++i)
      own.push_back(lines[i].substr(lines[i].find('[')));
    EXPECT_EQ(c.lines, own);
  }
}

TEST_F(SecurePrefsTest, CommonFileIsReadButWritesGoToTheUserFile) {
  std::string common_file = scratch_.common_files() + "/Corvel/TAV/securePrefs.xml";
  ASSERT_EQ(0, SetPrefValue("D", "Shared", "from common", common_file.c_str()));
  std::string common_before = *ReadWholeFile(common_file);
  EXPECT_EQ("0=from common", Get("D", "Shared"));
  ASSERT_EQ(0, SetPrefValue("D", "Mine", "user value", nullptr));
  EXPECT_EQ(common_before, *ReadWholeFile(common_file));
  EXPECT_EQ("0=user value", Get("D", "Mine"));
  EXPECT_EQ("-1", Get("D", "Shared"));  // the user file, now there, is the one read
}

TEST_F(SecurePrefsTest, BadNamesAndTextsAreRefusedAndTheFileStaysUnchanged) {
  ASSERT_EQ(0, SetPrefValue("D", "K", "v", nullptr));
  std::string before = Contents();
  for (const char* name : {"a b", "1abc", "x/y", "*", "p:q", "a[1]", "-x", "\xC3\x28"}) {
    EXPECT_EQ(-1, SetPrefValue(name, "K", "v", nullptr)) << name;
    EXPECT_EQ(-1, SetPrefValue("D", name, "v", nullptr)) << name;
    EXPECT_EQ("-1", Get(name, "K")) << name;
  }
  EXPECT_EQ(-3, SetPrefValue("", "K", "v", nullptr));
  EXPECT_EQ(-3, SetPrefValue("D", "", "v", nullptr));
  EXPECT_EQ(-3, UpdatePrefsXml("", "D", "K", "00"));
  EXPECT_TRUE(LogContains("Invalid arguments in set user credentials..."));
  EXPECT_EQ("-1", Get("D", "K",
                      "bad\xFF"
                      "path"));
  EXPECT_TRUE(LogContains("failed in getting NativeString for prefsFilePath"));
  EXPECT_EQ(-1, SetPrefValue("D", "K", std::string(1 << 20, 'v').c_str(), nullptr));  // 1 MB
  EXPECT_EQ(before, Contents());
  EXPECT_EQ(0,
            SetPrefValue("Dom\xC3\xA4ne", "_k-1.x", "ok", nullptr));  // non-ASCII names are names
  EXPECT_EQ("0=ok", Get("Dom\xC3\xA4ne", "_k-1.x"));
  std::string largest(kMaxPrefValueLength, 'w');
  ASSERT_EQ(0, SetPrefValue("D", "K", largest.c_str(), nullptr));
  EXPECT_EQ("0=" + largest, Get("D", "K"));
}

TEST_F(SecurePrefsTest, ValueOpensOnlyForItsUserAndMachineAndIsGenuineAes256Cbc) {
  const std::string value = "p\xC3\xA4ss w\xC3\xB6rd with 16+ bytes";
  ASSERT_EQ(0, SetPrefValue("ProxyCredentials", "ProxyPassword", value.c_str(), nullptr));
  for (FixedKeyMaterial other :
       {FixedKeyMaterial(kMachine, "bob"), FixedKeyMaterial("77aa3c9a7e55d2", "alice")}) {
    ScopedKeyMaterial swap(other);
    EXPECT_EQ("-1", Get("ProxyCredentials", "ProxyPassword"));
  }
  EXPECT_TRUE(LogContains("[ERROR] NVX - failed to decrypt"));
  EXPECT_EQ("0=" + value, Get("ProxyCredentials", "ProxyPassword"));
  // OpenSSL deciphers the stored text with the derived key: AES-256-CBC with PKCS #7.
  std::string key;
  ASSERT_TRUE(GenerateKey(&key));
  pugi::xml_document document;
  std::optional<std::string> cipher = test::FromHex(
      Root(document, UserFile()).child("ProxyCredentials").child("ProxyPassword").text().get());
  ASSERT_TRUE(cipher.has_value());
  EXPECT_EQ(
      value,
      test::OpenSslAes(false, *cipher, key, InitialisationVectorText()).value_or("<refused>"));
}

TEST_F(SecurePrefsTest, DamagedFilesFailAndStayUnchanged) {
  ASSERT_EQ(0, SetPrefValue("D", "K", "value", nullptr));
  std::string good = Contents();
  pugi::xml_document document;
  std::string stored = Root(document, UserFile()).child("D").child("K").text().get();
  for (const std::string& content :
       {good.substr(0, good.size() / 2), std::string("this is not XML"), std::string(),
        "<Other><D><K>" + stored + "</K></D></Other>"}) {
    ASSERT_TRUE(WriteWholeFile(UserFile(), content));
    EXPECT_EQ(-1, SetPrefValue("D", "K2", "new", nullptr)) << content;
    EXPECT_EQ("-1", Get("D", "K2")) << content;
    EXPECT_EQ(content, Contents());
  }
  EXPECT_TRUE(LogContains("[ERROR] NVX - Failed to init with XML at :" + UserFile()));
  EXPECT_TRUE(LogContains("[ERROR] NVX - Failed to read from xml :" + UserFile()));
  EXPECT_TRUE(LogContains("Failed in get root node, while updating pref xml..."));
  // Cipher text that is cut short, has a bad digit, or is not a whole block.
  for (const std::string& text :
       {stored.substr(0, 31), stored.substr(0, 30) + "G1", stored + "00"}) {
    ASSERT_TRUE(WriteWholeFile(UserFile(), "<TAVPrefs><D><K>" + text + "</K></D></TAVPrefs>"));
    EXPECT_EQ("-1", Get("D", "K")) << text;
  }
  EXPECT_TRUE(LogContains("[WARN] CryptEngine - Failed in error: "));
}

TEST_F(SecurePrefsTest, DeeplyNestedFilesAreReadAndRewrittenWithoutIndentation) {
  ASSERT_EQ(0, SetPrefValue("D", "K", "value", nullptr));
  pugi::xml_document document;
  const std::string stored = Root(document, UserFile()).child("D").child("K").text().get();
  auto nested = [](size_t depth, const std::string& inner) {
    std::string open, close;
    for (size_t i = 0; i < depth; ++i) {
      open += "<n>";
      close += "</n>";
    }
    return open + inner + close;
  };
  // Nesting around the stored value, and in another domain.
  for (auto [around_value, elsewhere] : {std::pair<size_t, size_t>{0, 3000}, {200000, 200000}}) {
    SCOPED_TRACE(around_value);
    ASSERT_TRUE(WriteWholeFile(UserFile(), "<TAVPrefs><D><K>" + nested(around_value, stored) +
                                               "</K></D><E>" + nested(elsewhere, "") +
                                               "</E></TAVPrefs>"));
    const size_t before = Contents().size();
    EXPECT_EQ("0=value", Get("D", "K"));
    ASSERT_EQ(0, SetPrefValue("D", "K", "other", nullptr));
    EXPECT_LT(Contents().size(), before + 64);
    EXPECT_EQ("0=other", Get("D", "K"));
  }
}

TEST_F(SecurePrefsTest, FolderAndFileCreationFailures) {
  std::string corvel = scratch_.local_appdata() + "/Corvel";
  ASSERT_TRUE(WriteWholeFile(corvel, "file"));  // a file where a folder should be
  EXPECT_EQ(-7, SetPrefValue("D", "K", "v", nullptr));
  EXPECT_TRUE(LogContains("Failed in creation of parent directory, while creating pref xml..."));
  // A file where the TAV folder should be "already exists", but the file cannot be written.
  ASSERT_EQ(0, unlink(corvel.c_str()));
  ASSERT_EQ(0, mkdir(corvel.c_str(), 0700));
  ASSERT_TRUE(WriteWholeFile(corvel + "/TAV", "file"));
  EXPECT_EQ(-5, SetPrefValue("D", "K", "v", nullptr));
  EXPECT_TRUE(LogContains("failed in writing XML file, while creating prefs XML"));
  EXPECT_EQ("file", *ReadWholeFile(corvel + "/TAV"));
}

TEST_F(SecurePrefsTest, ReadOnlyFolderLeavesTheFileUnchanged) {
  ASSERT_EQ(0, SetPrefValue("D", "K", "before", nullptr));
  std::string folder = scratch_.local_appdata() + "/Corvel/TAV";
  std::string own_temp = scratch_.Path("unprivileged_tmp");  // the child's own log folder
  ASSERT_EQ(0, mkdir(own_temp.c_str(), 0700));
  if (corvel::test::RunningAsRoot()) {
    for (const std::string& path :
         {scratch_.local_appdata() + "/Corvel", folder, UserFile(), own_temp}) {
      ASSERT_EQ(0,
                chown(path.c_str(), corvel::test::kUnprivilegedId, corvel::test::kUnprivilegedId));
    }
  }
  ASSERT_EQ(0, chmod(folder.c_str(), 0500));
  std::string before = Contents();
  int status = corvel::test::RunAsUnprivileged([&] {
    setenv("TMPDIR", own_temp.c_str(), 1);
    InitPrefs();
    int result = SetPrefValue("D", "K", "after", nullptr);
    UninitPrefs();
    if (result != -1) return 1;
    return LogContains("failed in writing XML file, while updating prefs XML") ? 0 : 2;
  });
  ASSERT_EQ(0, chmod(folder.c_str(), 0700));
  EXPECT_EQ(0, status) << "1: the write succeeded, 2: no log line";
  EXPECT_EQ(before, Contents());
}

TEST_F(SecurePrefsTest, FailedFlushLeavesTheFileAsItWas) {
  // The flush before the rename fails, as a failing disk makes it fail.
  auto failing_fsync = +[](int) {
    errno = EIO;
    return -1;
  };
  {
    platform::ScopedSystemCall broken("fsync", failing_fsync);
    ASSERT_TRUE(broken.replaced());
    EXPECT_EQ(kPrefsCannotWriteFile, SetPrefValue("D", "K", "v", nullptr));
  }
  EXPECT_EQ("<missing>", Contents());
  ASSERT_EQ(kPrefsSuccess, SetPrefValue("D", "K", "before", nullptr));
  const std::string before = Contents();
  {
    platform::ScopedSystemCall broken("fsync", failing_fsync);
    EXPECT_EQ(kPrefsFailed, SetPrefValue("D", "K", "after", nullptr));
  }
  EXPECT_EQ(before, Contents());
  const std::filesystem::directory_iterator folder(scratch_.local_appdata() + "/Corvel/TAV");
  EXPECT_EQ(1, std::distance(folder, {})) << "the new file is not left beside it";
}

}  // namespace
}  // namespace corvel::prefs
