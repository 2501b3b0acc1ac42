// What the tag tests share: the tag writer's places in a scratch folder, one complete pass,
// and tags read back by libxml2 (xmllint) with a namespace-aware XPath.
#pragma once

#include <cstdio>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "swtag/swtag.h"
#include "swtag/swtag_entity.h"
#include "test_support.h"

namespace corvel::swtag::test {

using corvel::test::ReadWholeFile;
using corvel::test::WriteWholeFile;
using Fields = std::map<uint32_t, std::string>;

// The values a typical pass sets, by field id.
inline Fields TypicalFields() {
  return {{0, "false"}, {15, "activated"}, {18, "SN-0001"}, {16, "retail"}, {17, "retail"},
          {2, "12.0"},  {3, "12"},         {4, "0"},        {5, "0"},       {6, "0"}};
}

class TagScratch : public corvel::test::ScratchFolder {
 public:
  std::string TagDir() const { return common_appdata() + "/" + TagEntityRegid(); }
  // The tag file of a product code and locale (empty: the locale-less name).
  std::string TagFile(const std::string& code, const std::string& locale = "") const {
    return TagDir() + "/" + TagEntityRegid() + "_" + code + (locale.empty() ? "" : "-" + locale) +
           ".swidtag";
  }
  std::string LogPath() const { return temp() + "/swtag.log"; }
  std::string Log() const { return ReadWholeFile(LogPath()).value_or(""); }
};

// SwTagStart, the fields, SwTagWrite, SwTagEnd; the result of SwTagStart.
inline uint16_t RunPass(const std::string& name, const std::string& code, const std::string& locale,
                        const Fields& fields = TypicalFields()) {
  const uint16_t started = SwTagStart(name.c_str(), code.c_str(), locale.c_str(), 0);
  if (started == kSwTagSuccess) {
    for (const auto& [id, value] : fields) SwTagSetField(id, value.c_str());
    SwTagWrite();
  }
  SwTagEnd();
  return started;
}

// The text of the element reached from the root by the local names in `path` (a "/"
// separated list), every step in the tag namespace, as libxml2 reads the file; nullopt when
// xmllint rejects the file or finds no such element.
inline std::optional<std::string> XPathText(const std::string& file, const std::string& path) {
  const std::string steps = std::regex_replace(
      "/software_identification_tag/" + path, std::regex("[^/]+"),
      "*[local-name()='$&' and "
      "namespace-uri()='http://standards.iso.org/iso/19770/-2/2008/schema.xsd']");
  // Brackets around the value tell an empty element from a missing one.
  FILE* pipe = popen(("xmllint --nonet --xpath \"concat('[', string(" + steps + "), ']', count(" +
                      steps + "))\" '" + file + "' 2>/dev/null")
                         .c_str(),
                     "r");
  std::string out;
  char buffer[4096];
  for (size_t got; pipe && (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    out.append(buffer, got);
  if (!pipe || pclose(pipe) != 0 || out.empty() || out[0] != '[' ||
      out.substr(out.rfind(']') + 1, 1) == "0") {
    return std::nullopt;
  }
  return out.substr(1, out.rfind(']') - 1);
}

// A file of the test data, with the build's publisher name and regid put in for @NAME@ and
// @REGID@, and each of `marks` for its mark.
inline std::string TestData(const std::string& name,
                            std::map<std::string, std::string> marks = {}) {
  std::string text = ReadWholeFile(CORVEL_TEST_DATA "/" + name).value_or("(missing " + name + ")");
  marks.insert({{"@NAME@", TagEntityName()}, {"@REGID@", TagEntityRegid()}});
  for (const auto& [mark, value] : marks) {
    for (size_t at; (at = text.find(mark)) != std::string::npos;)
      text.replace(at, mark.size(), value);
  }
  return text;
}

// The tag log with the time, process id and module that start each line taken out; a line
// without them is kept behind "(unstamped) ".
inline std::string Unstamped(const std::string& log) {
  const std::regex stamp(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \[)" + std::to_string(getpid()) +
                         R"(\] SWTAG: _info_: )");
  std::istringstream lines(log);
  std::string out;
  for (std::string line; std::getline(lines, line);) {
    std::smatch stamped;
    if (std::regex_search(line, stamped, stamp, std::regex_constants::match_continuous)) {
      line = stamped.suffix();
    } else if (!line.empty()) {
      line = "(unstamped) " + line;
    }
    out += line + "\n";
  }
  return out;
}

// Compares the tag log whole, without its stamps, with the expected data file.
inline void ExpectTagLog(const TagScratch& scratch, const std::string& expected) {
  EXPECT_EQ(TestData(expected, {{"@ROOT@", scratch.root()}}), Unstamped(scratch.Log())) << expected;
}

// Whether every line of the expected data file (its marks put in) appears in `log` in order.
inline void ExpectLogged(const std::string& log, const std::string& expected) {
  std::istringstream lines(TestData(expected));
  size_t at = 0;
  for (std::string line; std::getline(lines, line);) {
    at = log.find(line + "\n", at);
    ASSERT_NE(std::string::npos, at) << line;
  }
}

// Reads back from the tag, by XPath, every "path=value" line of the expected data file.
inline void ExpectFields(const std::string& tag, const std::string& expected) {
  std::istringstream lines(TestData(expected));
  for (std::string line; std::getline(lines, line);) {
    const size_t equals = line.find('=');
    EXPECT_EQ(line.substr(equals + 1), XPathText(tag, line.substr(0, equals)))
        << expected << ": " << line;
  }
}

}  // namespace corvel::swtag::test
