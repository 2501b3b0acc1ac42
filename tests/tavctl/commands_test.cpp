// Every command against a fresh store, through the built tool.
#include <gmock/gmock.h>

#include "tool_fixture.h"

namespace tavctl_test {
namespace {

using testing::Contains;
using testing::HasSubstr;
using testing::Not;

TEST_F(ToolTest, VersionShowsTheLibraryVersionAsTextAndJson) {
  const RunResult text = Run({"version"});
  EXPECT_EQ(text.exit, 0);
  EXPECT_EQ(text.out, "corvel_tavlib 3.0.0 (3.0.0.10,3.0)\n");
  const nlohmann::json json = Run({"--json", "version"}).Json();
  EXPECT_EQ(json["version"], "3.0.0.10,3.0");
  EXPECT_EQ(json["major"], 3);
}

TEST_F(ToolTest, WhereFollowsTheEnvironment) {
  const nlohmann::json json = Run({"where", "--json"}).Json();
  EXPECT_EQ(json["store"], scratch.pcd_db());
  EXPECT_EQ(json["tag_directory"], scratch.common_appdata() + "/" + TAG_REGID);
  EXPECT_EQ(json["main_log"], scratch.temp() + "/tavlib.log");
  EXPECT_EQ(json["prefs_file"], scratch.local_appdata() + "/Corvel/TAV/securePrefs.xml");
}

TEST_F(ToolTest, ProcessRecordsTheDocumentsAndDumpShowsThem) {
  const std::string config = WriteFile("app/application.xml", ProductDocument("PROD-1"));
  WriteFile("override/application.xml.override",
            "<Configuration><Other><Data key=\"Extra\">x</Data></Other></Configuration>");
  const RunResult run = Run({"--json", "process", config, "--payload", "PAY-1", "--driver", "DRV-1",
                             "--override-dir", scratch.Path("override")});
  EXPECT_EQ(run.exit, 0) << run.err;
  const nlohmann::json json = run.Json();
  EXPECT_EQ(json["status"], 0);
  EXPECT_EQ(json["calls"][0]["function"], "Corvel_TAVLib_Process_file");

  const std::vector<std::string> payload = Rows("PAY-1");
  EXPECT_THAT(payload, Contains("protected|PAY-1|LicensingCode=PROD-1"));
  EXPECT_THAT(payload, Contains("unprotected|PAY-1|Folder=/opt/app"));
  EXPECT_THAT(payload, Contains("protected|PAY-1|DefaultDriverPayload=DRV-1"));
  EXPECT_THAT(payload, Contains("protected|PAY-1|Extra=x"));
  EXPECT_THAT(payload, Not(Contains(HasSubstr("ZINNIA_APP"))));
  EXPECT_THAT(Rows(), Contains("protected|PROD-1|PayloadCode=PAY-1"));

  const RunResult table = Run({"dump", "PROD-1"});
  EXPECT_THAT(table.out, testing::ContainsRegex("\nprotected +PROD-1 +ZINNIA_APP +Test Product\n"));
}

TEST_F(ToolTest, ProcessExitsWithTheLibrarysFailureStatus) {
  const std::string config = WriteFile("app/application.xml", ProductDocument("PROD-1"));
  WriteFile("override/application.xml.override", "<Configuration><Other>");
  const RunResult broken =
      Run({"--json", "process", config, "-p", "PAY-1", "-o", scratch.Path("override")});
  EXPECT_EQ(broken.exit, 8);
  EXPECT_EQ(broken.Json()["status"], 35);
  EXPECT_THAT(broken.err, HasSubstr("status 35 (kTAVLibProcessingFailed)"));
  EXPECT_THAT(Rows("PAY-1"), Contains("protected|PAY-1|LicensingCode=PROD-1"));

  const std::string no_payload = WriteFile("other.xml", "<Configuration><Other/></Configuration>");
  const RunResult refused = Run({"--json", "process", no_payload, "-p", "PAY-2"});
  EXPECT_EQ(refused.exit, 9);
  EXPECT_EQ(refused.Json()["status"], 257);

  const RunResult empty_payload = Run({"process", config, "-p", ""});
  EXPECT_EQ(empty_payload.exit, 6);
}

TEST_F(ToolTest, RemoveTakesThePayloadAndItsProductOut) {
  const std::string config = WriteFile("application.xml", ProductDocument("PROD-1"));
  ASSERT_EQ(Run({"process", config, "-p", "PAY-1"}).exit, 0);
  const RunResult removed = Run({"--json", "remove", "PAY-1"});
  EXPECT_EQ(removed.exit, 0) << removed.err;
  EXPECT_EQ(removed.Json()["status"], 0);
  EXPECT_TRUE(Rows("PAY-1").empty());
  EXPECT_TRUE(Rows("PROD-1").empty());
}

TEST_F(ToolTest, TagWritesTheDriverPayloadsTagAndReportsIt) {
  const std::string config = WriteFile("application.xml", ProductDocument("PROD-1"));
  ASSERT_EQ(Run({"process", config, "-p", "PAY-1"}).exit, 0);
  const RunResult tagged = Run({"--json", "tag", "PAY-1"});
  EXPECT_EQ(tagged.exit, 0) << tagged.err;
  const std::string tag =
      scratch.common_appdata() + "/" + TAG_REGID + "/" + TAG_REGID + "_PROD-1.swidtag";
  EXPECT_EQ(tagged.Json()["tag_files_written"], nlohmann::json::array({tag}));
  EXPECT_THAT(corvel::test::ReadWholeFile(tag).value_or(""),
              HasSubstr("<swid:product_title>Test Product</swid:product_title>"));

  // A payload whose driver is another payload tags nothing; the tool says so.
  const std::string second = WriteFile("second.xml", ProductDocument("PROD-2"));
  ASSERT_EQ(Run({"process", second, "-p", "PAY-2", "-d", "PAY-1"}).exit, 0);
  const RunResult skipped = Run({"tag", "PAY-2"});
  EXPECT_EQ(skipped.exit, 0);
  EXPECT_THAT(skipped.out, HasSubstr("No tag file was written or changed"));
}

TEST_F(ToolTest, RecordCommitsTheInstallationRecordsUnlessDiscarded) {
  const RunResult recorded =
      Run({"--json", "record", "--agreement", "en_US", "PROD-1", "--locale", "de_DE", "PROD-1",
           "--account", "PROD-1", "someone@example.com", "--ext-profile", "PROD-1"});
  EXPECT_EQ(recorded.exit, 0) << recorded.err;
  EXPECT_EQ(recorded.Json()["calls"].size(), 5u);
  const std::vector<std::string> rows = Rows("PROD-1");
  EXPECT_THAT(rows, Contains("unprotected|PROD-1|EULA_ACCEPTED=1"));
  EXPECT_THAT(rows, Contains("unprotected|PROD-1|EULA_LANGUAGE=en_US"));
  EXPECT_THAT(rows, Contains("unprotected|PROD-1|INSTALLLOCALE=de_DE"));
  EXPECT_THAT(rows, Contains("unprotected|PROD-1|CORVELID_EXT_PROFILE=1"));
  EXPECT_THAT(rows, Contains(HasSubstr("unprotected|PROD-1|LineCV 15=")));
  EXPECT_THAT(Rows("CORVELIDWTTS"), Contains(HasSubstr("unprotected|CORVELIDWTTS|DATA=PROD-1=")));

  const RunResult discarded = Run({"record", "--agreement", "fr_FR", "PROD-2", "--discard"});
  EXPECT_EQ(discarded.exit, 0);
  EXPECT_TRUE(Rows("PROD-2").empty());

  ASSERT_EQ(Run({"cache", "set", "k", "v", "-s", "PAY-9"}).exit, 0);
  ASSERT_EQ(Run({"record", "--cleanup", "PAY-9"}).exit, 0);
  EXPECT_TRUE(Rows("PAY-9").empty());
}

TEST_F(ToolTest, CacheKeysRoundTripWithObfuscation) {
  const RunResult set = Run({"cache", "set", "colour", "abc", "-s", "SUB", "--obfuscate"});
  EXPECT_EQ(set.exit, 0) << set.err;
  const std::vector<std::string> rows = Rows("SUB");
  ASSERT_EQ(rows.size(), 1u);
  const std::string hex = rows[0].substr(rows[0].find('=') + 1);
  EXPECT_EQ(hex.size(), 6u);
  EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos) << hex;

