// The DOM wrapper: names, queries, calls before a document is loaded, and saving.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "prefs/prefs_log.h"
#include "prefs/xml_parser.h"
#include "prefs_test_helpers.h"
#include "test_support.h"

namespace corvel::prefs {
namespace {

using test::LogContains;

class XMLParserTest : public ::testing::Test {
 protected:
  void SetUp() override { SetPrefsLogVerbosity(); }
  void TearDown() override { ClosePrefsLog(); }
  corvel::test::ScratchFolder scratch_;
};

TEST(XmlName, NamesWithoutColon) {
  for (const char* good : {"a", "_a", "ProxyCredentials", "a-b.c9", "\xC3\xA9t\xC3\xA9", "\xE4\xB8\xAD"}) {
    EXPECT_TRUE(IsValidXmlName(good)) << good;
  }
  for (const char* bad : {"", "9a", "-a", ".a", "a b", "a:b", "a/b", "a[1]", "*", "a\xFF", "\xC2\xB7" "a"}) {
    EXPECT_FALSE(IsValidXmlName(bad)) << bad;
  }
}

TEST_F(XMLParserTest, CallsBeforeLoadingFailAndSay) {
  XMLParser parser;
  std::string value;
  EXPECT_FALSE(parser.nodeExistsXQuery("//TAVPrefs"));
  EXPECT_FALSE(parser.stringValueForXQuery("//TAVPrefs", &value));
  EXPECT_FALSE(parser.getNodeForXQuery("//TAVPrefs"));
  EXPECT_FALSE(parser.getRootNode());
  EXPECT_FALSE(parser.addChildToNode(pugi::xml_node(), "a", nullptr));
  EXPECT_FALSE(parser.setValueForXQuery("//TAVPrefs", "x"));
  EXPECT_FALSE(parser.writeToFile(scratch_.Path("out.xml")));
  for (const char* line : {"stringValueForXQuery ... XMLParser not Initialized ...",
                           "getNodeForXQuery ... XMLParser not Initialized ...",
                           "getRootNode ... XMLParser not Initialized ...",
                           "addChildToNode ... XMLParser not Initialized ...",
                           "setValueForXQuery... XMLParser not Initialized ...:",
                           "[ERROR] XMLParser - Failed to write XML to file"}) {
    EXPECT_TRUE(LogContains(line)) << line;
  }
}

TEST_F(XMLParserTest, QueriesEditsAndSave) {
  XMLParser parser;
  ASSERT_TRUE(parser.initWithXMLString("<TAVPrefs><D><K> AB12 </K></D></TAVPrefs>"));
  std::string value;
  ASSERT_TRUE(parser.stringValueForXQuery("//TAVPrefs/D/K", &value));
  EXPECT_EQ("AB12", value);
  EXPECT_FALSE(parser.nodeExistsXQuery("//TAVPrefs/D/Missing"));
  EXPECT_FALSE(parser.nodeExistsXQuery("//TAVPrefs/D/"));  // not an XPath
  EXPECT_TRUE(LogContains("Caught exception in ... nodeExistsXQuery. error:"));
  EXPECT_FALSE(parser.setValueForXQuery("//TAVPrefs/D/Missing", "x"));
  EXPECT_TRUE(LogContains("setValueForXQuery... Node does not exists"));
  EXPECT_FALSE(parser.addChildToNode(pugi::xml_node(), "a", nullptr));
  EXPECT_TRUE(LogContains("addChildToNode ... node is null!"));
  EXPECT_FALSE(parser.addChildToNode(parser.getRootNode(), "not a name", nullptr));

  ASSERT_TRUE(parser.setValueForXQuery("//TAVPrefs/D/K", "CD34"));
  std::string new_value = "EF56";
  ASSERT_TRUE(parser.addChildToNode(parser.getNodeForXQuery("//TAVPrefs/D"), "K2", &new_value));
  std::string path = scratch_.Path("saved.xml");
  ASSERT_TRUE(parser.writeToFile(path));
  struct stat st{};
  ASSERT_EQ(0, stat(path.c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 0777);

  XMLParser reread;
  ASSERT_TRUE(reread.initWithXMLPath(path));
  ASSERT_TRUE(reread.stringValueForXQuery("//TAVPrefs/D/K", &value));
  EXPECT_EQ("CD34", value);
  ASSERT_TRUE(reread.stringValueForXQuery("//TAVPrefs/D/K2", &value));
  EXPECT_EQ("EF56", value);
  // Saving into a folder that does not exist fails and leaves no file behind.
  EXPECT_FALSE(reread.writeToFile(scratch_.Path("missing/saved.xml")));
}

}  // namespace
}  // namespace corvel::prefs
