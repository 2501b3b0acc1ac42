// The order in which each operation calls the services library, against a recording services
// library (recording_services.cpp) that stands beside the library in this test's folder. The
// expected sequences are in tests/data/services/call_sequences.txt, one "== row" section each.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>

#include "corvel_tavlib.h"
#include "test_support.h"

namespace {

using Step = void (*)(TAVLibHandle&);  // a release sets the handle to null

std::string gConfig;
const char* gText = nullptr;

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

// Each row's `run` is recorded after its `before` (if any), with `store_create_fails` while it
// runs.
const struct {
  const char* name;
  bool store_create_fails;
  Step before;
  Step run;
} kRows[] = {
    {"enumerate_driver_keys", false, InApplicationContext, DriverKeys},
    {"enumerate_product_keys", false, InApplicationContext, ProductKeys},
    {"set_value", false, nullptr, Set},
    {"set_value_of_unknown_type", false, nullptr, SetUnknownType},
    {"get_value", false, nullptr, Get},
    {"remove_key", false, nullptr, RemoveKey},
    {"process_file", false, nullptr, Process},
    {"remove_payload", false, Process, RemovePayload},
    {"tag_at_install", false, Process, TagAtInstall},
    {"tag_at_install_without_store", true, Process, TagAtInstall},
    {"commit", false, GatherRecords, Commit},
    {"commit_in_application_context", false, GatherEverything, Commit},
    {"commit_without_store", true, GatherEverything, Commit},
    {"release_without_commit", false, GatherRecords, Release},
};

TEST(CallSequence, EveryOperationCallsTheServicesInItsOrder) {
  std::string sequences;  // each row's calls under "== name", a blank line between rows
  for (const auto& row : kRows) {
    corvel::test::ScratchFolder scratch;
    gConfig = scratch.Path("application.xml");
    ASSERT_TRUE(corvel::test::WriteWholeFile(
        gConfig,
        "<Configuration><Payload><Data key=\"LicensingCode\">PRD</Data>"
        "<Data key=\"MurmelCode\">MUR</Data></Payload></Configuration>"));
    const std::string record = scratch.Path("calls.txt");
    setenv("ZEP_CALL_RECORD", record.c_str(), 1);

    TAVLibHandle handle = Corvel_TAVLib_CreateRef();
    if (row.before) row.before(handle);
    ASSERT_TRUE(corvel::test::WriteWholeFile(record, ""));
    // The store cannot be made below a plain file.
    if (row.store_create_fails) setenv("ZEP_PCD_DB", (gConfig + "/pcd.db").c_str(), 1);
    row.run(handle);
    sequences += std::string(sequences.empty() ? "" : "\n") + "== " + row.name + "\n" +
                 corvel::test::ReadWholeFile(record).value_or("");
    if (handle != nullptr) Corvel_TAVLib_ReleaseRef(handle, 0);
    unsetenv("ZEP_CALL_RECORD");
  }
  const std::string expected = corvel::test::ReadWholeFile(CALL_SEQUENCES_FILE).value();
  EXPECT_EQ(expected.substr(expected.find("== ")), sequences);
}

}  // namespace
