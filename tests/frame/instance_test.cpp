// Instances through the C interface: deferred destruction, the main log's set-up and lines, and
// the commit at release.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "corvel_tavlib.h"
#include "test_support.h"

namespace corvel::frame {
namespace {

using corvel::test::WriteWholeFile;

constexpr char kMarker[] = "__TAVLIB_LOG_FILE__";

// The lines of a text, without their line ends.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The expected messages of a scenario, from its data file.
std::vector<std::string> Expected(const char* name) {
  return Lines(corvel::test::ReadWholeFile(std::string(FRAME_TEST_DATA "/") + name).value_or(""));
}

class InstanceTest : public ::testing::Test {
 protected:
  std::string LogPath() const { return scratch.temp() + "/tavlib.log"; }
  std::string LogText() const { return corvel::test::ReadWholeFile(LogPath()).value_or(""); }
  // The messages of the log's "TAVLib" lines, in file order.
  std::vector<std::string> Messages(size_t from_byte = 0) const {
    std::vector<std::string> messages;
    for (const std::string& line : Lines(LogText().substr(from_byte))) {
      const size_t at = line.find(" informational TAVLib: ");
      if (at != std::string::npos) messages.push_back(line.substr(at + 23));
    }
    return messages;
  }

  corvel::test::ScratchFolder scratch;
};

TEST_F(InstanceTest, MarkedLogIsExtendedAndAnyOtherStartedAfresh) {
  const struct {
    std::string content;
    bool kept;
  } cases[] = {
      // The marker ends exactly at the 127th character of the first line.
      {std::string(108, 'x') + kMarker + "\nan earlier session\n", true},
      {"foreign log line\nsecond foreign line\n", false},
      {"", false},
      {std::string(109, 'x') + kMarker + " foreign\n", false},
      {std::string("foreign\n") + kMarker + "\n", false},
      {std::string("foreign\r") + kMarker + "\n", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.content);
    ASSERT_TRUE(WriteWholeFile(LogPath(), c.content));
    Corvel_TAVLib_ReleaseRef(Corvel_TAVLib_CreateRef(), 0);
    // A kept log goes on after its text, without a second marker.
    const std::string kept = c.kept ? c.content : "";
    const std::vector<std::string> expected = Expected("one_session.txt");
    EXPECT_EQ(LogText().compare(0, kept.size(), kept), 0);
    EXPECT_EQ(LogText().find("foreign"), std::string::npos);
    EXPECT_EQ(Messages(kept.size()),
              std::vector<std::string>(expected.begin() + (c.kept ? 1 : 0), expected.end()));
  }
}

TEST_F(InstanceTest, LogIsSetUpOnlyWhenNoInstanceLivesAndObjectsGoWithTheLastOne) {
  // The log's path would not fit its 1024-byte buffer: the instance works without a log, and
  // the set-up is not spent on it.
  corvel::test::SetVariable("TMPDIR", scratch.temp() + "/" + std::string(1100, 'd'));
  TAVLibHandle first = Corvel_TAVLib_CreateRef();
  EXPECT_GT(Corvel_TAVLib_GetRefID(first), 0);
  Corvel_TAVLib_ReleaseRef(first, 0);
  corvel::test::SetVariable("TMPDIR", scratch.temp());
  EXPECT_EQ(LogText(), "");

  first = Corvel_TAVLib_CreateRef();
  // A foreign file under the log's name: a set-up would delete it. The second instance's
  // lines still reach it, through the first one's service.
  ASSERT_TRUE(WriteWholeFile(LogPath(), "foreign\n"));
  TAVLibHandle second = Corvel_TAVLib_CreateRef();
  Corvel_TAVLib_ReleaseRef(first, 1);  // commits at once but destroys nothing
  const std::vector<std::string> both = Expected("two_instances.txt");  // no marker: not set up
  EXPECT_EQ(Messages(), std::vector<std::string>(both.begin(), both.end() - 4));
  Corvel_TAVLib_ReleaseRef(second, 0);  // destroys both
  EXPECT_EQ(Messages(), both);
  EXPECT_EQ(LogText().substr(0, 8), "foreign\n");
  // With no instance left, the next one sets the log up again.
  Corvel_TAVLib_ReleaseRef(Corvel_TAVLib_CreateRef(), 0);
  EXPECT_EQ(Messages(), Expected("one_session.txt"));
}

TEST_F(InstanceTest, ChoosesTheLogFormatOncePerProcess) {
  // Another thread of the host may be reading the environment: it is written only once, at
  // the first set-up, and never again.
  corvel::test::SetVariable("ZEPLogFormat", "obscured");
  Corvel_TAVLib_ReleaseRef(Corvel_TAVLib_CreateRef(), 0);
  EXPECT_STREQ(getenv("ZEPLogFormat"), "clear");
  corvel::test::SetVariable("ZEPLogFormat", "host");
  Corvel_TAVLib_ReleaseRef(Corvel_TAVLib_CreateRef(), 0);
  EXPECT_STREQ(getenv("ZEPLogFormat"), "host");
}

// Every release logs the commit's bracket lines; only flag 1 opens the store. The tagging pass
// that the application data may request runs inside the commit, and only on a release with
// flag 1 (without a store, neither records nor tags are written: the call sequences' test).
TEST_F(InstanceTest, TaggingRunsOnlyWhenRequestedAndCommitted) {
  const struct {
    std::vector<int32_t> requests;  // one hand-over call each
    int32_t release_flag;
    bool tagged;
  } cases[] = {
      {{kTAVLibTaggingAtCommit}, 0, false},
      {{kTAVLibTaggingAtCommit}, 2, false},
      {{kTAVLibTaggingAtCommit}, -1, false},
      {{kTAVLibTaggingAtCommit}, 1, true},
      {{kTAVLibTaggingAtCommit, kTAVLibTaggingNone}, 1, true},
      {{kTAVLibTaggingNone}, 1, false},
      {{kTAVLibTaggingAtCommit, kTAVLibTaggingSuppressed}, 1, false},
      {{kTAVLibTaggingSuppressed, kTAVLibTaggingAtCommit}, 1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.requests.size() << " requests, flag " << c.release_flag);
    const size_t start = LogText().size();
    TAVLibHandle handle = Corvel_TAVLib_CreateRef();
    for (int32_t request : c.requests) {
      ASSERT_EQ(
          Corvel_TAVLib_SetApplicationData(handle, "DRV", "PRD", "DPRD", "en_US", "PAY", request),
          uint32_t{kTAVLibSuccess});
    }
    Corvel_TAVLib_ReleaseRef(handle, c.release_flag);
    EXPECT_TRUE(c.release_flag == 1 ||
                !std::filesystem::exists(scratch.pcd_db()));  // no row before opened it
    const std::vector<std::string> messages = Messages(start);
    const auto begin = std::find(messages.begin(), messages.end(), "TAVLibImpl::CommitPCD STARTED");
    const auto end = std::find(begin, messages.end(), "TAVLibImpl::CommitPCD ENDED");
    ASSERT_NE(end, messages.end());
    EXPECT_EQ(std::vector<std::string>(begin + 1, end),
              c.tagged ? Expected("tagging_in_commit.txt") : std::vector<std::string>());
  }
}

}  // namespace
}  // namespace corvel::frame
