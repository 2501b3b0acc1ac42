// Every export against arguments it must refuse, and against handles that are null, released
// or never issued: each answers its documented status, writes nothing to the store or the
// preferences file, and forgets nothing recorded before.
#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>
#include <regex>

#include "hostile_fixture.h"

namespace corvel::hostile {
namespace {

constexpr int64_t kSkip = INT64_MIN;
constexpr int64_t kBad = kTAVLibInvalidArgument;
constexpr int64_t kPrefBad = kTAVLibPrefInvalidArgument;
constexpr int64_t kPrefFailed = kTAVLibPrefFailed;
constexpr int64_t kOk = kTAVLibSuccess;
constexpr int64_t kNotFound = kTAVLibNotFound;

// One text argument of an export, the others valid, and what a null, an empty and an
// ill-formed text in its place answer (kSkip: not a rule of that argument).
struct TextArgument {
  std::string name;
  std::function<int64_t(const char*)> call;
  int64_t null_status, empty_status, ill_formed_status;
};

struct Call {
  std::string name;
  std::function<int64_t()> call;
  int64_t status;
};

// Table rows named by the call they make: TEXT_ARGUMENT(export(..., t, ...), statuses) with the
// text under test as `t`, CALL(export(...), status) and HANDLE_CALL(export(s, ...), status)
// with the handle under test as `s`.
// clang-format off
#define TEXT_ARGUMENT(call, ...) \
  TextArgument{#call, [&](const char* t) -> int64_t { return Corvel_TAVLib_##call; }, __VA_ARGS__}
#define CALL(call, status) Call{#call, [&]() -> int64_t { return Corvel_TAVLib_##call; }, status}
#define HANDLE_CALL(call, status) \
  HandleCall{#call, [&](TAVLibHandle s) -> int64_t { return Corvel_TAVLib_##call; }, status}
// clang-format on

// The MD5 of kAccount, upper-case hexadecimal.
const std::string kAccount = "acc\"ount{|}%n\n";
const std::string kAccountDigest = "19C4A9D7931A334C3E07500E07B8A979";

TEST_F(HostileCallerTest, EveryExportRefusesBadArgumentsWithoutWritingOrForgetting) {
  // What the commit must write, recorded first; no refusal below may change it. The product
  // code is longer than the 256 bytes that key the account's cipher.
  const std::string product = "Prod \"x\" {|}\n'%s" + kText64K;
  const std::string language = "fr\"FR\n" + kText1M;
  ASSERT_EQ(Corvel_TAVLib_Set_Eula(mHandle, language.c_str(), product.c_str()), kTAVLibSuccess);
  ASSERT_EQ(Corvel_TAVLib_Set_InstallLocale(mHandle, "de{|}DE", product.c_str()), kTAVLibSuccess);
  ASSERT_EQ(Corvel_TAVLib_SetCorvelId(mHandle, product.c_str()), kTAVLibSuccess);
  ASSERT_EQ(Corvel_TAVLib_SaveCorvelId(mHandle, kAccount.c_str()), kTAVLibSuccess);
  ASSERT_EQ(Corvel_TAVLib_SetCorvelIdExtProfile(mHandle, product.c_str()), kTAVLibSuccess);
  // The clean-up at commit takes "%" as a name, not a pattern.
  for (const StoreRow& row : {U("%", "a", "1"), U("%x", "b", "2")}) {
    ASSERT_EQ(Corvel_TAVLib_SetValueforKeyInSubDomainInCache(
                  mHandle, 1, row.key.c_str(), row.value.c_str(), row.subdomain.c_str(), false),
              kTAVLibSuccess);
  }
  ASSERT_EQ(Corvel_TAVLib_CleanUpCachePCD(mHandle, "%"), kTAVLibSuccess);
  TAVLibProxyCredentials credentials{};
  std::memcpy(credentials.username, "user", 5);
  ASSERT_EQ(Corvel_TAVLib_SetCredentialsForProxy(mHandle, &credentials), kTAVLibSuccess);
  ASSERT_EQ(Corvel_TAVLib_SetSecurePreference("D", "K", "kept", nullptr), kTAVLibPrefSuccess);
  const std::string prefs_file = mScratch.local_appdata() + "/Corvel/TAV/securePrefs.xml";
  const std::string prefs = ReadWholeFile(prefs_file).value_or("");
  ExpectStoreChange({U("%", "a", "1"), U("%x", "b", "2")});

  TAVLibHandle& h = mHandle;
  const std::string doc = WriteDocument("app.xml", "App");
  const char* out = nullptr;
  uint32_t size = 64;
  char buffer[64];
  const TextArgument text_arguments[] = {
      TEXT_ARGUMENT(Process_file(h, t, "PAY", nullptr, nullptr), kBad, kBad, kNotFound),
      TEXT_ARGUMENT(Process_file(h, doc.c_str(), t, nullptr, nullptr), kBad, kBad, kSkip),
      TEXT_ARGUMENT(Remove_payload(h, t), kBad, kBad, kOk),
      TEXT_ARGUMENT(ISOTaggingAtInstall(h, t), kOk, kOk, kOk),
      TEXT_ARGUMENT(SetApplicationData(h, t, "P", nullptr, nullptr, nullptr, 0), kBad, kBad, kSkip),
      TEXT_ARGUMENT(SetApplicationData(h, "D", t, nullptr, nullptr, nullptr, 0), kBad, kBad, kSkip),
      TEXT_ARGUMENT(EnumerateKeys(h, t, &out, 0), kBad, kSkip, kBad),
      // An empty value (and its empty obfuscated form) writes nothing.
      TEXT_ARGUMENT(SetValueforKeyInSubDomainInCache(h, 1, t, "v", "S", false), kBad, kSkip, kBad),
      TEXT_ARGUMENT(SetValueforKeyInSubDomainInCache(h, 1, "k", t, "S", false), kBad, kOk, kBad),
      TEXT_ARGUMENT(SetValueforKeyInSubDomainInCache(h, 0, "k", t, "S", true), kBad, kOk, kBad),
      TEXT_ARGUMENT(SetValueforKeyInSubDomainInCache(h, 0, "k", "v", t, false), kBad, kBad, kBad),
      TEXT_ARGUMENT(GetValueforKeyInSubDomain(h, &out, 512, t, "S", 1, false), kBad, kSkip, kBad),
      TEXT_ARGUMENT(GetValueforKeyInSubDomain(h, &out, 512, "k", t, 1, true), kBad, kBad, kBad),
      TEXT_ARGUMENT(RemoveKeyInSubDomainInCache(h, 1, t, "S"), kBad, kSkip, kBad),
      TEXT_ARGUMENT(RemoveKeyInSubDomainInCache(h, 1, "a", t), kBad, kBad, kBad),
      TEXT_ARGUMENT(CleanUpCachePCD(h, t), kBad, kSkip, kBad),
      TEXT_ARGUMENT(Set_Eula(h, t, "P2"), kBad, kSkip, kBad),
      TEXT_ARGUMENT(Set_Eula(h, "en", t), kBad, kSkip, kBad),
      TEXT_ARGUMENT(Set_InstallLocale(h, t, "P2"), kBad, kSkip, kBad),
      TEXT_ARGUMENT(Set_InstallLocale(h, "en", t), kBad, kSkip, kBad),
      TEXT_ARGUMENT(SetCorvelId(h, t), kBad, kSkip, kBad),
      TEXT_ARGUMENT(SaveCorvelId(h, t), kBad, kSkip, kBad),
      TEXT_ARGUMENT(SetCorvelIdExtProfile(h, t), kBad, kSkip, kBad),
      TEXT_ARGUMENT(SetSecurePreference(t, "K", "v", nullptr), kSkip, kPrefBad, kPrefFailed),
      TEXT_ARGUMENT(SetSecurePreference("D", t, "v", nullptr), kPrefBad, kPrefBad, kPrefFailed),
      TEXT_ARGUMENT(SetSecurePreference("D", "K", t, nullptr), kPrefBad, kSkip, kSkip),
      TEXT_ARGUMENT(GetSecurePreference(t, "K", buffer, &size, nullptr), kSkip, kSkip, kPrefFailed),
      TEXT_ARGUMENT(GetSecurePreference("D", t, buffer, &size, nullptr), kPrefBad, kSkip,
                    kPrefFailed),
  };
  std::vector<Call> calls;
  for (const TextArgument& a : text_arguments) {
    calls.push_back({a.name + " null", [&a] { return a.call(nullptr); }, a.null_status});
    calls.push_back({a.name + " empty", [&a] { return a.call(""); }, a.empty_status});
    for (const std::string& bad : kIllFormedUtf8) {
      calls.push_back({a.name + " " + Label(bad), [&a, &bad] { return a.call(bad.c_str()); },
                       a.ill_formed_status});
    }
  }
  TAVLibProxyCredentials ill_formed{};
  std::memcpy(ill_formed.username, "user\xC3\x28", 7);
  const std::string missing = doc + "\n", folder = mScratch.root();
  const std::string below_file = mScratch.Path("app.xml/sub/p.xml");
  const std::string ill_formed_path = mScratch.Path("\xC3\x28.xml");
  const std::string obfuscated_too_long(512, 'p');  // at most 511 plain bytes are obfuscated
  bool kept = true;
  const auto keep = [&](int32_t outcome) -> int64_t {
    kept = true;
    const uint32_t status = Corvel_TAVLib_KeepProxyCredentials(h, outcome, &kept);
    return kept ? -1 : status;  // a refusal clears the flag
  };
  const Call other_calls[] = {
      CALL(Process_file(h, missing.c_str(), "P", nullptr, nullptr), kNotFound),
      CALL(Process_file(h, kText1M.c_str(), "P", nullptr, nullptr), kNotFound),
      CALL(Process_file(h, folder.c_str(), "P", nullptr, nullptr), kTAVLibPreconditionFailed),
      CALL(SetApplicationData(h, "D", "P", nullptr, nullptr, nullptr, 3), kBad),
      CALL(SetApplicationData(h, "D", "P", nullptr, nullptr, nullptr, -1), kBad),
      CALL(EnumerateKeys(h, "Name", nullptr, 0), kBad),
      CALL(SetValueforKeyInSubDomainInCache(h, 2, "k", "v", "S", false), kBad),
      CALL(SetValueforKeyInSubDomainInCache(h, -1, "k", "v", "S", false), kBad),
      CALL(SetValueforKeyInSubDomainInCache(h, INT_MIN, "k", "v", "S", true), kBad),
      CALL(SetValueforKeyInSubDomainInCache(h, 1, "k", obfuscated_too_long.c_str(), "S", true),
           kBad),
      CALL(GetValueforKeyInSubDomain(h, nullptr, 512, "a", "%", 1, false), kBad),
      CALL(GetValueforKeyInSubDomain(h, &out, 0, "a", "%", 1, false), kBad),
      CALL(GetValueforKeyInSubDomain(h, &out, -1, "a", "%", 1, false), kBad),
      CALL(GetValueforKeyInSubDomain(h, &out, INT_MIN, "a", "%", 1, false), kBad),
      CALL(RemoveKeyInSubDomainInCache(h, 2, "a", "%"), kBad),
      CALL(RemoveKeyInSubDomainInCache(h, -1, "a", "%"), kBad),
      CALL(GetCorvelId(h, nullptr), false),
      CALL(SetCredentialsForProxy(h, nullptr), kBad),
      CALL(SetCredentialsForProxy(h, &ill_formed), kBad),
      Call{"KeepProxyCredentials outcome 4", [&] { return keep(4); }, kBad},
      Call{"KeepProxyCredentials outcome -1", [&] { return keep(-1); }, kBad},
      Call{"KeepProxyCredentials outcome INT_MAX", [&] { return keep(INT_MAX); }, kBad},
      CALL(GetSecurePreference("D", "K", buffer, nullptr, nullptr), kPrefBad),
      // Longer than 65,536 bytes.
      CALL(SetSecurePreference("D", "K", kText1M.c_str(), nullptr), kPrefFailed),
      CALL(SetSecurePreference("D", "K", "v", folder.c_str()), kPrefFailed),
      CALL(SetSecurePreference("D", "K", "v", below_file.c_str()), kTAVLibPrefCannotCreateFolder),
      CALL(SetSecurePreference("D", "K", "v", ill_formed_path.c_str()), kPrefFailed),
  };
  calls.insert(calls.end(), std::begin(other_calls), std::end(other_calls));

  for (const Call& c : calls) {
    if (c.status == kSkip) continue;
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.call(), c.status);
    EXPECT_EQ(ReadWholeFile(prefs_file).value_or(""), prefs);
    ExpectStoreChange();
  }
  EXPECT_EQ(ReadWholeFile(doc), ReadWholeFile(WriteDocument("again.xml", "App")));

  Renew(1);
  StoreSnapshot after = ReadSnapshot(Database());
  // The time-stamped account record: "<product>=<digest>=<seconds>".
  const auto account = std::find_if(after.values.begin(), after.values.end(), [](auto& row) {
    return row.subdomain == "CORVELIDWTTS" && row.key == "DATA";
  });
  ASSERT_NE(account, after.values.end());
  const std::string prefix = product + "=" + kAccountDigest + "=";
  EXPECT_EQ(account->value.compare(0, prefix.size(), prefix), 0) << Label(account->value);
  EXPECT_TRUE(
      std::regex_match(account->value.substr(std::min(prefix.size(), account->value.size())),
                       std::regex("-?[0-9]+")));
  after.values.erase(account);
  const StoreRows expected =
      Applied(mLast.values, {U("%", "a", "1")},
              {U(product, "EULA_ACCEPTED", "1"), U(product, "EULA_LANGUAGE", language),
               U(product, "INSTALLLOCALE", "de{|}DE"), U(product, "CORVELID", "1"),
               U(product, "LineCV 15", Rc4Hex(kAccount, product.substr(0, 256))),
               U(product, "CORVELID_EXT_PROFILE", "1")});
  EXPECT_TRUE(after.values == expected) << Difference(expected, after.values);
}

// A call of every export that takes a handle, with what it answers for a handle that is
// not a live one.
struct HandleCall {
  std::string name;
  std::function<int64_t(TAVLibHandle)> call;
  int64_t status;
};

TEST_F(HostileCallerTest, NullReleasedAndForgedHandlesAreAnsweredWithoutWork) {
  TAVLibHandle second = Corvel_TAVLib_CreateRef();
  ASSERT_NE(second, nullptr);
  const int32_t second_id = Corvel_TAVLib_GetRefID(second);
  ASSERT_EQ(Corvel_TAVLib_Set_Eula(mHandle, "en_US", "P"), kTAVLibSuccess);
  EXPECT_EQ(Corvel_TAVLib_ReleaseRef(mHandle, 1), 0u);
  ExpectStoreChange({U("P", "EULA_ACCEPTED", "1"), U("P", "EULA_LANGUAGE", "en_US")});

  alignas(16) unsigned char forged[sizeof(TAVLibProxyCredentials)] = {};
  auto* record = reinterpret_cast<TAVLibProxyCredentials*>(forged);
  const char* output = "untouched";
  bool kept = true;
  const int64_t none = kTAVLibNoInstance;
  const HandleCall calls[] = {
      HANDLE_CALL(ReleaseRef(s, 1), 0),
      HANDLE_CALL(GetRefID(s), -1),
      HANDLE_CALL(Process_file(s, "x", "y", nullptr, nullptr), none),
      HANDLE_CALL(Remove_payload(s, "BASE-PAYLOAD"), none),
      HANDLE_CALL(ISOTaggingAtInstall(s, "BASE-PAYLOAD"), none),
      HANDLE_CALL(SetApplicationData(s, "D", "P", nullptr, nullptr, nullptr, 1), none),
      HANDLE_CALL(EnumerateKeys(s, "Name", &output, 0), none),
      HANDLE_CALL(SetValueforKeyInSubDomainInCache(s, 1, "k", "v", "S", false), none),
      HANDLE_CALL(GetValueforKeyInSubDomain(s, &output, 512, "Planted", "BASE-PAYLOAD", 1, false),
                  none),
      HANDLE_CALL(RemoveKeyInSubDomainInCache(s, 1, "Planted", "BASE-PAYLOAD"), none),
      HANDLE_CALL(CleanUpCachePCD(s, "BASE-PAYLOAD"), none),
      HANDLE_CALL(Set_Eula(s, "de", "Q"), none),
      HANDLE_CALL(Set_InstallLocale(s, "de", "Q"), none),
      HANDLE_CALL(SetCorvelId(s, "Q"), none),
      HANDLE_CALL(SaveCorvelId(s, "id"), none),
      HANDLE_CALL(GetCorvelId(s, forged), false),
      HANDLE_CALL(SetCorvelIdExtProfile(s, "Q"), none),
      HANDLE_CALL(SetCredentialsForProxy(s, record), none),
      HANDLE_CALL(KeepProxyCredentials(s, kTAVLibProxyRequestSucceeded, &kept), none),
      HANDLE_CALL(ReuseProxyCredentials(s, record), none),
  };
  // A null handle, the released one while its object still exists, and one never issued.
  const std::string log = MainLog();
  for (TAVLibHandle stale : {TAVLibHandle{}, mHandle, reinterpret_cast<TAVLibHandle>(forged)}) {
    for (const HandleCall& c : calls) EXPECT_EQ(c.call(stale), c.status) << c.name;
  }
  EXPECT_EQ(std::count(std::begin(forged), std::end(forged), 0), std::ssize(forged))
      << "the forged handle or record was written";
  EXPECT_STREQ(output, "untouched");
  EXPECT_TRUE(kept) << "a handle that is not live leaves the output alone";
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
}

}  // namespace
}  // namespace corvel::hostile
