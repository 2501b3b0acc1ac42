// The fixture of the tests that install and uninstall payloads through the C interface
// against the real store, in a scratch folder of their own.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "corvel_tavlib.h"
#include "store_rows.h"
#include "test_support.h"

namespace corvel::config::test {

class InstallTest : public ::testing::Test {
 protected:
  InstallTest();
  ~InstallTest() override;

  // Writes a file (folders below the scratch root are created) and returns its path.
  std::string Write(const std::string& relative, const std::string& content);
  std::string Read(const std::string& path) const;

  uint32_t Process(const char* config_path, const char* payload, const char* driver,
                   const char* override_directory);
  uint32_t Process(const std::string& config_path, const char* payload, const char* driver,
                   const char* override_directory) {
    return Process(config_path.c_str(), payload, driver, override_directory);
  }
  uint32_t Remove(const char* payload);

  StoreRows Rows() const { return ReadStoreRows(mScratch.pcd_db()); }
  // The rows of one subdomain (both domains).
  StoreRows RowsOf(const std::string& subdomain) const;
  // The messages of the main log so far, one per line, without time stamp and prefix.
  std::vector<std::string> LogMessages() const;
  // Whether some log message equals `message` (line breaks written as blanks, trailing
  // ones dropped, as the logger does).
  bool Logged(const std::string& message) const;
  // Names of "driver_" files left in the temporary folder.
  std::vector<std::string> DriverFilesLeft() const;

  corvel::test::ScratchFolder mScratch;
  TAVLibHandle mHandle = nullptr;
};

}  // namespace corvel::config::test
