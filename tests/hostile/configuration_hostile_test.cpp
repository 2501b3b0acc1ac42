// Hostile callers of configuration processing, payload removal and tagging at install: bad
// arguments are refused before anything is written, awkward codes are stored and removed
// under exactly the code given, no tagging call writes outside the tag folder, and a user who
// keeps the store open for reading makes no operation lose its work silently.
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "hostile_fixture.h"
#include "hostile_texts.h"

namespace corvel::hostile {
namespace {

namespace fs = std::filesystem;
const Arg kNull;

TEST_F(HostileCallerTest, ProcessingRefusesBadArgumentsBeforeTouchingStoreOrDocument) {
  const std::string path = WriteDocument("app.xml", "App");
  const std::string original = corvel::test::ReadWholeFile(path).value();
  struct Case {
    Arg path, payload;
    uint32_t status;
  };
  std::vector<Case> cases = {
      {kNull, "PAY", kTAVLibInvalidArgument},
      {"", "PAY", kTAVLibInvalidArgument},
      {path, kNull, kTAVLibInvalidArgument},
      {path, "", kTAVLibInvalidArgument},
      {mScratch.Path("absent.xml"), "PAY", kTAVLibNotFound},
      {mScratch.root() + "/" + Text64K(), "PAY", kTAVLibNotFound},
      {Text1M(), "PAY", kTAVLibNotFound},
      {path + "\n", "PAY", kTAVLibNotFound},
      // A folder exists but is no document: processing fails before it writes anything.
      {mScratch.root(), "PAY", kTAVLibPreconditionFailed},
  };
  for (const std::string& bad : IllFormedUtf8()) {
    cases.push_back({mScratch.Path(bad), "PAY", kTAVLibNotFound});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE("path " + Label(c.path) + " payload " + Label(c.payload));
    EXPECT_EQ(Corvel_TAVLib_Process_file(mHandle, C(c.path), C(c.payload), nullptr, nullptr),
              c.status);
    EXPECT_EQ(corvel::test::ReadWholeFile(path).value(), original);
    ExpectStoreChange();
  }
}

TEST_F(HostileCallerTest, ProcessingStoresAwkwardCodesVerbatimAndRemovalTakesThemBack) {
  std::vector<std::string> codes = AwkwardTexts();
  codes.push_back(Text64K());
  int count = 0;
  for (const std::string& code : codes) {
    SCOPED_TRACE("payload " + Label(code));
    const std::string path = WriteDocument("app" + std::to_string(++count) + ".xml", "App");
    // An awkward driver code is stored as the driver; an unusable override folder counts as
    // one without an override document.
    const std::string driver = count % 2 ? code : "DRV\"{|}";
    const Arg override_directory = count % 3 == 0   ? Arg(Text1M())
                                   : count % 3 == 1 ? Arg("\xC3\x28")
                                                    : Arg(mScratch.Path(code));
    ASSERT_EQ(
        Corvel_TAVLib_Process_file(mHandle, path.c_str(), code.c_str(),
                                   count % 2 ? nullptr : driver.c_str(), C(override_directory)),
        kTAVLibSuccess);
    ExpectStoreChange(DocumentRows(code, driver, path, "App"));
    // The rewritten document names the payload, and reads back to the same rows.
    ASSERT_EQ(Corvel_TAVLib_Process_file(mHandle, path.c_str(), code.c_str(),
                                         count % 2 ? nullptr : driver.c_str(), nullptr),
              kTAVLibSuccess);
    const StoreRows rows = DocumentRows(code, driver, path, "App");
    ExpectStoreChange(rows);

    EXPECT_EQ(Corvel_TAVLib_Remove_payload(mHandle, code.c_str()), kTAVLibSuccess);
    ExpectStoreChange({}, rows);
  }
}

TEST_F(HostileCallerTest, RemovalRefusesMissingCodesAndRemovesNothingElse) {
  struct Case {
    Arg payload;
    uint32_t status;
  };
  std::vector<Case> cases = {{kNull, kTAVLibInvalidArgument}, {"", kTAVLibInvalidArgument},
                             {Text1M(), kTAVLibSuccess},      {"%", kTAVLibSuccess},
                             {"BASE%", kTAVLibSuccess},       {"BASE-PAYLOAD'--", kTAVLibSuccess},
                             {"base-payload", kTAVLibSuccess}};
  for (const std::string& text : AwkwardTexts()) cases.push_back({text, kTAVLibSuccess});
  for (const std::string& text : IllFormedUtf8()) cases.push_back({text, kTAVLibSuccess});
  for (const Case& c : cases) {
    EXPECT_EQ(Corvel_TAVLib_Remove_payload(mHandle, C(c.payload)), c.status) << Label(c.payload);
    ExpectStoreChange();
  }
}

TEST_F(HostileCallerTest, OverrideDocumentsThatAreNotWellFormedGiveProcessingFailed) {
  const std::string folder = mScratch.Path("over \"ride\"");
  fs::create_directories(folder);
  ASSERT_TRUE(corvel::test::WriteWholeFile(folder + "/application.xml.override",
                                           "<Configuration><Other corvelCode=\"X\">\xFF<"));
  const std::string path = WriteDocument("app.xml", "App");
  EXPECT_EQ(Corvel_TAVLib_Process_file(mHandle, path.c_str(), "P\n", "D", folder.c_str()),
            kTAVLibProcessingFailed);
  ExpectStoreChange(DocumentRows("P\n", "D", path, "App"));
}

TEST_F(HostileCallerTest, AReaderHoldingTheStoreMakesEveryWritingOperationReportItsLostCommit) {
  // Any user may read the store: a read transaction kept open holds its shared lock past the
  // installer's (shortened) busy timeout, so a transaction that wrote cannot commit.
  ASSERT_EQ(setenv("ZEP_PCD_BUSY_TIMEOUT_MS", "100", 1), 0);
  const std::string path = WriteDocument("app.xml", "App");
  const std::string lost = " failed to commit the store transaction (status 5)";
  struct Case {
    std::string line;  // empty: no failure line
    uint32_t status;
    std::function<uint32_t()> call;
  };
  const Case cases[] = {
      {"TAVLib Config Process" + lost, kTAVLibStoreFailed,
       [&] { return Corvel_TAVLib_Process_file(mHandle, path.c_str(), "PAY", nullptr, nullptr); }},
      {"TAVLib Remove Payload" + lost, kTAVLibStoreFailed,
       [&] { return Corvel_TAVLib_Remove_payload(mHandle, "BASE-PAYLOAD"); }},
      {"TAVLibImpl::CommitPCD" + lost, kTAVLibSuccess,
       [&] {
         Corvel_TAVLib_Set_Eula(mHandle, "en_US", "PROD");
         const uint32_t status = Corvel_TAVLib_ReleaseRef(mHandle, 1);
         mHandle = Corvel_TAVLib_CreateRef();
         return status;
       }},
      // Transactions that change nothing end without waiting for the reader.
      {"", kTAVLibSuccess, [&] { return Corvel_TAVLib_Remove_payload(mHandle, "NONE"); }},
      {"", kTAVLibSuccess,
       [&] { return Corvel_TAVLib_ISOTaggingAtInstall(mHandle, "BASE-PAYLOAD"); }},
  };
  for (const Case& c : cases) {
    const size_t logged = MainLog().size();
    sqlite3* reader = nullptr;
    ASSERT_EQ(sqlite3_open_v2(Database().c_str(), &reader, SQLITE_OPEN_READONLY, nullptr), 0);
    ASSERT_EQ(
        sqlite3_exec(reader, "BEGIN; SELECT count(*) FROM pcd_values", nullptr, nullptr, nullptr),
        0);
    EXPECT_EQ(c.call(), c.status) << c.line;
    sqlite3_close(reader);
    const std::string log = MainLog().substr(logged);
    EXPECT_EQ(log.find(c.line.empty() ? lost : c.line) != std::string::npos, !c.line.empty())
        << log;
    ExpectStoreChange();
  }
  // The reader gone, the next transaction commits.
  EXPECT_EQ(Corvel_TAVLib_Process_file(mHandle, path.c_str(), "PAY", nullptr, nullptr),
            kTAVLibSuccess);
  ExpectStoreChange(DocumentRows("PAY", "PAY", path, "App"));
  unsetenv("ZEP_PCD_BUSY_TIMEOUT_MS");
}

// Every regular file below `root`, as a path relative to it.
std::set<std::string> FilesBelow(const std::string& root) {
  std::set<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_directory()) files.insert(fs::relative(entry.path(), root).string());
  }
  return files;
}

