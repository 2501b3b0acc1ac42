// A configuration document of a few megabytes, with a value of two megabytes among five
// thousand entries, installed through the C interface (labelled heavy).
#include <string>

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

}  // namespace
}  // namespace corvel::config::test
