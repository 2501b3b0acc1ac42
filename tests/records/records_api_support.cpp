#include "records_api_support.h"

#include <ctime>

#include "zepservices.h"

namespace corvel::records::test {

namespace {

// A store handle of the services library, given back at scope exit.
class DirectStore {
 public:
  DirectStore() : mHandle(C_ZEPPCDServiceCreate()) {}
  ~DirectStore() {
    if (mHandle != nullptr) C_ZEPRelease(mHandle);
  }
  DirectStore(const DirectStore&) = delete;
  DirectStore& operator=(const DirectStore&) = delete;
  ZEPHandle get() const { return mHandle; }

 private:
  ZEPHandle mHandle;
};

int CollectRow(void* context, bool unprotected, const char* subdomain, const char* key,
               const char* value) {
  auto* contents = static_cast<StoreContents*>(context);
  (*contents)[unprotected ? Unprotected(subdomain, key) : Protected(subdomain, key)] = value;
  return 0;
}

}  // namespace

std::string Unprotected(const std::string& subdomain, const std::string& key) {
  return "U|" + subdomain + "|" + key;
}

std::string Protected(const std::string& subdomain, const std::string& key) {
  return "P|" + subdomain + "|" + key;
}

bool WriteStoreValue(const std::string& subdomain, const std::string& key, const std::string& value,
                     bool unprotected) {
  DirectStore store;
  return store.get() != nullptr &&
         C_ZEPPCDServiceSetValueForKeyInSubDomain(store.get(), value.c_str(), key.c_str(),
                                                  subdomain.c_str(), unprotected) == 0;
}

int64_t NowSeconds() { return static_cast<int64_t>(std::time(nullptr)); }

void RecordsApiTest::SetUp() {
  mHandle = Corvel_TAVLib_CreateRef();
  ASSERT_NE(mHandle, nullptr);
}

void RecordsApiTest::TearDown() {
  if (mHandle != nullptr) Corvel_TAVLib_ReleaseRef(mHandle, 0);
  mHandle = nullptr;
}

void RecordsApiTest::ReleaseAndRenew(int32_t commit) {
  Corvel_TAVLib_ReleaseRef(mHandle, commit);
  mHandle = Corvel_TAVLib_CreateRef();
  ASSERT_NE(mHandle, nullptr);
}

StoreContents RecordsApiTest::Contents() const {
  StoreContents contents;
  DirectStore store;
  EXPECT_NE(store.get(), nullptr);
  EXPECT_EQ(C_ZEPPCDServiceEnumerate(store.get(), nullptr, CollectRow, &contents), 0u);
  return contents;
}

std::optional<std::string> RecordsApiTest::Stored(const std::string& subdomain,
                                                  const std::string& key, bool unprotected) const {
  const StoreContents contents = Contents();
  const auto found =
      contents.find(unprotected ? Unprotected(subdomain, key) : Protected(subdomain, key));
  if (found == contents.end()) return std::nullopt;
  return found->second;
}

void RecordsApiTest::Store(const std::string& subdomain, const std::string& key,
                           const std::string& value, bool unprotected) const {
  ASSERT_TRUE(WriteStoreValue(subdomain, key, value, unprotected));
}

std::string RecordsApiTest::MainLog() const {
  return corvel::test::ReadWholeFile(mScratch.temp() + "/tavlib.log").value_or("");
}

int RecordsApiTest::LogCount(const std::string& message) const {
  // Each line ends in "<component>: <message>" and a line feed.
  const std::string line_end = "TAVLib: " + message + "\n";
  const std::string log = MainLog();
  int count = 0;
  for (size_t at = log.find(line_end); at != std::string::npos; at = log.find(line_end, at + 1))
    ++count;
  return count;
}

bool RecordsApiTest::Logged(const std::string& message) const { return LogCount(message) > 0; }

}  // namespace corvel::records::test