std::string XmlEscaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

TEST_F(HostileCallerTest, TaggingAtInstallAnswersZeroAndWritesOnlyIntoTheTagFolder) {
  // Products laid down by their driver payloads, with hostile product codes and names (a
  // name that breaks the new tag's markup is refused by the tag writer); the last one is
  // well-behaved and gets its tag.
  const std::vector<std::pair<std::string, std::string>> products = {
      {"../../../escape", "Escape"},     {"a/b", "Slash"},          {"quo\"te'd<&>", "Quote"},
      {"%s%n", "Printf %s%n"},           {"\xC3\x28", "Bad UTF-8"}, {std::string(120, 'L'), "Long"},
      {"UNESCAPED", "../<Name> \"%n\""}, {"GOOD-PRODUCT", "Good"}};
  int count = 0;
  for (const auto& [product, name] : products) {
    const std::string payload = "DRV-" + std::to_string(++count);
    const std::string path = mScratch.Path("product" + std::to_string(count) + ".xml");
    ASSERT_TRUE(
        corvel::test::WriteWholeFile(path,
                                     "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Configuration>\n"
                                     "  <Payload corvelCode=\"\"><Data key=\"LicensingCode\">" +
                                         XmlEscaped(product) +
                                         "</Data></Payload>\n"
                                         "  <Other corvelCode=\"" +
                                         XmlEscaped(product) +
                                         "\">\n"
                                         "    <Data key=\"ZINNIA_APP\">" +
                                         XmlEscaped(name) +
                                         "</Data>\n"
                                         "    <Data key=\"ProductVersion\">12.0</Data>\n"
                                         "    <Data key=\"SerialNumber\">SN-1</Data>\n"
                                         "    <Data key=\"ActivationStatus\">activated</Data>\n"
                                         "    <Data key=\"ChannelType\">retail</Data>\n"
                                         "  </Other>\n</Configuration>\n"));
    EXPECT_EQ(Corvel_TAVLib_Process_file(mHandle, path.c_str(), payload.c_str(), nullptr, nullptr),
              kTAVLibSuccess);
  }
  mLast = ReadSnapshot(Database());
  const std::set<std::string> files_before = FilesBelow(mScratch.root());

  std::vector<Arg> payloads = {kNull, "", "NO-SUCH", Text1M()};
  for (int i = 1; i <= count; ++i) payloads.push_back("DRV-" + std::to_string(i));
  payloads.insert(payloads.end(), AwkwardTexts().begin(), AwkwardTexts().end());
  payloads.insert(payloads.end(), IllFormedUtf8().begin(), IllFormedUtf8().end());
  for (const Arg& payload : payloads) {
    EXPECT_EQ(Corvel_TAVLib_ISOTaggingAtInstall(mHandle, C(payload)), kTAVLibSuccess)
        << Label(payload);
    ExpectStoreChange();
  }
  // Nothing appeared outside the tag folder but the tag log, and nothing left it.
  const std::string tag_folder = std::string("common_appdata/") + CORVEL_TAG_ENTITY_REGID + "/";
  std::set<std::string> tags;
  for (const std::string& file : FilesBelow(mScratch.root())) {
    if (files_before.count(file) != 0) continue;
    if (file.rfind(tag_folder, 0) == 0) {
      tags.insert(file.substr(tag_folder.size()));
    } else {
      EXPECT_EQ(file, "tmp/swtag.log") << "written outside the tag folder";
    }
  }
  EXPECT_EQ(tags.count(std::string(CORVEL_TAG_ENTITY_REGID) + "_GOOD-PRODUCT.swidtag"), 1u)
      << corvel::test::ReadWholeFile(mScratch.temp() + "/swtag.log").value_or("no tag log");
  for (const std::string& tag : tags) {
    EXPECT_EQ(tag.find('/'), std::string::npos) << tag;
    EXPECT_EQ(tag.find("escape"), std::string::npos) << tag;
  }
  EXPECT_FALSE(fs::exists(mScratch.Path("escape")));
  EXPECT_FALSE(fs::exists(mScratch.common_appdata() + "/escape"));
  EXPECT_NE(MainLog().find("TAVLibImpl::ISOTaggingAtInstall inpayloadCode = %s%s%s%n%x"),
            std::string::npos);
}

}  // namespace
}  // namespace corvel::hostile
