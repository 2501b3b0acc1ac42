// Corvel_TAVLib_Process_file on a generated configuration document of 10,000 entries, against
// the floor of storing the same rows: one prepared INSERT in one transaction on the same
// database file. Both run in every iteration; the counters give each side's time and the
// ratio (Process_file time over floor time; 1 would mean no overhead at all).
//
// The store, the main log and the driver document live in a fresh folder under the system's
// temporary folder, removed at the end.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "corvel_tavlib.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kEntries = 10000;
constexpr char kPayload[] = "BENCH-PAYLOAD";
constexpr char kDriver[] = "BENCH-DRIVER";

// The system's temporary folder, taken before any BenchFolder points TMPDIR elsewhere.
const fs::path& SystemTempFolder() {
  static const fs::path folder = fs::temp_directory_path();
  return folder;
}

// A scratch folder holding the store, the logs and the documents; the folder variables of
// the library point into it while it lives.
class BenchFolder {
 public:
  BenchFolder() {
    std::string pattern = (SystemTempFolder() / "corvel-config-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    mRoot = pattern;
    fs::create_directories(mRoot + "/tmp");
    setenv("TMPDIR", (mRoot + "/tmp").c_str(), 1);
    setenv("CORVEL_COMMON_APPDATA", mRoot.c_str(), 1);
    setenv("CORVEL_COMMON_FILES", mRoot.c_str(), 1);
    setenv("CORVEL_LOCAL_APPDATA", mRoot.c_str(), 1);
    setenv("ZEP_PCD_DB", Database().c_str(), 1);
  }
  ~BenchFolder() {
    std::error_code ignored;
    fs::remove_all(mRoot, ignored);
  }
  std::string Database() const { return mRoot + "/pcd.db"; }
  std::string Path(const std::string& name) const { return mRoot + "/" + name; }

 private:
  std::string mRoot;
};

using Rows = std::vector<std::pair<std::string, std::string>>;

// The document and the (key, value) rows that processing stores under the payload code.
std::string GenerateDocument(Rows& rows) {
  std::string document =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Configuration>\n  <Payload>\n";
  for (int i = 0; i < kEntries; ++i) {
    std::string key = "Setting" + std::to_string(i);
    std::string value = "value of setting " + std::to_string(i) + " for the bench product";
    document += "    <Data key=\"" + key + "\">" + value + "</Data>\n";
    rows.emplace_back(std::move(key), std::move(value));
  }
  document += "  </Payload>\n</Configuration>\n";
  return document;
}

struct DatabaseCloser {
  void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct StatementFinalizer {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};

// The floor: every row through one prepared statement in one immediate transaction.
class SqliteFloor {
 public:
  explicit SqliteFloor(const std::string& database) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
      sqlite3_close(db);
      throw std::runtime_error("cannot open the store's database");
    }
    mDb.reset(db);
    sqlite3_busy_timeout(db, 30000);
    // The same durability as the store's own connection.
    sqlite3_exec(db, "PRAGMA synchronous = FULL", nullptr, nullptr, nullptr);
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "INSERT OR REPLACE INTO pcd_values VALUES (0, ?1, ?2, ?3)", -1,
                           &statement, nullptr) != SQLITE_OK) {
      throw std::runtime_error("cannot prepare the insert");
    }
    mInsert.reset(statement);
  }

  bool Store(const char* subdomain, const Rows& rows) {
    if (sqlite3_exec(mDb.get(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
      return false;
    bool ok = true;
    for (const auto& [key, value] : rows) {
      sqlite3_bind_text(mInsert.get(), 1, subdomain, -1, SQLITE_STATIC);
      sqlite3_bind_text(mInsert.get(), 2, key.c_str(), static_cast<int>(key.size()), SQLITE_STATIC);
      sqlite3_bind_text(mInsert.get(), 3, value.c_str(), static_cast<int>(value.size()),
                        SQLITE_STATIC);
      ok = sqlite3_step(mInsert.get()) == SQLITE_DONE && ok;
      sqlite3_reset(mInsert.get());
    }
    return sqlite3_exec(mDb.get(), "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK && ok;
  }

 private:
  std::unique_ptr<sqlite3, DatabaseCloser> mDb;
  std::unique_ptr<sqlite3_stmt, StatementFinalizer> mInsert;
};

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

void BM_ProcessFileVersusSqliteFloor(benchmark::State& state) {
  BenchFolder folder;
  Rows rows;
  std::string config = folder.Path("application.xml");
  std::ofstream(config, std::ios::binary) << GenerateDocument(rows);
  // The driver document's three entries are stored too; the floor writes as many rows.
  rows.emplace_back("DefaultDriverPayload", kDriver);
  rows.emplace_back("InstallDate", "1700000000");
  rows.emplace_back("ZEPConfigPath", config);

  TAVLibHandle handle = Corvel_TAVLib_CreateRef();
  // A first call creates the store and warms the caches of both sides.
  if (handle == nullptr ||
      Corvel_TAVLib_Process_file(handle, config.c_str(), kPayload, kDriver, nullptr) != 0) {
    state.SkipWithError("Process_file failed");
    Corvel_TAVLib_ReleaseRef(handle, 0);
    return;
  }
  SqliteFloor floor(folder.Database());

  double process_seconds = 0;
  double floor_seconds = 0;
  for (auto _ : state) {
    auto start = Clock::now();
    uint32_t status =
        Corvel_TAVLib_Process_file(handle, config.c_str(), kPayload, kDriver, nullptr);
    Clock::duration process = Clock::now() - start;

    start = Clock::now();
    bool stored = floor.Store(kPayload, rows);
    Clock::duration sqlite = Clock::now() - start;

    if (status != 0 || !stored) {
      state.SkipWithError("a store pass failed");
      break;
    }
    process_seconds += Seconds(process);
    floor_seconds += Seconds(sqlite);
    state.SetIterationTime(Seconds(process));
  }
  Corvel_TAVLib_ReleaseRef(handle, 0);

  const double iterations = static_cast<double>(state.iterations());
  if (iterations > 0 && floor_seconds > 0) {
    state.counters["process_ms"] = benchmark::Counter(process_seconds / iterations * 1e3);
    state.counters["sqlite_floor_ms"] = benchmark::Counter(floor_seconds / iterations * 1e3);
    state.counters["ratio"] = benchmark::Counter(process_seconds / floor_seconds);
    state.counters["entries_per_s"] =
        benchmark::Counter(static_cast<double>(rows.size()) * iterations / process_seconds);
  }
}
BENCHMARK(BM_ProcessFileVersusSqliteFloor)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
