// Minimal installers for the crash tests, started as children of the test binary: each uses
// the library through its C interface only, tells its parent on the pipe args.back() when it
// is about to enter the operation under test ('R', so the parent can time a SIGKILL into it),
// and 'D' when the operation returned. Exit status 0 when every call answered success.
#include <unistd.h>

#include "child_process.h"
#include "corvel_tavlib.h"

namespace {

void Signal(const corvel::test::ChildArgs& args, char what) {
  if (write(std::stoi(args.back()), &what, 1) != 1) _exit(3);
}

}  // namespace

// Process_file of the document args[0] for the payload args[1], then a release with 0.
CORVEL_TEST_CHILD(InstallerProcess) {
  TAVLibHandle handle = Corvel_TAVLib_CreateRef();
  if (handle == nullptr) return 2;
  Signal(args, 'R');
  const uint32_t status =
      Corvel_TAVLib_Process_file(handle, args[0].c_str(), args[1].c_str(), nullptr, nullptr);
  Signal(args, 'D');
  Corvel_TAVLib_ReleaseRef(handle, 0);
  return status == kTAVLibSuccess ? 0 : 1;
}

// The installation records of the product args[0] with the account args[2], and a clean-up of
// the subdomain args[1], committed by a release with 1.
CORVEL_TEST_CHILD(InstallerCommit) {
  TAVLibHandle handle = Corvel_TAVLib_CreateRef();
  if (handle == nullptr) return 2;
  const char* product = args[0].c_str();
  const bool recorded =
      Corvel_TAVLib_Set_Eula(handle, "de_DE", product) == kTAVLibSuccess &&
      Corvel_TAVLib_Set_InstallLocale(handle, "fr_FR", product) == kTAVLibSuccess &&
      Corvel_TAVLib_SetCorvelId(handle, product) == kTAVLibSuccess &&
      Corvel_TAVLib_SaveCorvelId(handle, args[2].c_str()) == kTAVLibSuccess &&
      Corvel_TAVLib_SetCorvelIdExtProfile(handle, product) == kTAVLibSuccess &&
      Corvel_TAVLib_CleanUpCachePCD(handle, args[1].c_str()) == kTAVLibSuccess;
  Signal(args, 'R');
  Corvel_TAVLib_ReleaseRef(handle, 1);
  Signal(args, 'D');
  return recorded ? 0 : 1;
}

// Opens the store (a read through the library), as the next installer would.
CORVEL_TEST_CHILD(InstallerOpen) {
  TAVLibHandle handle = Corvel_TAVLib_CreateRef();
  if (handle == nullptr) return 2;
  const char* value = nullptr;
  const uint32_t status =
      Corvel_TAVLib_GetValueforKeyInSubDomain(handle, &value, 512, "absent", "absent", 1, false);
  Corvel_TAVLib_ReleaseRef(handle, 0);
  return status == kTAVLibStoreFailed ? 0 : 1;
}
