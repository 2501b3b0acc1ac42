// The tagging drivers through the C interface, against the real store of the services
// library: configuration processing lays down a product, the install export tags its driver
// payload, and a commit with a tagging request takes the tag over for the running locale.
#include <gtest/gtest.h>

#include <filesystem>

#include "corvel_tavlib.h"
#include "tag_support.h"

namespace corvel::swtag::test {
namespace {

constexpr const char* kProduct = "PRODUCT-1";
constexpr const char* kDriver = "PAYLOAD-DRV";

class IsoTaggingTest : public ::testing::Test {
 protected:
  ~IsoTaggingTest() override { Corvel_TAVLib_ReleaseRef(mHandle, 0); }

  // Processes the product document (with a version unless empty, and `extra` Data elements
  // in the product's hive) for a payload; an empty driver makes the payload the driver.
  void Install(const std::string& version, std::string extra = "", const char* payload = kDriver,
               const char* driver = "") {
    if (!version.empty()) extra += "<Data key=\"ProductVersion\">" + version + "</Data>\n";
    std::string text = TestData("product.xml");
    text.replace(text.find("@EXTRA@"), 7, extra);
    const std::string path = mScratch.Path("application" + std::to_string(++mInstalled) + ".xml");
    ASSERT_TRUE(WriteWholeFile(path, text));
    ASSERT_EQ(kTAVLibSuccess,
              Corvel_TAVLib_Process_file(mHandle, path.c_str(), payload, driver, nullptr));
  }
  // A new instance of the running product that asks for tagging and commits.
  static void Commit(const char* locale) {
    TAVLibHandle app = Corvel_TAVLib_CreateRef();
    ASSERT_EQ(kTAVLibSuccess, Corvel_TAVLib_SetApplicationData(app, kDriver, kProduct, "", locale,
                                                               "", kTAVLibTaggingAtCommit));
    Corvel_TAVLib_ReleaseRef(app, 1);
  }
  TagScratch mScratch;
  TAVLibHandle mHandle = Corvel_TAVLib_CreateRef();
  int mInstalled = 0;
};

TEST_F(IsoTaggingTest, OnlyAnEnabledDriverPayloadTagsAtInstall) {
  Install("12.0");
  Install("12.0", "", "PAYLOAD-LANG", kDriver);
  EXPECT_EQ(kTAVLibSuccess, Corvel_TAVLib_ISOTaggingAtInstall(mHandle, "PAYLOAD-LANG"));
  EXPECT_FALSE(std::filesystem::exists(mScratch.TagFile(kProduct)));
  // An unknown payload has no driver either.
  EXPECT_EQ(kTAVLibSuccess, Corvel_TAVLib_ISOTaggingAtInstall(mHandle, "NO-SUCH-PAYLOAD"));
  EXPECT_NE(std::string::npos,
            mScratch.main_log().find(
                "TAVLibImpl::ISOTaggingAtInstall Only Driver can create tag files!!\n"));
  // Disabled by "True", "true" and "1", not by "TRUE".
  for (const std::string value : {"True", "true", "1", "TRUE"}) {
    Install("12.0", "<Data key=\"ISO_TAGGING_DISABLED\">" + value + "</Data>\n");
    EXPECT_EQ(kTAVLibSuccess, Corvel_TAVLib_ISOTaggingAtInstall(mHandle, kDriver));
    EXPECT_EQ(value == "TRUE", std::filesystem::exists(mScratch.TagFile(kProduct))) << value;
  }
  ExpectTagLog(mScratch, "tag_disabled_by_upper_case_only.log");
}

TEST_F(IsoTaggingTest, VersionTextsSplitIntoMajorAndMinor) {
  // None stored: the text stays at 0.0.
  Install("");
  Corvel_TAVLib_ISOTaggingAtInstall(mHandle, kDriver);
  EXPECT_EQ("0.0", XPathText(mScratch.TagFile(kProduct), "product_version/name"));
  EXPECT_EQ("0", XPathText(mScratch.TagFile(kProduct), "product_version/numeric/major"));
  EXPECT_EQ("0", XPathText(mScratch.TagFile(kProduct), "product_version/numeric/minor"));
  // Without a minor part, or with one that is no number, the tag is refused.
  std::filesystem::remove(mScratch.TagFile(kProduct));
  for (const std::string version : {"12", "12.0.1"}) {
    Install(version);
    Corvel_TAVLib_ISOTaggingAtInstall(mHandle, kDriver);
    EXPECT_FALSE(std::filesystem::exists(mScratch.TagFile(kProduct))) << version;
  }
  ExpectTagLog(mScratch, "tag_versions.log");
  EXPECT_NE(std::string::npos,
            mScratch.main_log().find("productVersion = 12.0.1,productMajorVersion = 12, "
                                     "productMinorVersion = 0.1"));
}

TEST_F(IsoTaggingTest, InstallTagsTheDriverPayloadAndALaterCommitWithALocaleTakesTheTagOver) {
  Install("12.0");
  EXPECT_EQ(kTAVLibSuccess, Corvel_TAVLib_ISOTaggingAtInstall(mHandle, kDriver));
  ExpectFields(mScratch.TagFile(kProduct), "fields_at_install.txt");
  ExpectLogged(mScratch.main_log(), "tag_at_install.log");
  // The product was updated since: a new version, its own customer type and entitlement.
  Install(
      "12.5",
      "<Data key=\"CustomerType\">business</Data><Data key=\"EntitlementRequired\">true</Data>");
  Commit("fr_FR");
  const std::string old_file = mScratch.TagFile(kProduct);
  EXPECT_FALSE(std::filesystem::exists(old_file));
  ExpectFields(mScratch.TagFile(kProduct, "fr_FR"), "fields_at_commit.txt");
  ExpectLogged(mScratch.main_log(), "tag_at_commit.log");
  // With both files present the locale file is used and the other is left alone.
  Corvel_TAVLib_ISOTaggingAtInstall(mHandle, kDriver);
  Commit("fr_FR");
  EXPECT_TRUE(std::filesystem::exists(old_file));
  ExpectTagLog(mScratch, "tag_takeover.log");
}

TEST_F(IsoTaggingTest, TheRunningProductsNameKeyComesFromItsRecords) {
  Install(
      "3.1",
      "<Data key=\"ProductNameIndex\">2</Data><Data key=\"ZINNIA_APP_2\">Corvel Studio Pro</Data>");
  Commit("");
  EXPECT_EQ("Corvel Studio Pro", XPathText(mScratch.TagFile(kProduct, "en_US"), "product_title"));
  EXPECT_NE(std::string::npos,
            mScratch.main_log().find("TAVLibImpl::DoISOTagging zinnia_app = ZINNIA_APP_2\n"));
}

}  // namespace
}  // namespace corvel::swtag::test
