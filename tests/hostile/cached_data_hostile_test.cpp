// Hostile callers of the cached-data exports: every call gives its documented status, and the
// store gains or loses exactly the row the call addresses, byte for byte, and nothing else.
#include <climits>
#include <string>
#include <vector>

#include "hostile_fixture.h"
#include "hostile_texts.h"

namespace corvel::hostile {
namespace {

const Arg kNull;

struct WriteCase {
  int32_t type;
  Arg key, value, subdomain;
  bool obfuscate;
  uint32_t status;
};

std::vector<WriteCase> WriteCases() {
  std::vector<WriteCase> cases = {
      {1, kNull, "v", "S", false, kTAVLibInvalidArgument},
      {1, "k", kNull, "S", false, kTAVLibInvalidArgument},
      {1, "k", "v", kNull, false, kTAVLibInvalidArgument},
      {1, "k", "v", "", false, kTAVLibInvalidArgument},
      {0, "k", kNull, "S", true, kTAVLibInvalidArgument},
      {2, "k", "v", "S", false, kTAVLibInvalidArgument},
      {-1, "k", "v", "S", false, kTAVLibInvalidArgument},
      {INT_MIN, "k", "v", "S", true, kTAVLibInvalidArgument},
      {INT_MAX, "k", "v", "S", false, kTAVLibInvalidArgument},
      // Empty values (and their empty obfuscated form) write nothing; an empty key is a key.
      {1, "k", "", "S", false, kTAVLibSuccess},
      {0, "k", "", "S", true, kTAVLibSuccess},
      {1, "", "v", "S", false, kTAVLibSuccess},
      // Obfuscation: at most 511 plain bytes; the key is the subdomain's first 256 bytes.
      {1, "o511", std::string(511, 'p'), "S", true, kTAVLibSuccess},
      {1, "o512", std::string(512, 'p'), "S", true, kTAVLibInvalidArgument},
      {1, "o1M", Text1M(), "S", true, kTAVLibInvalidArgument},
  };
  for (const std::string& bad : IllFormedUtf8()) {
    cases.push_back({1, bad, "v", "S", false, kTAVLibInvalidArgument});
    cases.push_back({1, "k", bad, "S", false, kTAVLibInvalidArgument});
    cases.push_back({1, "k", bad, "S", true, kTAVLibInvalidArgument});
    cases.push_back({0, "k", "v", bad, false, kTAVLibInvalidArgument});
  }
  int32_t type = 0;
  for (const std::string& text : AwkwardTexts()) {
    cases.push_back({type, text, "v", "S", false, kTAVLibSuccess});
    cases.push_back({type, "k", text, "S", false, kTAVLibSuccess});
    cases.push_back({type, "k", "v", text, false, kTAVLibSuccess});
    cases.push_back({type, "ok", text, text, true, kTAVLibSuccess});
    type = 1 - type;
  }
  // Long texts are stored whole when plain (last, so that fewer checks read them back).
  cases.push_back({1, "okey", "secret", Text1M(), true, kTAVLibSuccess});
  cases.push_back({1, Text64K(), "v", "S", false, kTAVLibSuccess});
  cases.push_back({0, "long", Text1M(), "S", false, kTAVLibSuccess});
  cases.push_back({1, "k", "v", Text1M(), false, kTAVLibSuccess});
  cases.push_back({1, Text64K(), Text1M(), Text64K(), false, kTAVLibSuccess});
  return cases;
}

TEST_F(HostileCallerTest, CachedDataWritesGiveTheirStatusAndWriteExactlyTheirRow) {
  for (const WriteCase& c : WriteCases()) {
    SCOPED_TRACE("type " + std::to_string(c.type) + " key " + Label(c.key) + " value " +
                 Label(c.value) + " subdomain " + Label(c.subdomain) +
                 (c.obfuscate ? " obfuscated" : ""));
    EXPECT_EQ(Corvel_TAVLib_SetValueforKeyInSubDomainInCache(mHandle, c.type, C(c.key), C(c.value),
                                                             C(c.subdomain), c.obfuscate),
              c.status);
    StoreRows added;
    if (c.status == kTAVLibSuccess && !c.value->empty()) {
      added.insert(U(*c.subdomain, *c.key,
                     c.obfuscate ? Rc4Hex(*c.value, c.subdomain->substr(0, 256)) : *c.value));
    }
    ExpectStoreChange(added);
  }
}

TEST_F(HostileCallerTest, CachedDataReadsGiveTheirStatusAndWriteNothing) {
  const std::string awkward_subdomain = "quo\"te'd";
  const std::string awkward_key = "line\nbreak\r\n";
  Plant({U("S", "big", Text1M()), U(awkward_subdomain, awkward_key, "awk"),
         U("O", "secret", Rc4Hex("plain text", "O")), U(Text64K(), Text64K(), "deep")});

  const char* const untouched = "untouched";
  struct ReadCase {
    bool output;
    int32_t capacity;
    Arg key, subdomain;
    int32_t domain;
    bool deobfuscate;
    uint32_t status;
    Arg result;  // nullopt: the output keeps its earlier value
  };
  std::vector<ReadCase> cases = {
      {false, 512, "big", "S", 1, false, kTAVLibInvalidArgument, kNull},
      {true, 512, kNull, "S", 1, false, kTAVLibInvalidArgument, kNull},
      {true, 512, "big", kNull, 1, false, kTAVLibInvalidArgument, kNull},
      {true, 0, "big", "S", 1, false, kTAVLibInvalidArgument, kNull},
      {true, -1, "big", "S", 1, false, kTAVLibInvalidArgument, kNull},
      {true, INT_MIN, "big", "S", 1, false, kTAVLibInvalidArgument, kNull},
      {true, 512, "big", "", 1, true, kTAVLibInvalidArgument, kNull},
      // Nothing stored there: the store refuses the read.
      {true, 512, "absent", "S", 1, false, kTAVLibStoreFailed, kNull},
      {true, 512, "big", "S", 0, false, kTAVLibStoreFailed, kNull},
      {true, 512, Text64K(), Text1M(), 1, false, kTAVLibStoreFailed, kNull},
      {true, 512, "big", "", 1, false, kTAVLibStoreFailed, kNull},
      // A long value is seen through the 512-byte buffer, whatever capacity is claimed.
      {true, INT_MAX, "big", "S", 1, false, kTAVLibSuccess, std::string(511, 'm')},
      {true, 2, "big", "S", -7, false, kTAVLibSuccess, "m"},
      {true, 1, "big", "S", 1, false, kTAVLibSuccess, kNull},
      // Damaged stored text: 511 digits (an odd count) convert to 255 zero bytes, which
      // decipher to the key stream up to its first zero byte. Damaged, never an error.
      {true, 512, "big", "S", 1, true, kTAVLibSuccess, Rc4(std::string(255, '\0'), "S").c_str()},
      {true, 3, "big", "S", 1, true, kTAVLibSuccess, Rc4(std::string(1, '\0'), "S").c_str()},
      {true, 512, awkward_key, awkward_subdomain, 1, false, kTAVLibSuccess, "awk"},
      {true, 512, "secret", "O", 1, true, kTAVLibSuccess, "plain text"},
      {true, 512, "secret", "O", 1, false, kTAVLibSuccess, Rc4Hex("plain text", "O")},
      {true, 512, Text64K(), Text64K(), 1, false, kTAVLibSuccess, "deep"},
  };
  for (const std::string& bad : IllFormedUtf8()) {
    cases.push_back({true, 512, bad, "S", 1, false, kTAVLibInvalidArgument, kNull});
    cases.push_back({true, 512, "big", bad, 1, true, kTAVLibInvalidArgument, kNull});
  }
  for (const std::string& text : AwkwardTexts()) {
    cases.push_back({true, 512, text, text, 1, true, kTAVLibStoreFailed, kNull});
  }

  for (const ReadCase& c : cases) {
    SCOPED_TRACE("capacity " + std::to_string(c.capacity) + " key " + Label(c.key) + " subdomain " +
                 Label(c.subdomain) + " domain " + std::to_string(c.domain) +
                 (c.deobfuscate ? " de-obfuscated" : ""));
    const char* output = untouched;
    EXPECT_EQ(
        Corvel_TAVLib_GetValueforKeyInSubDomain(mHandle, c.output ? &output : nullptr, c.capacity,
                                                C(c.key), C(c.subdomain), c.domain, c.deobfuscate),
        c.status);
    if (c.result) {
      EXPECT_EQ(std::string(output), *c.result);
    } else {
      EXPECT_EQ(output, untouched);
    }
    ExpectStoreChange();
  }
}

TEST_F(HostileCallerTest, EnumerationGivesItsStatusAndWritesNothing) {
  const char* const untouched = "untouched";
  const auto enumerate = [&](const Arg& key, bool with_output, int32_t type) {
    const char* output = untouched;
    uint32_t status =
        Corvel_TAVLib_EnumerateKeys(mHandle, C(key), with_output ? &output : nullptr, type);
    return std::make_pair(status, std::string(output));
  };
  // In an installer: refusals, else nothing read and the output left alone.
  EXPECT_EQ(enumerate(kNull, true, 0),
            std::make_pair(uint32_t{kTAVLibInvalidArgument}, std::string(untouched)));
  EXPECT_EQ(enumerate("Name", false, 0).first, kTAVLibInvalidArgument);
  for (const std::string& bad : IllFormedUtf8()) {
    EXPECT_EQ(enumerate(bad, true, 0).first, kTAVLibInvalidArgument) << Label(bad);
  }
  for (const std::string& key : {std::string("Name"), Text1M(), AwkwardTexts()[8]}) {
    EXPECT_EQ(enumerate(key, true, 7),
              std::make_pair(uint32_t{kTAVLibSuccess}, std::string(untouched)));
  }
  ExpectStoreChange();

  // In a launched application whose codes are awkward: reads from the driver payload's
  // protected rows, or from the mapped product's; never a write.
  ASSERT_EQ(Corvel_TAVLib_SetApplicationData(mHandle, "BASE-PAYLOAD", "x{|}y", "%s%n", "quo\"te'd",
                                             nullptr, kTAVLibTaggingNone),
            kTAVLibSuccess);
  EXPECT_EQ(enumerate("Name", true, 0),
            std::make_pair(uint32_t{kTAVLibSuccess}, std::string("Base")));
  EXPECT_EQ(enumerate("Name", true, 1), std::make_pair(uint32_t{kTAVLibSuccess}, std::string()));
  for (const std::string& key : AwkwardTexts()) {
    EXPECT_EQ(enumerate(key, true, -3), std::make_pair(uint32_t{kTAVLibSuccess}, std::string()))
        << Label(key);
  }
  EXPECT_EQ(enumerate(Text1M(), true, 1), std::make_pair(uint32_t{kTAVLibSuccess}, std::string()));
  ExpectStoreChange();
}

TEST_F(HostileCallerTest, ApplicationDataRefusesMissingTextsAndUnknownTagging) {
  struct Case {
    Arg driver, product;
    int32_t tagging;
    uint32_t status;
  };
  const std::vector<Case> cases = {
      {kNull, "P", kTAVLibTaggingNone, kTAVLibInvalidArgument},
      {"", "P", kTAVLibTaggingNone, kTAVLibInvalidArgument},
      {"D", kNull, kTAVLibTaggingNone, kTAVLibInvalidArgument},
      {"D", "", kTAVLibTaggingAtCommit, kTAVLibInvalidArgument},
      {"D", "P", 3, kTAVLibInvalidArgument},
      {"D", "P", -1, kTAVLibInvalidArgument},
      {"D", "P", INT_MIN, kTAVLibInvalidArgument},
      {Text1M(), Text64K(), kTAVLibTaggingSuppressed, kTAVLibSuccess},
      {"x{|}y\n", "%s%n", kTAVLibTaggingNone, kTAVLibSuccess},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Corvel_TAVLib_SetApplicationData(mHandle, C(c.driver), C(c.product), nullptr, nullptr,
                                               nullptr, c.tagging),
              c.status)
        << Label(c.driver) << " " << Label(c.product) << " " << c.tagging;
  }
  ExpectStoreChange();
}

TEST_F(HostileCallerTest, RemovalsRemoveExactlyTheirKeyOrNothing) {
  Plant({U("S", "%", "percent"), U("S", "abc", "x"), U("S", "*", "star"), U("%", "k", "v"),
         U("S2", "k", "v"), U("quo\"te'd", "line\nbreak\r\n", "awk")});
  struct Case {
    int32_t type;
    Arg key, subdomain;
    uint32_t status;
    StoreRows removed;
  };
  std::vector<Case> cases = {
      {1, kNull, "S", kTAVLibInvalidArgument, {}},
      {1, "abc", kNull, kTAVLibInvalidArgument, {}},
      {1, "abc", "", kTAVLibInvalidArgument, {}},
      {2, "abc", "S", kTAVLibInvalidArgument, {}},
      {-1, "abc", "S", kTAVLibInvalidArgument, {}},
      {INT_MAX, "abc", "S", kTAVLibInvalidArgument, {}},
      // Pattern characters are plain characters: only the row so named goes.
      {1, "%", "S", kTAVLibSuccess, {U("S", "%", "percent")}},
      {0, "_bc", "S", kTAVLibSuccess, {}},
      {0, "k", "%", kTAVLibSuccess, {U("%", "k", "v")}},
      {1, "*", "S", kTAVLibSuccess, {U("S", "*", "star")}},
      {1,
       "line\nbreak\r\n",
       "quo\"te'd",
       kTAVLibSuccess,
       {U("quo\"te'd", "line\nbreak\r\n", "awk")}},
      // Absent keys, long texts, a key held only in the protected domain: nothing removed.
      {1, "absent", "S", kTAVLibSuccess, {}},
      {0, Text64K(), Text1M(), kTAVLibSuccess, {}},
      {1, "Name", "BASE-PAYLOAD", kTAVLibSuccess, {}},
      {1, "'); DELETE FROM pcd_values; --", "S", kTAVLibSuccess, {}},
  };
  for (const std::string& bad : IllFormedUtf8()) {
    cases.push_back({1, bad, "S", kTAVLibInvalidArgument, {}});
    cases.push_back({1, "abc", bad, kTAVLibInvalidArgument, {}});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE("type " + std::to_string(c.type) + " key " + Label(c.key) + " subdomain " +
                 Label(c.subdomain));
    EXPECT_EQ(Corvel_TAVLib_RemoveKeyInSubDomainInCache(mHandle, c.type, C(c.key), C(c.subdomain)),
              c.status);
    ExpectStoreChange({}, c.removed);
  }
}

TEST_F(HostileCallerTest, CleanUpAtCommitRemovesOnlyTheLastAcceptedSubdomain) {
  Plant({U("%", "a", "1"), U("%x", "b", "2"), U("S", "c", "3"), U("x{|}y", "d", "4")});
  EXPECT_EQ(Corvel_TAVLib_CleanUpCachePCD(mHandle, nullptr), kTAVLibInvalidArgument);
  EXPECT_EQ(Corvel_TAVLib_CleanUpCachePCD(mHandle, "%"), kTAVLibSuccess);
  for (const std::string& bad : IllFormedUtf8()) {
    EXPECT_EQ(Corvel_TAVLib_CleanUpCachePCD(mHandle, bad.c_str()), kTAVLibInvalidArgument)
        << Label(bad);
  }
  EXPECT_EQ(Corvel_TAVLib_CleanUpCachePCD(mHandle, nullptr), kTAVLibInvalidArgument);
  ExpectStoreChange();
  Renew(1);
  ExpectStoreChange({}, {U("%", "a", "1")});

  // An awkward subdomain loses its unprotected rows only; an empty one cleans nothing.
  EXPECT_EQ(Corvel_TAVLib_CleanUpCachePCD(mHandle, "x{|}y"), kTAVLibSuccess);
  Renew(1);
  ExpectStoreChange({}, {U("x{|}y", "d", "4")});
  EXPECT_EQ(Corvel_TAVLib_CleanUpCachePCD(mHandle, "BASE-PAYLOAD"), kTAVLibSuccess);
  Renew(1);
  ExpectStoreChange({}, {U("BASE-PAYLOAD", "Planted", "kept"), U("BASE-PAYLOAD", "Open", "yes")});
  EXPECT_EQ(Corvel_TAVLib_CleanUpCachePCD(mHandle, Text1M().c_str()), kTAVLibSuccess);
  EXPECT_EQ(Corvel_TAVLib_CleanUpCachePCD(mHandle, ""), kTAVLibSuccess);
  Renew(1);
  ExpectStoreChange();
  // Only a release with commit flag 1 cleans.
  EXPECT_EQ(Corvel_TAVLib_CleanUpCachePCD(mHandle, "S"), kTAVLibSuccess);
  Renew(2);
  ExpectStoreChange();
}

}  // namespace
}  // namespace corvel::hostile
