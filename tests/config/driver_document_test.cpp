// The driver document as written into the temporary folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <string>

#include "config/configuration_processing.h"
#include "test_support.h"

namespace corvel::config {
namespace {

TEST(DriverDocument, WrittenWithAUniqueNameInTheTemporaryFolder) {
  corvel::test::ScratchFolder scratch;
  char first[kConfigPathBufferSize];
  char second[kConfigPathBufferSize];
  time_t before = time(nullptr);
  ASSERT_EQ(kDriverDocumentWritten,
            WriteDriverConfigurationFile("/opt/My App/application.xml", "PAY & <1>", "DRV",
                                         first, sizeof first));
  time_t after = time(nullptr);
  ASSERT_EQ(kDriverDocumentWritten,
            WriteDriverConfigurationFile("c", "P", "D", second, sizeof second));

  std::string prefix = scratch.temp() + "/driver_";
  std::string name = first;
  ASSERT_EQ(0u, name.rfind(prefix, 0)) << name;
  EXPECT_EQ(prefix.size() + 6, name.size());
  EXPECT_NE(name, std::string(second));
  struct stat status {};
  ASSERT_EQ(0, lstat(first, &status));
  EXPECT_TRUE(S_ISREG(status.st_mode));
  EXPECT_EQ(0600u, status.st_mode & 07777);

  std::string content = corvel::test::ReadWholeFile(first).value_or("");
  const std::string date_open = "<Data key=\"InstallDate\">";
  size_t date_at = content.find(date_open);
  ASSERT_NE(std::string::npos, date_at) << content;
  size_t date_end = content.find('<', date_at + date_open.size());
  long long seconds = std::stoll(content.substr(date_at + date_open.size(), date_end - date_at - date_open.size()));
  EXPECT_GE(seconds, static_cast<long long>(before));
  EXPECT_LE(seconds, static_cast<long long>(after));
  EXPECT_EQ("<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n"
            "<Configuration>\n"
            "    <Payload corvelCode=\"PAY &amp; &lt;1&gt;\">\n"
            "        <Data key=\"DefaultDriverPayload\">DRV</Data>\n"
            "        <Data key=\"InstallDate\">" + std::to_string(seconds) + "</Data>\n"
            "        <Data key=\"ZEPConfigPath\">/opt/My App/application.xml</Data>\n"
            "    </Payload>\n"
            "</Configuration>\n",
            content);
}

}  // namespace
}  // namespace corvel::config
