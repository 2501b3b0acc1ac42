// A fresh scratch folder (with the folder variables pointing into it) per test, and helpers
// to run the tool against it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"
#include "tool_runner.h"

namespace tavctl_test {

class ToolTest : public testing::Test {
 protected:
  RunResult Run(const std::vector<std::string>& args, const EnvChanges& env = {}) {
    return RunTool(args, scratch.root(), env);
  }

  // Writes a document under the scratch folder and gives its path.
  std::string WriteFile(const std::string& relative, const std::string& content) {
    const std::string path = scratch.Path(relative);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    EXPECT_TRUE(corvel::test::WriteWholeFile(path, content)) << path;
    return path;
  }

  // The store's rows through `tavctl --json dump [subdomain]`, as
  // "<domain>|<subdomain>|<key>=<value>" texts.
  std::vector<std::string> Rows(const std::string& subdomain = "") {
    std::vector<std::string> args = {"--json", "dump"};
    if (!subdomain.empty()) args.push_back(subdomain);
    const RunResult dump = Run(args);
    EXPECT_EQ(dump.exit, 0) << dump.err;
    const nlohmann::json json = dump.Json();
    std::vector<std::string> rows;
    for (const auto& row : json["rows"]) {
      rows.push_back(row["domain"].get<std::string>() + "|" + row["subdomain"].get<std::string>() +
                     "|" + row["key"].get<std::string>() + "=" + row["value"].get<std::string>());
    }
    return rows;
  }

  corvel::test::ScratchFolder scratch;
};

// A configuration document whose Payload hive names `product` as its LicensingCode and whose
// product hive carries the records a tag is made from.
inline std::string ProductDocument(const std::string& product) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Configuration>\n"
         "  <Payload>\n"
         "    <Data key=\"LicensingCode\">" +
         product +
         "</Data>\n"
         "    <Data key=\"Folder\" protected=\"0\">/opt/app</Data>\n"
         "  </Payload>\n"
         "  <Other corvelCode=\"" +
         product +
         "\">\n"
         "    <Data key=\"ZINNIA_APP\">Test Product</Data>\n"
         "    <Data key=\"ProductVersion\">7.1</Data>\n"
         "  </Other>\n"
         "</Configuration>\n";
}

}  // namespace tavctl_test
