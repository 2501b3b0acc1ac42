#include "install_fixture.h"

#include <algorithm>
#include <filesystem>
#include <sstream>

namespace corvel::config::test {

namespace fs = std::filesystem;

InstallTest::InstallTest() { mHandle = Corvel_TAVLib_CreateRef(); }

InstallTest::~InstallTest() {
  if (mHandle != nullptr) Corvel_TAVLib_ReleaseRef(mHandle, 0);
}

std::string InstallTest::Write(const std::string& relative, const std::string& content) {
  std::string path = mScratch.Path(relative);
  fs::create_directories(fs::path(path).parent_path());
  EXPECT_TRUE(corvel::test::WriteWholeFile(path, content)) << path;
  return path;
}

std::string InstallTest::Read(const std::string& path) const {
  return corvel::test::ReadWholeFile(path).value_or("<unreadable>");
}

uint32_t InstallTest::Process(const char* config_path, const char* payload, const char* driver,
                              const char* override_directory) {
  return Corvel_TAVLib_Process_file(mHandle, config_path, payload, driver, override_directory);
}

uint32_t InstallTest::Remove(const char* payload) {
  return Corvel_TAVLib_Remove_payload(mHandle, payload);
}

StoreRows InstallTest::RowsOf(const std::string& subdomain) const {
  StoreRows all = Rows();
  StoreRows some;
  for (const StoreRow& row : all) {
    if (row.subdomain == subdomain) some.insert(row);
  }
  return some;
}

std::vector<std::string> InstallTest::LogMessages() const {
  std::vector<std::string> messages;
  std::istringstream lines(
      corvel::test::ReadWholeFile(mScratch.Path("tmp/tavlib.log")).value_or(""));
  const std::string marker = " TAVLib: ";
  for (std::string line; std::getline(lines, line);) {
    size_t at = line.find(marker);
    if (at != std::string::npos) messages.push_back(line.substr(at + marker.size()));
  }
  return messages;
}

bool InstallTest::Logged(const std::string& message) const {
  std::string flat = message;
  while (!flat.empty() && flat.back() == '\n') flat.pop_back();
  std::replace(flat.begin(), flat.end(), '\n', ' ');
  std::vector<std::string> messages = LogMessages();
  return std::find(messages.begin(), messages.end(), flat) != messages.end();
}

std::vector<std::string> InstallTest::DriverFilesLeft() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(mScratch.temp())) {
    std::string name = entry.path().filename().string();
    if (name.rfind("driver_", 0) == 0) names.push_back(name);
  }
  return names;
}

}  // namespace corvel::config::test
