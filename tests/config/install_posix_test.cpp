// Installing and removing a payload's configuration through the C interface against the real
// store: what is stored under which code and domain, what the log says, every status. POSIX
// only: documents are also processed on a thread with a small stack, and in a child whose
// address space is limited.
#include <gtest/gtest.h>
#include <pthread.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "corvel_tavlib.h"
#include "store_snapshot.h"
#include "test_support.h"

namespace corvel::config::test {
namespace {

using corvel::test::Applied;
using corvel::test::Difference;
using corvel::test::P;
using corvel::test::ReadWholeFile;
using corvel::test::StoreRows;
using corvel::test::U;

// A file of the test data.
std::string Data(const std::string& name) {
  return ReadWholeFile(CORVEL_TEST_DATA "/" + name).value_or("<missing " + name + ">");
}

class InstallTest : public ::testing::Test {
 protected:
  ~InstallTest() override { Corvel_TAVLib_ReleaseRef(mHandle, 0); }

  // Writes a file below the scratch root (creating its folders) and returns its path.
  std::string Write(const std::string& relative, const std::string& content) {
    const std::string path = mScratch.Path(relative);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    EXPECT_TRUE(corvel::test::WriteWholeFile(path, content)) << path;
    return path;
  }
  uint32_t Process(const std::string& config, const char* payload, const char* driver = "D",
                   const char* override_directory = nullptr) {
    return Corvel_TAVLib_Process_file(mHandle, config.c_str(), payload, driver, override_directory);
  }

  // The stored values, each "InstallDate" that holds a time since the test began written "(now)".
  StoreRows Stored() const {
    StoreRows rows;
    for (corvel::test::StoreRow row : corvel::test::ReadSnapshot(mScratch.pcd_db()).values) {
      const long long seconds = std::atoll(row.value.c_str());
      if (row.key == "InstallDate" && std::to_string(seconds) == row.value && seconds >= mStart &&
          seconds <= time(nullptr)) {
        row.value = "(now)";
      }
      rows.insert(row);
    }
    return rows;
  }
  // What the driver document stores for a payload.
  static StoreRows DriverRows(const std::string& payload, const std::string& driver,
                              const std::string& config) {
    return {P(payload, "DefaultDriverPayload", driver), P(payload, "InstallDate", "(now)"),
            P(payload, "ZEPConfigPath", config)};
  }

  // The main log's messages (what follows the time stamp and prefix), each ended by "\n".
  std::string Log() const { return corvel::test::LogMessages(mScratch.main_log()); }
  // Whether a message was logged as a line of its own.
  bool Logged(const std::string& message) const {
    return ("\n" + Log()).find("\n" + message + "\n") != std::string::npos;
  }

