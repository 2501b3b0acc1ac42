// Cached data by subdomain, through the C interface against the real store.
#include <cstdlib>
#include <string>

#include "records_api_support.h"

namespace corvel::records::test {
namespace {

using CachedDataTest = RecordsApiTest;

constexpr int32_t kUnprotectedSelector = 1;

bool IsUpperHex(const std::string& text) {
  return text.find_first_not_of("0123456789ABCDEF") == std::string::npos;
}

TEST_F(CachedDataTest, ObfuscatedValueRoundTripsAndReadsRawAsHex) {
  ASSERT_EQ(Corvel_TAVLib_SetValueforKeyInSubDomainInCache(mHandle, 0, "Secret", "abc", "SUB-1",
                                                           true),
            0u);
  const StoreContents contents = Contents();
  ASSERT_EQ(contents.size(), 1u);
  const std::string stored = contents.at(Unprotected("SUB-1", "Secret"));
  EXPECT_EQ(stored.size(), 6u);
  EXPECT_TRUE(IsUpperHex(stored)) << stored;
  EXPECT_TRUE(Logged("Obfuscated!"));

  const char* value = nullptr;
  ASSERT_EQ(Corvel_TAVLib_GetValueforKeyInSubDomain(mHandle, &value, 512, "Secret", "SUB-1",
                                                    kUnprotectedSelector, true),
            0u);
  ASSERT_NE(value, nullptr);
  EXPECT_STREQ(value, "abc");
  EXPECT_TRUE(Logged("DeObfuscated!"));

  ASSERT_EQ(Corvel_TAVLib_GetValueforKeyInSubDomain(mHandle, &value, 512, "Secret", "SUB-1",
                                                    kUnprotectedSelector, false),
            0u);
  EXPECT_EQ(value, stored);

  // The subdomain is the key: the same text under another subdomain enciphers differently.
  ASSERT_EQ(Corvel_TAVLib_SetValueforKeyInSubDomainInCache(mHandle, 1, "Secret", "abc", "SUB-2",
                                                           true),
            0u);
  EXPECT_NE(Stored("SUB-2", "Secret"), stored);
}

TEST_F(CachedDataTest, PlainValuesUseTheUnprotectedDomainAndTheCallersSelectorOnRead) {
  ASSERT_EQ(Corvel_TAVLib_SetValueforKeyInSubDomainInCache(mHandle, 0, "K0", "zero", "SUB",
                                                           false),
            0u);
  ASSERT_EQ(Corvel_TAVLib_SetValueforKeyInSubDomainInCache(mHandle, 1, "K1", "one", "SUB", false),
            0u);
  EXPECT_EQ(Contents(), (StoreContents{{Unprotected("SUB", "K0"), "zero"},
                                       {Unprotected("SUB", "K1"), "one"}}));

  Store("SUB", "K0", "protected zero", false);
  const char* value = nullptr;
  ASSERT_EQ(Corvel_TAVLib_GetValueforKeyInSubDomain(mHandle, &value, 512, "K0", "SUB", 0, false),
            0u);
  EXPECT_STREQ(value, "protected zero");
  ASSERT_EQ(Corvel_TAVLib_GetValueforKeyInSubDomain(mHandle, &value, 512, "K0", "SUB", 7, false),
            0u);
  EXPECT_STREQ(value, "zero");

  // Absent in the protected domain: the store refuses the read.
  const char* untouched = "caller's";
  value = untouched;
  EXPECT_EQ(Corvel_TAVLib_GetValueforKeyInSubDomain(mHandle, &value, 512, "K1", "SUB", 0, false),
            10u);
  EXPECT_EQ(value, untouched);
  EXPECT_TRUE(Logged("Failed to Get the value!"));
}

TEST_F(CachedDataTest, ReadCapacityLimitsTheValueAndIsClampedTo512) {
  const std::string long_value(2000, 'x');
  ASSERT_EQ(Corvel_TAVLib_SetValueforKeyInSubDomainInCache(mHandle, 1, "Long", long_value.c_str(),
                                                           "SUB", false),
            0u);
  EXPECT_EQ(Stored("SUB", "Long"), long_value);  // written whole

  const char* value = nullptr;
  ASSERT_EQ(Corvel_TAVLib_GetValueforKeyInSubDomain(mHandle, &value, 4, "Long", "SUB",
                                                    kUnprotectedSelector, false),
            0u);
  EXPECT_STREQ(value, "xxx");
  ASSERT_EQ(Corvel_TAVLib_GetValueforKeyInSubDomain(mHandle, &value, 1 << 30, "Long", "SUB",
                                                    kUnprotectedSelector, false),
            0u);
  EXPECT_EQ(std::string(value), std::string(511, 'x'));

  for (int32_t capacity : {0, -1, -512}) {
    EXPECT_EQ(Corvel_TAVLib_GetValueforKeyInSubDomain(mHandle, &value, capacity, "Long", "SUB",
                                                      kUnprotectedSelector, false),
              9u)
        << capacity;
  }
}

TEST_F(CachedDataTest, SubDomainTypeOtherThanZeroOrOneIsRefused) {
  for (int32_t type : {2, -1}) {
    EXPECT_EQ(Corvel_TAVLib_SetValueforKeyInSubDomainInCache(mHandle, type, "K", "v", "SUB",
                                                             false),
              9u);
  }
  EXPECT_TRUE(Contents().empty());
  EXPECT_EQ(LogCount("TAVLIB SetValueforKeyInSubDomainInCache: inSubDomainType not specified !"),
            2);

  Store("SUB", "K", "kept");
  EXPECT_EQ(Corvel_TAVLib_RemoveKeyInSubDomainInCache(mHandle, 2, "K", "SUB"), 9u);
  EXPECT_EQ(Stored("SUB", "K"), "kept");
  EXPECT_TRUE(Logged("TAVLIB RemoveKeyInSubDomainInCache: inSubDomainType not specified !"));
  EXPECT_FALSE(Logged("TAVLIB RemoveKeyInSubDomainInCache: ENDED"));
}

TEST_F(CachedDataTest, EmptyValuesWriteNothingAndReadAsNothing) {
  EXPECT_EQ(Corvel_TAVLib_SetValueforKeyInSubDomainInCache(mHandle, 0, "K", "", "SUB", false), 0u);
  EXPECT_EQ(Corvel_TAVLib_SetValueforKeyInSubDomainInCache(mHandle, 0, "K", "", "SUB", true), 0u);
  EXPECT_TRUE(Contents().empty());

  Store("SUB", "Empty", "");
  const char* sentinel = "caller's";
  const char* value = sentinel;
  EXPECT_EQ(Corvel_TAVLib_GetValueforKeyInSubDomain(mHandle, &value, 512, "Empty", "SUB",
                                                    kUnprotectedSelector, false),
            0u);
  EXPECT_EQ(value, sentinel);
  EXPECT_EQ(Corvel_TAVLib_GetValueforKeyInSubDomain(mHandle, &value, 512, "Empty", "SUB",
                                                    kUnprotectedSelector, true),
            0u);
  EXPECT_EQ(value, sentinel);
}

TEST_F(CachedDataTest, RemovalOfPresentAndAbsentKeys) {
  Store("SUB", "K", "v");
  Store("SUB", "K", "protected", false);
  EXPECT_EQ(Corvel_TAVLib_RemoveKeyInSubDomainInCache(mHandle, 0, "K", "SUB"), 0u);
  EXPECT_EQ(Contents(), (StoreContents{{Protected("SUB", "K"), "protected"}}));
  EXPECT_TRUE(Logged("TAVLIB RemoveKeyInSubDomainInCache: Key Successfully removed !"));

  EXPECT_EQ(Corvel_TAVLib_RemoveKeyInSubDomainInCache(mHandle, 1, "K", "SUB"), 0u);
  EXPECT_TRUE(Logged("TAVLIB RemoveKeyInSubDomainInCache: Error in removing Key !"));
  EXPECT_EQ(LogCount("TAVLIB RemoveKeyInSubDomainInCache: ENDED"), 2);
}

TEST_F(CachedDataTest, BadArgumentsAreRefusedAndWriteNothing) {
  const std::string bad_utf8 = "ab\xC3(";
  const std::string plain_512(512, 'p');
  struct Case {
    const char* key;
    const char* value;
    const char* subdomain;
    bool obfuscate;
  };
  const Case cases[] = {
      {nullptr, "v", "SUB", false},       {"K", nullptr, "SUB", false},
      {"K", "v", nullptr, false},         {"K", "v", "", false},
      {bad_utf8.c_str(), "v", "SUB", false}, {"K", bad_utf8.c_str(), "SUB", false},
      {"K", "v", bad_utf8.c_str(), true}, {"K", plain_512.c_str(), "SUB", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Corvel_TAVLib_SetValueforKeyInSubDomainInCache(mHandle, 0, c.key, c.value,
                                                             c.subdomain, c.obfuscate),
              9u);
  }
  EXPECT_TRUE(Contents().empty());
  EXPECT_EQ(LogCount("TAVLIB SetValueforKeyInSubDomainInCache: Invalid in params specified."),
            static_cast<int>(std::size(cases)));

  // 511 plain bytes are the most that may be obfuscated.
  const std::string plain_511(511, 'p');
  EXPECT_EQ(Corvel_TAVLib_SetValueforKeyInSubDomainInCache(mHandle, 0, "K", plain_511.c_str(),
                                                           "SUB", true),
            0u);
  EXPECT_EQ(Stored("SUB", "K").value_or("").size(), 1022u);

  const char* value = nullptr;
  EXPECT_EQ(Corvel_TAVLib_GetValueforKeyInSubDomain(mHandle, nullptr, 512, "K", "SUB", 1, false),
            9u);
  EXPECT_EQ(Corvel_TAVLib_GetValueforKeyInSubDomain(mHandle, &value, 512, nullptr, "SUB", 1,
                                                    false),
            9u);
  EXPECT_EQ(Corvel_TAVLib_GetValueforKeyInSubDomain(mHandle, &value, 512, "K", nullptr, 1, false),
            9u);
  EXPECT_EQ(Corvel_TAVLib_GetValueforKeyInSubDomain(mHandle, &value, 512, "K", bad_utf8.c_str(),
                                                    1, false),
            9u);
  EXPECT_EQ(Corvel_TAVLib_RemoveKeyInSubDomainInCache(mHandle, 0, "K", ""), 9u);
  EXPECT_EQ(Corvel_TAVLib_RemoveKeyInSubDomainInCache(mHandle, 0, nullptr, "SUB"), 9u);
  EXPECT_EQ(LogCount("TAVLIB RemoveKeyInSubDomainInCache: Invalid in params specified."), 2);
  EXPECT_EQ(LogCount("TAVLIB RemoveKeyInSubDomainInCache: ENDED"), 2);
  EXPECT_EQ(Contents().size(), 1u);
}

TEST_F(CachedDataTest, EmptySubDomainReadsPlainButNotDeobfuscated) {
  Store("", "K", "under no subdomain");
  const char* value = nullptr;
  EXPECT_EQ(Corvel_TAVLib_GetValueforKeyInSubDomain(mHandle, &value, 512, "K", "",
                                                    kUnprotectedSelector, false),
            0u);
  EXPECT_STREQ(value, "under no subdomain");
  value = nullptr;
  EXPECT_EQ(Corvel_TAVLib_GetValueforKeyInSubDomain(mHandle, &value, 512, "K", "",
                                                    kUnprotectedSelector, true),
            9u);
  EXPECT_EQ(value, nullptr);
}

TEST_F(CachedDataTest, LongKeysAndSubDomainsRoundTrip) {
  // Only the first 256 bytes of the subdomain key the cipher; the whole name addresses it.
  const std::string key(3000, 'k');
  const std::string subdomain = std::string(256, 's') + "-tail";
  ASSERT_EQ(Corvel_TAVLib_SetValueforKeyInSubDomainInCache(mHandle, 1, key.c_str(), "value",
                                                           subdomain.c_str(), true),
            0u);
  ASSERT_TRUE(Stored(subdomain, key).has_value());
  const char* value = nullptr;
  const std::string other_tail = std::string(256, 's') + "-other";
  Store(other_tail, key, *Stored(subdomain, key));
  ASSERT_EQ(Corvel_TAVLib_GetValueforKeyInSubDomain(mHandle, &value, 512, key.c_str(),
                                                    other_tail.c_str(), kUnprotectedSelector,
                                                    true),
            0u);
  EXPECT_STREQ(value, "value");
}

TEST_F(CachedDataTest, EnumerateKeysAtInstallTimeLeavesTheOutputAlone) {
  Store("ANY", "K", "v", false);
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
  ASSERT_EQ(Corvel_TAVLib_EnumerateKeys(mHandle, "K", &value, 0), 0u);
  EXPECT_STREQ(value, "from driver");
  ASSERT_EQ(Corvel_TAVLib_EnumerateKeys(mHandle, "K", &value, 5), 0u);
  EXPECT_STREQ(value, "from driver");
  EXPECT_EQ(LogCount("Subdomain =DRIVER Key =K"), 2);

  // Type 1 without a mapping: the driver's product code.
  ASSERT_EQ(Corvel_TAVLib_EnumerateKeys(mHandle, "K", &value, 1), 0u);
  EXPECT_STREQ(value, "from driver product");

  // With "FLMap" under "<app product>{|}<app locale>" the mapped subdomain.
  Store("APP{|}fr_FR", "FLMap", "MAPPED");
  ASSERT_EQ(Corvel_TAVLib_EnumerateKeys(mHandle, "K", &value, 1), 0u);
  EXPECT_STREQ(value, "from mapping");
  EXPECT_TRUE(Logged("Subdomain =MAPPED Key =K"));

  // An absent key still hands back an (empty) text.
  value = nullptr;
  ASSERT_EQ(Corvel_TAVLib_EnumerateKeys(mHandle, "Absent", &value, 0), 0u);
  ASSERT_NE(value, nullptr);
  EXPECT_STREQ(value, "");
}

TEST_F(CachedDataTest, CleanUpRemovesThePayloadsKeysOnlyAtCommit) {
  Store("PAYLOAD", "A", "1");
  Store("PAYLOAD", "B", "2");
  Store("PAYLOAD", "C", "protected", false);
  Store("OTHER", "A", "3");
  EXPECT_EQ(Corvel_TAVLib_CleanUpCachePCD(mHandle, nullptr), 9u);
  EXPECT_EQ(Corvel_TAVLib_CleanUpCachePCD(mHandle, "PAYLOAD"), 0u);
  EXPECT_EQ(Contents().size(), 4u);  // nothing before the commit

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

  EXPECT_EQ(Corvel_TAVLib_SetValueforKeyInSubDomainInCache(mHandle, 0, "K", "v", "SUB", true), 0u);
  // The store is opened before the subdomain type is looked at.
  EXPECT_EQ(Corvel_TAVLib_SetValueforKeyInSubDomainInCache(mHandle, 2, "K", "v", "SUB", true), 0u);
  const char* sentinel = "caller's";
  const char* value = sentinel;
  EXPECT_EQ(Corvel_TAVLib_GetValueforKeyInSubDomain(mHandle, &value, 512, "K", "SUB", 1, false),
            0u);
  EXPECT_EQ(value, sentinel);
  EXPECT_EQ(Corvel_TAVLib_RemoveKeyInSubDomainInCache(mHandle, 2, "K", "SUB"), 0u);
  EXPECT_TRUE(Logged("TAVLIB RemoveKeyInSubDomainInCache: ENDED"));

  ASSERT_EQ(Corvel_TAVLib_SetApplicationData(mHandle, "DRIVER", "APP", nullptr, nullptr, nullptr,
                                             kTAVLibTaggingNone),
            0u);
  ASSERT_EQ(Corvel_TAVLib_EnumerateKeys(mHandle, "K", &value, 0), 0u);
  EXPECT_STREQ(value, "");

  const std::string log = MainLog();
  for (const char* line : {"Obfuscated!", "Failed to Set the value!", "Failed to Get the value!",
                           "inSubDomainType not specified !", "Key Successfully removed !",
                           "Error in removing Key !"}) {
    EXPECT_EQ(log.find(line), std::string::npos) << line;
  }
}

}  // namespace
}  // namespace corvel::records::test
