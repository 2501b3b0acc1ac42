// The configuration reader below the C interface: what a walk hands over and prints for each
// kind of document, and opening by UTF-8 path.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "config/configuration_processing.h"
#include "config/parse_config.h"
#include "test_support.h"

namespace corvel::config::test {
namespace {

// What `call` writes to standard error.
template <typename Call>
std::string Printed(Call call) {
  ::testing::internal::CaptureStderr();
  call();
  return ::testing::internal::GetCapturedStderr();
}

using corvel::test::ReadWholeFile;
using corvel::test::WriteWholeFile;
const std::string kData = CORVEL_TEST_DATA "/";

// A walk written out: each entry as "subdomain|key|value|is_protected" ("(null)" for a null
// text), what it printed, then "-> result".
// The handler stops the walk at call `stop_at` (0: never).
struct Walk {
  std::string text;
  size_t entries = 0, stop_at = 0;
  static int Handler(void* context, const char* subdomain, const char* key, const char* value,
                     int is_protected) {
    auto* walk = static_cast<Walk*>(context);
    walk->text += std::string(subdomain ? subdomain : "(null)") + "|" + key + "|" +
                  (value ? value : "(null)") + "|" + std::to_string(is_protected) + "\n";
    return ++walk->entries == walk->stop_at ? 1 : 0;
  }
};

// A file of the test data (*.xml), or the text; "folder" names the temporary folder.
const struct {
  const char* name;
  std::string document;
  size_t stop_at = 0;
} kWalks[] = {
    {"every form", "every_form.xml"},
    {"no entries", "<Configuration/>"},
    // Stopping at the reverse entry skips the entry itself; inside an Other hive, the rest.
    {"stop at the reverse entry", "stop.xml", 1},
    {"stop in an Other hive", "stop.xml", 4},
    {"two Payload hives", "two_payloads.xml"},
    // Children are matched by name: a comment "Payload" is a second one, or not an element.
    {"comment before Payload", "comment_before_payload.xml"},
    {"lone comment Payload", "lone_comment_payload.xml"},
    {"comment Data", "comment_data.xml"},
    {"Data without key", "data_without_key.xml"},
    {"empty file", ""},
    {"not XML", "this is not xml at all"},
    {"unclosed", "<Configuration><Payload>"},
    {"other root", "<configuration><Payload corvelCode=\"P\"/></configuration>"},
    {"only a comment", "<!-- Configuration -->"},
    {"folder", "folder"},
    {"longest licensing code", "longest_code.xml"},
    {"licensing code too long", "code_too_long.xml"},
    // CR LF and a lone CR each end one line; in text, line ends are condensed white space.
    {"line ends", "line_ends.xml"},
};

TEST(Reader, WalkHandsOverEntriesAndPrintsUnlessQuiet) {
  corvel::test::ScratchFolder scratch;
  std::string walks;  // each row's walks under "== name", a blank line between rows
  for (const auto& c : kWalks) {
    SCOPED_TRACE(c.name);
    std::string path = c.document == "folder" ? scratch.temp() : scratch.Path("document.xml");
    if (c.document != "folder") {
      const bool data = c.document.ends_with(".xml");
      ASSERT_TRUE(
          WriteWholeFile(path, data ? ReadWholeFile(kData + c.document).value() : c.document));
    }
    std::string text = std::string(walks.empty() ? "" : "\n") + "== " + c.name + "\n";
    int result = 0;
    for (int quiet : {0, 1}) {
      Walk walk{quiet ? "quiet:\n" : "loud:\n", 0, c.stop_at};
      walk.text +=
          Printed([&] { result = parseconfig(path.c_str(), &Walk::Handler, &walk, quiet); });
      text += walk.text + "-> " + std::to_string(result) + "\n";
    }
    // A null handler only checks the document, as the quiet walk did.
    EXPECT_EQ(result, parseconfig(path.c_str(), nullptr, nullptr, 1));
    for (size_t at; (at = text.find(path)) != std::string::npos;)
      text.replace(at, path.size(), "@");
    walks += text;
  }
  const std::string expected = ReadWholeFile(kData + "walks.txt").value();
  EXPECT_EQ(expected.substr(expected.find("== ")), walks);
}

// A path inside the scratch folder of exactly `units` UTF-16 units, padded with `filler`
// (one unit each) in folders of at most 50 units, which are created.
std::string PathOfUnits(const corvel::test::ScratchFolder& scratch, size_t units,
                        const std::string& filler) {
  std::string path = scratch.root();
  size_t have = path.size();
  while (units - have > 51) {
    path += "/";
    for (int i = 0; i < 49; ++i) path += filler;
    std::filesystem::create_directory(path);
    have += 50;
  }
  path += "/";
  for (++have; have < units; ++have) path += filler;
  return path;
}

TEST(OpenConfigurationFile, PathsAreCountedInWideCharactersAndConversionFailuresPrinted) {
  corvel::test::ScratchFolder scratch;
  // 259 units and the terminator fill the 260-unit buffer; in UTF-8 that is far more bytes.
  const std::string fits = PathOfUnits(scratch, 259, "\xC3\xA9");
  const std::string too_long = PathOfUnits(scratch, 260, "a");
  const std::string bad = scratch.Path("bad\xFFname.xml");
  for (const std::string& path : {fits, too_long, bad}) ASSERT_TRUE(WriteWholeFile(path, "x"));
  ASSERT_GT(fits.size(), 260u);
  const std::string converting = "parseconfig: error converting to wide char: ERROR_";
  EXPECT_EQ(converting + "INSUFFICIENT_BUFFERparseconfig: input string was " + too_long +
                converting + "NO_UNICODE_TRANSLATIONparseconfig: input string was " + bad +
                converting + "NO_UNICODE_TRANSLATIONparseconfig: input string was " + bad + bad +
                ": Invalid argument\n",
            Printed([&] {
              FILE* stream = OpenConfigurationFile(fits.c_str(), "rb");
              EXPECT_NE(nullptr, stream);
              if (stream) fclose(stream);
              EXPECT_EQ(nullptr, OpenConfigurationFile(too_long.c_str(), "rb"));
              EXPECT_EQ(EINVAL, errno);
              // Printed even by a quiet walk; a loud one adds the open's own failure.
              EXPECT_EQ(-1, parseconfig(bad.c_str(), nullptr, nullptr, 1));
              EXPECT_EQ(-1, parseconfig(bad.c_str(), nullptr, nullptr, 0));
            }));
}

}  // namespace
}  // namespace corvel::config::test