  corvel::test::ScratchFolder mScratch;
  TAVLibHandle mHandle = Corvel_TAVLib_CreateRef();
  const long long mStart = time(nullptr);
};

const std::string kOverride = Data("application.xml.override");
const char kMinimal[] =
    "<Configuration><Payload><Data key=\"k\">v</Data></Payload></Configuration>";

TEST_F(InstallTest, RecordsEveryDocumentUnderItsCodeAndDomain) {
  const std::string config =
      Write("Mes Programmes/\xC3\x9Cn\xC3\xAF code/application.xml", Data("application.xml"));
  const std::string override_dir = mScratch.Path("Over Ride \xCE\xA9");
  Write("Over Ride \xCE\xA9/application.xml.override", kOverride);
  // Codes and paths pass through the rewrite and the driver document as markup text.
  const std::string code = "PAY & <\xE2\x82\xAC>";
  ASSERT_EQ(kTAVLibSuccess, Process(config, code.c_str(), "DRV & <1>", override_dir.c_str()));

  StoreRows expected = {
      P(code, "ProductName", "Overridden"), U(code, "Hidden", "visible"),
      P(code, "LicensingCode", "LIC-1"), P("LIC-1", "PayloadCode", code), P(code, "Empty", ""),
      // Read back from the rewritten file, where the blanks around the dropped "&" fold.
      P(code, "Bare", "a b"), P("SHARED", "Channel", "beta"), U("SHARED", "Open", "yes"),
      P("DEFAULTED", "Fallback", "d"), U(code, "FromOverride", "o")};
  expected.merge(DriverRows(code, "DRV & <1>", config));
  EXPECT_EQ(expected, Stored()) << Difference(expected, Stored());
  // Rewritten in the standard layout.
  EXPECT_EQ(Data("application.xml.rewritten"), ReadWholeFile(config));
  EXPECT_TRUE(Logged("found application.xml.override"));
  EXPECT_TRUE(Logged("TAVLib Config Process Done"));
}

TEST_F(InstallTest, WithoutDriverCodeThePayloadIsItsOwnDriver) {
  const std::string config = Write("application.xml", kMinimal);
  for (const char* driver : {static_cast<const char*>(nullptr), ""}) {
    const std::string code = driver ? "EMPTY" : "SOLO";
    const size_t logged = Log().size();
    ASSERT_EQ(kTAVLibSuccess, Process(config, code.c_str(), driver, driver));
    const std::string log = Log().substr(logged);
    EXPECT_NE(std::string::npos,
              log.find("payload is a driver\n  path:     " + config + "  payload:  " + code +
                       "   driver:   " + code + "   override: " + (driver ? "" : "not specified")))
        << log;
    EXPECT_EQ(std::string::npos, log.find("checking override directory")) << log;
    EXPECT_EQ(1u, Stored().count(P(code, "DefaultDriverPayload", code)));
  }
}

TEST_F(InstallTest, FailuresKeepWhatWasStoredBeforeThem) {
  // Arguments are checked first (the path before the payload code) and store nothing.
  EXPECT_EQ(kTAVLibInvalidArgument, Process("", "P"));
  EXPECT_EQ(kTAVLibNotFound, Process(mScratch.Path("missing.xml"), nullptr));
  EXPECT_EQ(kTAVLibInvalidArgument, Process(Write("application.xml", kMinimal), ""));
  EXPECT_EQ(kTAVLibInvalidArgument, Corvel_TAVLib_Remove_payload(mHandle, nullptr));
  EXPECT_FALSE(std::filesystem::exists(mScratch.pcd_db()));
  for (const char* message :
       {"invalid config_file_path", "invalid payload_code",
        "config_file_path does not point to a file that exists", "cannot remove null payload"}) {
    EXPECT_TRUE(Logged(message)) << message;
  }
  const std::string no_payload =
      "<Configuration><Other corvelCode=\"O\"><Data key=\"k\">v</Data></Other></Configuration>";
  const std::string overlong(1100, 'o');
  const struct {
    std::string code, document;
    std::string override_dir;   // below the scratch root; empty: none
    const char* override_text;  // null: no override document in it; "/": a folder of that name
    std::string temp;           // the temporary folder when not the scratch one
    uint32_t status;
    StoreRows added;  // besides the driver rows (stored with 0 and 35)
    std::vector<std::string> logged;
  } cases[] = {
      // clang-format off
      {"A", no_payload, "", nullptr, "", 257, {}, {"failed to set corvel code in application.xml"}},
      {"B", Data("bad_key.xml"), "", nullptr, "", 257, {P("B", "first", "1"), P("O", "second", "2")},
       {"failed to parse or load application.xml"}},
      {"C", kMinimal, "C", "<Configuration><Payload><Data key=\"x\">", "", 35, {P("C", "k", "v")}, {}},
      {"D", kMinimal, "D", "/", "", 35, {P("D", "k", "v")}, {}},
      {"E", kMinimal, "E", nullptr, "", 0, {P("E", "k", "v")},
       {"checking override directory...  " + mScratch.Path("E"),
        "nothing found=" + mScratch.Path("E/application.xml.override")}},
      // A folder whose joined path does not fit the path buffers: as one without the document.
      {"F", kMinimal, overlong, nullptr, "", 0, {P("F", "k", "v")},
       {"nothing found=" + mScratch.Path(overlong + "/application.xml.override").substr(0, 1023)}},
      {"G", kMinimal, "", nullptr, mScratch.Path("plain-file"), 257, {P("G", "k", "v")},
       {"failed to create driver config file"}},
      {"H", kMinimal, "", nullptr, "/" + std::string(1100, 't'), 257, {P("H", "k", "v")}, {}},
      // clang-format on
  };
  ASSERT_TRUE(corvel::test::WriteWholeFile(mScratch.Path("plain-file"), "x"));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    const std::string config = Write(c.code + "/application.xml", c.document);
    const std::string override_dir = mScratch.Path(c.override_dir);
    if (c.override_text && *c.override_text == '/') {
      std::filesystem::create_directories(override_dir + "/application.xml.override");
    } else if (c.override_text) {
      Write(c.override_dir + "/application.xml.override", c.override_text);
    }
    if (!c.temp.empty()) setenv("TMPDIR", c.temp.c_str(), 1);
    const StoreRows before = Stored();
    EXPECT_EQ(c.status, Process(config, c.code.c_str(), "D",
                                c.override_dir.empty() ? nullptr : override_dir.c_str()));
    setenv("TMPDIR", mScratch.temp().c_str(), 1);
    StoreRows added = c.added;
    if (c.status == 0 || c.status == 35) added.merge(DriverRows(c.code, "D", config));
    const StoreRows expected = Applied(before, {}, added);
    EXPECT_EQ(expected, Stored()) << Difference(expected, Stored());
    // Only a document that cannot be rewritten leaves nothing stored, and stays as it was.
    const std::string text = ReadWholeFile(config).value_or("");
    EXPECT_EQ(added.empty(), text == c.document);
    EXPECT_EQ(!added.empty(), text.find("corvelCode=\"" + c.code + "\"") != std::string::npos);
    // No driver document is left in the temporary folder.
    for (const auto& entry : std::filesystem::directory_iterator(mScratch.temp())) {
      EXPECT_NE(0u, entry.path().filename().string().rfind("driver_", 0)) << entry.path();
    }
    for (const std::string& message : c.logged) EXPECT_TRUE(Logged(message)) << message;
  }
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

TEST_F(InstallTest, DeeplyNestedDocumentsAreRefusedAsOnesThatDoNotParse) {
  const std::string override_dir = mScratch.Path("override");
  // The status and the log lines of processing with `text` in `document` (the driver
  // document's random name masked), on a thread with a 1 MB stack.
  auto process = [&](const std::string& document, const std::string& text) {
    const std::string config = Write("application.xml", kMinimal);
    Write("override/application.xml.override", kOverride);
    Write(document, text);
    const size_t logged = Log().size();
    uint32_t status = 0;
    OnSmallStack([&] { status = Process(config, "P", "D", override_dir.c_str()); });
    return std::make_pair(status,
                          std::regex_replace(Log().substr(logged), std::regex("driver_\\w+"), ""));
  };
  // clang-format off
  const struct {
    const char* document;
    int depth;
    uint32_t status;
  } cases[] = {
      {"application.xml", 32, 0}, {"application.xml", 33, 257}, {"application.xml", 40000, 257},
      {"override/application.xml.override", 32, 0}, {"override/application.xml.override", 33, 35},
      {"override/application.xml.override", 40000, 35}};
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.document) + " nested " + std::to_string(c.depth));
    // Elements nested `depth` deep, the root counted.
    std::string open, close;
    for (int level = 3; level <= c.depth; ++level) open += "<n>", close += "</n>";
    const auto nested = process(c.document,
                                "<Configuration><Payload><Data key=\"k\">v</Data></Payload>"
                                "<Other corvelCode=\"O\">" +
                                    open + close + "</Other></Configuration>");
    EXPECT_EQ(c.status, nested.first);
    if (c.status != 0) {
      EXPECT_EQ(process(c.document, "<Configuration>"), nested);
    }
  }
}

