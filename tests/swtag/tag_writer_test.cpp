// The tag writer from SwTagStart to SwTagEnd: the text of a new tag and every field read back,
// validation, updates of an existing tag, the tag directory and the tag log.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "platform/platform.h"
#include "swtag/swtag_record.h"
#include "tag_support.h"
#include "util/utf_convert.h"

namespace corvel::swtag::test {
namespace {

namespace fs = std::filesystem;
constexpr const char* kCode = "PRD-100";

// The new tag of the typical pass for kCode, "Corvel Studio", without a locale.
std::string ExpectedNewTag() { return TestData("new_tag.swidtag"); }

TEST(TagWriter, NewTagIsWrittenByteForByteAndKeptWhileItsValuesStay) {
  TagScratch scratch;
  const std::string file = scratch.TagFile(kCode);
  ASSERT_EQ(kSwTagSuccess, RunPass("Corvel Studio", kCode, ""));
  EXPECT_EQ(ExpectedNewTag(), ReadWholeFile(file));

  // Equal values: the file is read and left untouched.
  const auto aged = fs::file_time_type::clock::now() - std::chrono::hours(24 * 365);
  fs::last_write_time(file, aged);
  ASSERT_EQ(kSwTagSuccess, RunPass("Corvel Studio", kCode, ""));
  EXPECT_EQ(aged, fs::last_write_time(file));

  // A file that is not a tag is replaced by a new one.
  ASSERT_TRUE(WriteWholeFile(file, "<other>not a tag</other>"));
  ASSERT_EQ(kSwTagSuccess, RunPass("Corvel Studio", kCode, ""));
  EXPECT_EQ(ExpectedNewTag(), ReadWholeFile(file));
  ExpectTagLog(scratch, "new_tag.log");
}

TEST(TagWriter, EveryFieldReadsBackThroughNamespaceAwareXPath) {
  TagScratch scratch;
  ASSERT_EQ(kSwTagSuccess, SwTagStart("Corvel Studio", kCode, "en_US", 7));
  for (const auto& [id, value] : TypicalFields()) SwTagSetField(id, value.c_str());
  const SwTagRecord* record = SwTagCurrentRecord();
  EXPECT_EQ(kSwTagInvalidArgument, SwTagSetField(2, nullptr));
  // Entitlement: "true..." or "false..." exactly, anything else refused without effect.
  const struct {
    const char* value;
    uint16_t result;
    bool entitled;
  } entitlements[] = {
      {"trueish", 0, true}, {"TRUE", 521, true}, {"falsehood", 0, false}, {"1", 521, false}};
  for (const auto& e : entitlements) {
    EXPECT_EQ(e.result, SwTagSetField(0, e.value)) << e.value;
    EXPECT_EQ(e.entitled, record->mEntitlementRequired) << e.value;
  }
  // Identity fields come from the start of the pass; unknown ids change nothing.
  for (uint32_t id : {1u, 11u, 12u, 19u, 20u, 99u})
    EXPECT_EQ(kSwTagSuccess, SwTagSetField(id, "x"));
  EXPECT_EQ(kSwTagSuccess, SwTagSetField(9, "Another Creator"));
  EXPECT_EQ(kSwTagSuccess, SwTagSetField(14, "regid.2000-01.org.example"));
  EXPECT_EQ(kSwTagSuccess, SwTagWrite());
  EXPECT_EQ(kSwTagSuccess, SwTagEnd());
  EXPECT_EQ(nullptr, SwTagCurrentRecord());

  ExpectFields(scratch.TagFile(kCode, "en_US"), "fields_writer.txt");
  EXPECT_NE(std::string::npos, scratch.Log().find("; locale=en_US; caller=7\n"));
}

TEST(TagWriter, ValidationFailuresWriteNothing) {
  TagScratch scratch;
  const struct {
    const char* title;
    uint32_t field;
    const char* value;
  } cases[] = {
      {"Corvel Studio", 4, "2.3"},
      {"Corvel Studio", 3, "\xC2\xB9"},  // a superscript one: no digit here
      {"Corvel Studio", 5, ""},
      {"Studio <Pro>", 99, ""},
  };
  for (const auto& c : cases) {
    Fields fields = TypicalFields();
    fields[c.field] = c.value;
    ASSERT_EQ(kSwTagSuccess, RunPass(c.title, kCode, "", fields));
    EXPECT_FALSE(fs::exists(scratch.TagFile(kCode))) << c.field;
  }
  // Each refusal logged; a tag refused by validation is named, one whose markup breaks is not.
  ExpectTagLog(scratch, "validation_failures.log");
}

TEST(TagWriter, StartRefusesBlankNamesAndPathSeparators) {
  TagScratch scratch;
  // clang-format off
  const char* cases[][3] = {{"   ", kCode, ""}, {"Corvel Studio", "", ""},
                            {"Corvel Studio", "../../etc/evil", ""},
                            {"Corvel Studio", kCode, "en/../../x"}, {"Corvel Studio", kCode, "..\\x"},
                            {nullptr, kCode, ""}, {"Corvel Studio", nullptr, ""}};
  // clang-format on
  for (const auto& c : cases) {
    EXPECT_EQ(kSwTagInvalidArgument, SwTagStart(c[0], c[1], c[2], 0)) << (c[1] ? c[1] : "null");
    EXPECT_EQ(kSwTagNoPass, SwTagEnd());
  }
  // Each failed start still closed the log.
  ExpectTagLog(scratch, "refused_starts.log");
  // Only the directory that discovery creates exists, and it stays empty.
  ASSERT_TRUE(fs::is_directory(scratch.TagDir()));
  EXPECT_TRUE(fs::is_empty(scratch.TagDir()));
  EXPECT_FALSE(fs::exists(scratch.Path("etc")));
}

TEST(TagWriter, UpdatesEscapeMarkupAndKeepWhatThePassDoesNotSet) {
  TagScratch scratch;
  const std::string file = scratch.TagFile(kCode);
  Fields fields = TypicalFields();
  fields[0] = "true";
  fields[15] = "trial";
  ASSERT_EQ(kSwTagSuccess, RunPass("Studio", kCode, "", fields));
  ASSERT_EQ(kSwTagSuccess, RunPass("Studio <Pro> & more", kCode, "", {}));
  EXPECT_NE(std::string::npos,
            ReadWholeFile(file)->find(
                "<swid:product_title>Studio &lt;Pro&gt; &amp; more</swid:product_title>"));
  EXPECT_EQ("true", XPathText(file, "entitlement_required_indicator"));
  EXPECT_EQ("trial", XPathText(file, "license_linkage/activation_status"));
  EXPECT_EQ("SN-0001", XPathText(file, "serial_number"));
  ExpectTagLog(scratch, "tag_updated.log");
}

TEST(TagWriter, UpdatesCompleteMissingAndEmptyElements) {
  TagScratch scratch;
  const std::string file = scratch.TagFile(kCode);
  fs::create_directories(scratch.TagDir());
  const std::string without_linkage =
      ExpectedNewTag().substr(0, ExpectedNewTag().find("<swid:license_linkage>"));
  const std::string documents[] = {without_linkage + "</swid:software_identification_tag>",
                                   TestData("sparse_tag.swidtag")};
  for (const std::string& document : documents) {
    ASSERT_TRUE(WriteWholeFile(file, document));
    Fields fields = TypicalFields();
    fields[18] = "SN-0002";
    ASSERT_EQ(kSwTagSuccess, RunPass("Corvel Studio", kCode, "", fields));
    ExpectFields(file, "fields_completed.txt");
    const std::string after = ReadWholeFile(file).value();
    EXPECT_LT(after.find("</swid:license_linkage>"), after.find("<swid:serial_number>"));
  }
}

TEST(TagWriter, Utf16TagsStayUtf16AndUtf8TagsStayUtf8) {
  TagScratch scratch;
  const std::string file = scratch.TagFile(kCode);
  auto utf16 = [](const std::string& utf8) {  // little-endian, after its mark
    const std::u16string units = corvel::util::ConvertUtf8ToUtf16(utf8, false);
    return "\xFF\xFE" + std::string(reinterpret_cast<const char*>(units.data()), units.size() * 2);
  };
  // A title beyond ASCII, with a character outside the basic plane (a surrogate pair).
  const std::string title = "Corvel St\u00fcdio \U0001F3A8";
  ASSERT_EQ(kSwTagSuccess, RunPass(title, kCode, ""));
  const std::string utf8 = ReadWholeFile(file).value();
  std::string expected = utf8;
  expected.replace(expected.find("SN-0001"), 7, "SN-0003");
  Fields fields = TypicalFields();
  fields[18] = "SN-0003";
  for (const std::string& before : {utf16(utf8), utf8}) {
    ASSERT_TRUE(WriteWholeFile(file, before));
    ASSERT_EQ(kSwTagSuccess, RunPass(title, kCode, "", fields));
    EXPECT_EQ(before == utf8 ? expected : utf16(expected), ReadWholeFile(file));
    EXPECT_EQ(title, XPathText(file, "product_title"));
  }
}

TEST(TagPlacement, WithoutATagDirectoryNoPassOpens) {
  TagScratch scratch;
  const std::string blocked = scratch.Path("a_file");
  ASSERT_TRUE(WriteWholeFile(blocked, ""));
  ASSERT_TRUE(WriteWholeFile(scratch.TagDir(), "in the way"));
  // A file where the tag directory, the common data folder or one of its parents should be.
  for (const std::string& common : {scratch.common_appdata(), blocked, blocked + "/below"}) {
    corvel::platform::SetEnvironmentValue("CORVEL_COMMON_APPDATA", common);
    EXPECT_EQ(kSwTagNoDirectory, SwTagStart("Corvel Studio", kCode, "", 0)) << common;
    EXPECT_EQ(kSwTagNoPass, SwTagSetField(2, "1.0"));
    EXPECT_EQ(kSwTagNoPass, SwTagWrite());
    EXPECT_EQ(kSwTagNoPass, SwTagEnd());
  }
  EXPECT_EQ("in the way", ReadWholeFile(scratch.TagDir()));

  // A missing common data folder is created.
  const std::string fresh = scratch.Path("fresh_common");
  corvel::platform::SetEnvironmentValue("CORVEL_COMMON_APPDATA", fresh);
  ASSERT_EQ(kSwTagSuccess, RunPass("Corvel Studio", kCode, ""));
  EXPECT_TRUE(fs::is_regular_file(
      scratch.TagFile(kCode).replace(0, scratch.common_appdata().size(), fresh)));
  ExpectTagLog(scratch, "no_tag_directory.log");
}

TEST(TagLog, LinesCarryTimeProcessAndModuleAndTheLogKeepsItsMarkerAndSize) {
  TagScratch scratch;
  ASSERT_EQ(kSwTagSuccess, RunPass("Corvel Studio", kCode, ""));
  const std::string marker = "__SWTAG_LOG_FILE__";
  const std::string marked = "2000-01-01 00:00:00 [1] SWTAG: _info_: " + marker + "\n";
  const std::string at_limit = marked + std::string(256000 - marked.size() - 1, 'a') + "\n";
  // The log before the pass, and whether the pass appends to it (else it starts anew).
  const struct {
    std::string before;
    bool appended;
  } cases[] = {{"", false},
               {"someone else's file\n", false},
               // The marker counts only within the first 126 bytes of the first line.
               {std::string(110, 'x') + marker + "\nold line\n", false},
               {at_limit, true},
               {at_limit + "b", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.before.substr(0, 30));
    fs::remove(scratch.LogPath());
    if (!c.before.empty()) {
      ASSERT_TRUE(WriteWholeFile(scratch.LogPath(), c.before));
    }
    ASSERT_EQ(kSwTagSuccess, RunPass("Corvel Studio", kCode, ""));
    const std::string log = scratch.Log();
    const size_t kept = c.appended ? c.before.size() : 0;
    EXPECT_EQ(c.before.substr(0, kept), log.substr(0, kept));
    EXPECT_EQ(
        (c.appended ? "" : marker + "\n") + TestData("tag_kept.log", {{"@ROOT@", scratch.root()}}),
        Unstamped(log.substr(kept)));
  }
}

TEST(TagPlacement, NamesLongerThanThePathBuffersStayInsideTheTagDirectory) {
  TagScratch scratch;
  // Without a usable temporary folder tagging runs without a log.
  const std::string long_temp = scratch.Path(std::string(255, 't'));
  fs::create_directory(long_temp);
  corvel::platform::SetEnvironmentValue("TMPDIR", long_temp);
  const std::string long_code(1500, 'C');
  ASSERT_EQ(kSwTagSuccess, SwTagStart("Corvel Studio", long_code.c_str(), "en_US", 0));
  const SwTagRecord* record = SwTagCurrentRecord();
  EXPECT_EQ(kTagPathSize - 1, std::string(record->mTagPath).size());
  EXPECT_EQ(0u, std::string(record->mTagPath).rfind(scratch.TagDir() + "/", 0));
  EXPECT_EQ(kTagPathSize - 1, std::string(record->mLocaleLessPath).size());
  for (const auto& [id, value] : TypicalFields()) SwTagSetField(id, value.c_str());
  EXPECT_EQ(kSwTagSuccess, SwTagWrite());
  EXPECT_EQ(kSwTagSuccess, SwTagEnd());
  // The file name is longer than any file system allows: nothing is written anywhere.
  EXPECT_TRUE(fs::is_empty(scratch.TagDir()));
  // A very long title is a value like any other.
  const std::string long_title(100000, 'T');
  ASSERT_EQ(kSwTagSuccess, RunPass(long_title, kCode, ""));
  EXPECT_EQ(long_title, XPathText(scratch.TagFile(kCode), "product_title"));
  EXPECT_TRUE(fs::is_empty(long_temp));
}

}  // namespace
}  // namespace corvel::swtag::test
