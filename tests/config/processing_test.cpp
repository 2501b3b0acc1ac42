// Installing a payload's configuration through Corvel_TAVLib_Process_file against the real
// store: what ends up stored, under which code and domain, and every status.
#include <pthread.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "install_fixture.h"

namespace corvel::config::test {
namespace {

namespace fs = std::filesystem;

const char kApplication[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<Configuration>\n"
    "  <Payload corvelCode=\"STALE\">\n"
    "    <Data key=\"ProductName\">Corvel Writer</Data>\n"
    "    <Data key=\"Hidden\" protected=\"0\">visible</Data>\n"
    "    <Data key=\"LicensingCode\">LIC-1</Data>\n"
    "    <Data key=\"Empty\"/>\n"
    "    <Data key=\"Bare\">a & b</Data>\n"
    "  </Payload>\n"
    "  <Other corvelCode=\"SHARED\">\n"
    "    <Data key=\"Channel\">stable</Data>\n"
    "    <Data key=\"Open\" protected=\"0\">yes</Data>\n"
    "  </Other>\n"
    "  <Other defaultCorvelCode=\"DEFAULTED\"><Data key=\"Fallback\">d</Data></Other>\n"
    "  <!-- a hive without code: the store refuses its entry, which ends this document -->\n"
    "  <Other><Data key=\"Orphan\">lost</Data></Other>\n"
    "  <Other corvelCode=\"AFTER\"><Data key=\"Never\">stored</Data></Other>\n"
    "</Configuration>\n";

const char kOverride[] =
    "<Configuration>\n"
    "  <Payload><Data key=\"ProductName\">Overridden</Data></Payload>\n"
    "  <Other corvelCode=\"SHARED\"><Data key=\"Channel\">beta</Data></Other>\n"
    "  <Other><Data key=\"FromOverride\" protected=\"0\">o</Data></Other>\n"
    "</Configuration>\n";

const char kMinimal[] =
    "<Configuration><Payload><Data key=\"k\">v</Data></Payload></Configuration>";

// Takes the "InstallDate" row of `payload` out of `rows` after checking that it is the time
// of the call, and returns the rest.
StoreRows WithoutInstallDate(StoreRows rows, const std::string& payload, time_t before,
                             time_t after) {
  for (auto it = rows.begin(); it != rows.end(); ++it) {
    if (!it->unprotected && it->subdomain == payload && it->key == "InstallDate") {
      char* end = nullptr;
      long long seconds = std::strtoll(it->value.c_str(), &end, 10);
      EXPECT_TRUE(!it->value.empty() && *end == '\0') << it->value;
      EXPECT_GE(seconds, static_cast<long long>(before));
      EXPECT_LE(seconds, static_cast<long long>(after));
      rows.erase(it);
      return rows;
    }
  }
  ADD_FAILURE() << "no InstallDate under " << payload;
  return rows;
}

TEST_F(InstallTest, RecordsEveryDocumentUnderItsCodeAndDomain) {
  std::string config = Write("product/application.xml", kApplication);
  Write("override/application.xml.override", kOverride);
  std::string override_dir = mScratch.Path("override");

  time_t before = time(nullptr);
  ASSERT_EQ(0u, Process(config, "PAY-1", "DRV-1", override_dir.c_str()));
  time_t after = time(nullptr);

  StoreRows expected = {
      Protected("PAY-1", "ProductName", "Overridden"),
      Unprotected("PAY-1", "Hidden", "visible"),
      Protected("PAY-1", "LicensingCode", "LIC-1"),
      Protected("LIC-1", "PayloadCode", "PAY-1"),
      Protected("PAY-1", "Empty", ""),
      // Read back from the rewritten file, where the blanks left around the dropped "&" fold.
      Protected("PAY-1", "Bare", "a b"),
      Protected("SHARED", "Channel", "beta"),
      Unprotected("SHARED", "Open", "yes"),
      Protected("DEFAULTED", "Fallback", "d"),
      Unprotected("PAY-1", "FromOverride", "o"),
      Protected("PAY-1", "DefaultDriverPayload", "DRV-1"),
      Protected("PAY-1", "ZEPConfigPath", config),
  };
  StoreRows rows = WithoutInstallDate(Rows(), "PAY-1", before, after);
  EXPECT_EQ(expected, rows) << Describe(rows);

  // The product's document now carries the payload code.
  std::string rewritten = Read(config);
  EXPECT_NE(std::string::npos, rewritten.find("<Payload corvelCode=\"PAY-1\">")) << rewritten;
  EXPECT_TRUE(DriverFilesLeft().empty());
  EXPECT_TRUE(Logged("found application.xml.override"));
  EXPECT_TRUE(Logged("TAVLib Config Process Done"));
}

TEST_F(InstallTest, MissingDriverCodeMakesThePayloadItsOwnDriver) {
  std::string config = Write("application.xml", kMinimal);
  ASSERT_EQ(0u, Process(config, "SOLO", nullptr, nullptr));
  EXPECT_TRUE(Logged("payload is a driver"));
  EXPECT_TRUE(Logged("  path:     " + config +
                     "  payload:  SOLO\n  driver:   SOLO\n"
                     "  override: not specified\n"));
  EXPECT_EQ(1u, RowsOf("SOLO").count(Protected("SOLO", "DefaultDriverPayload", "SOLO")));

  // An empty driver code and an empty override folder: the same, with an empty override.
  ASSERT_EQ(0u, Process(config, "EMPTY", "", ""));
  EXPECT_TRUE(Logged("  path:     " + config +
                     "  payload:  EMPTY\n  driver:   EMPTY\n"
                     "  override: \n"));
  EXPECT_EQ(1u, RowsOf("EMPTY").count(Protected("EMPTY", "DefaultDriverPayload", "EMPTY")));
  for (const std::string& message : LogMessages()) {
    EXPECT_EQ(std::string::npos, message.find("checking override directory")) << message;
  }
}

TEST_F(InstallTest, ArgumentErrorsReturnBeforeTheStoreIsTouched) {
  std::string config = Write("application.xml", kMinimal);
  std::string missing = mScratch.Path("missing.xml");
  EXPECT_EQ(4u, Corvel_TAVLib_Process_file(nullptr, config.c_str(), "P", "D", nullptr));
  EXPECT_EQ(9u, Process(nullptr, "P", "D", nullptr));
  EXPECT_EQ(9u, Process("", "P", "D", nullptr));
  // The path is checked before the payload code.
  EXPECT_EQ(6u, Process(missing, nullptr, "D", nullptr));
  EXPECT_EQ(9u, Process(config, nullptr, "D", nullptr));
  EXPECT_EQ(9u, Process(config, "", "D", nullptr));

  EXPECT_FALSE(fs::exists(mScratch.pcd_db())) << "the store was opened";
  EXPECT_EQ(kMinimal, Read(config));
  EXPECT_TRUE(Logged("invalid config_file_path"));
  EXPECT_TRUE(Logged("config_file_path does not point to a file that exists"));
  EXPECT_TRUE(Logged("invalid payload_code"));
}

TEST_F(InstallTest, DocumentsThatCannotBeRewrittenStoreNothing) {
  // A folder passes the existence test and fails the rewrite.
  EXPECT_EQ(257u, Process(mScratch.Path("common_files"), "P", "D", nullptr));
  const std::string no_payload =
      "<Configuration><Other corvelCode=\"O\"><Data key=\"k\">v</Data></Other></Configuration>";
  std::string config = Write("application.xml", no_payload);
  EXPECT_EQ(257u, Process(config, "P", "D", nullptr));
  std::string not_xml = Write("garbage.xml", "\x01\x02 not a document");
  EXPECT_EQ(257u, Process(not_xml, "P", "D", nullptr));
  std::string empty = Write("empty.xml", "");
  EXPECT_EQ(257u, Process(empty, "P", "D", nullptr));

  EXPECT_TRUE(Rows().empty()) << Describe(Rows());
  EXPECT_EQ(no_payload, Read(config));
  EXPECT_TRUE(Logged("failed to set corvel code in application.xml"));
  EXPECT_TRUE(DriverFilesLeft().empty());
}

TEST_F(InstallTest, FailedWalkKeepsTheRewriteAndWhatWasStoredBeforeIt) {
  std::string config =
      Write("application.xml",
            "<Configuration>\n"
            "<Payload><Data key=\"first\">1</Data></Payload>\n"
            "<Other corvelCode=\"O\"><Data key=\"second\">2</Data><Data>no key</Data>"
            "<Data key=\"third\">3</Data></Other>\n"
            "</Configuration>\n");
  EXPECT_EQ(257u, Process(config, "P", "D", nullptr));
  StoreRows expected = {Protected("P", "first", "1"), Protected("O", "second", "2")};
  EXPECT_EQ(expected, Rows()) << Describe(Rows());
  EXPECT_NE(std::string::npos, Read(config).find("corvelCode=\"P\""));
  EXPECT_TRUE(Logged("failed to parse or load application.xml"));
  EXPECT_TRUE(DriverFilesLeft().empty());
}

TEST_F(InstallTest, UnreadableOverrideGives35WithEverythingElseStored) {
  std::string config = Write("application.xml", kMinimal);
  Write("broken/application.xml.override", "<Configuration><Payload><Data key=\"x\">");
  std::string broken = mScratch.Path("broken");
  ASSERT_EQ(35u, Process(config, "P", "D", broken.c_str()));
  StoreRows rows = Rows();
  EXPECT_EQ(1u, rows.count(Protected("P", "k", "v")));
  EXPECT_EQ(1u, rows.count(Protected("P", "DefaultDriverPayload", "D")));
  EXPECT_EQ(1u, rows.count(Protected("P", "ZEPConfigPath", config)));
  EXPECT_EQ(4u, rows.size()) << Describe(rows);
  EXPECT_TRUE(DriverFilesLeft().empty());

  // An override "document" that is a folder cannot be read either.
  fs::create_directories(mScratch.Path("folder/application.xml.override"));
  std::string folder = mScratch.Path("folder");
  EXPECT_EQ(35u, Process(config, "Q", "D", folder.c_str()));
  EXPECT_EQ(1u, RowsOf("Q").count(Protected("Q", "DefaultDriverPayload", "D")));
}

// Runs `body` on a thread with a 1 MB stack, as installers often do.
void OnSmallStack(std::function<void()> body) {
  pthread_attr_t attributes;
  ASSERT_EQ(0, pthread_attr_init(&attributes));
  ASSERT_EQ(0, pthread_attr_setstacksize(&attributes, 1 << 20));
  pthread_t thread;
  auto run = [](void* function) -> void* {
    (*static_cast<std::function<void()>*>(function))();
    return nullptr;
  };
  ASSERT_EQ(0, pthread_create(&thread, &attributes, run, &body));
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);
}

// A configuration document whose elements nest `depth` deep, the root counted.
std::string NestedDocument(int depth) {
  std::string open, close;
  for (int level = 3; level <= depth; ++level) {
    open += "<n>";
    close += "</n>";
  }
  return "<Configuration><Payload><Data key=\"k\">v</Data></Payload><Other corvelCode=\"O\">" +
         open + close + "</Other></Configuration>";
}

TEST_F(InstallTest, DeeplyNestedDocumentsAreRefusedAsOnesThatDoNotParse) {
  const std::string config = mScratch.Path("application.xml");
  const std::string override_dir = mScratch.Path("override");
  // The status and the log lines of processing with `text` in `document` (the driver
  // document's random name masked), on a thread with a 1 MB stack.
  auto process = [&](const std::string& document, const std::string& text) {
    Write("application.xml", kMinimal);
    Write("override/application.xml.override", kOverride);
    Write(document, text);
    const size_t logged = LogMessages().size();
    uint32_t status = 0;
    OnSmallStack([&] { status = Process(config, "P", "D", override_dir.c_str()); });
    std::vector<std::string> lines = LogMessages();
    lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(logged));
    for (std::string& line : lines) line = std::regex_replace(line, std::regex("driver_\\w+"), "");
    return std::make_pair(status, lines);
  };
  const struct {
    const char* document;
    int depth;
    uint32_t status;
  } cases[] = {{"application.xml", 32, 0},
               {"application.xml", 33, 257},
               {"application.xml", 40000, 257},
               {"override/application.xml.override", 32, 0},
               {"override/application.xml.override", 33, 35},
               {"override/application.xml.override", 40000, 35}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.document) + " nested " + std::to_string(c.depth));
    const auto nested = process(c.document, NestedDocument(c.depth));
    EXPECT_EQ(c.status, nested.first);
    if (c.status != 0) {
      EXPECT_EQ(process(c.document, "<Configuration>"), nested);
    }
  }
}

