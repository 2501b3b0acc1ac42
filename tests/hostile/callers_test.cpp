// Hostile and careless callers of the C interface: every export against arguments it must
// refuse and against handles that are not live ones, and texts that break naive quoting and
// patterns. After every call the store is checked from outside: a sound file, no transaction
// left open, and exactly the rows the call was meant to write or remove.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "corvel_tavlib.h"
#include "store_snapshot.h"
#include "test_support.h"

namespace corvel::hostile {
namespace {

using namespace ::corvel::test;

const std::string kDocument = HOSTILE_TEST_DATA "/payload.xml";
const std::string kText64K(64 * 1024, 'k');
const std::string kText1M(1024 * 1024, 'm');
// Ill-formed UTF-8: a lead byte without its continuation, bytes that never occur, an overlong
// "/", an encoded surrogate, a sequence cut short, a code point beyond U+10FFFF, a stray
// continuation byte.
const std::vector<std::string> kIllFormedUtf8 = {"\xC3\x28",     "\xFF\xFE",    "\xC0\xAF",
                                                 "\xED\xA0\x80", "abc\xE2\x82", "\xF4\x90\x80\x80",
                                                 "pay\x80load"};

// An instance over a store that already holds rows in both domains, so there is something to
// lose.
class HostileCallerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(mHandle = Corvel_TAVLib_CreateRef(), nullptr);
    ASSERT_EQ(Corvel_TAVLib_Process_file(mHandle, Document("base.xml").c_str(), "BASE-PAYLOAD",
                                         nullptr, nullptr),
              kTAVLibSuccess);
    ASSERT_EQ(Corvel_TAVLib_SetValueforKeyInSubDomainInCache(mHandle, 1, "Planted", "kept",
                                                             "BASE-PAYLOAD", false),
              kTAVLibSuccess);
    mLast = ReadSnapshot(mScratch.pcd_db());
    ASSERT_EQ(mLast.values.size(), 6u) << Describe(mLast.values);
  }
  void TearDown() override { Corvel_TAVLib_ReleaseRef(mHandle, 0); }

  // A copy of the configuration document in the scratch folder (processing rewrites it).
  std::string Document(const std::string& file) {
    std::filesystem::copy_file(kDocument, mScratch.Path(file));
    return mScratch.Path(file);
  }
  // The unprotected value stored under `subdomain` and `key`.
  std::string Stored(const std::string& subdomain, const std::string& key) const {
    for (const StoreRow& row : ReadSnapshot(mScratch.pcd_db()).values) {
      if (row.unprotected && row.subdomain == subdomain && row.key == key) return row.value;
    }
    return "(none)";
  }
  // Checks that the store, since the last check, lost `removed` and gained `added` and nothing
  // else, that the file is sound and that no transaction is left open.
  void ExpectStoreChange(const StoreRows& added = {}, const StoreRows& removed = {}) {
    EXPECT_EQ(IntegrityCheck(mScratch.pcd_db()), "ok");
    EXPECT_FALSE(std::filesystem::exists(mScratch.pcd_db() + "-journal"));
    StoreSnapshot now = ReadSnapshot(mScratch.pcd_db());
    const StoreRows expected = Applied(mLast.values, removed, added);
    EXPECT_TRUE(now.values == expected) << Difference(expected, now.values);
    EXPECT_TRUE(now.other_tables == mLast.other_tables) << "a table besides the values changed";
    mLast = std::move(now);
  }

  ScratchFolder mScratch;
  TAVLibHandle mHandle = nullptr;
  StoreSnapshot mLast;
};

constexpr int64_t kSkip = INT64_MIN;
constexpr int64_t kBad = kTAVLibInvalidArgument;
constexpr int64_t kPrefBad = kTAVLibPrefInvalidArgument;
constexpr int64_t kPrefFailed = kTAVLibPrefFailed;
constexpr int64_t kOk = kTAVLibSuccess;
constexpr int64_t kNotFound = kTAVLibNotFound;

// Preference names that are not XML names. Path steps, predicates, wildcards and unions would
// reach the element D/K if pasted into an XPath; markup would change the file if pasted into it.
// clang-format off
const std::string kNotXmlNames[] = {
    "*", ".", "..", "node()", "//K", "D/K", "K]", "K[1]", "K|//K",
    "1abc", "-lead", "a b", "K ", "ns:name", "<x>", "quo\"te'd", "line\nbreak\r\n"};
