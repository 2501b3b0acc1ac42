// The driver document as written into the temporary folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <memory>
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
            WriteDriverConfigurationFile("/opt/My App/application.xml", "PAY & <1>", "DRV", first,
                                         sizeof first));
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
  long long seconds =
      std::stoll(content.substr(date_at + date_open.size(), date_end - date_at - date_open.size()));
  EXPECT_GE(seconds, static_cast<long long>(before));
  EXPECT_LE(seconds, static_cast<long long>(after));
  EXPECT_EQ(
      "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n"
      "<Configuration>\n"
      "    <Payload corvelCode=\"PAY &amp; &lt;1&gt;\">\n"
      "        <Data key=\"DefaultDriverPayload\">DRV</Data>\n"
      "        <Data key=\"InstallDate\">" +
          std::to_string(seconds) +
          "</Data>\n"
          "        <Data key=\"ZEPConfigPath\">/opt/My App/application.xml</Data>\n"
          "    </Payload>\n"
          "</Configuration>\n",
      content);
}

TEST(DriverDocument, ReadBackOnlyWhileItIsStillOurs) {
  corvel::test::ScratchFolder scratch;
  char path[kConfigPathBufferSize];
  ASSERT_EQ(kDriverDocumentWritten, WriteDriverConfigurationFile("c", "P", "D", path, sizeof path));
  std::unique_ptr<FILE, int (*)(FILE*)> ours(OpenDriverConfigurationFile(path), fclose);
  EXPECT_NE(nullptr, ours);

  // A link planted under the name, a second name for the file, a file of another user.
  std::string link = scratch.temp() + "/driver_link00";
  ASSERT_EQ(0, symlink(path, link.c_str()));
  EXPECT_EQ(nullptr, OpenDriverConfigurationFile(link.c_str()));
  std::string second_name = scratch.temp() + "/driver_hard00";
  ASSERT_EQ(0, ::link(path, second_name.c_str()));
  EXPECT_EQ(nullptr, OpenDriverConfigurationFile(path));
  ASSERT_EQ(0, unlink(second_name.c_str()));
  EXPECT_EQ(nullptr, OpenDriverConfigurationFile(scratch.temp().c_str()));
  if (corvel::test::RunningAsRoot()) {
    ASSERT_EQ(0, chown(path, corvel::test::kUnprivilegedId, corvel::test::kUnprivilegedId));
    EXPECT_EQ(nullptr, OpenDriverConfigurationFile(path));
  }
}

}  // namespace
}  // namespace corvel::config
