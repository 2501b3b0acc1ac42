// A document of a few megabytes installed through the C interface: a value of two megabytes
// among five thousand entries.
#include "install_support.h"

namespace corvel::config::test {
namespace {

TEST_F(InstallTest, LargeDocumentWithAHugeValue) {
  const std::string huge(2 * 1024 * 1024, 'h');
  std::string document = "<Configuration><Payload><Data key=\"huge\">" + huge + "</Data>";
  StoreRows expected = {P("BIG", "huge", huge)};
  for (int i = 0; i < 5000; ++i) {
    const std::string n = std::to_string(i);
    document += "<Data key=\"key" + n + "\">value " + n + "</Data>";
    expected.insert(P("BIG", "key" + n, "value " + n));
  }
  const std::string config = Write("application.xml", document + "</Payload></Configuration>");
  ASSERT_EQ(kTAVLibSuccess, Process(config, "BIG"));
  expected.merge(DriverRows("BIG", "D", config));
  EXPECT_TRUE(expected == Stored()) << corvel::test::Difference(expected, Stored());
}

}  // namespace
}  // namespace corvel::config::test
