// Shared set-up of the tests that reach the secure preferences through the C interface: a
// scratch folder per test (its own store, logs and preference folders) and readers of what
// the library left on disk.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <optional>
#include <string>

#include "corvel_tavlib.h"
#include "test_support.h"

namespace corvel::prefs::test {

class PrefsApiTest : public ::testing::Test {
 protected:
  std::string UserFolder() const { return mScratch.local_appdata() + "/Corvel/TAV"; }
  std::string UserFile() const { return UserFolder() + "/securePrefs.xml"; }
  std::string UserFileText() const { return corvel::test::ReadWholeFile(UserFile()).value_or(""); }
  // The main log as written so far ("" when it does not exist).
  std::string MainLog() const {
    return corvel::test::ReadWholeFile(mScratch.temp() + "/tavlib.log").value_or("");
  }
  bool MainLogHas(const std::string& line) const {
    return MainLog().find(line + "\n") != std::string::npos;
  }
  // The preferences log's raw bytes ("" when it does not exist).
  std::string PrefsLogBytes() const {
    return corvel::test::ReadWholeFile(mScratch.temp() + "/Velmo.log").value_or("");
  }
  // Permission bits of a path; nullopt when it does not exist.
  static std::optional<unsigned> Mode(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return std::nullopt;
    return static_cast<unsigned>(info.st_mode & 07777);
  }

  // The value the export reads, size first; nullopt with the failing result in *result.
  static std::optional<std::string> Read(const char* domain, const char* key,
                                         int32_t* result = nullptr, const char* path = nullptr) {
    uint32_t size = 0;
    int32_t status = Corvel_TAVLib_GetSecurePreference(domain, key, nullptr, &size, path);
    std::string value;
    if (status == kTAVLibPrefSuccess) {
      value.assign(size, '\x7f');
      status = Corvel_TAVLib_GetSecurePreference(domain, key, value.data(), &size, path);
    }
    if (result != nullptr) *result = status;
    if (status != kTAVLibPrefSuccess) return std::nullopt;
    EXPECT_EQ(value.back(), '\0');
    value.pop_back();
    return value;
  }

  corvel::test::ScratchFolder mScratch;
};

}  // namespace corvel::prefs::test
