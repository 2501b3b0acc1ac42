// The order in which each operation calls the services library, against a recording services
// library (recording_services.c) that stands beside the library in this test's folder. The
// expected sequences are in tests/data/services_call_sequences.txt, one "== row" section each.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "corvel_tavlib.h"
#include "test_support.h"

namespace {

using corvel::test::ReadWholeFile;
using Calls = std::vector<std::string>;

std::map<std::string, Calls> ExpectedSequences() {
  std::map<std::string, Calls> sequences;
  std::istringstream lines(ReadWholeFile(CALL_SEQUENCES_FILE).value_or(""));
  Calls* current = nullptr;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("== ", 0) == 0)
      current = &sequences[line.substr(3)];
    else if (!line.empty() && current != nullptr)
      current->push_back(line);
  }
  return sequences;
}

struct Row {
  const char* name;
  bool storeCreateFails;                     // while `run` runs
  std::function<void(TAVLibHandle)> before;  // not recorded
  std::function<void(TAVLibHandle&)> run;    // recorded; a release sets the handle to null
};
void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

const char* gConfigPath = nullptr;

void NoSetUp(TAVLibHandle) {}
void InApplicationContext(TAVLibHandle h) {
  Corvel_TAVLib_SetApplicationData(h, "DRV", "PRD", "DPRD", "en_US", "PAY", kTAVLibTaggingNone);
}
void Processed(TAVLibHandle h) { Corvel_TAVLib_Process_file(h, gConfigPath, "PAY", "", nullptr); }
void RecordsGathered(TAVLibHandle h) {
  Corvel_TAVLib_Set_Eula(h, "fr_FR", "PRD");
  Corvel_TAVLib_Set_InstallLocale(h, "fr_FR", "PRD");
  Corvel_TAVLib_SetCorvelId(h, "PRD");
  Corvel_TAVLib_SaveCorvelId(h, "account-1");
  Corvel_TAVLib_SetCorvelIdExtProfile(h, "PRD");
  Corvel_TAVLib_CleanUpCachePCD(h, "PAY");
}
void EverythingGathered(TAVLibHandle h) {
  Processed(h);
  RecordsGathered(h);
  Corvel_TAVLib_SetApplicationData(h, "PAY", "PRD", "", "en_US", "PAY", kTAVLibTaggingAtCommit);
  Corvel_TAVLib_Set_Eula(h, "fr_FR", nullptr);
}

void Commit(TAVLibHandle& h) {
  Corvel_TAVLib_ReleaseRef(h, 1);
  h = nullptr;
}
void ProcessFile(TAVLibHandle& h) { Processed(h); }
void RemovePayload(TAVLibHandle& h) { Corvel_TAVLib_Remove_payload(h, "PAY"); }
void TagAtInstall(TAVLibHandle& h) { Corvel_TAVLib_ISOTaggingAtInstall(h, "PAY"); }

const char* gText = nullptr;
const Row kRows[] = {
    {"enumerate_driver_keys", false, InApplicationContext,
     [](TAVLibHandle& h) { Corvel_TAVLib_EnumerateKeys(h, "k", &gText, 0); }},
    {"enumerate_product_keys", false, InApplicationContext,
     [](TAVLibHandle& h) { Corvel_TAVLib_EnumerateKeys(h, "k", &gText, 1); }},
    {"set_value", false, NoSetUp,
     [](TAVLibHandle& h) {
       Corvel_TAVLib_SetValueforKeyInSubDomainInCache(h, 0, "k", "v", "S", 1);
     }},
    {"set_value_of_unknown_type", false, NoSetUp,
     [](TAVLibHandle& h) {
       Corvel_TAVLib_SetValueforKeyInSubDomainInCache(h, 7, "k", "v", "S", 0);
     }},
    {"get_value", false, NoSetUp,
     [](TAVLibHandle& h) {
       Corvel_TAVLib_GetValueforKeyInSubDomain(h, &gText, 9, "k", "S", 1, 0);
     }},
    {"remove_key", false, NoSetUp,
     [](TAVLibHandle& h) { Corvel_TAVLib_RemoveKeyInSubDomainInCache(h, 0, "k", "S"); }},
    {"process_file", false, NoSetUp, ProcessFile},
    {"process_file_without_store", true, NoSetUp, ProcessFile},
    {"remove_payload", false, Processed, RemovePayload},
    {"remove_payload_without_store", true, Processed, RemovePayload},
    {"tag_at_install", false, Processed, TagAtInstall},
    {"tag_at_install_without_store", true, Processed, TagAtInstall},
    {"commit", false, RecordsGathered, Commit},
    {"commit_in_application_context", false, EverythingGathered, Commit},
    {"commit_without_store", true, EverythingGathered, Commit},
    {"release_without_commit", false, RecordsGathered,
     [](TAVLibHandle& h) {
       Corvel_TAVLib_ReleaseRef(h, 0);
       h = nullptr;
     }},
};

class CallSequenceTest : public ::testing::TestWithParam<Row> {
 protected:
  corvel::test::ScratchFolder scratch;
};

TEST_P(CallSequenceTest, OperationCallsTheServicesInItsOrder) {
  const Row& row = GetParam();
  const std::string config = scratch.Path("application.xml");
  ASSERT_TRUE(corvel::test::WriteWholeFile(
      config,
      "<Configuration><Payload><Data key=\"LicensingCode\">PRD</Data>"
      "<Data key=\"MurmelCode\">MUR</Data></Payload></Configuration>"));
  gConfigPath = config.c_str();
  const std::string record = scratch.Path("calls.txt");
  setenv("ZEP_CALL_RECORD", record.c_str(), 1);

  TAVLibHandle handle = Corvel_TAVLib_CreateRef();
  row.before(handle);
  ASSERT_TRUE(corvel::test::WriteWholeFile(record, ""));
  if (row.storeCreateFails) setenv("ZEP_FAIL_STORE_CREATE", "1", 1);
  row.run(handle);
  unsetenv("ZEP_FAIL_STORE_CREATE");
  const std::string recorded = ReadWholeFile(record).value_or("");
  if (handle != nullptr) Corvel_TAVLib_ReleaseRef(handle, 0);
  unsetenv("ZEP_CALL_RECORD");

  Calls calls;
  std::istringstream lines(recorded);
  for (std::string line; std::getline(lines, line);) calls.push_back(line);
  EXPECT_EQ(calls, ExpectedSequences()[row.name]) << "recorded:\n== " << row.name << "\n"
                                                  << recorded;
}

INSTANTIATE_TEST_SUITE_P(Operations, CallSequenceTest, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
