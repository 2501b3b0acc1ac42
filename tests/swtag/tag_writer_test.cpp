// The tag writer from SwTagStart to SwTagEnd: the exact text of a new tag, what libxml2
// reads back, validation, the field table, and updating an existing tag in place.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "swtag/swtag.h"
#include "swtag/swtag_entity.h"
#include "swtag/swtag_record.h"
#include "tag_test_support.h"
#include "util/utf_convert.h"

namespace corvel::swtag::test {
namespace {

using corvel::test::ReadWholeFile;
using corvel::test::WriteWholeFile;

constexpr const char* kCode = "PRD-100";

class TagWriterTest : public ::testing::Test {
 protected:
  TagScratch mScratch;
};

// The 41 rows of a new tag, written out independently of the writer.
std::string ExpectedNewTag(const std::string& title, const std::string& uniqueId) {
  const std::string ns = "http://standards.iso.org/iso/19770/-2/2008/schema.xsd";
  const std::string name = TagEntityName();
  const std::string regid = TagEntityRegid();
  const std::vector<std::string> rows = {
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>",
      "<swid:software_identification_tag xsi:schemaLocation=\"" + ns +
          " software_identification_tag.xsd\" ",
      "\t xmlns:swid=\"" + ns + "\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">",
      "",
      "<!--Mandatory Identity elements -->",
      "<swid:entitlement_required_indicator>false</swid:entitlement_required_indicator>",
      "<swid:product_title>" + title + "</swid:product_title>",
      "<swid:product_version>",
      "\t<swid:name>12.0</swid:name>",
      "\t<swid:numeric>",
      "\t\t<swid:major>12</swid:major>",
      "\t\t<swid:minor>0</swid:minor>",
      "\t\t<swid:build>0</swid:build>",
      "\t\t<swid:review>0</swid:review>",
      "\t</swid:numeric>",
      "</swid:product_version>",
      "<swid:software_creator>",
      "\t<swid:name>" + name + "</swid:name>",
      "\t<swid:regid>" + regid + "</swid:regid>",
      "</swid:software_creator>",
      "<swid:software_licensor>",
      "\t<swid:name>" + name + "</swid:name>",
      "\t<swid:regid>" + regid + "</swid:regid>",
      "</swid:software_licensor>",
      "<swid:software_id>",
      "\t<swid:unique_id>" + uniqueId + "</swid:unique_id>",
      "\t<swid:tag_creator_regid>" + regid + "</swid:tag_creator_regid>",
      "</swid:software_id>",
      "",
      "<swid:tag_creator>",
      "\t<swid:name>" + name + "</swid:name>",
      "\t<swid:regid>" + regid + "</swid:regid>",
      "</swid:tag_creator>",
      "<!--Optional Identity elements -->",
      "<swid:license_linkage>",
      "\t<swid:activation_status>activated</swid:activation_status>",
      "\t<swid:channel_type>retail</swid:channel_type>",
      "\t<swid:customer_type>retail</swid:customer_type>",
      "</swid:license_linkage>",
      "<swid:serial_number>SN-0001</swid:serial_number>",
      "</swid:software_identification_tag>"};
  EXPECT_EQ(rows.size(), 41u);
  std::string text;
  for (size_t i = 0; i < rows.size(); ++i) text += (i ? "\r\n" : "") + rows[i];
  return text;
}

TEST_F(TagWriterTest, NewTagIsWrittenByteForByteWithOpenModes) {
  ASSERT_EQ(RunPass("Corvel Studio", kCode, "", TypicalFields()), kSwTagSuccess);

  const auto bytes = ReadWholeFile(mScratch.TagFile(kCode));
  ASSERT_TRUE(bytes.has_value());
  EXPECT_EQ(*bytes, ExpectedNewTag("Corvel Studio", kCode));

  struct stat st {};
  ASSERT_EQ(stat(mScratch.TagDir().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0777u);
  ASSERT_EQ(stat(mScratch.TagFile(kCode).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0666u);

  const std::string log = mScratch.ReadLog();
  EXPECT_NE(log.find("SWTAG: _info_: Created new " + mScratch.TagFile(kCode) + " file.\n"),
            std::string::npos);
  // A new directory gets its access rules twice in a row.
  EXPECT_EQ(CountOf(log, "Set privilege info for \"" + mScratch.TagDir() + "\" returned 0"), 2u);
}

TEST_F(TagWriterTest, EveryFieldReadsBackThroughNamespaceAwareXPath) {
  ASSERT_EQ(RunPass("Corvel Studio", kCode, "en_US", TypicalFields()), kSwTagSuccess);
  const std::string file = mScratch.TagFile(kCode, "en_US");
  ASSERT_TRUE(XmlLintAccepts(file));

  const std::string name = TagEntityName();
  const std::string regid = TagEntityRegid();
  const std::vector<std::pair<std::vector<std::string>, std::string>> expected = {
      {{"entitlement_required_indicator"}, "false"},
      {{"product_title"}, "Corvel Studio"},
      {{"product_version", "name"}, "12.0"},
      {{"product_version", "numeric", "major"}, "12"},
      {{"product_version", "numeric", "minor"}, "0"},
      {{"product_version", "numeric", "build"}, "0"},
      {{"product_version", "numeric", "review"}, "0"},
      {{"software_creator", "name"}, name},
      {{"software_creator", "regid"}, regid},
      {{"software_licensor", "name"}, name},
      {{"software_licensor", "regid"}, regid},
      {{"software_id", "unique_id"}, std::string(kCode) + "-en_US"},
      {{"software_id", "tag_creator_regid"}, regid},
      {{"tag_creator", "name"}, name},
      {{"tag_creator", "regid"}, regid},
      {{"license_linkage", "activation_status"}, "activated"},
      {{"license_linkage", "channel_type"}, "retail"},
      {{"license_linkage", "customer_type"}, "retail"},
      {{"serial_number"}, "SN-0001"}};
  for (const auto& [path, value] : expected) {
    EXPECT_EQ(XPathText(file, path), value) << path.back();
  }
}

TEST_F(TagWriterTest, ValidationFailuresWriteNothing) {
  auto fields = TypicalFields();
  fields[4] = "2.3";
  ASSERT_EQ(RunPass("Corvel Studio", kCode, "", fields), kSwTagSuccess);
  fields = TypicalFields();
  fields[5] = "";
  ASSERT_EQ(RunPass("Corvel Studio", kCode, "", fields), kSwTagSuccess);
  fields = TypicalFields();
  fields[3] = "\xC2\xB9";  // a superscript one: a digit to some, not to the tag writer
  ASSERT_EQ(RunPass("Corvel Studio", kCode, "", fields), kSwTagSuccess);

  EXPECT_FALSE(ReadWholeFile(mScratch.TagFile(kCode)).has_value());
  const std::string log = mScratch.ReadLog();
  EXPECT_EQ(
      CountOf(log,
              "SWTAG: _info_: Error!! All Data is not Valid, tag file will not be created for\n"),
      2u);
  EXPECT_EQ(CountOf(log,
                    "SWTAG: _info_: Error!! All Mandatory Flags are not present, tag file will not "
                    "be created for\n"),
            1u);
  EXPECT_EQ(CountOf(log, std::string("SWTAG: _info_: Unique ID = ") + kCode +
                             " & Product Title = Corvel Studio.\n"),
            3u);
}

TEST_F(TagWriterTest, StartRefusesBlankNamesAndPathSeparators) {
  EXPECT_EQ(RunPass("   ", kCode, "", TypicalFields()), kSwTagInvalidArgument);
  EXPECT_EQ(RunPass("Corvel Studio", "", "", TypicalFields()), kSwTagInvalidArgument);
  EXPECT_EQ(RunPass("Corvel Studio", "../../etc/evil", "", TypicalFields()), kSwTagInvalidArgument);
  EXPECT_EQ(RunPass("Corvel Studio", kCode, "en/../../x", TypicalFields()), kSwTagInvalidArgument);
  EXPECT_EQ(RunPass("Corvel Studio", kCode, "..\\x", TypicalFields()), kSwTagInvalidArgument);
  EXPECT_EQ(SwTagStart(nullptr, kCode, "", 0), kSwTagInvalidArgument);
  EXPECT_EQ(SwTagEnd(), kSwTagNoPass);

  // Only the directory that discovery creates exists, and it stays empty.
  ASSERT_TRUE(std::filesystem::is_directory(mScratch.TagDir()));
  EXPECT_TRUE(std::filesystem::is_empty(mScratch.TagDir()));
  EXPECT_FALSE(std::filesystem::exists(mScratch.scratch().root() + "/etc"));
  EXPECT_EQ(CountOf(mScratch.ReadLog(), "End SWTAGGING"), 6u);
}

TEST_F(TagWriterTest, FieldOperationsFollowThePass) {
  EXPECT_EQ(SwTagSetField(2, "1.0"), kSwTagNoPass);
  EXPECT_EQ(SwTagWrite(), kSwTagNoPass);
  EXPECT_EQ(SwTagEnd(), kSwTagNoPass);

  ASSERT_EQ(SwTagStart("Corvel Studio", kCode, nullptr, 7), kSwTagSuccess);
  const SwTagRecord* record = SwTagCurrentRecord();
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->mCaller, 7u);
  EXPECT_EQ(SwTagSetField(2, nullptr), kSwTagInvalidArgument);
  EXPECT_EQ(SwTagSetField(0, "TRUE"), kSwTagInvalidArgument);
  EXPECT_FALSE(record->mEntitlementRequired);
  EXPECT_EQ(SwTagSetField(0, "trueish"), kSwTagSuccess);
  EXPECT_TRUE(record->mEntitlementRequired);
  EXPECT_EQ(SwTagSetField(0, "falsehood"), kSwTagSuccess);
  EXPECT_FALSE(record->mEntitlementRequired);
  // Ids that name identity fields or nothing are accepted without effect.
  EXPECT_EQ(SwTagSetField(1, "Other title"), kSwTagSuccess);
  EXPECT_EQ(SwTagSetField(11, "other-id"), kSwTagSuccess);
  EXPECT_EQ(SwTagSetField(99, "x"), kSwTagSuccess);
  EXPECT_EQ(record->mProductTitle, "Corvel Studio");
  EXPECT_EQ(record->mUniqueId, kCode);
  EXPECT_EQ(SwTagSetField(9, "Another Creator"), kSwTagSuccess);
  EXPECT_EQ(SwTagSetField(14, "regid.2000-01.org.example"), kSwTagSuccess);
  EXPECT_EQ(record->mSoftwareCreatorName, "Another Creator");
  EXPECT_EQ(record->mSoftwareCreatorRegid, "regid.2000-01.org.example");
  EXPECT_EQ(record->mSoftwareLicensorName, TagEntityName());
  EXPECT_EQ(SwTagEnd(), kSwTagSuccess);
  EXPECT_EQ(SwTagCurrentRecord(), nullptr);
  EXPECT_EQ(SwTagEnd(), kSwTagNoPass);
}

TEST_F(TagWriterTest, MarkupInAValueIsRefusedOnCreationAndEscapedOnUpdate) {
  ASSERT_EQ(RunPass("Studio <Pro>", kCode, "", TypicalFields()), kSwTagSuccess);
  EXPECT_FALSE(ReadWholeFile(mScratch.TagFile(kCode)).has_value());
  EXPECT_EQ(CountOf(mScratch.ReadLog(), "SWTAG: _info_: Tag file not well formed.\n"), 1u);

  ASSERT_EQ(RunPass("Studio", kCode, "", TypicalFields()), kSwTagSuccess);
  ASSERT_EQ(RunPass("Studio <Pro> & more", kCode, "", TypicalFields()), kSwTagSuccess);
  const std::string file = mScratch.TagFile(kCode);
  const auto bytes = ReadWholeFile(file);
  ASSERT_TRUE(bytes.has_value());
  EXPECT_NE(bytes->find("<swid:product_title>Studio &lt;Pro&gt; &amp; more</swid:product_title>"),
            std::string::npos);
  EXPECT_EQ(XPathText(file, {"product_title"}), "Studio <Pro> & more");
  EXPECT_EQ(CountOf(mScratch.ReadLog(), "SWTAG: _info_: Updated existing " + file + " file\n"), 1u);
}

TEST_F(TagWriterTest, UpdateWithEqualValuesLeavesTheFileUntouched) {
  ASSERT_EQ(RunPass("Corvel Studio", kCode, "", TypicalFields()), kSwTagSuccess);
  const std::string file = mScratch.TagFile(kCode);
  const auto before = ReadWholeFile(file);
  ASSERT_TRUE(AgeFile(file));
  const long long aged = ModificationTime(file);

  ASSERT_EQ(RunPass("Corvel Studio", kCode, "", TypicalFields()), kSwTagSuccess);
  EXPECT_EQ(ReadWholeFile(file), before);
  EXPECT_EQ(ModificationTime(file), aged);
  const std::string log = mScratch.ReadLog();
  EXPECT_EQ(CountOf(log, "Reading existing " + file + " file\n"), 1u);
  EXPECT_EQ(CountOf(log, "Updated existing"), 0u);
}

TEST_F(TagWriterTest, MissingElementsAreAddedAndFilled) {
  const std::string file = mScratch.TagFile(kCode);
  ASSERT_EQ(RunPass("Corvel Studio", kCode, "", TypicalFields()), kSwTagSuccess);
  // Drop the serial number and the whole licence linkage from the tag.
  auto text = ReadWholeFile(file).value();
  const size_t from = text.find("<swid:license_linkage>");
  const size_t to = text.find("</swid:software_identification_tag>");
  ASSERT_NE(from, std::string::npos);
  ASSERT_TRUE(WriteWholeFile(file, text.substr(0, from) + text.substr(to)));
  ASSERT_EQ(XPathText(file, {"serial_number"}), std::nullopt);

  auto fields = TypicalFields();
  fields[18] = "SN-0002";
  ASSERT_EQ(RunPass("Corvel Studio", kCode, "", fields), kSwTagSuccess);
  ASSERT_TRUE(XmlLintAccepts(file));
  EXPECT_EQ(XPathText(file, {"serial_number"}), "SN-0002");
  EXPECT_EQ(XPathText(file, {"license_linkage", "channel_type"}), "retail");
  EXPECT_EQ(XPathText(file, {"product_version", "numeric", "major"}), "12");
  const auto after = ReadWholeFile(file).value();
  EXPECT_LT(after.find("</swid:license_linkage>"), after.find("<swid:serial_number>"));
}

TEST_F(TagWriterTest, EmptyCompoundElementsAreCompleted) {
  const std::string file = mScratch.TagFile(kCode);
  ASSERT_TRUE(mkdir(mScratch.TagDir().c_str(), 0777) == 0);
  ASSERT_TRUE(WriteWholeFile(
      file,
      "<?xml version=\"1.0\"?>\r\n<swid:software_identification_tag "
      "xmlns:swid=\"http://standards.iso.org/iso/19770/-2/2008/schema.xsd\">\r\n"
      "<swid:product_version/>\r\n<swid:software_creator></swid:software_creator>\r\n"
      "</swid:software_identification_tag>"));
  ASSERT_EQ(RunPass("Corvel Studio", kCode, "", TypicalFields()), kSwTagSuccess);
  ASSERT_TRUE(XmlLintAccepts(file));
  EXPECT_EQ(XPathText(file, {"product_version", "name"}), "12.0");
  EXPECT_EQ(XPathText(file, {"product_version", "numeric", "review"}), "0");
  EXPECT_EQ(XPathText(file, {"software_creator", "regid"}), TagEntityRegid());
  EXPECT_EQ(XPathText(file, {"software_id", "unique_id"}), kCode);
  EXPECT_EQ(XPathText(file, {"entitlement_required_indicator"}), "false");
}

TEST_F(TagWriterTest, ExistingValuesAreReadIntoTheRecord) {
  auto fields = TypicalFields();
  fields[0] = "true";
  fields[15] = "trial";
  ASSERT_EQ(RunPass("Corvel Studio", kCode, "", fields), kSwTagSuccess);

  ASSERT_EQ(SwTagStart("Renamed Studio", kCode, "", 0), kSwTagSuccess);
  const SwTagRecord* record = SwTagCurrentRecord();
  ASSERT_NE(record, nullptr);
  EXPECT_TRUE(record->mExistingLoaded);
  EXPECT_TRUE(record->mEntitlementRequired);
  EXPECT_EQ(record->mActivationStatus, "trial");
  EXPECT_EQ(record->mSerialNumber, "SN-0001");
  EXPECT_EQ(record->mMajor, "12");
  // Identity fields come from the start of the pass, not from the file.
  EXPECT_EQ(record->mProductTitle, "Renamed Studio");
  SwTagEnd();
}

TEST_F(TagWriterTest, TheLocaleLessTagIsTakenOverByTheFirstPassWithALocale) {
  ASSERT_EQ(RunPass("Corvel Studio", kCode, "", TypicalFields()), kSwTagSuccess);
  auto fields = TypicalFields();
  fields[2] = "12.1";
  fields[4] = "1";
  ASSERT_EQ(RunPass("Corvel Studio", kCode, "en_US", fields), kSwTagSuccess);

  const std::string old_file = mScratch.TagFile(kCode);
  const std::string new_file = mScratch.TagFile(kCode, "en_US");
  EXPECT_FALSE(ReadWholeFile(old_file).has_value());
  EXPECT_EQ(XPathText(new_file, {"software_id", "unique_id"}), std::string(kCode) + "-en_US");
  EXPECT_EQ(XPathText(new_file, {"product_version", "numeric", "minor"}), "1");
  const std::string log = mScratch.ReadLog();
  EXPECT_NE(log.find("SWTAG: _info_: Old File " + old_file + " file\n"), std::string::npos);
  EXPECT_NE(log.find("SWTAG: _info_: New File " + new_file + " file\n"), std::string::npos);
  EXPECT_NE(log.find("SWTAG: _info_: Updated existing " + new_file + " file\n"), std::string::npos);

  // With both files present the locale file is used and the other is left alone.
  ASSERT_EQ(RunPass("Corvel Studio", kCode, "", TypicalFields()), kSwTagSuccess);
  ASSERT_EQ(RunPass("Corvel Studio", kCode, "en_US", fields), kSwTagSuccess);
  EXPECT_TRUE(ReadWholeFile(old_file).has_value());
  EXPECT_EQ(CountOf(mScratch.ReadLog(), "Old File"), 1u);
}

std::string Utf16LeWithMark(const std::string& utf8) {
  std::string bytes("\xFF\xFE", 2);
  for (char16_t unit : corvel::util::ConvertUtf8ToUtf16(utf8, false)) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

TEST_F(TagWriterTest, Utf16TagsStayUtf16AndUtf8TagsStayUtf8) {
  const std::string file = mScratch.TagFile(kCode);
  // A title beyond ASCII, with a character outside the basic plane (a surrogate pair).
  const std::string title =
      "Corvel St\xC3\xBC"
      "dio \xF0\x9F\x8E\xA8";
  ASSERT_EQ(RunPass(title, kCode, "", TypicalFields()), kSwTagSuccess);
  const std::string utf8 = ReadWholeFile(file).value();
  ASSERT_TRUE(WriteWholeFile(file, Utf16LeWithMark(utf8)));

  auto fields = TypicalFields();
  fields[18] = "SN-0003";
  ASSERT_EQ(RunPass(title, kCode, "", fields), kSwTagSuccess);
  std::string expected = utf8;
  expected.replace(expected.find("SN-0001"), 7, "SN-0003");
  EXPECT_EQ(ReadWholeFile(file), Utf16LeWithMark(expected));
  EXPECT_EQ(XPathText(file, {"product_title"}), title);

  // Back to UTF-8: rewritten without a mark.
  ASSERT_TRUE(WriteWholeFile(file, utf8));
  ASSERT_EQ(RunPass(title, kCode, "", fields), kSwTagSuccess);
  EXPECT_EQ(ReadWholeFile(file), expected);
}

TEST_F(TagWriterTest, AFileThatIsNotATagIsReplaced) {
  const std::string file = mScratch.TagFile(kCode);
  ASSERT_EQ(mkdir(mScratch.TagDir().c_str(), 0777), 0);
  ASSERT_TRUE(WriteWholeFile(file, "<other>not a tag</other>"));
  ASSERT_EQ(RunPass("Corvel Studio", kCode, "", TypicalFields()), kSwTagSuccess);
  EXPECT_EQ(ReadWholeFile(file), ExpectedNewTag("Corvel Studio", kCode));
  EXPECT_NE(mScratch.ReadLog().find("Unlinking existing " + file +
                                    " file, ret = 0 on Create New Tag File.\n"),
            std::string::npos);
}

}  // namespace
}  // namespace corvel::swtag::test