TEST_F(InstallTest, RemovalTakesThePayloadAndTheProtectedDataOfEveryLinkedCodePresent) {
  ASSERT_EQ(kTAVLibSuccess, Process(Write("seed/application.xml", Data("seed.xml")), "SEED"));
  const std::string config = Write("application.xml", Data("linked.xml"));
  ASSERT_EQ(kTAVLibSuccess, Process(config, "PAY", "DRV"));
  ASSERT_EQ(1u, Stored().count(P("LIC", "PayloadCode", "PAY")));
  // No licensing code, and only the third of the linked codes that follow it.
  ASSERT_EQ(kTAVLibSuccess,
            Process(Write("solo/application.xml", Data("murmel_only.xml")), "SOLO"));
  const size_t logged = Log().size();

  ASSERT_EQ(kTAVLibSuccess, Corvel_TAVLib_Remove_payload(mHandle, "PAY"));
  ASSERT_EQ(kTAVLibSuccess, Corvel_TAVLib_Remove_payload(mHandle, "SOLO"));
  // The licensing code loses its unprotected data too; an Other hive that no key names and
  // unrelated subdomains stay.
  // clang-format off
  StoreRows expected = {U("M0", "keep", "0"), U("M3", "keep", "3"), U("UPD", "keep", "u"),
                        P("SHARED", "Channel", "stable"), P("UNRELATED", "a", "z"),
                        U("UNRELATED", "b", "z"), P("SEED", "DefaultDriverPayload", "D"),
                        P("SEED", "InstallDate", "(now)"),
                        P("SEED", "ZEPConfigPath", mScratch.Path("seed/application.xml"))};
  // clang-format on
  EXPECT_EQ(expected, Stored()) << Difference(expected, Stored());
  EXPECT_EQ(Data("remove_payload.log"), Log().substr(logged));
}

