// The main log: a fresh file, a pre-existing file kept or discarded by its first line, the
// once-per-process set-up and its repetition after the only instance is gone.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "frame_test_support.h"

namespace corvel::frame_test {
namespace {

using MainLogTest = FrameTest;
using corvel::test::ReadWholeFile;
using corvel::test::WriteWholeFile;

std::string FirstLine(const std::string& text) {
  return text.substr(0, text.find_first_of("\r\n"));
}

TEST_F(MainLogTest, FreshFileStartsWithMarkerBannerAndVersion) {
  TAVLibHandle handle = Corvel_TAVLib_CreateRef();
  ASSERT_NE(handle, nullptr);
  const std::string text = LogText();
  EXPECT_NE(FirstLine(text).find(kMarker), std::string::npos) << text;
  const std::vector<std::string> messages = Messages();
  const std::vector<std::string> expected = {kMarker, kSessionStarts, kVersionLine};
  EXPECT_EQ(messages, expected);

  Corvel_TAVLib_ReleaseRef(handle, 0);
  const std::vector<std::string> all = Messages();
  const std::vector<std::string> expected_all = {kMarker,        kSessionStarts, kVersionLine,
                                                 kCommitStarted, kCommitEnded,   kSessionEnds};
  EXPECT_EQ(all, expected_all);
}

TEST_F(MainLogTest, MarkedFileIsKeptAndExtended) {
  // The marker ends exactly at the 127th character of the first line.
  const std::string first_line = std::string(108, 'x') + kMarker;
  ASSERT_EQ(first_line.size(), 127u);
  const std::string previous = first_line + "\nan earlier session\n";
  ASSERT_TRUE(WriteWholeFile(LogPath(), previous));

  TAVLibHandle handle = Corvel_TAVLib_CreateRef();
  Corvel_TAVLib_ReleaseRef(handle, 0);
  const std::string text = LogText();
  ASSERT_EQ(text.compare(0, previous.size(), previous), 0) << text;
  const std::vector<std::string> added = TavlibMessages(text.substr(previous.size()));
  const std::vector<std::string> expected = {kSessionStarts, kVersionLine, kCommitStarted,
                                             kCommitEnded, kSessionEnds};
  EXPECT_EQ(added, expected);
}

struct ForeignFile {
  const char* name;
  std::string content;
};

void PrintTo(const ForeignFile& file, std::ostream* out) { *out << file.name; }

class RejectedLogTest : public FrameTest, public ::testing::WithParamInterface<ForeignFile> {};

TEST_P(RejectedLogTest, IsDeletedAndStartedAfresh) {
  ASSERT_TRUE(WriteWholeFile(LogPath(), GetParam().content));
  TAVLibHandle handle = Corvel_TAVLib_CreateRef();
  ASSERT_NE(handle, nullptr);
  const std::string text = LogText();
  EXPECT_EQ(text.find("foreign"), std::string::npos) << text;
  EXPECT_NE(FirstLine(text).find(kMarker), std::string::npos) << text;
  const std::vector<std::string> expected = {kMarker, kSessionStarts, kVersionLine};
  EXPECT_EQ(Messages(), expected);
  Corvel_TAVLib_ReleaseRef(handle, 0);
}

INSTANTIATE_TEST_SUITE_P(
    FirstLines, RejectedLogTest,
    ::testing::Values(
        ForeignFile{"NoMarker", "foreign log line\nsecond foreign line\n"},
        ForeignFile{"Empty", ""},
        ForeignFile{"MarkerPastCharacter127", std::string(109, 'x') + kMarker + " foreign\n"},
        ForeignFile{"MarkerOnSecondLine", std::string("foreign\n") + kMarker + "\n"},
        ForeignFile{"MarkerAfterCarriageReturn", std::string("foreign\r") + kMarker + "\n"}),
    [](const ::testing::TestParamInfo<ForeignFile>& info) { return info.param.name; });

TEST_F(MainLogTest, SecondInstanceLeavesTheFileSetUpAlone) {
  TAVLibHandle first = Corvel_TAVLib_CreateRef();
  ASSERT_NE(first, nullptr);
  // A foreign file under the log's name: a set-up would delete it and mark a fresh one.
  ASSERT_TRUE(WriteWholeFile(LogPath(), "foreign\n"));

  TAVLibHandle second = Corvel_TAVLib_CreateRef();
  ASSERT_NE(second, nullptr);
  const std::string text = LogText();
  EXPECT_EQ(text.substr(0, 8), "foreign\n") << text;
  // The second instance's lines still reach the log, through the first one's service.
  const std::vector<std::string> expected = {kSessionStarts, kVersionLine};
  EXPECT_EQ(TavlibMessages(text), expected);

  Corvel_TAVLib_ReleaseRef(first, 0);
  Corvel_TAVLib_ReleaseRef(second, 0);
  EXPECT_EQ(LogText().substr(0, 8), "foreign\n");
}

TEST_F(MainLogTest, SetUpRunsAgainAfterTheOnlyInstanceIsGone) {
  Corvel_TAVLib_ReleaseRef(Corvel_TAVLib_CreateRef(), 0);
  ASSERT_TRUE(WriteWholeFile(LogPath(), "foreign\n"));

  TAVLibHandle next = Corvel_TAVLib_CreateRef();
  EXPECT_EQ(Corvel_TAVLib_GetRefID(next), 2);
  const std::vector<std::string> expected = {kMarker, kSessionStarts, kVersionLine};
  EXPECT_EQ(Messages(), expected);
  Corvel_TAVLib_ReleaseRef(next, 0);
}

TEST_F(MainLogTest, TooLongTemporaryFolderSkipsLoggingUntilItIsUsable) {
  // The log's path would not fit its 1024-byte buffer: the instance works without a log.
  setenv("TMPDIR", (scratch.temp() + "/" + std::string(1100, 'd')).c_str(), 1);
  TAVLibHandle first = Corvel_TAVLib_CreateRef();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(Corvel_TAVLib_GetRefID(first), 1);
  Corvel_TAVLib_ReleaseRef(first, 0);
  EXPECT_TRUE(LogText().empty());

  // The set-up was not spent on it: the next instance sets logging up.
  setenv("TMPDIR", scratch.temp().c_str(), 1);
  TAVLibHandle second = Corvel_TAVLib_CreateRef();
  const std::vector<std::string> expected = {kMarker, kSessionStarts, kVersionLine};
  EXPECT_EQ(Messages(), expected);
  Corvel_TAVLib_ReleaseRef(second, 0);
}

TEST_F(MainLogTest, ChoosesTheLogFormatOncePerProcess) {
  // Another thread of the host may be reading the environment: it is written only once, at
  // the first set-up, and never again.
  setenv("ZEPLogFormat", "obscured", 1);
  Corvel_TAVLib_ReleaseRef(Corvel_TAVLib_CreateRef(), 0);
  EXPECT_STREQ(getenv("ZEPLogFormat"), "clear");
  setenv("ZEPLogFormat", "host", 1);
  Corvel_TAVLib_ReleaseRef(Corvel_TAVLib_CreateRef(), 0);
  EXPECT_STREQ(getenv("ZEPLogFormat"), "host");
}

}  // namespace
}  // namespace corvel::frame_test