// clang-format on

// One text argument of an export, the others valid, and what a null, an empty, an ill-formed
// text and one that is not an XML name in its place answer (kSkip: not a rule of that argument).
struct TextArgument {
  std::string name;
  std::function<int64_t(const char*)> call;
  int64_t null_status, empty_status, ill_formed_status, not_a_name_status = kSkip;
};

// A call and its answer.
struct Call {
  std::string name;
  std::function<int64_t()> call;
  int64_t status;
};

// Table rows named by the call they make: TEXT_ARGUMENT(export(..., t, ...), statuses) with the
// text under test as `t`, and CALL(export(...), status).
// clang-format off
#define TEXT_ARGUMENT(call, ...) \
  TextArgument{#call, [&](const char* t) -> int64_t { return Corvel_TAVLib_##call; }, __VA_ARGS__}
#define CALL(call, status) Call{#call, [&]() -> int64_t { return Corvel_TAVLib_##call; }, status}
// clang-format on

TEST_F(HostileCallerTest, EveryExportRefusesBadArgumentsWithoutWritingOrForgetting) {
  // What the commit must write, recorded first; no refusal below may change it. The product
  // code is longer than the 256 bytes that key the account's cipher; the clean-up of "%"
  // takes it as a name, not a pattern.
  const std::string product = "Prod \"x\" {|}\n'%s" + kText64K;
  const std::string language = "fr\"FR\n" + kText1M;
  const std::string account = "acc\"ount{|}%n\n";
  ASSERT_EQ(Corvel_TAVLib_Set_Eula(mHandle, language.c_str(), product.c_str()) |
                Corvel_TAVLib_Set_InstallLocale(mHandle, "de{|}DE", product.c_str()) |
                Corvel_TAVLib_SetCorvelId(mHandle, product.c_str()) |
                Corvel_TAVLib_SaveCorvelId(mHandle, account.c_str()) |
                Corvel_TAVLib_SetCorvelIdExtProfile(mHandle, product.c_str()) |
                Corvel_TAVLib_SetValueforKeyInSubDomainInCache(mHandle, 1, "a", "1", "%", false) |
                Corvel_TAVLib_CleanUpCachePCD(mHandle, "%"),
            kTAVLibSuccess);
  ASSERT_EQ(Corvel_TAVLib_SetSecurePreference("D", "K", "kept", nullptr), kTAVLibPrefSuccess);
  const std::string prefs_file = mScratch.local_appdata() + "/Corvel/TAV/securePrefs.xml";
  const std::string prefs = ReadWholeFile(prefs_file).value_or("");
  ExpectStoreChange({U("%", "a", "1")});

  TAVLibHandle& h = mHandle;
  const std::string doc = Document("app.xml");
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
      TEXT_ARGUMENT(SetSecurePreference(t, "K", "v", nullptr), kSkip, kPrefBad, kPrefFailed,
                    kPrefFailed),
      TEXT_ARGUMENT(SetSecurePreference("D", t, "v", nullptr), kPrefBad, kPrefBad, kPrefFailed,
                    kPrefFailed),
      TEXT_ARGUMENT(SetSecurePreference(nullptr, t, "v", nullptr), kPrefBad, kPrefBad, kPrefFailed,
                    kPrefFailed),
      TEXT_ARGUMENT(SetSecurePreference("D", "K", t, nullptr), kPrefBad, kSkip, kSkip),
      TEXT_ARGUMENT(GetSecurePreference(t, "K", buffer, &size, nullptr), kSkip, kSkip, kPrefFailed,
                    kPrefFailed),
      TEXT_ARGUMENT(GetSecurePreference("D", t, buffer, &size, nullptr), kPrefBad, kSkip,
                    kPrefFailed, kPrefFailed),
      TEXT_ARGUMENT(GetSecurePreference(nullptr, t, buffer, &size, nullptr), kPrefBad, kSkip,
                    kPrefFailed, kPrefFailed),
  };
  std::vector<Call> calls;
  for (const TextArgument& a : text_arguments) {
    calls.push_back({a.name + " null", [&a] { return a.call(nullptr); }, a.null_status});
    calls.push_back({a.name + " empty", [&a] { return a.call(""); }, a.empty_status});
    for (const std::string& bad : kIllFormedUtf8) {
      calls.push_back({a.name + " " + ::testing::PrintToString(bad),
                       [&a, &bad] { return a.call(bad.c_str()); }, a.ill_formed_status});
    }
    for (const std::string& name : kNotXmlNames) {
      calls.push_back({a.name + " " + ::testing::PrintToString(name),
                       [&a, &name] { return a.call(name.c_str()); }, a.not_a_name_status});
    }
  }
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
      CALL(SetValueforKeyInSubDomainInCache(h, -1, "k", "v", "S", false), kBad),
      CALL(SetValueforKeyInSubDomainInCache(h, 1, "k", obfuscated_too_long.c_str(), "S", true),
           kBad),
      CALL(GetValueforKeyInSubDomain(h, nullptr, 512, "a", "%", 1, false), kBad),
      CALL(GetValueforKeyInSubDomain(h, &out, 0, "a", "%", 1, false), kBad),
      CALL(GetValueforKeyInSubDomain(h, &out, -1, "a", "%", 1, false), kBad),
      CALL(RemoveKeyInSubDomainInCache(h, -1, "a", "%"), kBad),
      CALL(GetCorvelId(h, nullptr), false),
      CALL(SetCredentialsForProxy(h, nullptr), kBad),
      Call{"KeepProxyCredentials outcome 4", [&] { return keep(4); }, kBad},
      Call{"KeepProxyCredentials outcome -1", [&] { return keep(-1); }, kBad},
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
  EXPECT_EQ(ReadWholeFile(doc), ReadWholeFile(kDocument));

  Corvel_TAVLib_ReleaseRef(mHandle, 1);
  ASSERT_NE(mHandle = Corvel_TAVLib_CreateRef(), nullptr);
  // The account, enciphered under the product code, and "<product>=<its MD5>=<seconds>".
  const char* read = nullptr;
  EXPECT_EQ(Corvel_TAVLib_GetValueforKeyInSubDomain(mHandle, &read, 512, "LineCV 15",
                                                    product.c_str(), 1, true),
            kTAVLibSuccess);
  EXPECT_EQ(std::string(read ? read : "(null)"), account);
  const std::string record = Stored("CORVELIDWTTS", "DATA");
  EXPECT_EQ(record.rfind(product + "=19C4A9D7931A334C3E07500E07B8A979=", 0), 0u);
  ExpectStoreChange({U(product, "EULA_ACCEPTED", "1"), U(product, "EULA_LANGUAGE", language),
                     U(product, "INSTALLLOCALE", "de{|}DE"), U(product, "CORVELID", "1"),
                     U(product, "LineCV 15", Stored(product, "LineCV 15")),
                     U(product, "CORVELID_EXT_PROFILE", "1"), U("CORVELIDWTTS", "DATA", record)},
                    {U("%", "a", "1")});
}

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
  TAVLibHandle s = nullptr;  // the handle under test
  const Call calls[] = {
      CALL(ReleaseRef(s, 1), 0),
      CALL(GetRefID(s), -1),
      CALL(Process_file(s, "x", "y", nullptr, nullptr), none),
      CALL(Remove_payload(s, "BASE-PAYLOAD"), none),
      CALL(ISOTaggingAtInstall(s, "BASE-PAYLOAD"), none),
      CALL(SetApplicationData(s, "D", "P", nullptr, nullptr, nullptr, 1), none),
      CALL(EnumerateKeys(s, "Name", &output, 0), none),
      CALL(SetValueforKeyInSubDomainInCache(s, 1, "k", "v", "S", false), none),
      CALL(GetValueforKeyInSubDomain(s, &output, 512, "Planted", "BASE-PAYLOAD", 1, false), none),
      CALL(RemoveKeyInSubDomainInCache(s, 1, "Planted", "BASE-PAYLOAD"), none),
      CALL(CleanUpCachePCD(s, "BASE-PAYLOAD"), none),
      CALL(Set_Eula(s, "de", "Q"), none),
      CALL(Set_InstallLocale(s, "de", "Q"), none),
      CALL(SetCorvelId(s, "Q"), none),
      CALL(SaveCorvelId(s, "id"), none),
      CALL(GetCorvelId(s, forged), false),
      CALL(SetCorvelIdExtProfile(s, "Q"), none),
      CALL(SetCredentialsForProxy(s, record), none),
      CALL(KeepProxyCredentials(s, kTAVLibProxyRequestSucceeded, &kept), none),
      CALL(ReuseProxyCredentials(s, record), none),
  };
  // A null handle, the released one while its object still exists, and one never issued.
  const std::string log = mScratch.main_log();
  for (TAVLibHandle stale : {TAVLibHandle{}, mHandle, reinterpret_cast<TAVLibHandle>(forged)}) {
    s = stale;
    for (const Call& c : calls) EXPECT_EQ(c.call(), c.status) << c.name;
  }
  EXPECT_EQ(std::count(std::begin(forged), std::end(forged), 0), std::ssize(forged))
      << "the forged handle or record was written";
  EXPECT_STREQ(output, "untouched");
  EXPECT_TRUE(kept);
  EXPECT_EQ(mScratch.main_log(), log);
  ExpectStoreChange();

  // The second instance still counts (releasing the first twice did not destroy it), and a new
  // one after the last release gets a fresh identifier.
  EXPECT_EQ(Corvel_TAVLib_GetRefID(second), second_id);
  EXPECT_EQ(Corvel_TAVLib_ReleaseRef(second, 0), 0u);
  ASSERT_NE(mHandle = Corvel_TAVLib_CreateRef(), nullptr);
  EXPECT_EQ(Corvel_TAVLib_GetRefID(mHandle), second_id + 1);
}

