#include "hostile_fixture.h"

#include <array>
#include <filesystem>

namespace corvel::hostile {

std::string Label(const Arg& arg) {
  if (!arg) return "(null)";
  return ::testing::PrintToString(arg->substr(0, 40)) +
         (arg->size() > 40 ? "...(" + std::to_string(arg->size()) + " bytes)" : "");
}

std::string Rc4Hex(const std::string& plain, const std::string& key) {
  std::array<unsigned char, 256> s{};
  for (int i = 0; i < 256; ++i) s[i] = static_cast<unsigned char>(i);
  const size_t key_length = std::min<size_t>(key.size(), 256);
  for (int i = 0, j = 0; i < 256; ++i) {
    j = (j + s[i] + static_cast<unsigned char>(key[i % key_length])) & 0xff;
    std::swap(s[i], s[j]);
  }
  std::string hex;
  for (int i = 0, j = 0, n = 0; n < static_cast<int>(plain.size()); ++n) {
    i = (i + 1) & 0xff;
    j = (j + s[i]) & 0xff;
    std::swap(s[i], s[j]);
    const auto byte = static_cast<unsigned char>(plain[n] ^ s[(s[i] + s[j]) & 0xff]);
    hex += "0123456789ABCDEF"[byte >> 4];
    hex += "0123456789ABCDEF"[byte & 0xf];
  }
  return hex;
}

void HostileCallerTest::SetUp() {
  mDatabase = mScratch.pcd_db();
  mHandle = Corvel_TAVLib_CreateRef();
  ASSERT_NE(mHandle, nullptr);
  // Something in both domains that no hostile call may touch.
  const std::string path = WriteDocument("base.xml", "Base");
  ASSERT_EQ(Corvel_TAVLib_Process_file(mHandle, path.c_str(), "BASE-PAYLOAD", nullptr, nullptr),
            kTAVLibSuccess);
  ASSERT_EQ(Corvel_TAVLib_SetValueforKeyInSubDomainInCache(mHandle, 1, "Planted", "kept",
                                                           "BASE-PAYLOAD", false),
            kTAVLibSuccess);
  mLast = ReadSnapshot(mDatabase);
  ASSERT_EQ(mLast.values.size(), 6u) << Describe(mLast.values);
}

void HostileCallerTest::TearDown() {
  if (mHandle != nullptr) Corvel_TAVLib_ReleaseRef(mHandle, 0);
}

std::string HostileCallerTest::MainLog() const {
  return ReadWholeFile(mScratch.temp() + "/tavlib.log").value_or("");
}

std::string HostileCallerTest::WriteDocument(const std::string& file, const std::string& name) {
  const std::string path = mScratch.Path(file);
  EXPECT_TRUE(WriteWholeFile(path,
                             "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Configuration>\n"
                             "  <Payload corvelCode=\"\">\n    <Data key=\"Name\">" +
                                 name +
                                 "</Data>\n    <Data key=\"Open\" protected=\"0\">yes</Data>\n"
                                 "  </Payload>\n</Configuration>\n"));
  return path;
}

void HostileCallerTest::ExpectStoreChange(const StoreRows& added, const StoreRows& removed) {
  EXPECT_EQ(IntegrityCheck(mDatabase), "ok");
  EXPECT_FALSE(std::filesystem::exists(mDatabase + "-journal"))
      << "a store transaction was left open";
  StoreSnapshot now = ReadSnapshot(mDatabase);
  const StoreRows expected = Applied(mLast.values, removed, added);
  EXPECT_TRUE(now.values == expected) << Difference(expected, now.values);
  EXPECT_TRUE(now.other_tables == mLast.other_tables) << "a table besides the values changed";
  mLast = std::move(now);
}

void HostileCallerTest::Renew(int32_t commit) {
  Corvel_TAVLib_ReleaseRef(mHandle, commit);
  mHandle = Corvel_TAVLib_CreateRef();
  ASSERT_NE(mHandle, nullptr);
}

}  // namespace corvel::hostile
