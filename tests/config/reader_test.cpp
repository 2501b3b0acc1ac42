// The configuration document reader: what a walk hands over, in which order, when it stops,
// and the exact diagnostics of each failure.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/parse_config.h"
#include "config_test_helpers.h"
#include "test_support.h"

namespace corvel::config {
namespace {

using test::EntryRecorder;
using test::RecordedEntry;
using test::StderrCapture;

RecordedEntry Entry(std::optional<std::string> subdomain, std::string key,
                    std::optional<std::string> value, int is_protected) {
  return RecordedEntry{std::move(subdomain), std::move(key), std::move(value), is_protected};
}

class ReaderTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& content) {
    std::string path = mScratch.Path(name);
    EXPECT_TRUE(corvel::test::WriteWholeFile(path, content));
    return path;
  }

  // Walks `path` (not quiet unless asked) and returns the result; stderr lands in mStderr.
  int Walk(const std::string& path, EntryRecorder& recorder, bool quiet = false) {
    StderrCapture capture(mScratch.Path("stderr.txt"));
    int result = parseconfig(path.c_str(), &EntryRecorder::Handler, &recorder, quiet ? 1 : 0);
    mStderr = capture.Text();
    return result;
  }

  corvel::test::ScratchFolder mScratch;
  std::string mStderr;
};

TEST_F(ReaderTest, WalksPayloadThenOtherHivesWithCodesProtectionAndValues) {
  std::string path = Write("application.xml",
                           "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                           "<Configuration>\n"
                           "  <Other corvelCode=\"O1\" defaultCorvelCode=\"ignored\">\n"
                           "    <Data key=\"o1\">one</Data>\n"
                           "  </Other>\n"
                           "  <Payload defaultCorvelCode=\"PAY\">\n"
                           "    <Data key=\"plain\">v</Data>\n"
                           "    <Data key=\"zero\" protected=\"0\">z</Data>\n"
                           "    <Data key=\"no\" protected=\"no\">n</Data>\n"
                           "    <Data key=\"one\" protected=\"1\">o</Data>\n"
                           "    <Data key=\"double-zero\" protected=\"00\">d</Data>\n"
                           "    <Data key=\"empty\"/>\n"
                           "    <Data key=\"nested\"><b>x</b>tail</Data>\n"
                           "    <Data key=\"cdata\"><![CDATA[a<b]]></Data>\n"
                           "    <Data key=\"entity\">a &amp; b</Data>\n"
                           "    <Data key=\"LicensingCode\" protected=\"0\">LIC</Data>\n"
                           "    <Ignored key=\"x\">not an entry</Ignored>\n"
                           "  </Payload>\n"
                           "  <Other>\n"
                           "    <Data key=\"nocode\">n</Data>\n"
                           "    <Data key=\"LicensingCode\">L2</Data>\n"
                           "  </Other>\n"
                           "  <Other corvelCode=\"\"><Data key=\"blank\">b</Data></Other>\n"
                           "</Configuration>\n");
  EntryRecorder recorder;
  ASSERT_EQ(0, Walk(path, recorder)) << mStderr;
  std::vector<RecordedEntry> expected = {
      Entry("PAY", "plain", "v", 1),
      Entry("PAY", "zero", "z", 0),
      Entry("PAY", "no", "n", 1),
      Entry("PAY", "one", "o", 1),
      Entry("PAY", "double-zero", "d", 1),
      Entry("PAY", "empty", "", 1),
      Entry("PAY", "nested", "", 1),
      Entry("PAY", "cdata", "a<b", 1),
      Entry("PAY", "entity", "a & b", 1),
      Entry("LIC", "PayloadCode", "PAY", 0),
      Entry("PAY", "LicensingCode", "LIC", 0),
      Entry("O1", "o1", "one", 1),
      Entry(std::nullopt, "nocode", "n", 1),
      Entry("L2", "PayloadCode", std::nullopt, 1),
      Entry(std::nullopt, "LicensingCode", "L2", 1),
      Entry("", "blank", "b", 1),
  };
  EXPECT_EQ(expected, recorder.entries) << test::Describe(recorder.entries);
  EXPECT_EQ("", mStderr);
}

TEST_F(ReaderTest, EmptyConfigurationAndNullHandler) {
  std::string empty = Write("empty.xml", "<Configuration/>");
  EntryRecorder recorder;
  EXPECT_EQ(0, Walk(empty, recorder));
  EXPECT_TRUE(recorder.entries.empty());

  std::string full = Write("full.xml",
                           "<Configuration><Payload corvelCode=\"P\"><Data key=\"k\">v</Data>"
                           "</Payload></Configuration>");
  EXPECT_EQ(0, parseconfig(full.c_str(), nullptr, nullptr, 0));
  std::string bad = Write("bad.xml", "<Configuration><Payload><Data/></Payload></Configuration>");
  EXPECT_EQ(-1, parseconfig(bad.c_str(), nullptr, nullptr, 1));
}