// Well-formed texts that break naive quoting: quotes, line breaks, the list separator, markup,
// SQL and pattern characters, printf directives, path steps.
// clang-format off
const std::string kAwkwardTexts[] = {
    "quo\"te'd", "line\nbreak\r\n", "x{|}y", "{|}", "<a attr=\"&amp;\">&lt;",
    "'); DROP TABLE pcd_values; --", "%", "*", "%s%s%s%n%x", "../../../escape",
    "tab\tand\x01control", "\xE2\x82\xAC\xF0\x9F\x98\x80 ok"};
// clang-format on

TEST_F(HostileCallerTest, CachedDataReachesExactlyTheRowNamedByAwkwardTexts) {
  struct Row {
    int32_t type;
    std::string key, value, subdomain;
    bool obfuscated;
  };
  // Obfuscation keys on the subdomain's first 256 bytes: two differing only in the 256th give
  // different ciphers (from the 28th byte on).
  const std::string first255(255, 's'), v64(64, 'v');
  std::vector<Row> writes = {
      {1, "%", "percent", "S", false},      {0, "*", "star", "S", false},
      {1, "abc", "x", "S", false},          {1, "k", "v", "%", false},
      {1, "k", "v", "S2", false},           {1, kText64K, kText1M, kText64K, false},
      {1, "okey", "secret", kText1M, true}, {1, "k", v64, first255 + "X", true},
      {1, "k", v64, first255 + "Y", true}};
  for (const std::string& text : kAwkwardTexts) {
    writes.push_back({0, text, "v", "T", false});
    writes.push_back({1, "k", text, "T", false});
    writes.push_back({0, "k", "v", text, false});
    writes.push_back({1, "ok", text, text, true});
  }
  for (const Row& w : writes) {
    SCOPED_TRACE(::testing::PrintToString(w.key.substr(0, 40) + " " + w.subdomain.substr(0, 40)));
    EXPECT_EQ(
        Corvel_TAVLib_SetValueforKeyInSubDomainInCache(
            mHandle, w.type, w.key.c_str(), w.value.c_str(), w.subdomain.c_str(), w.obfuscated),
        kTAVLibSuccess);
    ExpectStoreChange({U(w.subdomain, w.key, w.obfuscated ? Stored(w.subdomain, w.key) : w.value)});
    const char* output = nullptr;
    EXPECT_EQ(Corvel_TAVLib_GetValueforKeyInSubDomain(mHandle, &output, INT_MAX, w.key.c_str(),
                                                      w.subdomain.c_str(), 1, w.obfuscated),
              kTAVLibSuccess);
    EXPECT_EQ(std::string(output ? output : "(null)"), w.value.substr(0, 511));
  }
  EXPECT_NE(Stored(first255 + "X", "k"), Stored(first255 + "Y", "k"));
  // Pattern and SQL characters are plain characters: only the row so named goes.
  const std::tuple<int32_t, std::string, std::string> removals[] = {
      {1, "%", "S"},
      {0, "_bc", "S"},
      {0, "k", "%"},
      {1, "*", "S"},
      {1, "'); DELETE FROM pcd_values; --", "S"}};
  for (const auto& [type, key, subdomain] : removals) {
    SCOPED_TRACE(key + " " + subdomain);
    StoreRows removed;
    for (const StoreRow& row : mLast.values) {
      if (row.unprotected && row.key == key && row.subdomain == subdomain) removed.insert(row);
    }
    EXPECT_EQ(
        Corvel_TAVLib_RemoveKeyInSubDomainInCache(mHandle, type, key.c_str(), subdomain.c_str()),
        kTAVLibSuccess);
    ExpectStoreChange({}, removed);
  }
  // Payload removal too: these name no subdomain, though as patterns they would.
  for (const char* payload : {"S%", "BASE%", "_ASE-PAYLOAD", "T*"}) {
    EXPECT_EQ(Corvel_TAVLib_Remove_payload(mHandle, payload), kTAVLibSuccess) << payload;
    ExpectStoreChange();
  }
}

