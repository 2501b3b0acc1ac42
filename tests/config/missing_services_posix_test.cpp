// Processing and removal when the services library cannot be found: a copy of the library is
// loaded from a folder that holds no services library, with that folder as the current
// directory. What the calls write to the debugger output is in
// tests/data/config/without_services.log.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "child_process.h"
#include "corvel_tavlib.h"
#include "platform/platform.h"
#include "test_support.h"

namespace {

// args: the folder, the document. 0 when processing gave 10 and removal 0.
CORVEL_TEST_CHILD(ProcessAndRemoveWithoutServices) {
  if (chdir(args[0].c_str()) != 0) return 20;
  void* library = corvel::platform::OpenDynamicLibrary(args[0] + "/libcorvel_tavlib.so");
  if (library == nullptr) return 21;
#define SYMBOL(name) \
  reinterpret_cast<decltype(&name)>(corvel::platform::LibrarySymbol(library, #name))
  auto create = SYMBOL(Corvel_TAVLib_CreateRef);
  auto process = SYMBOL(Corvel_TAVLib_Process_file);
  auto remove = SYMBOL(Corvel_TAVLib_Remove_payload);
  if (!create || !process || !remove) return 22;
  TAVLibHandle handle = create();
  if (process(handle, args[1].c_str(), "PAY", "DRV", nullptr) != kTAVLibStoreFailed) return 1;
  return remove(handle, "PAY") == kTAVLibSuccess ? 0 : 2;
}

TEST(ConfigWithoutServices, ProcessingGives10AndRemovalStill0) {
  corvel::test::ScratchFolder scratch;
  const std::string folder = scratch.Path("alone");
  std::filesystem::create_directories(folder);
  std::filesystem::copy_file(CORVEL_TAVLIB_FILE, folder + "/libcorvel_tavlib.so");
  const std::string document =
      "<Configuration><Payload><Data key=\"k\">v</Data></Payload></Configuration>";
  const std::string config = scratch.Path("application.xml");
  ASSERT_TRUE(corvel::test::WriteWholeFile(config, document));
  EXPECT_EQ(0, corvel::test::RunChild("ProcessAndRemoveWithoutServices", {folder, config}));
  // The document was never rewritten.
  EXPECT_EQ(document, corvel::test::ReadWholeFile(config));
  // The services library is looked for once; then each call says which entry point it lacks.
  EXPECT_EQ(corvel::test::ReadWholeFile(CORVEL_TEST_DATA "/without_services.log"),
            corvel::test::ReadWholeFile(scratch.debug_output()));
}

}  // namespace