// Memory running out while a document is read raises an exception inside the processing: the
// call answers 257 and still ends its transaction and gives its store handle back, so the next
// call's writes, a value of two megabytes among five thousand entries, are committed.
// (Address-space limits and the sanitizers' shadow memory do not mix.)
#if !defined(__SANITIZE_ADDRESS__)
// args: the huge document, the large one.
CORVEL_TEST_CHILD(ProcessWithLittleMemory) {
  long pages = 0;
  FILE* statm = fopen("/proc/self/statm", "r");
  if (statm == nullptr || fscanf(statm, "%ld", &pages) != 1) return 100;
  fclose(statm);
  const rlim_t limit = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + 24 * 1024 * 1024;
  const struct rlimit address_space = {limit, limit};
  if (setrlimit(RLIMIT_AS, &address_space) != 0) return 101;
  TAVLibHandle handle = Corvel_TAVLib_CreateRef();
  if (Corvel_TAVLib_Process_file(handle, args[0].c_str(), "HUGE", "D", nullptr) != 257) return 1;
  return Corvel_TAVLib_Process_file(handle, args[1].c_str(), "BIG", "D", nullptr) == 0 ? 0 : 2;
}

TEST_F(InstallTest, ExceptionInsideProcessingGives257AndEndsTheTransaction) {
  const std::string huge = Write("huge.xml", "<Configuration><Payload><Data key=\"k\">" +
                                                 std::string(48 * 1024 * 1024, 'x') +
                                                 "</Data></Payload></Configuration>");
  const std::string value(2 * 1024 * 1024, 'h');
  std::string document = "<Configuration><Payload><Data key=\"huge\">" + value + "</Data>";
  StoreRows expected = {P("BIG", "huge", value)};
  for (int i = 0; i < 5000; ++i) {
    const std::string n = std::to_string(i);
    document += "<Data key=\"key" + n + "\">value " + n + "</Data>";
    expected.insert(P("BIG", "key" + n, "value " + n));
  }
  const std::string large = Write("large.xml", document + "</Payload></Configuration>");
  ASSERT_EQ(0, corvel::test::RunChild("ProcessWithLittleMemory", {huge, large}));
  expected.merge(DriverRows("BIG", "D", large));
  EXPECT_TRUE(expected == Stored()) << Difference(expected, Stored());
}
#endif

}  // namespace
}  // namespace corvel::config::test