TEST_F(HostileCallerTest, AReaderHoldingTheStoreMakesEveryWritingOperationReportItsLostCommit) {
  // Any user may read the store: a read transaction kept open holds its shared lock past the
  // installer's (shortened) busy timeout, so a transaction that wrote cannot commit.
  ASSERT_EQ(setenv("ZEP_PCD_BUSY_TIMEOUT_MS", "100", 1), 0);
  const std::string path = Document("app.xml");
  const std::string lost = " failed to commit the store transaction (status 5)";
  // Each call named by the failure line it logs; "" for none.
  const Call cases[] = {
      {"TAVLib Config Process" + lost,
       [&] { return Corvel_TAVLib_Process_file(mHandle, path.c_str(), "PAY", nullptr, nullptr); },
       kTAVLibStoreFailed},
      {"TAVLib Remove Payload" + lost,
       [&] { return Corvel_TAVLib_Remove_payload(mHandle, "BASE-PAYLOAD"); }, kTAVLibStoreFailed},
      {"TAVLibImpl::CommitPCD" + lost,
       [&] {
         Corvel_TAVLib_Set_Eula(mHandle, "en_US", "PROD");
         const uint32_t status = Corvel_TAVLib_ReleaseRef(mHandle, 1);
         mHandle = Corvel_TAVLib_CreateRef();
         return status;
       },
       kTAVLibSuccess},
      // Transactions that change nothing end without waiting for the reader.
      {"", [&] { return Corvel_TAVLib_Remove_payload(mHandle, "NONE"); }, kTAVLibSuccess},
      {"", [&] { return Corvel_TAVLib_ISOTaggingAtInstall(mHandle, "BASE-PAYLOAD"); },
       kTAVLibSuccess},
  };
  for (const Call& c : cases) {
    const size_t logged = mScratch.main_log().size();
    sqlite3* reader = nullptr;
    ASSERT_EQ(sqlite3_open_v2(mScratch.pcd_db().c_str(), &reader, SQLITE_OPEN_READONLY, nullptr),
              0);
    ASSERT_EQ(
        sqlite3_exec(reader, "BEGIN; SELECT count(*) FROM pcd_values", nullptr, nullptr, nullptr),
        0);
    EXPECT_EQ(c.call(), c.status) << c.name;
    sqlite3_close(reader);
    const std::string log = mScratch.main_log().substr(logged);
    EXPECT_EQ(log.find(c.name.empty() ? lost : c.name) != std::string::npos, !c.name.empty())
        << log;
    ExpectStoreChange();
  }
  unsetenv("ZEP_PCD_BUSY_TIMEOUT_MS");
}

}  // namespace
}  // namespace corvel::hostile