TEST_F(ReaderTest, HandlerStopEndsTheWalkWithSuccess) {
  std::string path =
      Write("stop.xml",
            "<Configuration>"
            "<Payload corvelCode=\"P\">"
            "<Data key=\"LicensingCode\">L</Data><Data key=\"a\">1</Data>"
            "</Payload>"
            "<Other corvelCode=\"O\"><Data key=\"b\">2</Data><Data key=\"c\">3</Data></Other>"
            "<Other corvelCode=\"Q\"><Data key=\"d\">4</Data></Other>"
            "</Configuration>");
  // Stopping at the reverse entry skips the entry itself and everything after it.
  EntryRecorder first;
  first.stop_at_call = 1;
  EXPECT_EQ(0, Walk(path, first));
  EXPECT_EQ(std::vector<RecordedEntry>{Entry("L", "PayloadCode", "P", 1)}, first.entries);

  // Stopping inside an Other hive skips the rest of it and the later hives.
  EntryRecorder in_other;
  in_other.stop_at_call = 4;
  EXPECT_EQ(0, Walk(path, in_other));
  ASSERT_EQ(4u, in_other.entries.size()) << test::Describe(in_other.entries);
  EXPECT_EQ(Entry("O", "b", "2", 1), in_other.entries.back());
}

TEST_F(ReaderTest, MultiplePayloadHivesRejectedUnlessQuiet) {
  std::string path = Write("two.xml",
                           "<Configuration>\n"
                           "<Payload corvelCode=\"P1\"><Data key=\"a\">1</Data></Payload>\n"
                           "<Other corvelCode=\"O\"><Data key=\"o\">x</Data></Other>\n"
                           "<Payload corvelCode=\"P2\"><Data key=\"b\">2</Data></Payload>\n"
                           "</Configuration>\n");
  EntryRecorder loud;
  EXPECT_EQ(-1, Walk(path, loud));
  EXPECT_TRUE(loud.entries.empty());
  EXPECT_EQ("parseconfig: Multiple Payload elements found\n", mStderr);

  EntryRecorder quiet;
  EXPECT_EQ(0, Walk(path, quiet, /*quiet=*/true));
  EXPECT_EQ((std::vector<RecordedEntry>{Entry("P1", "a", "1", 1), Entry("O", "o", "x", 1)}),
            quiet.entries);
  EXPECT_EQ("", mStderr);
}

TEST_F(ReaderTest, NodesNamedLikeHivesButNotElementsFailWithTheirLine) {
  // A comment whose text is "Payload" is the first node of that name.
  std::string comment_hive = Write("comment_hive.xml",
                                   "<Configuration>\n"
                                   "<!--Payload-->\n"
                                   "<Payload corvelCode=\"P\"><Data key=\"a\">1</Data></Payload>\n"
                                   "</Configuration>\n");
  EntryRecorder recorder;
  EXPECT_EQ(-1, Walk(comment_hive, recorder, /*quiet=*/true));
  EXPECT_EQ("", mStderr);
  EXPECT_EQ(-1, Walk(comment_hive, recorder));
  // Not quiet, the comment and the element are two nodes named "Payload".
  EXPECT_EQ("parseconfig: Multiple Payload elements found\n", mStderr);

  std::string lone_comment = Write("lone_comment.xml",
                                   "<Configuration>\n\n"
                                   "  <!--Payload-->\n"
                                   "  <Other corvelCode=\"O\"><Data key=\"o\">x</Data></Other>\n"
                                   "</Configuration>\n");
  EXPECT_EQ(-1, Walk(lone_comment, recorder));
  EXPECT_EQ("parseconfig: Parse error on line 3: Not an element: Payload\n", mStderr);
  EXPECT_TRUE(recorder.entries.empty()) << "the Other hives are not read after a failed Payload";

  std::string comment_data = Write("comment_data.xml",
                                   "<Configuration>\n"
                                   "<Other corvelCode=\"O\">\n"
                                   "  <Data key=\"first\">1</Data>\n"
                                   "  <!--Data-->\n"
                                   "  <Data key=\"never\">2</Data>\n"
                                   "</Other>\n"
                                   "<Other corvelCode=\"Q\"><Data key=\"q\">3</Data></Other>\n"
                                   "</Configuration>\n");
  EntryRecorder partial;
  EXPECT_EQ(-1, Walk(comment_data, partial));
  EXPECT_EQ("parseconfig: Parse error on line 4: Not an element: Data\n", mStderr);
  // What was handed over before the failure stays handed over.
  EXPECT_EQ(std::vector<RecordedEntry>{Entry("O", "first", "1", 1)}, partial.entries);
}

TEST_F(ReaderTest, DataWithoutKeyFails) {
  std::string path = Write("nokey.xml",
                           "<Configuration>\n"
                           "<Payload corvelCode=\"P\">\n"
                           "<Data key=\"a\">1</Data>\n"
                           "<Data Key=\"b\">2</Data>\n"
                           "</Payload>\n"
                           "</Configuration>\n");
  EntryRecorder recorder;
  EXPECT_EQ(-1, Walk(path, recorder));
  EXPECT_EQ("parseconfig: Parse error on line 4: No attribute key\n", mStderr);
  EXPECT_EQ(1u, recorder.entries.size());
}

