// Large documents installed through the C interface (labelled heavy): a few megabytes with a
// value of two megabytes among five thousand entries, and one that exhausts the memory.
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "config_test_helpers.h"
#include "install_fixture.h"

namespace corvel::config::test {
namespace {

TEST_F(InstallTest, LargeDocumentWithHugeValues) {
  std::string huge(2 * 1024 * 1024, 'h');
  std::string document = "<Configuration><Payload><Data key=\"huge\">" + huge + "</Data>";
  for (int i = 0; i < 5000; ++i) {
    document += "<Data key=\"key" + std::to_string(i) + "\">value " + std::to_string(i) + "</Data>";
  }
  document += "</Payload></Configuration>";
  std::string config = Write("application.xml", document);
  ASSERT_EQ(0u, Process(config, "BIG", "D", nullptr));
  StoreRows rows = RowsOf("BIG");
  EXPECT_EQ(5000u + 1u + 3u, rows.size());
  EXPECT_EQ(1u, rows.count(Protected("BIG", "huge", huge)));
  EXPECT_EQ(1u, rows.count(Protected("BIG", "key4999", "value 4999")));
}

// Memory running out while the document is read raises an exception inside the processing;
// the call answers 257 and still ends its transaction and gives its store handle back, so the
// next call's writes are committed. (Address-space limits and the sanitizers' shadow memory
// do not mix.)
#if !defined(__SANITIZE_ADDRESS__)
TEST_F(InstallTest, ExceptionInsideProcessingGives257AndEndsTheTransaction) {
  std::string config = Write("huge.xml", "<Configuration><Payload><Data key=\"k\">" +
                                             std::string(48 * 1024 * 1024, 'x') +
                                             "</Data></Payload></Configuration>");
  std::string small = Write("small.xml",
                            "<Configuration><Payload><Data key=\"k\">v</Data>"
                            "</Payload></Configuration>");
  int status = RunWithStandardStreams("/dev/null", "", [&] {
    long pages = 0;
    FILE* statm = fopen("/proc/self/statm", "r");
    if (statm == nullptr || fscanf(statm, "%ld", &pages) != 1) return 100;
    fclose(statm);
    rlim_t limit =
        static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + 24 * 1024 * 1024;
    struct rlimit address_space {
      limit, limit
    };
    if (setrlimit(RLIMIT_AS, &address_space) != 0) return 101;
    if (Process(config, "HUGE", "D", nullptr) != 257) return 1;
    return Process(small, "SMALL", "D", nullptr) == 0 ? 0 : 2;
  });
  ASSERT_EQ(0, status);
  EXPECT_EQ(1u, RowsOf("SMALL").count(Protected("SMALL", "k", "v"))) << Describe(Rows());
  EXPECT_TRUE(RowsOf("HUGE").empty());
}
#endif

}  // namespace
}  // namespace corvel::config::test
