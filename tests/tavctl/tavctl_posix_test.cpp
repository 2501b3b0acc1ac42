// The tool as its users run it, through the shell: exit status and the JSON "status" of each
// kind of command line, and the demo in a folder of its own.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using Words = std::vector<std::string>;

struct Output {
  int exit;
  std::string out;
};

// Runs "tavctl --json <args>" with standard input and error closed to it; "@" at the start of
// a word stands for `folder`.
Output Tavctl(Words words, const std::string& folder) {
  words.insert(words.begin(), {TAVCTL_PATH, "--json"});
  std::string command;
  for (std::string& word : words) {
    if (word[0] == '@') word = folder + word.substr(1);
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    command += quoted + "' ";
  }
  FILE* pipe = popen((command + "</dev/null 2>/dev/null").c_str(), "r");
  std::string out;
  char buffer[4096];
  for (size_t n; pipe != nullptr && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    out.append(buffer, n);
  const int status = pipe != nullptr ? pclose(pipe) : -1;
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

struct Case {
  Words before;  // run first, must succeed
  Words args;    // after "tavctl --json"
  int exit;
  // The JSON "status" as JSON text; "-" when the tool prints no JSON.
  const char* status;
};

const Case kCases[] = {
    // Usage errors and help print no JSON.
    {{}, {}, 2, "-"},
    {{}, {"process", "@/app.xml"}, 2, "-"},
    {{}, {"cache", "set", "k", "v", "-s", "S", "--type", "2"}, 2, "-"},
    {{}, {"proxy", "keep", "bob", "--outcome", "lost"}, 2, "-"},
    {{}, {"--help"}, 0, "-"},
    // Commands that do not ask the library.
    {{}, {"version"}, 0, "null"},
    // Tool errors: missing files, folders and stores, unreadable stores.
    {{}, {"dump"}, 3, "null"},
    {{}, {"process", "@/missing.xml", "-p", "P"}, 3, "null"},
    {{}, {"process", "@/app.xml", "-p", "P", "-o", "@/nowhere"}, 3, "null"},
    {{}, {"demo", "--dir", "@/nowhere"}, 3, "null"},
    {{}, {"--store", "@/other.xml", "dump"}, 3, "null"},
    {{}, {"--store", "@/app.xml/pcd.db", "cache", "set", "k", "v", "-s", "S"}, 3, "null"},
    // The library's answers.
    {{}, {"process", "@/app.xml", "-p", "PAY-1", "-d", "DRV-1"}, 0, "0"},
    {{}, {"process", "@/app.xml", "-p", "PAY-1", "-o", "@/broken"}, 8, "35"},
    {{}, {"process", "@/other.xml", "-p", "PAY-2"}, 9, "257"},
    {{"process", "@/app.xml", "-p", "PAY-1"}, {"remove", "PAY-1"}, 0, "0"},
    {{"process", "@/app.xml", "-p", "PAY-1"}, {"tag", "PAY-1"}, 0, "0"},
    {{}, {"record", "--agreement", "en_US", "P", "--locale", "de_DE", "P", "--discard"}, 0, "0"},
    {{}, {"record", "--account", "P", "someone@example.com", "--ext-profile", "P"}, 0, "0"},
    {{}, {"--store", "@/new/pcd.db", "cache", "set", "k", "v", "-s", "S", "--obfuscate"}, 0, "0"},
    {{}, {"cache", "set", "k", "v", "-s", ""}, 6, "9"},
    {{"cache", "set", "k", "v", "-s", "S"}, {"cache", "get", "x", "-s", "S"}, 7, "10"},
    {{}, {"pref", "get", "Colour"}, 11, "-2"},
    {{"pref", "set", "Colour", "blue"}, {"pref", "get", "Shape"}, 10, "-1"},
    {{}, {"proxy", "reuse"}, 5, "6"},
    {{}, {"proxy", "keep", "alice", "--password", "s3cret"}, 0, "0"},
};

void PrintTo(const Case& row, std::ostream* out) {
  for (const std::string& word : row.args) *out << word << ' ';
}

class CommandLine : public ::testing::TestWithParam<Case> {};

TEST_P(CommandLine, ExitsWithItsStatusAndReportsTheLibrarysStatus) {
  const Case& row = GetParam();
  corvel::test::ScratchFolder scratch;
  // app.xml, a product's document; other.xml, one without a payload; broken/, a folder whose
  // override document is cut short.
  std::filesystem::copy(TAVCTL_TEST_DATA, scratch.root(), std::filesystem::copy_options::recursive);
  ASSERT_EQ(row.before.empty() ? 0 : Tavctl(row.before, scratch.root()).exit, 0);
  const Output run = Tavctl(row.args, scratch.root());
  EXPECT_EQ(run.exit, row.exit) << run.out;
  const nlohmann::json json = nlohmann::json::parse(run.out, nullptr, false);
  if (std::string(row.status) == "-") {
    EXPECT_TRUE(json.is_discarded()) << run.out;
  } else {
    ASSERT_FALSE(json.is_discarded()) << run.out;
    EXPECT_EQ(json["status"].dump(), row.status);
    EXPECT_EQ(json["exit"], row.exit);
  }
}

INSTANTIATE_TEST_SUITE_P(Tool, CommandLine, ::testing::ValuesIn(kCases));

TEST(Tool, DemoWithoutEnvironmentKeepsEverythingInAFolderOfItsOwn) {
  corvel::test::ScratchFolder scratch;
  for (const char* name : {"TMPDIR", "TEMP", "TMP", "ZEP_PCD_DB", "CORVEL_COMMON_APPDATA",
                           "CORVEL_LOCAL_APPDATA", "CORVEL_COMMON_FILES"}) {
    unsetenv(name);
  }
  const Output demo = Tavctl({"demo", "--dir", "@"}, scratch.root());
  ASSERT_EQ(demo.exit, 0) << demo.out;
  const nlohmann::json json = nlohmann::json::parse(demo.out, nullptr, false);
  EXPECT_EQ(json["status"], 0);
  // Exit status 0 means every check of the demo passed; its store and logs are in its folder.
  const std::string folder = json["scratch"].get<std::string>();
  EXPECT_EQ(std::filesystem::path(folder).parent_path(), scratch.root());
  EXPECT_TRUE(std::filesystem::exists(folder + "/store/pcd.db"));
  EXPECT_TRUE(std::filesystem::exists(folder + "/tmp/tavlib.log"));
}

}  // namespace
