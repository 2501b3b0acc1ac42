// Uninstalling a payload through Corvel_TAVLib_Remove_payload: the payload's own data and
// that of every linked code go, everything else stays.
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "install_fixture.h"

namespace corvel::config::test {
namespace {

const char kLinkedApplication[] =
    "<Configuration>\n"
    "  <Payload>\n"
    "    <Data key=\"ProductName\">Writer</Data>\n"
    "    <Data key=\"Hidden\" protected=\"0\">u</Data>\n"
    "    <Data key=\"LicensingCode\">LIC</Data>\n"
    "    <Data key=\"MurmelCode\">M0</Data>\n"
    "    <Data key=\"MurmelCode1\">M1</Data>\n"
    "    <Data key=\"MurmelCode2\">M2</Data>\n"
    "    <Data key=\"MurmelCode3\">M3</Data>\n"
    "    <Data key=\"CorvelUpdaterCode\">UPD</Data>\n"
    "  </Payload>\n"
    "  <Other corvelCode=\"SHARED\"><Data key=\"Channel\">stable</Data></Other>\n"
    "  <Other corvelCode=\"M2\"><Data key=\"FromHive\">h</Data></Other>\n"
    "</Configuration>\n";

TEST_F(InstallTest, UninstallRemovesThePayloadAndEveryLinkedCode) {
  // Data that other installers left under the linked codes, in both domains, and elsewhere.
  PlantStoreRows(
      mScratch.pcd_db(),
      {Protected("LIC", "Seats", "5"), Unprotected("LIC", "Cache", "c"), Protected("M0", "a", "0"),
       Unprotected("M0", "keep", "0"), Protected("M1", "a", "1"), Protected("M3", "a", "3"),
       Unprotected("M3", "keep", "3"), Protected("UPD", "a", "u"), Unprotected("UPD", "keep", "u"),
       Unprotected("PAY", "Cached", "x"), Protected("UNRELATED", "a", "z"),
       Unprotected("UNRELATED", "b", "z")});
  std::string config = Write("application.xml", kLinkedApplication);
  ASSERT_EQ(0u, Process(config, "PAY", "DRV", nullptr));
  ASSERT_EQ(1u, RowsOf("LIC").count(Protected("LIC", "PayloadCode", "PAY")));

  ASSERT_EQ(0u, Remove("PAY"));

  // Linked codes lose their protected data (the licensing code its unprotected data too);
  // the Other hive that no key names and unrelated subdomains stay.
  StoreRows expected = {Unprotected("M0", "keep", "0"),   Unprotected("M3", "keep", "3"),
                        Unprotected("UPD", "keep", "u"),  Protected("SHARED", "Channel", "stable"),
                        Protected("UNRELATED", "a", "z"), Unprotected("UNRELATED", "b", "z")};
  EXPECT_EQ(expected, Rows()) << Describe(Rows());

  std::vector<std::string> expected_lines = {
      "TAVLib Remove Payload STARTED",           "uninstall payload PAY",
      "Removing data for LicensingCode LIC",     "Removing data for MurmelCode M0",
      "Removing data for MurmelCode1 M1",        "Removing data for MurmelCode2 M2",
      "Removing data for MurmelCode3 M3",        "Removing data for CorvelUpdaterCode UPD",
      "Removing remaining payload keys for PAY", "TAVLib Remove Payload END",
  };
  std::vector<std::string> messages = LogMessages();
  auto start = std::find(messages.begin(), messages.end(), expected_lines.front());
  ASSERT_NE(messages.end(), start);
  EXPECT_EQ(expected_lines, std::vector<std::string>(
                                start, std::min(messages.end(), start + expected_lines.size())));
}

TEST_F(InstallTest, OnlyThePresentLinkedCodesAreRemoved) {
  PlantStoreRows(mScratch.pcd_db(), {Protected("M1", "a", "1"), Protected("M2", "a", "2"),
                                     Protected("M3", "a", "3"), Protected("LIC", "a", "l")});
  std::string config = Write("application.xml",
                             "<Configuration><Payload><Data key=\"MurmelCode2\">M2</Data>"
                             "</Payload></Configuration>");
  ASSERT_EQ(0u, Process(config, "PAY", nullptr, nullptr));
  ASSERT_EQ(0u, Remove("PAY"));
  StoreRows expected = {Protected("M1", "a", "1"), Protected("M3", "a", "3"),
                        Protected("LIC", "a", "l")};
  EXPECT_EQ(expected, Rows()) << Describe(Rows());
  EXPECT_TRUE(Logged("No LicensingCode found for PAY"));
}

TEST_F(InstallTest, PayloadNeverProcessedIsRemovedWithoutComplaint) {
  PlantStoreRows(mScratch.pcd_db(), {Protected("OTHER", "a", "1")});
  EXPECT_EQ(0u, Remove("NEVER"));
  EXPECT_TRUE(Logged("No LicensingCode found for NEVER"));
  EXPECT_TRUE(Logged("TAVLib Remove Payload END"));
  EXPECT_EQ(StoreRows{Protected("OTHER", "a", "1")}, Rows());
}

TEST_F(InstallTest, RemovalArgumentErrors) {
  EXPECT_EQ(4u, Corvel_TAVLib_Remove_payload(nullptr, "P"));
  EXPECT_EQ(9u, Remove(nullptr));
  EXPECT_EQ(9u, Remove(""));
  EXPECT_TRUE(Logged("cannot remove null payload"));
  for (const std::string& message : LogMessages()) {
    EXPECT_EQ(std::string::npos, message.find("uninstall payload")) << message;
  }
}

TEST_F(InstallTest, StoreThatRefusesWritesIsNotReported) {
  // A store this process may read but not change: processing stores nothing and still
  // reports success, removal removes nothing and reports success. The library creates the
  // store first, as an installer with write access would have.
  ASSERT_EQ(0u, Remove("CREATES-THE-STORE"));
  PlantStoreRows(mScratch.pcd_db(), {Protected("PAY", "LicensingCode", "LIC"),
                                     Protected("LIC", "a", "1"), Protected("PAY", "k", "old")});
  ASSERT_EQ(0, chmod(mScratch.pcd_db().c_str(), 0444));
  std::string config = Write("application.xml",
                             "<Configuration><Payload><Data key=\"k\">new</Data>"
                             "</Payload></Configuration>");
  ASSERT_EQ(0, chmod(config.c_str(), 0666));
  StoreRows before = Rows();

  int status = corvel::test::RunAsUnprivileged([&] {
    uint32_t processed = Process(config, "PAY", "DRV", nullptr);
    uint32_t removed = Remove("PAY");
    return processed == 0 && removed == 0 ? 0 : 1;
  });
  EXPECT_EQ(0, status);
  EXPECT_EQ(before, Rows()) << Describe(Rows());
  EXPECT_TRUE(DriverFilesLeft().empty());
  EXPECT_TRUE(Logged("Removing data for LicensingCode LIC"));
}

}  // namespace
}  // namespace corvel::config::test
