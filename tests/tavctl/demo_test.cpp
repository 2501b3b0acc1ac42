// The installation demo end to end, with the environment naming the folders and without.
#include <gmock/gmock.h>

#include <filesystem>

#include "tool_fixture.h"

namespace tavctl_test {
namespace {

using testing::ElementsAre;
using testing::HasSubstr;

std::string TagName() { return std::string(TAG_REGID) + "_CVDEMO-PRODUCT-1200.swidtag"; }

TEST_F(ToolTest, DemoInstallsAndUninstallsInTheFoldersTheEnvironmentNames) {
  const RunResult demo = Run({"demo"});
  ASSERT_EQ(demo.exit, 0) << demo.err << demo.out;
  EXPECT_EQ(demo.err, "");
  EXPECT_THAT(demo.out, HasSubstr("  store          " + scratch.pcd_db() + "\n"));
  EXPECT_THAT(demo.out, HasSubstr("(ZEP_PCD_DB comes from the environment)"));
  EXPECT_THAT(demo.out, HasSubstr("<Data key=\"LicensingCode\">CVDEMO-PRODUCT-1200</Data>"));
  EXPECT_THAT(demo.out, HasSubstr("<swid:product_title>Corvel Demo Studio</swid:product_title>"));
  EXPECT_THAT(demo.out, HasSubstr("TAVLib Remove Payload END"));
  EXPECT_THAT(demo.out, HasSubstr("Demo complete"));

  // What remains is what the uninstallation leaves, read independently of the demo's output.
  EXPECT_THAT(Rows(),
              ElementsAre(HasSubstr("unprotected|CORVELIDWTTS|DATA=CVDEMO-PRODUCT-1200="),
                          "unprotected|CVDEMO-SHARED|SharedComponents=fonts;color-profiles"));
  const std::string tag = scratch.common_appdata() + "/" + TAG_REGID + "/" + TagName();
  EXPECT_THAT(corvel::test::ReadWholeFile(tag).value_or(""),
              HasSubstr("<swid:major>12</swid:major>"));
  EXPECT_THAT(corvel::test::ReadWholeFile(scratch.temp() + "/tavlib.log").value_or(""),
              HasSubstr("TAVLib Config Process Done"));
}

TEST_F(ToolTest, DemoWithoutEnvironmentKeepsEverythingInItsScratchFolder) {
  const EnvChanges bare = {{"TMPDIR", std::nullopt},
                           {"TEMP", std::nullopt},
                           {"TMP", std::nullopt},
                           {"ZEP_PCD_DB", std::nullopt},
                           {"CORVEL_COMMON_APPDATA", std::nullopt},
                           {"CORVEL_LOCAL_APPDATA", std::nullopt},
                           {"CORVEL_COMMON_FILES", std::nullopt}};
  const std::string parent = scratch.Path("demos");
  std::filesystem::create_directory(parent);
  const RunResult demo = Run({"--json", "demo", "--dir", parent}, bare);
  ASSERT_EQ(demo.exit, 0) << demo.err;
  const nlohmann::json json = demo.Json();
  EXPECT_EQ(json["status"], 0);
  for (const auto& check : json["checks"]) EXPECT_TRUE(check["passed"].get<bool>()) << check;

  const std::string folder = json["scratch"].get<std::string>();
  EXPECT_EQ(std::filesystem::path(folder).parent_path(), parent);
  EXPECT_EQ(json["store"], folder + "/store/pcd.db");
  EXPECT_EQ(json["tag_file"], folder + "/common_appdata/" + TAG_REGID + "/" + TagName());
  EXPECT_TRUE(std::filesystem::exists(folder + "/store/pcd.db"));
  EXPECT_TRUE(std::filesystem::exists(folder + "/tmp/tavlib.log"));
  EXPECT_TRUE(std::filesystem::exists(folder + "/tmp/swtag.log"));
  EXPECT_EQ(json["rows_after_uninstall"].size(), 2u);
  // The folders the test named were left alone.
  EXPECT_FALSE(std::filesystem::exists(scratch.pcd_db()));
  EXPECT_TRUE(std::filesystem::is_empty(scratch.temp()));
}

}  // namespace
}  // namespace tavctl_test
