// The configuration reader below the C interface: what a walk hands over and prints for each
// kind of document, the Payload code rewrite and its failures, opening by UTF-8 path, and the
// driver document.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "config/configuration_processing.h"
#include "config/parse_config.h"
#include "platform/platform.h"
#include "test_support.h"

namespace corvel::config::test {
namespace {

// What `call` writes to standard error (through a scratch file).
template <typename Call>
std::string Printed(const corvel::test::ScratchFolder& scratch, Call call) {
  fflush(stderr);
  const int saved = dup(2);
  FILE* sink = fopen(scratch.Path("stderr.txt").c_str(), "w");
  dup2(fileno(sink), 2);
  fclose(sink);
  call();
  fflush(stderr);
  dup2(saved, 2);
  close(saved);
  return corvel::test::ReadWholeFile(scratch.Path("stderr.txt")).value_or("<unreadable>");
}

// The entries of a walk as "subdomain|key|value|is_protected" ("(null)" for a null text); the
// handler stops the walk at call `stop_at` (0: never).
struct Walked {
  std::vector<std::string> entries;
  size_t stop_at = 0;
  static int Handler(void* context, const char* subdomain, const char* key, const char* value,
                     int is_protected) {
    auto* walked = static_cast<Walked*>(context);
    walked->entries.push_back(std::string(subdomain ? subdomain : "(null)") + "|" + key + "|" +
                              (value ? value : "(null)") + "|" + std::to_string(is_protected));
    return walked->entries.size() == walked->stop_at ? 1 : 0;
  }
};

using corvel::test::ReadWholeFile;
using corvel::test::WriteWholeFile;
using Entries = std::vector<std::string>;
const std::string kData = CORVEL_TEST_DATA "/";

const std::string kLongest(kReverseSubdomainBufferSize - 1, 'L');
const std::string kHuge(256 * 1024, 'v');
const std::string kMultiple = "parseconfig: Multiple Payload elements found\n";
const std::string kLoadFailed = "parseconfig: can't load input file: Error ";
const std::string kNotConfiguration = "parseconfig: Not an ZEP Configuration document\n";
const std::string kLine = "parseconfig: Parse error on line ";

struct WalkCase {
  std::string document;  // a file of the test data (*.xml), or the text; "missing", "folder"
  size_t stop_at;
  int result;
  std::string loud_stderr;  // "@" stands for the path
  Entries entries;
  std::optional<std::pair<int, Entries>> quiet = {};  // when a quiet walk differs
};

const WalkCase kWalks[] = {
    {"every_form.xml",
     0,
     0,
     "",
     {"PAY|plain|v|1", "PAY|zero|z|0", "PAY|no|n|1", "PAY|one|o|1", "PAY|double-zero|d|1",
      "PAY|empty||1", "PAY|nested||1", "PAY|cdata|a<b|1", "PAY|entity|a & b|1",
      "LIC|PayloadCode|PAY|0", "PAY|LicensingCode|LIC|0", "O1|o1|one|1", "(null)|nocode|n|1",
      "L2|PayloadCode|(null)|1", "(null)|LicensingCode|L2|1", "|blank|b|1"}},
    {"<Configuration/>", 0, 0, "", {}},
    // Stopping at the reverse entry skips the entry itself; inside an Other hive, the rest.
    {"stop.xml", 1, 0, "", {"L|PayloadCode|P|1"}},
    {"stop.xml", 4, 0, "", {"L|PayloadCode|P|1", "P|LicensingCode|L|1", "P|a|1|1", "O|b|2|1"}},
    {"two_payloads.xml", 0, -1, kMultiple, {}, std::pair(0, Entries{"P1|a|1|1", "O|o|x|1"})},
    // Children are matched by name: a comment "Payload" is a second one, or not an element.
    {"comment_before_payload.xml", 0, -1, kMultiple, {}},
    {"lone_comment_payload.xml", 0, -1, kLine + "3: Not an element: Payload\n", {}},
    {"comment_data.xml", 0, -1, kLine + "4: Not an element: Data\n", {"O|first|1|1"}},
    {"data_without_key.xml", 0, -1, kLine + "4: No attribute key\n", {"P|a|1|1"}},
    {"", 0, -1, kLoadFailed + "document empty.\n", {}},
    {"this is not xml at all", 0, -1, kLoadFailed + "document empty.\n", {}},
    {"<Configuration><Payload>", 0, -1, kLoadFailed + "reading Element value.\n", {}},
    {"<configuration><Payload corvelCode=\"P\"/></configuration>", 0, -1, kNotConfiguration, {}},
    {"<!-- Configuration -->", 0, -1, kNotConfiguration, {}},
    {"missing", 0, -1, "@: No such file or directory\n", {}},
    {"folder", 0, -1, "@: Is a directory\n", {}},
    {"<Configuration><Payload corvelCode=\"P\"><Data key=\"LicensingCode\">" + kLongest +
         "</Data></Payload></Configuration>",
     0,
     0,
     "",
     {kLongest + "|PayloadCode|P|1", "P|LicensingCode|" + kLongest + "|1"}},
    {"<Configuration>\n<Payload corvelCode=\"P\">\n<Data key=\"a\">1</Data>\n"
     "<Data key=\"LicensingCode\">" +
         kLongest + "X</Data>\n</Payload></Configuration>",
     0,
     -1,
     kLine + "4: Value of LicensingCode longer than 127 bytes\n",
     {"P|a|1|1"}},
    // CR LF and a lone CR each end one line; in text, line ends are condensed white space.
    {"<Configuration>\r\n<Payload corvelCode=\"P\">\r\n<Data key=\"multi\">a\r\nb\rc</Data>\r\n"
     "<Data key=\"huge\">" +
         kHuge + "</Data>\r\n<Data>\r\n</Data>\r\n</Payload></Configuration>",
     0,
     -1,
     kLine + "7: No attribute key\n",
     {"P|multi|a b c|1", "P|huge|" + kHuge + "|1"}},
};

TEST(Reader, WalkHandsOverEntriesAndPrintsUnlessQuiet) {
  corvel::test::ScratchFolder scratch;
  for (const WalkCase& c : kWalks) {
    SCOPED_TRACE(c.document.substr(0, 60));
    std::string path = c.document == "folder" ? scratch.temp() : scratch.Path("document.xml");
    if (c.document != "folder") std::filesystem::remove(path);
    const bool data = c.document.size() > 4 && c.document.ends_with(".xml");
    if (c.document != "missing" && c.document != "folder") {
      const std::string content = data ? ReadWholeFile(kData + c.document).value() : c.document;
      ASSERT_TRUE(WriteWholeFile(path, content));
    }
    for (int quiet : {0, 1}) {
      Walked walked;
      walked.stop_at = c.stop_at;
      int result = 0;
      const std::string printed = Printed(
          scratch, [&] { result = parseconfig(path.c_str(), &Walked::Handler, &walked, quiet); });
      const auto [want_result, want_entries] =
          quiet && c.quiet ? *c.quiet : std::pair(c.result, c.entries);
      std::string want_printed = quiet ? "" : c.loud_stderr;
      if (want_printed[0] == '@') want_printed.replace(0, 1, path);
      EXPECT_EQ(want_result, result) << "quiet " << quiet;
      EXPECT_EQ(want_printed, printed) << "quiet " << quiet;
      EXPECT_EQ(want_entries, walked.entries) << "quiet " << quiet;
      // A null handler only checks the document.
      if (quiet) {
        EXPECT_EQ(want_result, parseconfig(path.c_str(), nullptr, nullptr, 1));
      }
    }
  }
}

TEST(Rewrite, SetsTheCodeAndWritesTheStandardLayout) {
  corvel::test::ScratchFolder scratch;
  const std::string path = scratch.Path("application.xml");
  ASSERT_TRUE(WriteWholeFile(path, ReadWholeFile(kData + "rewrite_input.xml").value()));
  EXPECT_EQ("", Printed(scratch, [&] {
              EXPECT_EQ(0, SetConfigurationPayloadCode(path.c_str(), "NEW & <code>"));
            }));
  EXPECT_EQ(ReadWholeFile(kData + "rewrite_output.xml"), ReadWholeFile(path));
}

// A replacement system call, in the type the table of replaceable calls holds.
template <typename Function>
platform::SystemCall Failing(Function* replacement) {
  return reinterpret_cast<platform::SystemCall>(replacement);
}

TEST(Rewrite, FailuresLeaveTheFileUntouchedAndPrintNothing) {
  corvel::test::ScratchFolder scratch;
  const std::string folder = scratch.Path("product");
  const std::string path = folder + "/application.xml";
  std::filesystem::create_directory(folder);
  const std::string good = "<Configuration><Payload/></Configuration>";
  // Any failure to load the document or to find its Payload element gives -1; a fresh file
  // that cannot be completed gives 1; one that cannot be made falls back to a rewrite in place.
  const struct {
    const char* name;
    std::string content;
    const char* call;
    platform::SystemCall failing;
    int result;
  } cases[] = {
      {"no Payload", "<Configuration><Other corvelCode=\"O\"/></Configuration>", "", {}, -1},
      {"comment Payload", "<Configuration><!--Payload--><Payload/></Configuration>", "", {}, -1},
      {"other root", "<Config><Payload/></Config>", "", {}, -1},
      {"broken", "<Configuration><Payload></Configuration>", "", {}, -1},
      {"empty", "", "", {}, -1},
      {"fsync fails", good, "fsync", Failing(+[](int) { return errno = EIO, -1; }), 1},
      {"rename fails", good, "rename",
       Failing(+[](const char*, const char*) { return errno = EIO, -1; }), 1},
      {"fresh file not made", good, "fchown",
       Failing(+[](int, uid_t, gid_t) { return errno = EIO, -1; }), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(WriteWholeFile(path, c.content));
    struct stat before {
    }, after{};
    ASSERT_EQ(0, stat(path.c_str(), &before));
    std::optional<platform::ScopedSystemCall> broken;
    if (c.failing) broken.emplace(c.call, c.failing);
    EXPECT_EQ("", Printed(scratch, [&] {
                EXPECT_EQ(c.result, SetConfigurationPayloadCode(path.c_str(), "P"));
              }));
    broken.reset();
    ASSERT_EQ(0, stat(path.c_str(), &after));
    // Every row leaves the file itself in place, rewritten in place or not at all.
    EXPECT_EQ(before.st_ino, after.st_ino);
    EXPECT_EQ(c.result == 0
                  ? "<Configuration>\n    <Payload corvelCode=\"P\" />\n</Configuration>\n"
                  : c.content,
              ReadWholeFile(path));
    // No fresh file stays beside the document.
    EXPECT_EQ(1, std::distance(std::filesystem::directory_iterator(folder), {}));
  }
  EXPECT_EQ(-1, SetConfigurationPayloadCode(scratch.Path("missing.xml").c_str(), "P"));
  EXPECT_EQ(-1, SetConfigurationPayloadCode(folder.c_str(), "P"));
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
            Printed(scratch, [&] {
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

TEST(DriverDocument, WrittenUniquelyNamedAndPrivateInTheTemporaryFolder) {
  corvel::test::ScratchFolder scratch;
  char first[kConfigPathBufferSize], second[kConfigPathBufferSize];
  const time_t before = time(nullptr);
  ASSERT_EQ(kDriverDocumentWritten,
            WriteDriverConfigurationFile("/opt/My App/application.xml", "PAY & <1>", "DRV", first,
                                         sizeof first));
  const time_t after = time(nullptr);
  ASSERT_EQ(kDriverDocumentWritten,
            WriteDriverConfigurationFile("c", "P", "D", second, sizeof second));
  const std::string prefix = scratch.temp() + "/driver_";
  EXPECT_EQ(0u, std::string(first).rfind(prefix, 0)) << first;
  EXPECT_EQ(prefix.size() + 6, std::string(first).size());
  EXPECT_NE(std::string(first), second);
  struct stat status {};
  ASSERT_EQ(0, lstat(first, &status));
  EXPECT_TRUE(S_ISREG(status.st_mode));
  EXPECT_EQ(0600u, status.st_mode & 07777);

  std::string expected = ReadWholeFile(kData + "driver_document.xml").value();
  const std::string content = ReadWholeFile(first).value_or("");
  const size_t date = expected.find("@INSTALL_DATE@");
  const size_t date_end = content.find('<', date);
  ASSERT_NE(std::string::npos, date_end) << content;
  const long long seconds = std::stoll(content.substr(date, date_end - date));
  EXPECT_GE(seconds, static_cast<long long>(before));
  EXPECT_LE(seconds, static_cast<long long>(after));
  EXPECT_EQ(expected.replace(date, 14, std::to_string(seconds)), content);
}

}  // namespace
}  // namespace corvel::config::test