  EXPECT_EQ(Run({"cache", "get", "colour", "-s", "SUB"}).out, hex + "\n");
  EXPECT_EQ(Run({"cache", "get", "colour", "-s", "SUB", "--deobfuscate"}).out, "abc\n");
  EXPECT_EQ(Run({"cache", "get", "colour", "-s", "SUB", "--capacity", "3"}).out,
            hex.substr(0, 2) + "\n");

  EXPECT_EQ(Run({"cache", "remove", "colour", "-s", "SUB"}).exit, 0);
  const RunResult gone = Run({"--json", "cache", "get", "colour", "-s", "SUB"});
  EXPECT_EQ(gone.exit, 7);
  EXPECT_EQ(gone.Json()["status"], 10);
  EXPECT_TRUE(gone.Json()["value"].is_null());

  // The protected domain is separate: configuration entries live there.
  const std::string config = WriteFile("application.xml", ProductDocument("PROD-1"));
  ASSERT_EQ(Run({"process", config, "-p", "PAY-1"}).exit, 0);
  EXPECT_EQ(Run({"cache", "get", "LicensingCode", "-s", "PAY-1", "--protected"}).out, "PROD-1\n");
  EXPECT_EQ(Run({"cache", "get", "LicensingCode", "-s", "PAY-1"}).exit, 7);
}

TEST_F(ToolTest, CacheSetAnswersTheLibrarysRefusal) {
  const RunResult refused = Run({"--json", "cache", "set", "k", "v", "-s", ""});
  EXPECT_EQ(refused.exit, 6);
  EXPECT_EQ(refused.Json()["status"], 9);
}

TEST_F(ToolTest, PreferencesRoundTripAndReportSignedResults) {
  const RunResult none = Run({"--json", "pref", "get", "Colour"});
  EXPECT_EQ(none.exit, 11);
  EXPECT_EQ(none.Json()["status"], -2);

  EXPECT_EQ(Run({"pref", "set", "Colour", "deep blue", "-d", "Look"}).exit, 0);
  EXPECT_EQ(Run({"pref", "get", "Colour", "-d", "Look"}).out, "deep blue\n");
  const std::string file = scratch.local_appdata() + "/Corvel/TAV/securePrefs.xml";
  EXPECT_THAT(corvel::test::ReadWholeFile(file).value_or(""), Not(HasSubstr("deep blue")));

  const RunResult missing = Run({"--json", "pref", "get", "Shape", "-d", "Look"});
  EXPECT_EQ(missing.exit, 10);
  EXPECT_EQ(missing.Json()["status"], -1);
}

TEST_F(ToolTest, ProxyCredentialsAreKeptOnlyAfterARequestThatAllowsIt) {
  EXPECT_EQ(Run({"proxy", "reuse"}).exit, 5);
  const RunResult refused =
      Run({"--json", "proxy", "keep", "alice", "--password", "s3cret", "--outcome", "auth-failed"});
  EXPECT_EQ(refused.exit, 0);
  EXPECT_EQ(refused.Json()["kept"], false);
  EXPECT_EQ(Run({"--json", "proxy", "reuse"}).Json()["status"], 6);

  const RunResult kept = Run({"--json", "proxy", "keep", "alice", "--password", "s3cret"});
  EXPECT_EQ(kept.Json()["kept"], true);
  const RunResult reused = Run({"proxy", "reuse"});
  EXPECT_EQ(reused.exit, 0);
  EXPECT_EQ(reused.out, "user alice\npassword (6 bytes; --show-password prints it)\n");
  EXPECT_EQ(Run({"--json", "proxy", "reuse", "--show-password"}).Json()["password"], "s3cret");
  // The secret is neither in the main log nor in the preferences file in clear.
  EXPECT_THAT(corvel::test::ReadWholeFile(scratch.temp() + "/tavlib.log").value_or(""),
              Not(HasSubstr("s3cret")));
  EXPECT_THAT(corvel::test::ReadWholeFile(scratch.local_appdata() + "/Corvel/TAV/securePrefs.xml")
                  .value_or("s3cret"),
              Not(HasSubstr("s3cret")));
}

TEST_F(ToolTest, StoreOptionNamesTheStore) {
  const std::string other = scratch.Path("elsewhere/other.db");
  EXPECT_EQ(Run({"--store", other, "cache", "set", "k", "v", "-s", "S"}).exit, 0);
  EXPECT_TRUE(std::filesystem::exists(other));
  EXPECT_FALSE(std::filesystem::exists(scratch.pcd_db()));
  EXPECT_EQ(Run({"cache", "get", "k", "-s", "S", "--store", other}).out, "v\n");
}

}  // namespace
}  // namespace tavctl_test
