// The fixture of the frame tests: a scratch folder per test (temporary folder, store file and
// debugger output inside it) and readers of the main log and the debugger output. The tests
// reach the library through its C interface only.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "corvel_tavlib.h"
#include "test_support.h"

namespace corvel::frame_test {

inline constexpr char kMarker[] = "__TAVLIB_LOG_FILE__";
inline constexpr char kSessionStarts[] = "*************TAVLib Session Starts*************";
inline constexpr char kSessionEnds[] = "*************TAVLib Session Ends*************";
inline constexpr char kVersionLine[] = "Version 3.0.0.10,3.0";
inline constexpr char kCommitStarted[] = "TAVLibImpl::CommitPCD STARTED";
inline constexpr char kCommitEnded[] = "TAVLibImpl::CommitPCD ENDED";

// The lines of a text, without their line ends; empty lines dropped.
std::vector<std::string> SplitLines(const std::string& text);

// The messages of the main log's "TAVLib" lines, in file order.
std::vector<std::string> TavlibMessages(const std::string& logText);

size_t CountOf(const std::vector<std::string>& lines, const std::string& line);

// Whether the services library is loaded into this process now.
bool ServicesLibraryMapped();

class FrameTest : public ::testing::Test {
 protected:
  std::string LogPath() const { return scratch.temp() + "/tavlib.log"; }
  // The whole log file; empty when there is none.
  std::string LogText() const;
  std::vector<std::string> Messages() const { return TavlibMessages(LogText()); }
  std::vector<std::string> DebugLines() const;
  bool StoreFileExists() const;

  corvel::test::ScratchFolder scratch;
};

}  // namespace corvel::frame_test
