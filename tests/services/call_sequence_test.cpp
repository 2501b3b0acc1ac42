// The order in which each operation calls the services library, against a recording services
// library (recording_services.cpp) that stands beside the library in this test's folder. The
// expected sequences are in tests/data/services/call_sequences.txt, one "== row" section each.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>

#include "corvel_tavlib.h"
#include "test_support.h"

namespace {

// The "== name" section of the expected sequences: the lines up to the next blank line.
std::string ExpectedSequence(const std::string& name) {
  const std::string all = corvel::test::ReadWholeFile(CALL_SEQUENCES_FILE).value_or("");
  const size_t heading = all.find("== " + name + "\n");
  if (heading == std::string::npos) return "<no section " + name + ">";
  const size_t start = heading + name.size() + 4;
  return all.substr(start, std::min(all.find("\n\n", start), all.size() - 1) + 1 - start);
}

using Step = void (*)(TAVLibHandle&);  // a release sets the handle to null
struct Row {
  const char* name;
  bool store_create_fails;  // while `run` runs
  Step before;              // not recorded
  Step run;
};
void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

std::string gConfig;
const char* gText = nullptr;

void Nothing(TAVLibHandle&) {}
void InApplicationContext(TAVLibHandle& h) {
  Corvel_TAVLib_SetApplicationData(h, "DRV", "PRD", "DPRD", "en_US", "PAY", kTAVLibTaggingNone);
}
void DriverKeys(TAVLibHandle& h) { Corvel_TAVLib_EnumerateKeys(h, "k", &gText, 0); }
void ProductKeys(TAVLibHandle& h) { Corvel_TAVLib_EnumerateKeys(h, "k", &gText, 1); }
void Set(TAVLibHandle& h) {
  Corvel_TAVLib_SetValueforKeyInSubDomainInCache(h, 0, "k", "v", "S", 1);
}
void SetUnknownType(TAVLibHandle& h) {
  Corvel_TAVLib_SetValueforKeyInSubDomainInCache(h, 7, "k", "v", "S", 0);
}
void Get(TAVLibHandle& h) { Corvel_TAVLib_GetValueforKeyInSubDomain(h, &gText, 9, "k", "S", 1, 0); }
void RemoveKey(TAVLibHandle& h) { Corvel_TAVLib_RemoveKeyInSubDomainInCache(h, 0, "k", "S"); }
void Process(TAVLibHandle& h) {
  Corvel_TAVLib_Process_file(h, gConfig.c_str(), "PAY", "", nullptr);
}
void RemovePayload(TAVLibHandle& h) { Corvel_TAVLib_Remove_payload(h, "PAY"); }
void TagAtInstall(TAVLibHandle& h) { Corvel_TAVLib_ISOTaggingAtInstall(h, "PAY"); }
void GatherRecords(TAVLibHandle& h) {
  Corvel_TAVLib_Set_Eula(h, "fr_FR", "PRD");
  Corvel_TAVLib_Set_InstallLocale(h, "fr_FR", "PRD");
  Corvel_TAVLib_SetCorvelId(h, "PRD");
  Corvel_TAVLib_SaveCorvelId(h, "account-1");
  Corvel_TAVLib_SetCorvelIdExtProfile(h, "PRD");
  Corvel_TAVLib_CleanUpCachePCD(h, "PAY");
}
void GatherEverything(TAVLibHandle& h) {
  Process(h);
  GatherRecords(h);
  Corvel_TAVLib_SetApplicationData(h, "PAY", "PRD", "", "en_US", "PAY", kTAVLibTaggingAtCommit);
  Corvel_TAVLib_Set_Eula(h, "fr_FR", nullptr);
}
void Commit(TAVLibHandle& h) { Corvel_TAVLib_ReleaseRef(std::exchange(h, nullptr), 1); }
void Release(TAVLibHandle& h) { Corvel_TAVLib_ReleaseRef(std::exchange(h, nullptr), 0); }

const Row kRows[] = {
    {"enumerate_driver_keys", false, InApplicationContext, DriverKeys},
    {"enumerate_product_keys", false, InApplicationContext, ProductKeys},
    {"set_value", false, Nothing, Set},
    {"set_value_of_unknown_type", false, Nothing, SetUnknownType},
    {"get_value", false, Nothing, Get},
    {"remove_key", false, Nothing, RemoveKey},
    {"process_file", false, Nothing, Process},
    {"process_file_without_store", true, Nothing, Process},
    {"remove_payload", false, Process, RemovePayload},
    {"remove_payload_without_store", true, Process, RemovePayload},
    {"tag_at_install", false, Process, TagAtInstall},
    {"tag_at_install_without_store", true, Process, TagAtInstall},
    {"commit", false, GatherRecords, Commit},
    {"commit_in_application_context", false, GatherEverything, Commit},
    {"commit_without_store", true, GatherEverything, Commit},
    {"release_without_commit", false, GatherRecords, Release},
};

class CallSequenceTest : public ::testing::TestWithParam<Row> {
 protected:
  corvel::test::ScratchFolder scratch;
};

TEST_P(CallSequenceTest, OperationCallsTheServicesInItsOrder) {
  const Row& row = GetParam();
  gConfig = scratch.Path("application.xml");
  ASSERT_TRUE(corvel::test::WriteWholeFile(
      gConfig,
      "<Configuration><Payload><Data key=\"LicensingCode\">PRD</Data>"
      "<Data key=\"MurmelCode\">MUR</Data></Payload></Configuration>"));
  const std::string record = scratch.Path("calls.txt");
  setenv("ZEP_CALL_RECORD", record.c_str(), 1);

  TAVLibHandle handle = Corvel_TAVLib_CreateRef();
  row.before(handle);
  ASSERT_TRUE(corvel::test::WriteWholeFile(record, ""));
  if (row.store_create_fails) setenv("ZEP_FAIL_STORE_CREATE", "1", 1);
  row.run(handle);
  unsetenv("ZEP_FAIL_STORE_CREATE");
  const std::string recorded = corvel::test::ReadWholeFile(record).value_or("");
  if (handle != nullptr) Corvel_TAVLib_ReleaseRef(handle, 0);
  unsetenv("ZEP_CALL_RECORD");

  EXPECT_EQ(recorded, ExpectedSequence(row.name));
}

INSTANTIATE_TEST_SUITE_P(Operations, CallSequenceTest, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
