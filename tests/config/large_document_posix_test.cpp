// Documents of megabytes through the C interface. Memory running out while a document is read
// raises an exception inside the processing: the call answers 257 and still ends its
// transaction and gives its store handle back, so the next call's writes, a value of two
// megabytes among five thousand entries, are committed. (Address-space limits and the
// sanitizers' shadow memory do not mix.)
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

#include "child_process.h"
#include "install_support.h"

namespace corvel::config::test {
namespace {

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
  EXPECT_TRUE(expected == Stored()) << corvel::test::Difference(expected, Stored());
}
#endif

}  // namespace
}  // namespace corvel::config::test
