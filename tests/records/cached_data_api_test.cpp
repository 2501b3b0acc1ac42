// Cached data by subdomain, through the C interface against the real store.
#include <cstdlib>
#include <string>

#include "records_api_support.h"

namespace corvel::records::test {
namespace {

using CachedDataTest = RecordsApiTest;

uint32_t Set(TAVLibHandle h, int32_t type, const char* key, const char* value, const char* sub,
             bool obfuscate) {
  return Corvel_TAVLib_SetValueforKeyInSubDomainInCache(h, type, key, value, sub, obfuscate);
}

uint32_t Get(TAVLibHandle h, const char** out, const char* key, const char* sub,
             bool deobfuscate = false, int32_t domain = 1, int32_t capacity = 512) {
  return Corvel_TAVLib_GetValueforKeyInSubDomain(h, out, capacity, key, sub, domain, deobfuscate);
}

TEST_F(CachedDataTest, ObfuscatedRoundTripRawReadAndEmptyValues) {
  ASSERT_EQ(Set(mHandle, 0, "Secret", "abc", "SUB-1", true), 0u);
  const StoreContents contents = Contents();
  ASSERT_EQ(contents.size(), 1u);
  const std::string stored = contents.at(Unprotected("SUB-1", "Secret"));
  EXPECT_EQ(stored.size(), 6u);
  EXPECT_EQ(stored.find_first_not_of("0123456789ABCDEF"), std::string::npos) << stored;

  const char* value = nullptr;
  ASSERT_EQ(Get(mHandle, &value, "Secret", "SUB-1", true), 0u);
  EXPECT_STREQ(value, "abc");
  ASSERT_EQ(Get(mHandle, &value, "Secret", "SUB-1"), 0u);
  EXPECT_EQ(value, stored);
  EXPECT_TRUE(Logged("Obfuscated!") && Logged("DeObfuscated!"));

  // Empty values write nothing; a stored empty value leaves the caller's pointer alone.
  EXPECT_EQ(Set(mHandle, 0, "Empty", "", "SUB-1", false), 0u);
  EXPECT_EQ(Set(mHandle, 0, "Empty", "", "SUB-1", true), 0u);
  EXPECT_EQ(Contents().size(), 1u);
  Store("SUB-1", "Empty", "");
  const char* sentinel = "caller's";
  value = sentinel;
  EXPECT_EQ(Get(mHandle, &value, "Empty", "SUB-1"), 0u);
  EXPECT_EQ(Get(mHandle, &value, "Empty", "SUB-1", true), 0u);
  EXPECT_EQ(value, sentinel);
}

TEST_F(CachedDataTest, TypesDomainsAndReadCapacity) {
  ASSERT_EQ(Set(mHandle, 0, "K0", "zero", "SUB", false), 0u);
  ASSERT_EQ(Set(mHandle, 1, "K1", std::string(600, 'x').c_str(), "SUB", false), 0u);
  EXPECT_EQ(Set(mHandle, 2, "K2", "two", "SUB", false), 9u);
  EXPECT_EQ(Set(mHandle, -1, "K2", "two", "SUB", false), 9u);
  EXPECT_EQ(Contents(), (StoreContents{{Unprotected("SUB", "K0"), "zero"},
                                       {Unprotected("SUB", "K1"), std::string(600, 'x')}}));
  EXPECT_EQ(LogCount("TAVLIB SetValueforKeyInSubDomainInCache: inSubDomainType not specified !"),
            2);

  // Selector 0 reads the protected domain, any other value the unprotected one.
  Store("SUB", "K0", "protected zero", false);
  const char* value = nullptr;
  ASSERT_EQ(Get(mHandle, &value, "K0", "SUB", false, 0), 0u);
  EXPECT_STREQ(value, "protected zero");
  ASSERT_EQ(Get(mHandle, &value, "K0", "SUB", false, 7), 0u);
  EXPECT_STREQ(value, "zero");
  const char* sentinel = "caller's";
  value = sentinel;
  EXPECT_EQ(Get(mHandle, &value, "K1", "SUB", false, 0), 10u);
  EXPECT_EQ(value, sentinel);
  EXPECT_TRUE(Logged("Failed to Get the value!"));

  // The capacity limits the read; above 512 it is clamped, below 1 refused.
  ASSERT_EQ(Get(mHandle, &value, "K1", "SUB", false, 1, 4), 0u);
  EXPECT_STREQ(value, "xxx");
  ASSERT_EQ(Get(mHandle, &value, "K1", "SUB", false, 1, 1 << 30), 0u);
  EXPECT_EQ(std::string(value), std::string(511, 'x'));
  EXPECT_EQ(Get(mHandle, &value, "K1", "SUB", false, 1, 0), 9u);
  EXPECT_EQ(Get(mHandle, &value, "K1", "SUB", false, 1, -512), 9u);
}

TEST_F(CachedDataTest, RemovalOfPresentAbsentAndMistypedKeys) {
  Store("SUB", "K", "v");
  Store("SUB", "K", "protected", false);
  EXPECT_EQ(Corvel_TAVLib_RemoveKeyInSubDomainInCache(mHandle, 2, "K", "SUB"), 9u);
  EXPECT_FALSE(Logged("TAVLIB RemoveKeyInSubDomainInCache: ENDED"));
  EXPECT_EQ(Corvel_TAVLib_RemoveKeyInSubDomainInCache(mHandle, 0, "K", "SUB"), 0u);
  EXPECT_EQ(Contents(), (StoreContents{{Protected("SUB", "K"), "protected"}}));
  EXPECT_TRUE(Logged("TAVLIB RemoveKeyInSubDomainInCache: Key Successfully removed !"));
  EXPECT_EQ(Corvel_TAVLib_RemoveKeyInSubDomainInCache(mHandle, 1, "K", "SUB"), 0u);
  EXPECT_TRUE(Logged("TAVLIB RemoveKeyInSubDomainInCache: Error in removing Key !"));
  EXPECT_EQ(LogCount("TAVLIB RemoveKeyInSubDomainInCache: ENDED"), 2);
}

TEST_F(CachedDataTest, BadArgumentsAreRefusedAndWriteNothing) {
  const char* bad = "ab\xC3(";  // ill-formed UTF-8
  const std::string plain_511(511, 'p'), plain_512(512, 'p');
  EXPECT_EQ(Set(mHandle, 0, nullptr, "v", "SUB", false), 9u);
  EXPECT_EQ(Set(mHandle, 0, "K", nullptr, "SUB", false), 9u);
  EXPECT_EQ(Set(mHandle, 0, "K", "v", nullptr, false), 9u);
  EXPECT_EQ(Set(mHandle, 0, "K", "v", "", false), 9u);
  EXPECT_EQ(Set(mHandle, 0, bad, "v", "SUB", false), 9u);
  EXPECT_EQ(Set(mHandle, 0, "K", bad, "SUB", false), 9u);
  EXPECT_EQ(Set(mHandle, 0, "K", plain_512.c_str(), "SUB", true), 9u);  // too long to obfuscate
  EXPECT_TRUE(Contents().empty());
  EXPECT_EQ(LogCount("TAVLIB SetValueforKeyInSubDomainInCache: Invalid in params specified."), 7);
  ASSERT_EQ(Set(mHandle, 0, "K", plain_511.c_str(), "SUB", true), 0u);
  EXPECT_EQ(Stored("SUB", "K").value_or("").size(), 1022u);

  const char* value = nullptr;
  EXPECT_EQ(Get(mHandle, nullptr, "K", "SUB"), 9u);
  EXPECT_EQ(Get(mHandle, &value, nullptr, "SUB"), 9u);
  EXPECT_EQ(Get(mHandle, &value, "K", nullptr), 9u);
  EXPECT_EQ(Get(mHandle, &value, "K", bad), 9u);
  // An empty subdomain is read plainly, but cannot key a de-obfuscation.
  Store("", "K", "under no subdomain");
  EXPECT_EQ(Get(mHandle, &value, "K", "", true), 9u);
  EXPECT_EQ(value, nullptr);
  EXPECT_EQ(Get(mHandle, &value, "K", ""), 0u);
  EXPECT_STREQ(value, "under no subdomain");

  EXPECT_EQ(Corvel_TAVLib_RemoveKeyInSubDomainInCache(mHandle, 0, "K", ""), 9u);
  EXPECT_EQ(Corvel_TAVLib_RemoveKeyInSubDomainInCache(mHandle, 0, nullptr, "SUB"), 9u);
  EXPECT_EQ(LogCount("TAVLIB RemoveKeyInSubDomainInCache: Invalid in params specified."), 2);
  EXPECT_EQ(LogCount("TAVLIB RemoveKeyInSubDomainInCache: ENDED"), 2);
  EXPECT_EQ(Contents().size(), 2u);
}

TEST_F(CachedDataTest, EnumerateKeysAtInstallTimeLeavesTheOutputAlone) {
  const char* sentinel = "caller's";
  const char* value = sentinel;
  EXPECT_EQ(Corvel_TAVLib_EnumerateKeys(mHandle, "K", &value, 0), 0u);
  EXPECT_EQ(value, sentinel);
  EXPECT_TRUE(Logged("TAVLIB EnumerateKeys: Called at install time"));
  EXPECT_EQ(Corvel_TAVLib_EnumerateKeys(mHandle, nullptr, &value, 0), 9u);
  EXPECT_EQ(Corvel_TAVLib_EnumerateKeys(mHandle, "K", nullptr, 0), 9u);
  EXPECT_EQ(LogCount("TAVLIB EnumerateKeys: Invalid inKey specified."), 2);
  EXPECT_EQ(LogCount("TAVLIB EnumerateKeys: Ended."), 3);
}

TEST_F(CachedDataTest, EnumerateKeysInApplicationContextReadsTheProductsSubDomains) {
  ASSERT_EQ(Corvel_TAVLib_SetApplicationData(mHandle, "DRIVER", "APP", "DRIVER-PRODUCT", "fr_FR",
                                             "PAYLOAD", kTAVLibTaggingNone),
            0u);
  Store("DRIVER", "K", "from driver", false);
  Store("DRIVER-PRODUCT", "K", "from driver product", false);
  Store("MAPPED", "K", "from mapping", false);
  Store("DRIVER", "K", "unprotected driver");  // enumeration reads the protected domain

  const char* value = nullptr;
  for (int32_t type : {0, 5}) {
    ASSERT_EQ(Corvel_TAVLib_EnumerateKeys(mHandle, "K", &value, type), 0u);
    EXPECT_STREQ(value, "from driver");
  }
  EXPECT_EQ(LogCount("Subdomain =DRIVER Key =K"), 2);
  // Type 1: the driver's product code, unless "<app product>{|}<app locale>" maps it.
  ASSERT_EQ(Corvel_TAVLib_EnumerateKeys(mHandle, "K", &value, 1), 0u);
  EXPECT_STREQ(value, "from driver product");
  Store("APP{|}fr_FR", "FLMap", "MAPPED");
  ASSERT_EQ(Corvel_TAVLib_EnumerateKeys(mHandle, "K", &value, 1), 0u);
  EXPECT_STREQ(value, "from mapping");
  EXPECT_TRUE(Logged("Subdomain =MAPPED Key =K"));
  // An absent key still hands back an (empty) text.
  value = nullptr;
  ASSERT_EQ(Corvel_TAVLib_EnumerateKeys(mHandle, "Absent", &value, 0), 0u);
  EXPECT_STREQ(value, "");
}

TEST_F(CachedDataTest, CleanUpRemovesThePayloadsKeysOnlyAtCommit) {
  Store("PAYLOAD", "A", "1");
  Store("PAYLOAD", "B", "2");
  Store("PAYLOAD", "C", "protected", false);
  Store("OTHER", "A", "3");
  EXPECT_EQ(Corvel_TAVLib_CleanUpCachePCD(mHandle, nullptr), 9u);
  EXPECT_EQ(Corvel_TAVLib_CleanUpCachePCD(mHandle, "PAYLOAD"), 0u);
  EXPECT_EQ(Contents().size(), 4u);
  ReleaseAndRenew(0);
  EXPECT_EQ(Contents().size(), 4u);

  EXPECT_EQ(Corvel_TAVLib_CleanUpCachePCD(mHandle, "PAYLOAD"), 0u);
  ReleaseAndRenew(1);
  EXPECT_EQ(Contents(), (StoreContents{{Protected("PAYLOAD", "C"), "protected"},
                                       {Unprotected("OTHER", "A"), "3"}}));
}

TEST_F(CachedDataTest, WithoutAStoreNothingIsWrittenReadOrRemoved) {
  // A file where the store's folder should be: the store cannot be opened.
  ASSERT_TRUE(corvel::test::WriteWholeFile(mScratch.Path("blocker"), "not a folder"));
  setenv("ZEP_PCD_DB", mScratch.Path("blocker/pcd.db").c_str(), 1);

  EXPECT_EQ(Set(mHandle, 0, "K", "v", "SUB", true), 0u);
  EXPECT_EQ(Set(mHandle, 2, "K", "v", "SUB", true), 0u);  // the store is opened first
  const char* sentinel = "caller's";
  const char* value = sentinel;
  EXPECT_EQ(Get(mHandle, &value, "K", "SUB"), 0u);
  EXPECT_EQ(value, sentinel);
  EXPECT_EQ(Corvel_TAVLib_RemoveKeyInSubDomainInCache(mHandle, 2, "K", "SUB"), 0u);
  EXPECT_TRUE(Logged("TAVLIB RemoveKeyInSubDomainInCache: ENDED"));
  ASSERT_EQ(Corvel_TAVLib_SetApplicationData(mHandle, "DRIVER", "APP", nullptr, nullptr, nullptr,
                                             kTAVLibTaggingNone),
            0u);
  ASSERT_EQ(Corvel_TAVLib_EnumerateKeys(mHandle, "K", &value, 0), 0u);
  EXPECT_STREQ(value, "");
  const std::string log = MainLog();
  for (const char* line :
       {"Obfuscated!", "Failed to", "not specified !", "Key Successfully", "Error in removing"}) {
    EXPECT_EQ(log.find(line), std::string::npos) << line;
  }
}

}  // namespace
}  // namespace corvel::records::test
