#include "frame_test_support.h"

#include <sys/stat.h>

#include <algorithm>
#include <sstream>

namespace corvel::frame_test {

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  std::istringstream in(text);
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> TavlibMessages(const std::string& logText) {
  // A logger line: "<date> <time> <process id> <level name> <component>: <message>".
  static const std::string kComponent = " informational TAVLib: ";
  std::vector<std::string> messages;
  for (const std::string& line : SplitLines(logText)) {
    const size_t at = line.find(kComponent);
    if (at != std::string::npos) messages.push_back(line.substr(at + kComponent.size()));
  }
  return messages;
}

size_t CountOf(const std::vector<std::string>& lines, const std::string& line) {
  return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
}

bool ServicesLibraryMapped() {
  const std::string maps = corvel::test::ReadWholeFile("/proc/self/maps").value_or("");
  return maps.find("/libzepservices.so") != std::string::npos;
}

std::string FrameTest::LogText() const {
  return corvel::test::ReadWholeFile(LogPath()).value_or("");
}

std::vector<std::string> FrameTest::DebugLines() const {
  return SplitLines(corvel::test::ReadWholeFile(scratch.debug_output()).value_or(""));
}

bool FrameTest::StoreFileExists() const {
  struct stat info;
  return stat(scratch.pcd_db().c_str(), &info) == 0;
}

}  // namespace corvel::frame_test
