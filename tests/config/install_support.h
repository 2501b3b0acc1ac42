// The fixture of the tests that install and remove payloads through the C interface: a
// scratch folder and an instance, with the store and the main log read back from outside.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "corvel_tavlib.h"
#include "store_snapshot.h"
#include "test_support.h"

namespace corvel::config::test {

using corvel::test::P;
using corvel::test::StoreRows;
using corvel::test::U;

// A file of the test data.
inline std::string Data(const std::string& name) {
  return corvel::test::ReadWholeFile(CORVEL_TEST_DATA "/" + name)
      .value_or("<missing " + name + ">");
}

class InstallTest : public ::testing::Test {
 protected:
  ~InstallTest() override { Corvel_TAVLib_ReleaseRef(mHandle, 0); }

  // Writes a file below the scratch root (creating its folders) and returns its path.
  std::string Write(const std::string& relative, const std::string& content) {
    const std::string path = mScratch.Path(relative);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    EXPECT_TRUE(corvel::test::WriteWholeFile(path, content)) << path;
    return path;
  }
  uint32_t Process(const std::string& config, const char* payload, const char* driver = "D",
                   const char* override_directory = nullptr) {
    return Corvel_TAVLib_Process_file(mHandle, config.c_str(), payload, driver, override_directory);
  }

  // The stored values, each "InstallDate" that holds a time since the test began written "(now)".
  StoreRows Stored() const {
    StoreRows rows;
    for (corvel::test::StoreRow row : corvel::test::ReadSnapshot(mScratch.pcd_db()).values) {
      const long long seconds = std::atoll(row.value.c_str());
      if (row.key == "InstallDate" && std::to_string(seconds) == row.value && seconds >= mStart &&
          seconds <= time(nullptr)) {
        row.value = "(now)";
      }
      rows.insert(row);
    }
    return rows;
  }
  // What the driver document stores for a payload.
  static StoreRows DriverRows(const std::string& payload, const std::string& driver,
                              const std::string& config) {
    return {P(payload, "DefaultDriverPayload", driver), P(payload, "InstallDate", "(now)"),
            P(payload, "ZEPConfigPath", config)};
  }

  // The main log's messages (what follows the time stamp and prefix), one per line.
  std::vector<std::string> Log() const {
    std::vector<std::string> messages;
    std::istringstream lines(
        corvel::test::ReadWholeFile(mScratch.temp() + "/tavlib.log").value_or(""));
    for (std::string line; std::getline(lines, line);) {
      const size_t at = line.find(" TAVLib: ");
      if (at != std::string::npos) messages.push_back(line.substr(at + 9));
    }
    return messages;
  }
  // Whether a message was logged.
  bool Logged(const std::string& message) const {
    const std::vector<std::string> messages = Log();
    return std::find(messages.begin(), messages.end(), message) != messages.end();
  }

  corvel::test::ScratchFolder mScratch;
  TAVLibHandle mHandle = Corvel_TAVLib_CreateRef();
  const long long mStart = time(nullptr);
};

}  // namespace corvel::config::test
