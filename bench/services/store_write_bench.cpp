// Many single-key writes inside one transaction: through the bound wrappers (loader, entry
// point, handle check, shared connection, prepared upsert) and, as the yardstick, the same
// rows written by one prepared SQLite statement on a database of the same schema and
// settings. Each iteration runs both batches; the counters give the time per write of each
// and their ratio (bound / direct: the cost of the binding and the library per write).
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "services/service_loader.h"
#include "services/zep_bindings.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace zep = corvel::zep;

struct Row {
  std::string key;
  std::string value;
};

std::vector<Row> MakeRows(int count) {
  std::vector<Row> rows;
  for (int i = 0; i < count; ++i) {
    rows.push_back({"Key" + std::to_string(i),
                    "value of a typical configuration entry #" + std::to_string(i)});
  }
  return rows;
}

std::string ScratchFolder() {
  char folder[] = "/tmp/services_bench.XXXXXX";
  if (!mkdtemp(folder)) throw std::runtime_error("mkdtemp");
  return folder;
}

// The yardstick: the same table and settings as the services library's store.
class DirectStore {
 public:
  explicit DirectStore(const std::string& path) {
    if (sqlite3_open(path.c_str(), &mDb) != SQLITE_OK) throw std::runtime_error("open");
    Exec("PRAGMA journal_mode = DELETE");
    Exec("PRAGMA synchronous = FULL");
    Exec(
        "CREATE TABLE pcd_values (unprotected INTEGER NOT NULL, subdomain TEXT NOT NULL, "
        "key TEXT NOT NULL, value TEXT NOT NULL, PRIMARY KEY (unprotected, subdomain, key)) "
        "WITHOUT ROWID");
    sqlite3_prepare_v2(mDb,
                       "INSERT OR REPLACE INTO pcd_values (unprotected, subdomain, key, value) "
                       "VALUES (?1, ?2, ?3, ?4)",
                       -1, &mInsert, nullptr);
  }
  ~DirectStore() {
    sqlite3_finalize(mInsert);
    sqlite3_close(mDb);
  }
  void WriteBatch(const std::vector<Row>& rows) {
    Exec("BEGIN IMMEDIATE");
    for (const Row& row : rows) {
      sqlite3_bind_int(mInsert, 1, 0);
      sqlite3_bind_text(mInsert, 2, "{PAYLOAD-CODE}", -1, SQLITE_STATIC);
      sqlite3_bind_text(mInsert, 3, row.key.c_str(), -1, SQLITE_STATIC);
      sqlite3_bind_text(mInsert, 4, row.value.c_str(), -1, SQLITE_STATIC);
      if (sqlite3_step(mInsert) != SQLITE_DONE) throw std::runtime_error("insert");
      sqlite3_reset(mInsert);
    }
    Exec("COMMIT");
  }

 private:
  void Exec(const char* sql) {
    if (sqlite3_exec(mDb, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
      throw std::runtime_error(sql);
  }
  sqlite3* mDb = nullptr;
  sqlite3_stmt* mInsert = nullptr;
};

void BoundBatch(ZEPHandle store, const std::vector<Row>& rows) {
  if (zep::C_ZEPPCDServiceBeginTransaction(store) != 0) throw std::runtime_error("begin");
  for (const Row& row : rows) {
    if (zep::C_ZEPPCDServiceSetValueForKeyInSubDomain(store, row.value.c_str(), row.key.c_str(),
                                                      "{PAYLOAD-CODE}", false) != 0) {
      throw std::runtime_error("set");
    }
  }
  if (zep::C_ZEPPCDServiceEndTransaction(store) != 0) throw std::runtime_error("end");
}

void BM_TransactionOfSingleKeyWrites(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const std::vector<Row> rows = MakeRows(count);
  const std::string folder = ScratchFolder();
  corvel::platform::SetEnvironmentValue("ZEP_PCD_DB", folder + "/bound.db");
  DirectStore direct(folder + "/direct.db");
  zep::ScopedHandle store(zep::C_ZEPPCDServiceCreate());
  if (!store) {
    state.SkipWithError("the services library could not be bound");
    return;
  }
  Clock::duration bound_time{}, direct_time{};
  for (auto _ : state) {
    Clock::time_point start = Clock::now();
    BoundBatch(store.get(), rows);
    Clock::time_point middle = Clock::now();
    direct.WriteBatch(rows);
    direct_time += Clock::now() - middle;
    bound_time += middle - start;
  }
  const double writes = static_cast<double>(state.iterations()) * count;
  const double bound_ns = std::chrono::duration<double, std::nano>(bound_time).count() / writes;
  const double direct_ns = std::chrono::duration<double, std::nano>(direct_time).count() / writes;
  state.counters["bound_ns_per_write"] = bound_ns;
  state.counters["sqlite_ns_per_write"] = direct_ns;
  state.counters["bound_to_sqlite"] = bound_ns / direct_ns;
  state.SetItemsProcessed(static_cast<int64_t>(writes) * 2);
  store.reset();
  for (const char* name : {"/bound.db", "/direct.db"}) std::remove((folder + name).c_str());
  corvel::platform::RemoveFolder(folder);
}
BENCHMARK(BM_TransactionOfSingleKeyWrites)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
