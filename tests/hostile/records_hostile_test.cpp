// Hostile callers of the installation-record exports and of the instance frame: refused texts
// change nothing the commit writes, awkward ones are committed byte for byte, and handles
// released twice or never issued are answered like null ones without disturbing live ones.
#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "hostile_fixture.h"
#include "hostile_texts.h"

namespace corvel::hostile {
namespace {

const Arg kNull;

// The MD5 of kAccount, upper-case hexadecimal.
const std::string kAccount = "acc\"ount{|}%n\n";
const std::string kAccountDigest = "19C4A9D7931A334C3E07500E07B8A979";
// The MD5 of 65,536 letters k.
const std::string kDigestOf64K = "AD53157D97E4B7A59EE77AC6417507AD";

// Takes the time-stamped account record out of `rows`, after checking that it is the single
// entry "<product>=<digest>=<seconds>".
void TakeAccountRecord(StoreRows& rows, const std::string& product, const std::string& digest) {
  for (auto it = rows.begin(); it != rows.end(); ++it) {
    if (it->unprotected && it->subdomain == "CORVELIDWTTS" && it->key == "DATA") {
      const std::string prefix = product + "=" + digest + "=";
      EXPECT_EQ(it->value.compare(0, prefix.size(), prefix), 0) << Label(it->value);
      EXPECT_TRUE(std::regex_match(it->value.substr(std::min(prefix.size(), it->value.size())),
                                   std::regex("-?[0-9]+")))
          << Label(it->value);
      rows.erase(it);
      return;
    }
  }
  ADD_FAILURE() << "no time-stamped account record";
}

TEST_F(HostileCallerTest, RecordOperationsRefuseBadTextsWithoutForgettingEarlierOnes) {
  const std::string product = "Prod \"x\" {|}\n'%s";
  // What the commit must write, recorded first; every refusal below must leave it alone.
  ASSERT_EQ(Corvel_TAVLib_Set_Eula(mHandle, "fr\"FR\n", product.c_str()), kTAVLibSuccess);
  ASSERT_EQ(Corvel_TAVLib_Set_InstallLocale(mHandle, "de{|}DE", product.c_str()), kTAVLibSuccess);
  ASSERT_EQ(Corvel_TAVLib_SetCorvelId(mHandle, product.c_str()), kTAVLibSuccess);
  ASSERT_EQ(Corvel_TAVLib_SaveCorvelId(mHandle, kAccount.c_str()), kTAVLibSuccess);
  ASSERT_EQ(Corvel_TAVLib_SetCorvelIdExtProfile(mHandle, product.c_str()), kTAVLibSuccess);

  using Call = std::function<uint32_t(const char*)>;
  const std::vector<std::pair<std::string, Call>> one_text_calls = {
      {"Set_Eula language",
       [&](const char* t) { return Corvel_TAVLib_Set_Eula(mHandle, t, "P2"); }},
      {"Set_Eula product", [&](const char* t) { return Corvel_TAVLib_Set_Eula(mHandle, "en", t); }},
      {"Set_InstallLocale locale",
       [&](const char* t) { return Corvel_TAVLib_Set_InstallLocale(mHandle, t, "P2"); }},
      {"Set_InstallLocale product",
       [&](const char* t) { return Corvel_TAVLib_Set_InstallLocale(mHandle, "en", t); }},
      {"SetCorvelId", [&](const char* t) { return Corvel_TAVLib_SetCorvelId(mHandle, t); }},
      {"SaveCorvelId", [&](const char* t) { return Corvel_TAVLib_SaveCorvelId(mHandle, t); }},
      {"SetCorvelIdExtProfile",
       [&](const char* t) { return Corvel_TAVLib_SetCorvelIdExtProfile(mHandle, t); }},
  };
  std::vector<Arg> refused = {kNull};
  refused.insert(refused.end(), IllFormedUtf8().begin(), IllFormedUtf8().end());
  for (const auto& [name, call] : one_text_calls) {
    for (const Arg& text : refused) {
      EXPECT_EQ(call(C(text)), kTAVLibInvalidArgument) << name << " " << Label(text);
    }
  }

  TAVLibProxyCredentials credentials{};
  EXPECT_EQ(Corvel_TAVLib_SetCredentialsForProxy(mHandle, nullptr), kTAVLibInvalidArgument);
  std::memcpy(credentials.username, "user\xC3\x28", 7);
  EXPECT_EQ(Corvel_TAVLib_SetCredentialsForProxy(mHandle, &credentials), kTAVLibInvalidArgument);
  // Fields without a terminating NUL are read whole; the record is not the store's business.
  std::memset(credentials.username, 'u', sizeof credentials.username);
  std::memset(credentials.password, '"', sizeof credentials.password);
  credentials.remember = 0xff;
  EXPECT_EQ(Corvel_TAVLib_SetCredentialsForProxy(mHandle, &credentials), kTAVLibSuccess);

  EXPECT_FALSE(Corvel_TAVLib_GetCorvelId(mHandle, nullptr));
  char output[4] = "abc";
  EXPECT_TRUE(Corvel_TAVLib_GetCorvelId(mHandle, output));
  EXPECT_STREQ(output, "abc");
  ExpectStoreChange();

  Renew(1);
  StoreSnapshot after = ReadSnapshot(Database());
  TakeAccountRecord(after.values, product, kAccountDigest);
  const StoreRows expected =
      Applied(mLast.values, {},
              {U(product, "EULA_ACCEPTED", "1"), U(product, "EULA_LANGUAGE", "fr\"FR\n"),
               U(product, "INSTALLLOCALE", "de{|}DE"), U(product, "CORVELID", "1"),
               U(product, "LineCV 15", Rc4Hex(kAccount, product)),
               U(product, "CORVELID_EXT_PROFILE", "1")});
  EXPECT_TRUE(after.values == expected) << Difference(expected, after.values);
  EXPECT_EQ(IntegrityCheck(Database()), "ok");
}

TEST_F(HostileCallerTest, RecordOperationsCommitLongTextsWhole) {
  ASSERT_EQ(Corvel_TAVLib_Set_Eula(mHandle, Text1M().c_str(), Text64K().c_str()), kTAVLibSuccess);
  ASSERT_EQ(Corvel_TAVLib_Set_InstallLocale(mHandle, Text1M().c_str(), Text64K().c_str()),
            kTAVLibSuccess);
  ASSERT_EQ(Corvel_TAVLib_SetCorvelId(mHandle, Text1M().c_str()), kTAVLibSuccess);
  // The account identifier is enciphered under the first 256 bytes of the product code.
  ASSERT_EQ(Corvel_TAVLib_SaveCorvelId(mHandle, Text64K().c_str()), kTAVLibSuccess);
  Renew(1);
  StoreSnapshot after = ReadSnapshot(Database());
  TakeAccountRecord(after.values, Text1M(), kDigestOf64K);
  const StoreRows expected =
      Applied(mLast.values, {},
              {U(Text64K(), "EULA_ACCEPTED", "1"), U(Text64K(), "EULA_LANGUAGE", Text1M()),
               U(Text64K(), "INSTALLLOCALE", Text1M()), U(Text1M(), "CORVELID", "1"),
               U(Text1M(), "LineCV 15", Rc4Hex(Text64K(), Text1M().substr(0, 256)))});
  EXPECT_TRUE(after.values == expected) << Difference(expected, after.values);
  EXPECT_EQ(IntegrityCheck(Database()), "ok");
}

TEST_F(HostileCallerTest, TheAccountNeedsItsProductFirstAndEmptyTextsWriteNoIdentifier) {
  EXPECT_EQ(Corvel_TAVLib_SaveCorvelId(mHandle, "id"), kTAVLibPreconditionFailed);
  EXPECT_EQ(Corvel_TAVLib_SetCorvelId(mHandle, "\xFF"), kTAVLibInvalidArgument);
  EXPECT_EQ(Corvel_TAVLib_SaveCorvelId(mHandle, "id"), kTAVLibPreconditionFailed);
  EXPECT_EQ(Corvel_TAVLib_SetCorvelId(mHandle, ""), kTAVLibSuccess);
  EXPECT_EQ(Corvel_TAVLib_SaveCorvelId(mHandle, "id"), kTAVLibPreconditionFailed);
  EXPECT_EQ(Corvel_TAVLib_SetCorvelId(mHandle, "%n"), kTAVLibSuccess);
  EXPECT_EQ(Corvel_TAVLib_SaveCorvelId(mHandle, ""), kTAVLibSuccess);
  // Empty texts record nothing for the agreement and the locale.
  EXPECT_EQ(Corvel_TAVLib_Set_Eula(mHandle, "", "P"), kTAVLibSuccess);
  EXPECT_EQ(Corvel_TAVLib_Set_InstallLocale(mHandle, "en", ""), kTAVLibSuccess);
  EXPECT_EQ(Corvel_TAVLib_SetCorvelIdExtProfile(mHandle, ""), kTAVLibSuccess);
  Renew(1);
  ExpectStoreChange({U("%n", "CORVELID", "1")});
}

TEST_F(HostileCallerTest, HandlesReleasedTwiceOrNeverIssuedAreAnsweredLikeNullOnes) {
  TAVLibHandle second = Corvel_TAVLib_CreateRef();
  ASSERT_NE(second, nullptr);
  const int32_t second_id = Corvel_TAVLib_GetRefID(second);
  ASSERT_EQ(Corvel_TAVLib_Set_Eula(mHandle, "en_US", "P"), kTAVLibSuccess);
  EXPECT_EQ(Corvel_TAVLib_ReleaseRef(mHandle, 1), 0u);
  ExpectStoreChange({U("P", "EULA_ACCEPTED", "1"), U("P", "EULA_LANGUAGE", "en_US")});

  // A null handle, a handle never issued, and the released one while its object still
  // exists: every export answers as for null, writes nothing and logs nothing.
  alignas(16) unsigned char forged[sizeof(TAVLibProxyCredentials)] = {};
  const std::string log = MainLog();
  const char* output = "untouched";
  bool kept = true;
  for (TAVLibHandle stale : {TAVLibHandle{}, mHandle, reinterpret_cast<TAVLibHandle>(forged)}) {
    EXPECT_EQ(Corvel_TAVLib_ReleaseRef(stale, 1), 0u);
    EXPECT_EQ(Corvel_TAVLib_GetRefID(stale), -1);
    EXPECT_EQ(Corvel_TAVLib_Process_file(stale, "x", "y", nullptr, nullptr), kTAVLibNoInstance);
    EXPECT_EQ(Corvel_TAVLib_Remove_payload(stale, "BASE-PAYLOAD"), kTAVLibNoInstance);
    EXPECT_EQ(Corvel_TAVLib_ISOTaggingAtInstall(stale, "BASE-PAYLOAD"), kTAVLibNoInstance);
    EXPECT_EQ(Corvel_TAVLib_SetApplicationData(stale, "D", "P", nullptr, nullptr, nullptr, 1),
              kTAVLibNoInstance);
    EXPECT_EQ(Corvel_TAVLib_EnumerateKeys(stale, "Name", &output, 0), kTAVLibNoInstance);
    EXPECT_EQ(Corvel_TAVLib_SetValueforKeyInSubDomainInCache(stale, 1, "k", "v", "S", false),
              kTAVLibNoInstance);
    EXPECT_EQ(Corvel_TAVLib_GetValueforKeyInSubDomain(stale, &output, 512, "Planted",
                                                      "BASE-PAYLOAD", 1, false),
              kTAVLibNoInstance);
    EXPECT_EQ(Corvel_TAVLib_RemoveKeyInSubDomainInCache(stale, 1, "Planted", "BASE-PAYLOAD"),
              kTAVLibNoInstance);
    EXPECT_EQ(Corvel_TAVLib_CleanUpCachePCD(stale, "BASE-PAYLOAD"), kTAVLibNoInstance);
    EXPECT_EQ(Corvel_TAVLib_Set_Eula(stale, "de", "Q"), kTAVLibNoInstance);
    EXPECT_EQ(Corvel_TAVLib_Set_InstallLocale(stale, "de", "Q"), kTAVLibNoInstance);
    EXPECT_EQ(Corvel_TAVLib_SetCorvelId(stale, "Q"), kTAVLibNoInstance);
    EXPECT_EQ(Corvel_TAVLib_SaveCorvelId(stale, "id"), kTAVLibNoInstance);
    EXPECT_FALSE(Corvel_TAVLib_GetCorvelId(stale, forged));
    EXPECT_EQ(Corvel_TAVLib_SetCorvelIdExtProfile(stale, "Q"), kTAVLibNoInstance);
    EXPECT_EQ(Corvel_TAVLib_SetCredentialsForProxy(
                  stale, reinterpret_cast<const TAVLibProxyCredentials*>(forged)),
              kTAVLibNoInstance);
    EXPECT_EQ(Corvel_TAVLib_KeepProxyCredentials(stale, kTAVLibProxyRequestSucceeded, &kept),
              kTAVLibNoInstance);
    EXPECT_EQ(Corvel_TAVLib_ReuseProxyCredentials(
                  stale, reinterpret_cast<TAVLibProxyCredentials*>(forged)),
              kTAVLibNoInstance);
    EXPECT_EQ(Corvel_TAVLib_ReleaseRef(stale, 1), 0u);
  }
  EXPECT_EQ(std::count(std::begin(forged), std::end(forged), 0), std::ssize(forged))
      << "the forged handle or record was written";
  EXPECT_STREQ(output, "untouched");
  EXPECT_TRUE(kept) << "a null handle leaves the output alone";
  EXPECT_EQ(MainLog(), log);
  ExpectStoreChange();

  // The live instance still counts: releasing the first twice did not destroy it.
  EXPECT_EQ(Corvel_TAVLib_GetRefID(second), second_id);
  EXPECT_EQ(Corvel_TAVLib_Set_Eula(second, "it", "R"), kTAVLibSuccess);
  EXPECT_EQ(Corvel_TAVLib_ReleaseRef(second, 1), 0u);
  EXPECT_EQ(Corvel_TAVLib_ReleaseRef(second, 1), 0u);
  ExpectStoreChange({U("R", "EULA_ACCEPTED", "1"), U("R", "EULA_LANGUAGE", "it")});

  // Everything was destroyed with the last release; a new instance starts a fresh count.
  mHandle = Corvel_TAVLib_CreateRef();
  ASSERT_NE(mHandle, nullptr);
  EXPECT_EQ(Corvel_TAVLib_GetRefID(mHandle), second_id + 1);
  EXPECT_EQ(Corvel_TAVLib_SetValueforKeyInSubDomainInCache(mHandle, 1, "k", "v", "S", false),
            kTAVLibSuccess);
  ExpectStoreChange({U("S", "k", "v")});
}

TEST_F(HostileCallerTest, VersionQueryToleratesAnyMixOfNullOutputs) {
  int32_t major = -9, minor = -9, patch = -9;
  const char* text = nullptr;
  Corvel_TAVLib_Getversion(nullptr, nullptr, nullptr, nullptr);
  Corvel_TAVLib_Getversion(nullptr, &minor, nullptr, &text);
  EXPECT_EQ(minor, 0);
  EXPECT_STREQ(text, "3.0.0.10,3.0");
  Corvel_TAVLib_Getversion(&major, nullptr, &patch, nullptr);
  EXPECT_EQ(major, 3);
  EXPECT_EQ(patch, 0);
}

}  // namespace
}  // namespace corvel::hostile
