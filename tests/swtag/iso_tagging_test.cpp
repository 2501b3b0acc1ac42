// The tagging drivers through the C interface, against the real store of the services
// library: configuration processing lays down a product, the install export tags its driver
// payload, and a commit with a tagging request takes the tag over for the running locale.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <string>

#include "corvel_tavlib.h"
#include "tag_test_support.h"

namespace corvel::swtag::test {
namespace {

using corvel::test::ReadWholeFile;
using corvel::test::WriteWholeFile;

constexpr const char* kProduct = "PRODUCT-1";
constexpr const char* kDriverPayload = "PAYLOAD-DRV";
constexpr const char* kOtherPayload = "PAYLOAD-LANG";

// Whether another writer can start a transaction at once, that is, none was left open.
bool StoreUnlocked(const std::string& database) {
  sqlite3* db = nullptr;
  bool unlocked =
      sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK &&
      sqlite3_exec(db, "BEGIN IMMEDIATE; ROLLBACK;", nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  return unlocked;
}

class IsoTaggingTest : public ::testing::Test {
 protected:
  IsoTaggingTest() : mHandle(Corvel_TAVLib_CreateRef()) {}
  ~IsoTaggingTest() override {
    if (mHandle) Corvel_TAVLib_ReleaseRef(mHandle, 0);
  }

  // A product document: its Payload hive names the product; the product's own hive holds
  // the records the tag is made from, plus `extra` Data elements.
  std::string ProductDocument(const std::string& version, const std::string& extra = "") {
    std::string doc =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Configuration>\n"
        "  <Payload corvelCode=\"\">\n    <Data key=\"LicensingCode\">" +
        std::string(kProduct) + "</Data>\n  </Payload>\n  <Other corvelCode=\"" + kProduct +
        "\">\n"
        "    <Data key=\"ZINNIA_APP\">Corvel Studio</Data>\n"
        "    <Data key=\"SerialNumber\">SN-4711</Data>\n"
        "    <Data key=\"ActivationStatus\">activated</Data>\n"
        "    <Data key=\"ChannelType\">retail</Data>\n";
    if (!version.empty()) doc += "    <Data key=\"ProductVersion\">" + version + "</Data>\n";
    return doc + extra + "  </Other>\n</Configuration>\n";
  }

  // Processes a product document for a payload (an empty driver: the payload is the driver).
  void Install(const std::string& document, const char* payload, const char* driver = "") {
    static int count = 0;
    const std::string path =
        mScratch.scratch().Path("application" + std::to_string(++count) + ".xml");
    ASSERT_TRUE(WriteWholeFile(path, document));
    ASSERT_EQ(Corvel_TAVLib_Process_file(mHandle, path.c_str(), payload, driver, nullptr),
              kTAVLibSuccess);
  }

  std::string MainLog() const {
    return ReadWholeFile(mScratch.scratch().temp() + "/tavlib.log").value_or("");
  }

  TagScratch mScratch;
  TAVLibHandle mHandle;
};

TEST_F(IsoTaggingTest, InstallingTheDriverPayloadWritesTheLocaleLessTag) {
  Install(ProductDocument("12.0"), kDriverPayload);
  EXPECT_EQ(Corvel_TAVLib_ISOTaggingAtInstall(mHandle, kDriverPayload), kTAVLibSuccess);

  const std::string file = mScratch.TagFile(kProduct);
  ASSERT_TRUE(XmlLintAccepts(file));
  EXPECT_EQ(XPathText(file, {"product_title"}), "Corvel Studio");
  EXPECT_EQ(XPathText(file, {"entitlement_required_indicator"}), "false");
  EXPECT_EQ(XPathText(file, {"product_version", "name"}), "12.0");
  EXPECT_EQ(XPathText(file, {"product_version", "numeric", "major"}), "12");
  EXPECT_EQ(XPathText(file, {"product_version", "numeric", "minor"}), "0");
  EXPECT_EQ(XPathText(file, {"product_version", "numeric", "build"}), "0");
  EXPECT_EQ(XPathText(file, {"product_version", "numeric", "review"}), "0");
  EXPECT_EQ(XPathText(file, {"software_id", "unique_id"}), kProduct);
  EXPECT_EQ(XPathText(file, {"license_linkage", "activation_status"}), "activated");
  EXPECT_EQ(XPathText(file, {"license_linkage", "channel_type"}), "retail");
  EXPECT_EQ(XPathText(file, {"license_linkage", "customer_type"}), "retail");
  EXPECT_EQ(XPathText(file, {"serial_number"}), "SN-4711");

  const std::string log = MainLog();
  for (const std::string line :
       {"TAVLibImpl::ISOTaggingAtInstall STARTED",
        "TAVLibImpl::ISOTaggingAtInstall inpayloadCode = PAYLOAD-DRV",
        "TAVLibImpl::ISOTaggingAtInstall driverCode = PAYLOAD-DRV, stat = 0",
        "TAVLibImpl::ISOTaggingAtInstall zinnia_app = ZINNIA_APP",
        "TAVLibImpl::ISOTaggingAtInstall prodName = Corvel Studio,licensingCode = PRODUCT-1, "
        "prodLocale = , svrStat = 0 ",
        "TAVLibImpl::ISOTaggingAtInstall productVersion = 12.0,productMajorVersion = 12, "
        "productMinorVersion = 0",
        "TAVLibImpl::ISOTaggingAtInstall ENDED"}) {
    EXPECT_NE(log.find(line), std::string::npos) << line;
  }
  EXPECT_TRUE(StoreUnlocked(mScratch.scratch().pcd_db()));
}

TEST_F(IsoTaggingTest, OnlyTheDriverPayloadTagsAtInstall) {
  Install(ProductDocument("12.0"), kDriverPayload);
  Install(ProductDocument("12.0"), kOtherPayload, kDriverPayload);
  EXPECT_EQ(Corvel_TAVLib_ISOTaggingAtInstall(mHandle, kOtherPayload), kTAVLibSuccess);

  EXPECT_FALSE(ReadWholeFile(mScratch.TagFile(kProduct)).has_value());
  const std::string log = MainLog();
  EXPECT_NE(log.find("TAVLibImpl::ISOTaggingAtInstall driverCode = PAYLOAD-DRV, stat = 0"),
            std::string::npos);
  EXPECT_NE(log.find("TAVLibImpl::ISOTaggingAtInstall Only Driver can create tag files!!"),
            std::string::npos);
  EXPECT_NE(log.find("TAVLibImpl::ISOTaggingAtInstall ENDED"), std::string::npos);
  EXPECT_EQ(log.find("zinnia_app"), std::string::npos);
  EXPECT_TRUE(StoreUnlocked(mScratch.scratch().pcd_db()));
  // An unknown payload has no driver either; a null handle is refused.
  EXPECT_EQ(Corvel_TAVLib_ISOTaggingAtInstall(mHandle, "NO-SUCH-PAYLOAD"), kTAVLibSuccess);
  EXPECT_EQ(Corvel_TAVLib_ISOTaggingAtInstall(nullptr, kDriverPayload), kTAVLibNoInstance);
  EXPECT_FALSE(ReadWholeFile(mScratch.TagFile(kProduct)).has_value());
}

TEST_F(IsoTaggingTest, TaggingIsDisabledByTrueInItsTwoSpellingsAndByOne) {
  for (const std::string value : {"True", "true", "1"}) {
    Install(
        ProductDocument("12.0", "    <Data key=\"ISO_TAGGING_DISABLED\">" + value + "</Data>\n"),
        kDriverPayload);
    EXPECT_EQ(Corvel_TAVLib_ISOTaggingAtInstall(mHandle, kDriverPayload), kTAVLibSuccess);
    EXPECT_FALSE(ReadWholeFile(mScratch.TagFile(kProduct)).has_value()) << value;
  }
  EXPECT_EQ(MainLog().find("zinnia_app"), std::string::npos);

  Install(ProductDocument("12.0", "    <Data key=\"ISO_TAGGING_DISABLED\">TRUE</Data>\n"),
          kDriverPayload);
  EXPECT_EQ(Corvel_TAVLib_ISOTaggingAtInstall(mHandle, kDriverPayload), kTAVLibSuccess);
  EXPECT_TRUE(ReadWholeFile(mScratch.TagFile(kProduct)).has_value());
}

TEST_F(IsoTaggingTest, VersionTextsSplitIntoMajorAndMinor) {
  // No version stored: the text stays at 0.0.
  Install(ProductDocument(""), kDriverPayload);
  Corvel_TAVLib_ISOTaggingAtInstall(mHandle, kDriverPayload);
  const std::string file = mScratch.TagFile(kProduct);
  EXPECT_EQ(XPathText(file, {"product_version", "name"}), "0.0");
  EXPECT_EQ(XPathText(file, {"product_version", "numeric", "major"}), "0");
  EXPECT_EQ(XPathText(file, {"product_version", "numeric", "minor"}), "0");
  ASSERT_EQ(unlink(file.c_str()), 0);

  Install(ProductDocument("12"), kDriverPayload);
  Corvel_TAVLib_ISOTaggingAtInstall(mHandle, kDriverPayload);
  EXPECT_FALSE(ReadWholeFile(file).has_value());
  EXPECT_EQ(CountOf(mScratch.ReadLog(), "Error!! All Mandatory Flags are not present"), 1u);

  Install(ProductDocument("12.0.1"), kDriverPayload);
  Corvel_TAVLib_ISOTaggingAtInstall(mHandle, kDriverPayload);
  EXPECT_FALSE(ReadWholeFile(file).has_value());
  EXPECT_EQ(CountOf(mScratch.ReadLog(), "Error!! All Data is not Valid"), 1u);
  EXPECT_NE(
      MainLog().find("productVersion = 12.0.1,productMajorVersion = 12, productMinorVersion = 0.1"),
      std::string::npos);
}

TEST_F(IsoTaggingTest, ALaterCommitWithALocaleRenamesAndUpdatesTheInstallTag) {
  Install(ProductDocument("12.0"), kDriverPayload);
  Corvel_TAVLib_ISOTaggingAtInstall(mHandle, kDriverPayload);
  ASSERT_TRUE(ReadWholeFile(mScratch.TagFile(kProduct)).has_value());
  // The product was updated since: a new version, its own customer type and entitlement.
  Install(ProductDocument("12.5",
                          "    <Data key=\"CustomerType\">business</Data>\n"
                          "    <Data key=\"EntitlementRequired\">true</Data>\n"),
          kDriverPayload);

  TAVLibHandle app = Corvel_TAVLib_CreateRef();
  ASSERT_EQ(Corvel_TAVLib_SetApplicationData(app, kDriverPayload, kProduct, "", "fr_FR", "",
                                             kTAVLibTaggingAtCommit),
            kTAVLibSuccess);
  Corvel_TAVLib_ReleaseRef(app, 1);

  const std::string file = mScratch.TagFile(kProduct, "fr_FR");
  EXPECT_FALSE(ReadWholeFile(mScratch.TagFile(kProduct)).has_value());
  ASSERT_TRUE(XmlLintAccepts(file));
  EXPECT_EQ(XPathText(file, {"software_id", "unique_id"}), std::string(kProduct) + "-fr_FR");
  EXPECT_EQ(XPathText(file, {"product_version", "name"}), "12.5");
  EXPECT_EQ(XPathText(file, {"product_version", "numeric", "minor"}), "5");
  EXPECT_EQ(XPathText(file, {"license_linkage", "customer_type"}), "business");
  EXPECT_EQ(XPathText(file, {"entitlement_required_indicator"}), "true");
  EXPECT_NE(mScratch.ReadLog().find("Updated existing " + file + " file\n"), std::string::npos);

  const std::string log = MainLog();
  for (const std::string line :
       {"TAVLibImpl::DoISOTagging STARTED", "TAVLibImpl::DoISOTagging mAppRunningLEID = PRODUCT-1",
        "TAVLibImpl::DoISOTagging mAppLocale = fr_FR",
        "TAVLibImpl::DoISOTagging mPayloadCode = PAYLOAD-DRV",
        "TAVLibImpl::DoISOTagging mDriverCode = PAYLOAD-DRV",
        "TAVLibImpl::DoISOTagging mDriverLEIDCode = PRODUCT-1",
        "TAVLibImpl::DoISOTagging zinnia_app = ZINNIA_APP",
        "TAVLibImpl::DoISOTagging prodName = Corvel Studio,licensingCode = PRODUCT-1, prodLocale = "
        "fr_FR, svrStat = 0 ",
        "TAVLibImpl::DoISOTagging productVersion = 12.5,productMajorVersion = 12, "
        "productMinorVersion = 5",
        "TAVLibImpl::DoISOTagging ENDED"}) {
    EXPECT_NE(log.find(line), std::string::npos) << line;
  }
  EXPECT_TRUE(StoreUnlocked(mScratch.scratch().pcd_db()));
}

TEST_F(IsoTaggingTest, TheRunningProductsNameKeyAndDisabledFlagComeFromItsRecords) {
  Install(ProductDocument("3.1",
                          "    <Data key=\"ProductNameIndex\">2</Data>\n"
                          "    <Data key=\"ZINNIA_APP_2\">Corvel Studio Pro</Data>\n"),
          kDriverPayload);
  TAVLibHandle app = Corvel_TAVLib_CreateRef();
  ASSERT_EQ(Corvel_TAVLib_SetApplicationData(app, kDriverPayload, kProduct, "", "", "",
                                             kTAVLibTaggingAtCommit),
            kTAVLibSuccess);
  Corvel_TAVLib_ReleaseRef(app, 1);
  const std::string file = mScratch.TagFile(kProduct, "en_US");
  EXPECT_EQ(XPathText(file, {"product_title"}), "Corvel Studio Pro");
  EXPECT_NE(MainLog().find("TAVLibImpl::DoISOTagging zinnia_app = ZINNIA_APP_2"),
            std::string::npos);

  // Suppressed, or released without commit: no pass at all.
  ASSERT_EQ(unlink(file.c_str()), 0);
  for (int32_t commit_flag : {0, 1}) {
    TAVLibHandle other = Corvel_TAVLib_CreateRef();
    Corvel_TAVLib_SetApplicationData(
        other, kDriverPayload, kProduct, "", "", "",
        commit_flag ? kTAVLibTaggingSuppressed : kTAVLibTaggingAtCommit);
    Corvel_TAVLib_ReleaseRef(other, commit_flag);
  }
  EXPECT_FALSE(ReadWholeFile(file).has_value());
  EXPECT_EQ(CountOf(mScratch.ReadLog(), "Start SWTAGGING"), 1u);
}

}  // namespace
}  // namespace corvel::swtag::test