TEST_F(InstallTest, OverrideFolderWithoutTheDocumentIsNoError) {
  std::string config = Write("application.xml", kMinimal);
  std::string empty_dir = mScratch.Path("local_appdata");
  ASSERT_EQ(0u, Process(config, "P", "D", empty_dir.c_str()));
  EXPECT_TRUE(Logged("checking override directory...  " + empty_dir));
  EXPECT_TRUE(Logged("nothing found=" + empty_dir + "/application.xml.override"));

  // A folder whose joined path does not fit the path buffers counts as one without it.
  std::string overlong = mScratch.Path(std::string(1100, 'o'));
  ASSERT_EQ(0u, Process(config, "Q", "D", overlong.c_str()));
  EXPECT_EQ(4u, RowsOf("Q").size()) << Describe(RowsOf("Q"));
  bool logged_overlong = false;
  for (const std::string& message : LogMessages()) {
    if (message.rfind("nothing found=" + mScratch.root(), 0) == 0 && message.size() > 1000) {
      logged_overlong = true;
    }
  }
  EXPECT_TRUE(logged_overlong);
}

TEST_F(InstallTest, DriverDocumentThatCannotBeWrittenGives257) {
  std::string config = Write("application.xml", kMinimal);
  // A file where the temporary folder should be; the main log is already open elsewhere.
  std::string not_a_folder = Write("plain-file", "x");
  setenv("TMPDIR", not_a_folder.c_str(), 1);
  EXPECT_EQ(257u, Process(config, "P", "D", nullptr));
  // A temporary folder whose path does not fit the buffers.
  std::string overlong = "/" + std::string(1100, 't');
  setenv("TMPDIR", overlong.c_str(), 1);
  EXPECT_EQ(257u, Process(config, "Q", "D", nullptr));

  // What the product's document gave stays stored; the driver entries are missing.
  StoreRows expected = {Protected("P", "k", "v"), Protected("Q", "k", "v")};
  EXPECT_EQ(expected, Rows()) << Describe(Rows());
  EXPECT_TRUE(Logged("failed to create driver config file"));
}

TEST_F(InstallTest, PathsWithSpacesAndNonAsciiCharacters) {
  std::string config = Write(
      "Mes Programmes/\xC3\x9Cn\xC3\xAF"
      "code app/application.xml",
      kApplication);
  Write("Over Ride \xCE\xA9/application.xml.override", kOverride);
  std::string override_dir = mScratch.Path("Over Ride \xCE\xA9");
  ASSERT_EQ(0u, Process(config, "PAY \xE2\x82\xAC", "DRV", override_dir.c_str()));
  StoreRows rows = RowsOf("PAY \xE2\x82\xAC");
  EXPECT_EQ(1u, rows.count(Protected("PAY \xE2\x82\xAC", "ZEPConfigPath", config)))
      << Describe(rows);
  EXPECT_EQ(1u, rows.count(Protected("PAY \xE2\x82\xAC", "ProductName", "Overridden")));
  EXPECT_EQ(1u, RowsOf("LIC-1").count(Protected("LIC-1", "PayloadCode", "PAY \xE2\x82\xAC")));
}

}  // namespace
}  // namespace corvel::config::test
