// Texts that break naive quoting and patterns, handed to the exports that store, find and
// remove things by them: every call reaches exactly the row or value so named, and a user who keeps
// the store open for reading makes no operation lose its work silently.
#include <sqlite3.h>
#include <stdlib.h>

#include <climits>
#include <functional>

#include "hostile_fixture.h"

namespace corvel::hostile {
namespace {

struct Row {
  int32_t type;
  std::string key, value, subdomain;
  bool obfuscated;
};

TEST_F(HostileCallerTest, CachedDataReachesExactlyTheRowNamedByAwkwardTexts) {
  std::vector<Row> writes = {
      {1, "%", "percent", "S", false},     {0, "*", "star", "S", false},
      {1, "abc", "x", "S", false},         {1, "k", "v", "%", false},
      {1, "k", "v", "S2", false},          {1, kText64K, kText1M, kText64K, false},
      {1, "okey", "secret", kText1M, true}};
  for (const std::string& text : kAwkwardTexts) {
    writes.push_back({0, text, "v", "T", false});
    writes.push_back({1, "k", text, "T", false});
    writes.push_back({0, "k", "v", text, false});
    writes.push_back({1, "ok", text, text, true});
  }
  for (const Row& w : writes) {
    SCOPED_TRACE(Label(w.key) + " " + Label(w.value) + " " + Label(w.subdomain));
    EXPECT_EQ(
        Corvel_TAVLib_SetValueforKeyInSubDomainInCache(
            mHandle, w.type, w.key.c_str(), w.value.c_str(), w.subdomain.c_str(), w.obfuscated),
        kTAVLibSuccess);
    // Obfuscated under the subdomain's first 256 bytes; read back through a 512-byte buffer.
    const std::string stored = w.obfuscated ? Rc4Hex(w.value, w.subdomain.substr(0, 256)) : w.value;
    ExpectStoreChange({U(w.subdomain, w.key, stored)});
    const char* output = nullptr;
    EXPECT_EQ(Corvel_TAVLib_GetValueforKeyInSubDomain(mHandle, &output, INT_MAX, w.key.c_str(),
                                                      w.subdomain.c_str(), 1, w.obfuscated),
              kTAVLibSuccess);
    EXPECT_EQ(std::string(output ? output : "(null)"), w.value.substr(0, 511));
  }
  // Pattern and SQL characters are plain characters: only the row so named goes.
  const Row removals[] = {{1, "%", "", "S", false},
                          {0, "_bc", "", "S", false},
                          {0, "k", "", "%", false},
                          {1, "*", "", "S", false},
                          {1, "absent", "", "S", false},
                          {1, "Name", "", "BASE-PAYLOAD", false},
                          {1, "'); DELETE FROM pcd_values; --", "", "S", false}};
  for (const Row& r : removals) {
    SCOPED_TRACE(Label(r.key) + " " + Label(r.subdomain));
    StoreRows removed;
    for (const StoreRow& row : mLast.values) {
      if (row.unprotected && row.key == r.key && row.subdomain == r.subdomain) removed.insert(row);
    }
    EXPECT_EQ(Corvel_TAVLib_RemoveKeyInSubDomainInCache(mHandle, r.type, r.key.c_str(),
                                                        r.subdomain.c_str()),
              kTAVLibSuccess);
    ExpectStoreChange({}, removed);
  }
  // Payload removal too: these name no subdomain, though as patterns they would.
  for (const char* payload : {"S%", "BASE%", "_ASE-PAYLOAD", "T*"}) {
    EXPECT_EQ(Corvel_TAVLib_Remove_payload(mHandle, payload), kTAVLibSuccess) << payload;
    ExpectStoreChange();
  }
}

TEST_F(HostileCallerTest, PreferenceNamesThatAreNotXmlNamesAddressNothing) {
  const std::string file = mScratch.local_appdata() + "/Corvel/TAV/securePrefs.xml";
  ASSERT_EQ(
      Corvel_TAVLib_SetSecurePreference("ProxyCredentials", "ProxyPassword", "secret", nullptr),
      kTAVLibPrefSuccess);
  const std::string before = ReadWholeFile(file).value_or("");
  // Path steps, predicates, wildcards and unions would reach other elements if pasted into
  // the XPath; markup would change the file if pasted into it.
  const std::string names[] = {"*",
                               "ProxyCredentials/ProxyPassword",
                               "ProxyPassword]",
                               "..",
                               "ProxyPassword|//ProxyPassword",
                               "ProxyPassword[1]",
                               ".",
                               "//ProxyPassword",
                               "ProxyPassword ",
                               "node()",
                               "1abc",
                               "a b",
                               "ns:name",
                               "<x>",
                               "-lead",
                               "quo\"te'd",
                               "line\nbreak\r\n"};
  char value[64];
  for (const std::string& name : names) {
    SCOPED_TRACE(Label(name));
    for (const auto& [domain, key] :
         {std::pair<const char*, const char*>{name.c_str(), "ProxyPassword"},
          {"ProxyCredentials", name.c_str()},
          {nullptr, name.c_str()}}) {
      uint32_t size = sizeof value;
      EXPECT_EQ(Corvel_TAVLib_GetSecurePreference(domain, key, value, &size, nullptr),
                kTAVLibPrefFailed);
      EXPECT_EQ(Corvel_TAVLib_SetSecurePreference(domain, key, "v", nullptr), kTAVLibPrefFailed);
    }
    EXPECT_EQ(ReadWholeFile(file).value_or(""), before);
  }
  ExpectStoreChange();
}

TEST_F(HostileCallerTest, AReaderHoldingTheStoreMakesEveryWritingOperationReportItsLostCommit) {
  // Any user may read the store: a read transaction kept open holds its shared lock past the
  // installer's (shortened) busy timeout, so a transaction that wrote cannot commit.
  ASSERT_EQ(setenv("ZEP_PCD_BUSY_TIMEOUT_MS", "100", 1), 0);
  const std::string path = WriteDocument("app.xml", "App");
  const std::string lost = " failed to commit the store transaction (status 5)";
  const struct {
    std::string line;  // empty: no failure line
    uint32_t status;
    std::function<uint32_t()> call;
  } cases[] = {
      {"TAVLib Config Process" + lost, kTAVLibStoreFailed,
       [&] { return Corvel_TAVLib_Process_file(mHandle, path.c_str(), "PAY", nullptr, nullptr); }},
      {"TAVLib Remove Payload" + lost, kTAVLibStoreFailed,
       [&] { return Corvel_TAVLib_Remove_payload(mHandle, "BASE-PAYLOAD"); }},
      {"TAVLibImpl::CommitPCD" + lost, kTAVLibSuccess,
       [&] {
         Corvel_TAVLib_Set_Eula(mHandle, "en_US", "PROD");
         const uint32_t status = Corvel_TAVLib_ReleaseRef(mHandle, 1);
         mHandle = Corvel_TAVLib_CreateRef();
         return status;
       }},
      // Transactions that change nothing end without waiting for the reader.
      {"", kTAVLibSuccess, [&] { return Corvel_TAVLib_Remove_payload(mHandle, "NONE"); }},
      {"", kTAVLibSuccess,
       [&] { return Corvel_TAVLib_ISOTaggingAtInstall(mHandle, "BASE-PAYLOAD"); }},
  };
  for (const auto& c : cases) {
    const size_t logged = MainLog().size();
    sqlite3* reader = nullptr;
    ASSERT_EQ(sqlite3_open_v2(Database().c_str(), &reader, SQLITE_OPEN_READONLY, nullptr), 0);
    ASSERT_EQ(
        sqlite3_exec(reader, "BEGIN; SELECT count(*) FROM pcd_values", nullptr, nullptr, nullptr),
        0);
    EXPECT_EQ(c.call(), c.status) << c.line;
    sqlite3_close(reader);
    const std::string log = MainLog().substr(logged);
    EXPECT_EQ(log.find(c.line.empty() ? lost : c.line) != std::string::npos, !c.line.empty())
        << log;
    ExpectStoreChange();
  }
  // The reader gone, the next transaction commits.
  EXPECT_EQ(Corvel_TAVLib_Process_file(mHandle, path.c_str(), "PAY", nullptr, nullptr),
            kTAVLibSuccess);
  EXPECT_EQ(ReadSnapshot(Database()).values.size(), mLast.values.size() + 5);
  unsetenv("ZEP_PCD_BUSY_TIMEOUT_MS");
}

}  // namespace
}  // namespace corvel::hostile