TEST_F(ReaderTest, DocumentsThatCannotBeLoadedOrAreNotConfigurations) {
  struct Case {
    const char* name;
    const char* content;
    const char* message;
  } cases[] = {
      {"empty.xml", "", "parseconfig: can't load input file: Error document empty.\n"},
      {"text.xml", "this is not xml at all",
       "parseconfig: can't load input file: Error document empty.\n"},
      {"unclosed.xml", "<Configuration><Payload>",
       "parseconfig: can't load input file: Error reading Element value.\n"},
      {"root.xml", "<configuration><Payload corvelCode=\"P\"/></configuration>",
       "parseconfig: Not an ZEP Configuration document\n"},
      {"comment_only.xml", "<!-- Configuration -->",
       "parseconfig: Not an ZEP Configuration document\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = Write(c.name, c.content);
    EntryRecorder recorder;
    EXPECT_EQ(-1, Walk(path, recorder));
    EXPECT_EQ(c.message, mStderr);
    EXPECT_EQ(-1, Walk(path, recorder, /*quiet=*/true));
    EXPECT_EQ("", mStderr);
    EXPECT_TRUE(recorder.entries.empty());
  }
}

TEST_F(ReaderTest, InputThatCannotBeOpenedPrintsTheSystemError) {
  EntryRecorder recorder;
  std::string missing = mScratch.Path("missing.xml");
  EXPECT_EQ(-1, Walk(missing, recorder));
  EXPECT_EQ(missing + ": No such file or directory\n", mStderr);

  // A folder is not a document, even though a POSIX open for reading would succeed.
  EXPECT_EQ(-1, Walk(mScratch.temp(), recorder));
  EXPECT_EQ(mScratch.temp() + ": Is a directory\n", mStderr);

  EXPECT_EQ(-1, Walk(missing, recorder, /*quiet=*/true));
  EXPECT_EQ("", mStderr);
}

TEST_F(ReaderTest, LicensingCodeValueIsBoundedForTheReverseEntry) {
  std::string longest(kReverseSubdomainBufferSize - 1, 'L');
  std::string fits =
      Write("fits.xml", "<Configuration><Payload corvelCode=\"P\"><Data key=\"LicensingCode\">" +
                            longest + "</Data></Payload></Configuration>");
  EntryRecorder recorder;
  ASSERT_EQ(0, Walk(fits, recorder));
  ASSERT_EQ(2u, recorder.entries.size());
  EXPECT_EQ(Entry(longest, "PayloadCode", "P", 1), recorder.entries[0]);

  std::string too_long =
      Write("long.xml",
            "<Configuration>\n<Payload corvelCode=\"P\">\n<Data key=\"a\">1</Data>\n"
            "<Data key=\"LicensingCode\">" +
                longest +
                "X</Data>\n"
                "</Payload></Configuration>");
  EntryRecorder rejected;
  EXPECT_EQ(-1, Walk(too_long, rejected));
  EXPECT_EQ("parseconfig: Parse error on line 4: Value of LicensingCode longer than 127 bytes\n",
            mStderr);
  EXPECT_EQ(std::vector<RecordedEntry>{Entry("P", "a", "1", 1)}, rejected.entries);
}

TEST_F(ReaderTest, LineEndsAndLargeValuesArriveIntact) {
  std::string huge(256 * 1024, 'v');
  std::string path = Write("crlf.xml",
                           "<Configuration>\r\n<Payload corvelCode=\"P\">\r\n"
                           "<Data key=\"multi\">a\r\nb\rc</Data>\r\n"
                           "<Data key=\"huge\">" +
                               huge +
                               "</Data>\r\n"
                               "<Data>\r\n</Data>\r\n"
                               "</Payload></Configuration>");
  EntryRecorder recorder;
  EXPECT_EQ(-1, Walk(path, recorder));
  // CR LF and lone CR count as one line end each, as the rows show; in text, line ends are
  // white space that the XML library condenses.
  EXPECT_EQ("parseconfig: Parse error on line 7: No attribute key\n", mStderr);
  ASSERT_EQ(2u, recorder.entries.size());
  EXPECT_EQ("a b c", recorder.entries[0].value.value_or("<null>"));
  EXPECT_EQ(huge, recorder.entries[1].value.value_or("<null>"));
}

TEST_F(ReaderTest, StandardInputIsReadForDashAndClosed) {
  std::string path = Write("stdin.xml",
                           "<Configuration><Payload corvelCode=\"P\"><Data key=\"a\">1</Data>"
                           "<Data key=\"b\">2</Data></Payload></Configuration>");
  int status = test::RunWithStandardStreams(path, "", [] {
    EntryRecorder recorder;
    if (parseconfig("-", &EntryRecorder::Handler, &recorder, 1) != 0) return 100;
    if (recorder.entries.size() != 2 || recorder.entries[1].value != "2") return 101;
    // The walk closed standard input (its descriptor is gone).
    return fcntl(0, F_GETFD) == -1 ? 0 : 102;
  });
  EXPECT_EQ(0, status);
}

}  // namespace
}  // namespace corvel::config
