// Memory running out while a document is read raises an exception inside the processing: the
// call answers 257 and still ends its transaction and gives its store handle back, so the next
// call's writes are committed. (Address-space limits and the sanitizers' shadow memory do not
// mix.)
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

#include "child_process.h"
#include "install_support.h"

namespace corvel::config::test {
namespace {

#if !defined(__SANITIZE_ADDRESS__)
// args: the huge document, the small one.
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
  return Corvel_TAVLib_Process_file(handle, args[1].c_str(), "SMALL", "D", nullptr) == 0 ? 0 : 2;
}

TEST_F(InstallTest, ExceptionInsideProcessingGives257AndEndsTheTransaction) {
  const std::string huge = Write("huge.xml", "<Configuration><Payload><Data key=\"k\">" +
                                                 std::string(48 * 1024 * 1024, 'x') +
                                                 "</Data></Payload></Configuration>");
  const std::string small = Write("small.xml",
                                  "<Configuration><Payload><Data key=\"k\">v</Data>"
                                  "</Payload></Configuration>");
  ASSERT_EQ(0, corvel::test::RunChild("ProcessWithLittleMemory", {huge, small}));
  StoreRows expected = {P("SMALL", "k", "v")};
  expected.merge(DriverRows("SMALL", "D", small));
  EXPECT_EQ(expected, Stored()) << corvel::test::Difference(expected, Stored());
}
#endif

}  // namespace
}  // namespace corvel::config::test
