// The commit at release and the application-data hand-over.
#include <algorithm>
#include <ostream>
#include <vector>

#include "frame_test_support.h"

namespace corvel::frame_test {
namespace {

using CommitTest = FrameTest;
using corvel::test::WriteWholeFile;

std::vector<std::string> Between(const std::vector<std::string>& messages, const std::string& first,
                                 const std::string& last) {
  auto begin = std::find(messages.begin(), messages.end(), first);
  auto end = std::find(begin, messages.end(), last);
  if (begin == messages.end() || end == messages.end()) return {"<bracket lines missing>"};
  return std::vector<std::string>(begin + 1, end);
}

TEST_F(CommitTest, OnlyFlagOneOpensTheStore) {
  for (int32_t flag : {0, 2, -1}) {
    Corvel_TAVLib_ReleaseRef(Corvel_TAVLib_CreateRef(), flag);
    EXPECT_FALSE(StoreFileExists()) << "flag " << flag;
  }
  Corvel_TAVLib_ReleaseRef(Corvel_TAVLib_CreateRef(), 1);
  EXPECT_TRUE(StoreFileExists());
  EXPECT_EQ(CountOf(Messages(), kCommitStarted), 4u);
  EXPECT_EQ(CountOf(Messages(), kCommitEnded), 4u);
}

TEST_F(CommitTest, UnopenableStoreLogsOnlyTheBracketLines) {
  // A file where the store's folder should be: the store cannot be created.
  ASSERT_TRUE(WriteWholeFile(scratch.Path("blocker"), "not a folder\n"));
  setenv("ZEP_PCD_DB", scratch.Path("blocker/pcd.db").c_str(), 1);

  // Every record the commit writes, a payload to clean up and a tagging request.
  TAVLibHandle handle = Corvel_TAVLib_CreateRef();
  const uint32_t ok = kTAVLibSuccess;
  ASSERT_EQ(Corvel_TAVLib_Set_Eula(handle, "fr_FR", "PRD"), ok);
  ASSERT_EQ(Corvel_TAVLib_Set_InstallLocale(handle, "fr_FR", "PRD"), ok);
  ASSERT_EQ(Corvel_TAVLib_SetCorvelId(handle, "PRD"), ok);
  ASSERT_EQ(Corvel_TAVLib_SaveCorvelId(handle, "account-1"), ok);
  ASSERT_EQ(Corvel_TAVLib_SetCorvelIdExtProfile(handle, "PRD"), ok);
  ASSERT_EQ(Corvel_TAVLib_CleanUpCachePCD(handle, "PAY"), ok);
  ASSERT_EQ(Corvel_TAVLib_SetApplicationData(handle, "DRV", "PRD", "", "en_US", "PAY",
                                             kTAVLibTaggingAtCommit),
            ok);
  Corvel_TAVLib_ReleaseRef(handle, 1);
  const std::vector<std::string> messages = Messages();
  EXPECT_EQ(CountOf(messages, kCommitStarted), 1u);
  EXPECT_TRUE(Between(messages, kCommitStarted, kCommitEnded).empty());
  EXPECT_EQ(messages.back(), kSessionEnds);
}

TEST_F(CommitTest, ApplicationDataIsCheckedThenTakenWhole) {
  TAVLibHandle handle = Corvel_TAVLib_CreateRef();
  const uint32_t invalid = kTAVLibInvalidArgument;
  EXPECT_EQ(Corvel_TAVLib_SetApplicationData(handle, nullptr, "PRD", "", "", "", 0), invalid);
  EXPECT_EQ(Corvel_TAVLib_SetApplicationData(handle, "DRV", "", "", "", "", 0), invalid);
  EXPECT_EQ(Corvel_TAVLib_SetApplicationData(handle, "DRV", "PRD", "", "", "", 3), invalid);
  EXPECT_EQ(Corvel_TAVLib_SetApplicationData(handle, "DRV", "PRD", "", "", "", -1), invalid);
  EXPECT_EQ(CountOf(Messages(), "TAVLIB SetApplicationData: Invalid in params specified."), 4u);
  EXPECT_EQ(CountOf(Messages(), "TAVLIB SetApplicationData: Ended."), 0u);

  EXPECT_EQ(Corvel_TAVLib_SetApplicationData(handle, "DRV1", "PRD1", "DPRD1", "fr_FR", "PAY1",
                                             kTAVLibTaggingSuppressed),
            uint32_t{kTAVLibSuccess});
  // Missing optional values fall back to their defaults and replace the earlier ones.
  EXPECT_EQ(Corvel_TAVLib_SetApplicationData(handle, "DRV2", "PRD2", nullptr, nullptr, "",
                                             kTAVLibTaggingAtCommit),
            uint32_t{kTAVLibSuccess});
  const std::vector<std::string> messages = Messages();
  EXPECT_EQ(CountOf(messages,
                    "TAVLIB SetApplicationData: driverCode = DRV1, appProductId = PRD1, "
                    "driverProductId = DPRD1, appLocale = fr_FR, payloadCode = PAY1, tagging = 2"),
            1u);
  EXPECT_EQ(CountOf(messages,
                    "TAVLIB SetApplicationData: driverCode = DRV2, appProductId = PRD2, "
                    "driverProductId = , appLocale = en_US, payloadCode = , tagging = 1"),
            1u);
  EXPECT_EQ(CountOf(messages, "TAVLIB SetApplicationData: Ended."), 2u);
  Corvel_TAVLib_ReleaseRef(handle, 0);
}

// The tagging pass that the application data may request runs inside the commit, after the
// records, and only on a release with flag 1 whose store could be opened.
struct TaggingCase {
  const char* name;
  std::vector<int32_t> requests;  // one hand-over call each
  int32_t releaseFlag;
  bool storeOpens;
  bool tagged;
};

void PrintTo(const TaggingCase& c, std::ostream* out) { *out << c.name; }

class CommitTaggingTest : public FrameTest, public ::testing::WithParamInterface<TaggingCase> {};

TEST_P(CommitTaggingTest, RunsOnlyWhenRequestedCommittedAndStored) {
  const TaggingCase& c = GetParam();
  if (!c.storeOpens) {
    ASSERT_TRUE(WriteWholeFile(scratch.Path("blocker"), "not a folder\n"));
    setenv("ZEP_PCD_DB", scratch.Path("blocker/pcd.db").c_str(), 1);
  }
  TAVLibHandle handle = Corvel_TAVLib_CreateRef();
  for (int32_t request : c.requests) {
    ASSERT_EQ(
        Corvel_TAVLib_SetApplicationData(handle, "DRV", "PRD", "DPRD", "en_US", "PAY", request),
        uint32_t{kTAVLibSuccess});
  }
  Corvel_TAVLib_ReleaseRef(handle, c.releaseFlag);

  const std::vector<std::string> in_commit = Between(Messages(), kCommitStarted, kCommitEnded);
  const bool tagged = !in_commit.empty() && in_commit.front() == "TAVLibImpl::DoISOTagging STARTED";
  EXPECT_EQ(tagged, c.tagged);
  if (c.tagged) {
    EXPECT_EQ(in_commit.back(), "TAVLibImpl::DoISOTagging ENDED");
    EXPECT_EQ(CountOf(in_commit, "TAVLibImpl::DoISOTagging mAppRunningLEID = PRD"), 1u);
  } else {
    EXPECT_TRUE(in_commit.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Requests, CommitTaggingTest,
    ::testing::Values(
        TaggingCase{"Requested", {kTAVLibTaggingAtCommit}, 1, true, true},
        TaggingCase{
            "RequestKeptByLaterCall", {kTAVLibTaggingAtCommit, kTAVLibTaggingNone}, 1, true, true},
        TaggingCase{"NotRequested", {kTAVLibTaggingNone}, 1, true, false},
        TaggingCase{"SuppressedAfterRequest",
                    {kTAVLibTaggingAtCommit, kTAVLibTaggingSuppressed},
                    1,
                    true,
                    false},
        TaggingCase{"RequestAfterSuppression",
                    {kTAVLibTaggingSuppressed, kTAVLibTaggingAtCommit},
                    1,
                    true,
                    false},
        TaggingCase{"ReleasedWithoutCommit", {kTAVLibTaggingAtCommit}, 0, true, false},
        TaggingCase{"ReleasedWithFlagTwo", {kTAVLibTaggingAtCommit}, 2, true, false},
        TaggingCase{"StoreCannotOpen", {kTAVLibTaggingAtCommit}, 1, false, false}),
    [](const ::testing::TestParamInfo<TaggingCase>& info) { return info.param.name; });

}  // namespace
}  // namespace corvel::frame_test
