// Placement of tag files and the tag log: the tag directory and its failures, the log's
// marker and size rules and line form, links planted in the world-writable folders by an
// unprivileged user, and names longer than the path buffers.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <regex>

#include "platform/platform.h"
#include "swtag/swtag.h"
#include "swtag/swtag_entity.h"
#include "swtag/swtag_record.h"
#include "tag_test_support.h"

namespace corvel::swtag::test {
namespace {

using corvel::test::ReadWholeFile;
using corvel::test::RunAsUnprivileged;
using corvel::test::WriteWholeFile;
namespace fs = std::filesystem;

constexpr const char* kCode = "PRD-200";
constexpr const char* kMarker = "__SWTAG_LOG_FILE__";

class TagPlacementTest : public ::testing::Test {
 protected:
  TagScratch mScratch;
};

bool IsSymlink(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool IsRegular(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

TEST_F(TagPlacementTest, ATagDirectoryPathHoldingAFileGives260) {
  ASSERT_TRUE(WriteWholeFile(mScratch.TagDir(), "in the way"));
  EXPECT_EQ(SwTagStart("Corvel Studio", kCode, "", 0), kSwTagNoDirectory);
  EXPECT_EQ(SwTagSetField(2, "1.0"), kSwTagNoPass);
  EXPECT_EQ(SwTagEnd(), kSwTagNoPass);

  const std::string log = mScratch.ReadLog();
  const size_t not_dir =
      log.find("SWTAG: _info_: " + mScratch.TagDir() + " exists but is not a directory.\n");
  const size_t no_path = log.find(
      "SWTAG: _info_: Either ISO Path was not found or could not be created. No ISO tag files will "
      "be generated.\n");
  ASSERT_NE(not_dir, std::string::npos);
  ASSERT_NE(no_path, std::string::npos);
  EXPECT_LT(not_dir, no_path);
  EXPECT_EQ(ReadWholeFile(mScratch.TagDir()), "in the way");
}

TEST_F(TagPlacementTest, AMissingCommonDataFolderIsCreatedAndAFileThereFails) {
  const std::string common = mScratch.scratch().Path("fresh_common");
  corvel::platform::SetEnvironmentValue("CORVEL_COMMON_APPDATA", common);
  ASSERT_EQ(RunPass("Corvel Studio", kCode, "", TypicalFields()), kSwTagSuccess);
  EXPECT_TRUE(IsRegular(common + "/" + TagEntityRegid() + "/" + TagEntityRegid() + "_" + kCode +
                        ".swidtag"));

  const std::string blocked = mScratch.scratch().Path("a_file");
  ASSERT_TRUE(WriteWholeFile(blocked, ""));
  corvel::platform::SetEnvironmentValue("CORVEL_COMMON_APPDATA", blocked);
  EXPECT_EQ(RunPass("Corvel Studio", kCode, "", TypicalFields()), kSwTagNoDirectory);
  corvel::platform::SetEnvironmentValue("CORVEL_COMMON_APPDATA", blocked + "/below");
  EXPECT_EQ(RunPass("Corvel Studio", kCode, "", TypicalFields()), kSwTagNoDirectory);

  const std::string log = mScratch.ReadLog();
  EXPECT_NE(log.find("SWTAG: _info_: " + blocked + " exists but is not a directory.\n"),
            std::string::npos);
  EXPECT_NE(log.find("SWTAG: _info_: Could not find Corvel specific \"common files\" directory "
                     "used by ISO tag files. Either \"common files\" was not found or Corvel "
                     "folder could not be created.\n"),
            std::string::npos);
}

TEST_F(TagPlacementTest, LogLinesCarryTimeProcessAndModule) {
  ASSERT_EQ(RunPass("Corvel Studio", kCode, "de_DE", TypicalFields()), kSwTagSuccess);
  const std::string log = mScratch.ReadLog();
  const std::string prefix =
      R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \[)" + std::to_string(getpid()) + R"(\] SWTAG: _info_: )";
  EXPECT_TRUE(std::regex_search(log, std::regex("^" + prefix + kMarker + "\n")));
  EXPECT_TRUE(std::regex_search(
      log, std::regex(prefix + "Start SWTAGGING productName=Corvel Studio; licensingCode=" + kCode +
                      "; locale=de_DE; caller=0\n")));
  EXPECT_TRUE(
      std::regex_search(log, std::regex(prefix + "End SWTAGGING\n" + prefix +
                                        "==========================================\n\n\n$")));
  EXPECT_NE(log.find("Get privilege info for \"" + mScratch.LogPath() + "\" returned 0\n"),
            std::string::npos);
  struct stat st {};
  ASSERT_EQ(stat(mScratch.LogPath().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0666u);
}

TEST_F(TagPlacementTest, LogMarkerAndSizeRules) {
  const std::string path = mScratch.LogPath();
  auto first_line = [&] {
    const std::string log = mScratch.ReadLog();
    return log.substr(0, log.find('\n'));
  };

  // Unmarked: deleted and restarted with the marker.
  ASSERT_TRUE(WriteWholeFile(path, "someone else's file\n"));
  RunPass("Corvel Studio", kCode, "", TypicalFields());
  EXPECT_NE(first_line().find(kMarker), std::string::npos);
  EXPECT_EQ(CountOf(mScratch.ReadLog(), "someone else"), 0u);

  // A marker beyond the first 126 bytes of the first line does not count.
  ASSERT_TRUE(WriteWholeFile(path, std::string(110, 'x') + kMarker + "\nold line\n"));
  RunPass("Corvel Studio", kCode, "", TypicalFields());
  EXPECT_EQ(CountOf(mScratch.ReadLog(), "old line"), 0u);

  // Marked and exactly at the limit: appended to.
  std::string marked = std::string("2000-01-01 00:00:00 [1] SWTAG: _info_: ") + kMarker + "\n";
  const std::string at_limit = marked + std::string(256000 - marked.size() - 1, 'a') + "\n";
  ASSERT_TRUE(WriteWholeFile(path, at_limit));
  RunPass("Corvel Studio", kCode, "", TypicalFields());
  std::string log = mScratch.ReadLog();
  EXPECT_EQ(log.compare(0, at_limit.size(), at_limit), 0);
  EXPECT_EQ(CountOf(log, kMarker), 1u);

  // Marked and one byte above: emptied and restarted with the marker.
  ASSERT_TRUE(WriteWholeFile(path, at_limit + "b"));
  RunPass("Corvel Studio", kCode, "", TypicalFields());
  log = mScratch.ReadLog();
  EXPECT_LT(log.size(), 10000u);
  EXPECT_NE(first_line().find(kMarker), std::string::npos);
  EXPECT_EQ(CountOf(log, "Start SWTAGGING"), 1u);
}

TEST_F(TagPlacementTest, WithoutAUsableTemporaryFolderTaggingRunsWithoutALog) {
  const std::string long_temp = mScratch.scratch().Path(std::string(255, 't'));
  ASSERT_EQ(mkdir(long_temp.c_str(), 0777), 0);
  corvel::platform::SetEnvironmentValue("TMPDIR", long_temp);
  ASSERT_EQ(RunPass("Corvel Studio", kCode, "", TypicalFields()), kSwTagSuccess);
  EXPECT_TRUE(IsRegular(mScratch.TagFile(kCode)));
  EXPECT_TRUE(fs::is_empty(long_temp));
}

// A file outside the tag directory that a planted link points at, owned by root; its
// content starts like a marked log and is a complete tag, so that following the link would
// append to it or update it.
class PlantedLinkTest : public TagPlacementTest {
 protected:
  void SetUp() override {
    mTarget = mScratch.scratch().Path("precious.swidtag");
    ASSERT_EQ(RunPass("Victim", "VICTIM", "", TypicalFields()), kSwTagSuccess);
    mTargetText = ReadWholeFile(mScratch.TagFile("VICTIM")).value();
    ASSERT_TRUE(WriteWholeFile(mTarget, mTargetText));
    ASSERT_EQ(chmod(mTarget.c_str(), 0666), 0);  // writable for the link's owner's victim too
  }

  // Plants, as an unprivileged user, a symbolic link at `link` to the target.
  void PlantLink(const std::string& link) {
    const std::string target = mTarget;
    ASSERT_EQ(RunAsUnprivileged([&] { return symlink(target.c_str(), link.c_str()) == 0 ? 0 : 1; }),
              0);
    ASSERT_TRUE(IsSymlink(link));
  }

  void ExpectTargetUntouched() { EXPECT_EQ(ReadWholeFile(mTarget), mTargetText); }

  std::string mTarget;
  std::string mTargetText;
};

TEST_F(PlantedLinkTest, ALinkUnderTheLocaleLessNameIsNeverFollowed) {
  PlantLink(mScratch.TagFile(kCode));
  ASSERT_EQ(RunPass("Corvel Studio", kCode, "en_US", TypicalFields()), kSwTagSuccess);
  ExpectTargetUntouched();
  ASSERT_TRUE(IsRegular(mScratch.TagFile(kCode, "en_US")));
  EXPECT_EQ(XPathText(mScratch.TagFile(kCode, "en_US"), {"software_id", "unique_id"}),
            std::string(kCode) + "-en_US");
}

TEST_F(TagPlacementTest, NamesLongerThanThePathBuffersAreCutInsideTheTagDirectory) {
  const std::string long_code(1500, 'C');
  ASSERT_EQ(SwTagStart("Corvel Studio", long_code.c_str(), "en_US", 0), kSwTagSuccess);
  const SwTagRecord* record = SwTagCurrentRecord();
  ASSERT_NE(record, nullptr);
  const std::string tag_path = record->mTagPath;
  EXPECT_EQ(tag_path.size(), kTagPathSize - 1);
  EXPECT_EQ(tag_path.rfind(mScratch.TagDir() + "/", 0), 0u);
  EXPECT_EQ(std::string(record->mLocaleLessPath).size(), kTagPathSize - 1);
  for (const auto& [id, value] : TypicalFields()) SwTagSetField(id, value.c_str());
  EXPECT_EQ(SwTagWrite(), kSwTagSuccess);
  EXPECT_EQ(SwTagEnd(), kSwTagSuccess);
  // The file name is longer than any file system allows: nothing is written anywhere.
  EXPECT_TRUE(fs::is_empty(mScratch.TagDir()));

  // A very long title is a value like any other.
  const std::string long_title(100000, 'T');
  ASSERT_EQ(RunPass(long_title, kCode, "", TypicalFields()), kSwTagSuccess);
  EXPECT_EQ(XPathText(mScratch.TagFile(kCode), {"product_title"}), long_title);
}

}  // namespace
}  // namespace corvel::swtag::test
