// Processing and removal when the services library cannot be found: a copy of the library
// is loaded from a folder that holds no services library, with that folder as the current
// directory, in a child process.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "config_test_helpers.h"
#include "corvel_tavlib.h"
#include "platform/platform.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

using CreateRef = TAVLibHandle (*)();
using ReleaseRef = uint32_t (*)(TAVLibHandle, int32_t);
using ProcessFile = uint32_t (*)(TAVLibHandle, const char*, const char*, const char*, const char*);
using RemovePayload = uint32_t (*)(TAVLibHandle, const char*);

// Runs in the child: 0 when every expectation held, otherwise the number of the first that
// did not. Which entry points each calls without a store is pinned by the services tests'
// call sequences.
int ProcessAndRemoveWithoutServices(const std::string& folder, const std::string& config) {
  if (chdir(folder.c_str()) != 0) return 20;
  void* library = corvel::platform::OpenDynamicLibrary(folder + "/libcorvel_tavlib.so");
  if (library == nullptr) return 21;
  auto create = reinterpret_cast<CreateRef>(
      corvel::platform::LibrarySymbol(library, "Corvel_TAVLib_CreateRef"));
  auto release = reinterpret_cast<ReleaseRef>(
      corvel::platform::LibrarySymbol(library, "Corvel_TAVLib_ReleaseRef"));
  auto process = reinterpret_cast<ProcessFile>(
      corvel::platform::LibrarySymbol(library, "Corvel_TAVLib_Process_file"));
  auto remove = reinterpret_cast<RemovePayload>(
      corvel::platform::LibrarySymbol(library, "Corvel_TAVLib_Remove_payload"));
  if (!create || !release || !process || !remove) return 22;

  TAVLibHandle handle = create();
  if (handle == nullptr) return 23;
  if (process(handle, config.c_str(), "PAY", "DRV", nullptr) != kTAVLibStoreFailed) return 1;
  if (remove(handle, "PAY") != kTAVLibSuccess) return 2;
  release(handle, 0);
  return 0;
}

TEST(ConfigWithoutServices, ProcessingGives10AndRemovalStill0) {
  corvel::test::ScratchFolder scratch;
  std::string folder = scratch.Path("alone");
  fs::create_directories(folder);
  fs::copy_file(CORVEL_TAVLIB_FILE, folder + "/libcorvel_tavlib.so");
  const std::string document =
      "<Configuration><Payload><Data key=\"k\">v</Data></Payload></Configuration>";
  std::string config = scratch.Path("application.xml");
  ASSERT_TRUE(corvel::test::WriteWholeFile(config, document));

  int status = corvel::config::test::RunWithStandardStreams(
      "/dev/null", "", [&] { return ProcessAndRemoveWithoutServices(folder, config); });
  EXPECT_EQ(0, status);
  // The document was never rewritten, and no store was created.
  EXPECT_EQ(document, corvel::test::ReadWholeFile(config).value_or(""));
  EXPECT_FALSE(fs::exists(scratch.pcd_db()));
}

}  // namespace
