// Bad command lines, missing files and unreadable stores: a one-line error and a usage hint on
// standard error, a non-zero exit, and nothing written.
#include <gmock/gmock.h>

#include <filesystem>

#include "tool_fixture.h"

namespace tavctl_test {
namespace {

using testing::HasSubstr;
using testing::MatchesRegex;
using testing::StartsWith;

class BadInputTest : public ToolTest {
 protected:
  // Runs the tool and checks the refusal: exit status, the two lines, and that neither the
  // scratch folder nor standard output changed.
  void ExpectRefused(const std::vector<std::string>& args, int exit, const std::string& reason) {
    SCOPED_TRACE(testing::PrintToString(args));
    const std::vector<std::string> before = TreeOf(scratch.root());
    const RunResult run = Run(args);
    EXPECT_EQ(run.exit, exit) << run.err;
    const std::vector<std::string> lines = run.ErrLines();
    ASSERT_EQ(lines.size(), 2u) << run.err;
    EXPECT_THAT(lines[0], StartsWith("tavctl: "));
    EXPECT_THAT(lines[0], HasSubstr(reason));
    EXPECT_THAT(lines[1], MatchesRegex("Run 'tavctl[a-z ]*--help' for usage\\."));
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(TreeOf(scratch.root()), before);
  }
};

TEST_F(BadInputTest, CommandLinesThatDoNotParseAreUsageErrors) {
  ExpectRefused({}, 2, "subcommand is required");
  ExpectRefused({"bogus"}, 2, "unknown command 'bogus'");
  ExpectRefused({"cache", "bogus"}, 2, "unknown command 'bogus'");
  ExpectRefused({"--bogus", "version"}, 2, "--bogus");
  ExpectRefused({"version", "extra"}, 2, "extra");
  ExpectRefused({"process"}, 2, "config is required");
  ExpectRefused({"process", "a.xml"}, 2, "--payload is required");
  ExpectRefused({"cache", "get", "k"}, 2, "--subdomain is required");
  ExpectRefused({"cache", "set", "k", "v", "-s", "S", "--type", "2"}, 2, "not in range");
  ExpectRefused({"cache", "get", "k", "-s", "S", "--capacity", "0"}, 2, "not in range");
  ExpectRefused({"record"}, 2, "nothing to record");
  ExpectRefused({"record", "--agreement", "en_US"}, 2, "--agreement");
  ExpectRefused({"pref", "set", "k"}, 2, "value is required");
  ExpectRefused({"proxy", "keep", "bob", "--outcome", "lost"}, 2, "--outcome");
}

TEST_F(BadInputTest, MissingFilesAndStoresAreToolErrors) {
  ExpectRefused({"process", scratch.Path("missing.xml"), "-p", "P"}, 3,
                "no configuration document");
  const std::string config =
      WriteFile("application.xml", "<Configuration><Payload/></Configuration>");
  ExpectRefused({"process", config, "-p", "P", "-o", scratch.Path("nowhere")}, 3,
                "no override folder");
  ExpectRefused({"dump"}, 3, "no store at " + scratch.pcd_db());
  ExpectRefused({"cache", "get", "k", "-s", "S"}, 3, "no store");
  ExpectRefused({"cache", "remove", "k", "-s", "S"}, 3, "no store");
  ExpectRefused({"remove", "P"}, 3, "no store");
  ExpectRefused({"tag", "P"}, 3, "no store");
  ExpectRefused({"pref", "get", "k", "-f", scratch.Path("missing.xml")}, 3, "no preferences file");
  ExpectRefused({"demo", "--dir", scratch.Path("nowhere")}, 3, "no folder");
}

TEST_F(BadInputTest, UnreadableStoresAreToolErrors) {
  const std::string garbage(4096, 'x');
  ASSERT_TRUE(corvel::test::WriteWholeFile(scratch.pcd_db(), garbage));
  ExpectRefused({"dump"}, 3, "cannot open the store");
  ExpectRefused({"cache", "set", "k", "v", "-s", "S"}, 3, "cannot open the store");
  ExpectRefused({"record", "--agreement", "en_US", "P"}, 3, "cannot open the store");
  EXPECT_EQ(corvel::test::ReadWholeFile(scratch.pcd_db()), garbage);

  // A folder where the store should be, and a file where its folder should be.
  ExpectRefused({"--store", scratch.temp(), "dump"}, 3, "cannot open the store");
  ExpectRefused(
      {"--store", scratch.pcd_db() + "/inner/pcd.db", "cache", "set", "k", "v", "-s", "S"}, 3,
      "is not a folder");
}

TEST_F(BadInputTest, JsonToolErrorsCarryNoLibraryStatus) {
  const RunResult run = Run({"--json", "dump"});
  EXPECT_EQ(run.exit, 3);
  const nlohmann::json json = run.Json();
  EXPECT_TRUE(json["status"].is_null());
  EXPECT_EQ(json["exit"], 3);
  EXPECT_THAT(json["error"].get<std::string>(), HasSubstr("no store"));
}

TEST_F(BadInputTest, EveryCommandHasHelpAndOnlyTheTopLevelTheExitStatuses) {
  const std::vector<std::vector<std::string>> commands = {{},
                                                          {"process"},
                                                          {"remove"},
                                                          {"tag"},
                                                          {"record"},
                                                          {"cache"},
                                                          {"cache", "get"},
                                                          {"cache", "set"},
                                                          {"cache", "remove"},
                                                          {"pref"},
                                                          {"pref", "get"},
                                                          {"pref", "set"},
                                                          {"proxy"},
                                                          {"proxy", "keep"},
                                                          {"proxy", "reuse"},
                                                          {"version"},
                                                          {"where"},
                                                          {"dump"},
                                                          {"demo"}};
  for (std::vector<std::string> words : commands) {
    std::string usage = "Usage: tavctl";
    for (const std::string& word : words) usage += " " + word;
    const bool top_level = words.empty();
    words.push_back("--help");
    const RunResult help = Run(words);
    EXPECT_EQ(help.exit, 0) << usage;
    EXPECT_THAT(help.out, HasSubstr(usage + " ")) << help.out;
    EXPECT_EQ(help.out.find("\nExit status:\n") != std::string::npos, top_level) << usage;
  }
}

}  // namespace
}  // namespace tavctl_test
