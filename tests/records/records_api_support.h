// Shared set-up of the records tests that go through the C interface: a scratch folder with
// its own store and logs, an instance, and direct access to the store through the services
// library's entry points to see exactly what the operations wrote.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>

#include "corvel_tavlib.h"
#include "test_support.h"

namespace corvel::records::test {

// The store's whole content: "U|subdomain|key" (unprotected domain) or "P|subdomain|key"
// (protected domain) to value.
using StoreContents = std::map<std::string, std::string>;

class RecordsApiTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Releases the current instance with `commit` and creates a fresh one.
  void ReleaseAndRenew(int32_t commit);

  // Direct store access, bypassing the library.
  StoreContents Contents() const;
  std::optional<std::string> Stored(const std::string& subdomain, const std::string& key,
                                    bool unprotected = true) const;
  void Store(const std::string& subdomain, const std::string& key, const std::string& value,
             bool unprotected = true) const;

  // The main log as written so far ("" when it does not exist).
  std::string MainLog() const;
  // How many lines of the main log carry exactly this message.
  int LogCount(const std::string& message) const;
  bool Logged(const std::string& message) const;

  corvel::test::ScratchFolder mScratch;
  TAVLibHandle mHandle = nullptr;
};

// "U|subdomain|key", the StoreContents key of an unprotected value.
std::string Unprotected(const std::string& subdomain, const std::string& key);
std::string Protected(const std::string& subdomain, const std::string& key);

// Writes one value straight into the store; false when the store refuses it.
bool WriteStoreValue(const std::string& subdomain, const std::string& key, const std::string& value,
                     bool unprotected = true);

// Seconds since 1970, now.
int64_t NowSeconds();

}  // namespace corvel::records::test
