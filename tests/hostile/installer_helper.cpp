// A minimal installer for the crash tests: it uses the library through its C interface only,
// tells its parent on a pipe when it is about to enter the operation under test (so the parent
// can time a SIGKILL into it), and says "D" when the operation returned.
//
//   hostile_installer process <document> <payload> <fd>   Process_file, then release with 0
//   hostile_installer commit <product> <clean-up subdomain> <account> <fd>
//                                                          gathers the installation records and
//                                                          a clean-up, then releases with 1
//   hostile_installer open                                 opens the store (a read through the
//                                                          library), as the next installer would
//
// Exit status 0 when every call answered success.
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "corvel_tavlib.h"

namespace {

void Signal(int fd, char what) {
  if (write(fd, &what, 1) != 1) _exit(3);
}

int Process(const char* document, const char* payload, int fd) {
  TAVLibHandle handle = Corvel_TAVLib_CreateRef();
  if (handle == nullptr) return 2;
  Signal(fd, 'R');
  const uint32_t status = Corvel_TAVLib_Process_file(handle, document, payload, nullptr, nullptr);
  Signal(fd, 'D');
  Corvel_TAVLib_ReleaseRef(handle, 0);
  return status == kTAVLibSuccess ? 0 : 1;
}

int Commit(const char* product, const char* cleanup, const char* account, int fd) {
  TAVLibHandle handle = Corvel_TAVLib_CreateRef();
  if (handle == nullptr) return 2;
  const bool recorded =
      Corvel_TAVLib_Set_Eula(handle, "de_DE", product) == kTAVLibSuccess &&
      Corvel_TAVLib_Set_InstallLocale(handle, "fr_FR", product) == kTAVLibSuccess &&
      Corvel_TAVLib_SetCorvelId(handle, product) == kTAVLibSuccess &&
      Corvel_TAVLib_SaveCorvelId(handle, account) == kTAVLibSuccess &&
      Corvel_TAVLib_SetCorvelIdExtProfile(handle, product) == kTAVLibSuccess &&
      Corvel_TAVLib_CleanUpCachePCD(handle, cleanup) == kTAVLibSuccess;
  Signal(fd, 'R');
  Corvel_TAVLib_ReleaseRef(handle, 1);
  Signal(fd, 'D');
  return recorded ? 0 : 1;
}

int Open() {
  TAVLibHandle handle = Corvel_TAVLib_CreateRef();
  if (handle == nullptr) return 2;
  const char* value = nullptr;
  const uint32_t status =
      Corvel_TAVLib_GetValueforKeyInSubDomain(handle, &value, 512, "absent", "absent", 1, false);
  Corvel_TAVLib_ReleaseRef(handle, 0);
  return status == kTAVLibStoreFailed ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "process") == 0) {
    return Process(argv[2], argv[3], std::atoi(argv[4]));
  }
  if (argc == 6 && std::strcmp(argv[1], "commit") == 0) {
    return Commit(argv[2], argv[3], argv[4], std::atoi(argv[5]));
  }
  if (argc == 2 && std::strcmp(argv[1], "open") == 0) return Open();
  return 64;
}
