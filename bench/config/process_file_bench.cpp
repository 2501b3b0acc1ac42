// Corvel_TAVLib_Process_file on generated configuration documents of 10,000 and 100,000
// entries, against the floor of storing the same rows: one prepared INSERT in one transaction
// on the same database file. Both run in every iteration; the counters give each side's time
// and the ratio (Process_file time over floor time; 1 would mean no overhead at all).
//
// Its peak memory is measured on a document of 1,000,000 entries in a child process of its
// own (this program run with --peak_memory_child): the growth of its maximum resident set
// over one Process_file call, per byte of the document. --peak_memory_entries=N changes the
// size (0 skips it). A summary of the three ratios follows the table.
//
// The store, the main log and the driver document live in a fresh folder under the system's
// temporary folder, removed at the end.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "corvel_tavlib.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kSmallEntries = 10000;
constexpr int kLargeEntries = 100000;
constexpr long kPeakMemoryEntries = 1000000;
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

// Writes a document of `entries` entries to `path`, one line at a time; each (key, value) row
// that processing stores under the payload code goes to `rows` when it is given.
void WriteDocument(const std::string& path, long entries, Rows* rows) {
  std::ofstream out(path, std::ios::binary);
  out << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Configuration>\n  <Payload>\n";
  for (long i = 0; i < entries; ++i) {
    std::string key = "Setting" + std::to_string(i);
    std::string value = "value of setting " + std::to_string(i) + " for the bench product";
    out << "    <Data key=\"" << key << "\">" << value << "</Data>\n";
    if (rows != nullptr) rows->emplace_back(std::move(key), std::move(value));
  }
  out << "  </Payload>\n</Configuration>\n";
  if (!out.flush()) throw std::runtime_error("cannot write the document");
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
  WriteDocument(config, state.range(0), &rows);
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
BENCHMARK(BM_ProcessFileVersusSqliteFloor)
    ->Arg(kSmallEntries)
    ->Arg(kLargeEntries)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

long MaxResidentBytes() {
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss * 1024L;
}

// The child: one Process_file call on a document of `entries` entries; prints the growth of
// the maximum resident set over the call and the document's size, in bytes.
int MeasurePeakMemory(long entries) {
  BenchFolder folder;
  std::string config = folder.Path("application.xml");
  WriteDocument(config, entries, nullptr);
  TAVLibHandle handle = Corvel_TAVLib_CreateRef();
  const long before = MaxResidentBytes();
  const uint32_t status =
      Corvel_TAVLib_Process_file(handle, config.c_str(), kPayload, kDriver, nullptr);
  const long after = MaxResidentBytes();
  const auto size = static_cast<long>(fs::file_size(config));
  Corvel_TAVLib_ReleaseRef(handle, 0);
  if (status != 0) return 1;
  std::printf("%ld %ld\n", after - before, size);
  return 0;
}

struct PeakMemory {
  bool measured = false;
  long peak_bytes = 0;
  long document_bytes = 0;
};

// Runs this program again as the child of MeasurePeakMemory.
PeakMemory MeasurePeakMemoryInChild(long entries) {
  PeakMemory result;
  // The child makes its own folder where the system keeps temporary files.
  setenv("TMPDIR", SystemTempFolder().c_str(), 1);
  std::string command = "'";
  command += fs::read_symlink("/proc/self/exe").string();
  command += "' --peak_memory_child=";
  command += std::to_string(entries);
  FILE* child = popen(command.c_str(), "r");
  if (child == nullptr) return result;
  result.measured = std::fscanf(child, "%ld %ld", &result.peak_bytes, &result.document_bytes) == 2;
  result.measured = pclose(child) == 0 && result.measured;
  return result;
}

// The console table, then the three ratios in one block.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  explicit SummaryReporter(long peak_memory_entries)
      : ConsoleReporter(OO_Tabular), mPeakMemoryEntries(peak_memory_entries) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const auto process = run.counters.find("process_ms");
      const auto ratio = run.counters.find("ratio");
      if (run.error_occurred || process == run.counters.end() || ratio == run.counters.end()) {
        continue;
      }
      mProcessMs[run.benchmark_name()] = process->second.value;
      mRatios[run.benchmark_name()] = ratio->second.value;
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    const std::string small = Name(kSmallEntries);
    const std::string large = Name(kLargeEntries);
    std::printf("\nSummary\n");
    std::printf("  Process_file, %d entries / SQLite floor of the same rows: %s (target <= 2.0)\n",
                kSmallEntries, Value(mRatios, small).c_str());
    std::string growth = "not run";
    if (mProcessMs.count(small) != 0 && mProcessMs.count(large) != 0) {
      growth = Format(mProcessMs[large] / mProcessMs[small]);
    }
    std::printf("  Process_file, %d / %d entries (growth): %s (target <= 11, linear)\n",
                kLargeEntries, kSmallEntries, growth.c_str());
    if (mPeakMemoryEntries <= 0) return;
    std::fflush(stdout);
    const PeakMemory peak = MeasurePeakMemoryInChild(mPeakMemoryEntries);
    if (!peak.measured || peak.document_bytes <= 0) {
      std::printf("  Process_file peak memory, %ld entries: failed\n", mPeakMemoryEntries);
      return;
    }
    std::printf(
        "  Process_file peak memory, %ld entries: %.1f MB for a %.1f MB document, %.1f bytes "
        "per document byte (target <= 12)\n",
        mPeakMemoryEntries, static_cast<double>(peak.peak_bytes) / 1e6,
        static_cast<double>(peak.document_bytes) / 1e6,
        static_cast<double>(peak.peak_bytes) / static_cast<double>(peak.document_bytes));
  }

 private:
  static std::string Name(int entries) {
    return "BM_ProcessFileVersusSqliteFloor/" + std::to_string(entries) + "/manual_time";
  }
  static std::string Format(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2fx", value);
    return text;
  }
  static std::string Value(const std::map<std::string, double>& values, const std::string& name) {
    const auto found = values.find(name);
    return found == values.end() ? "not run" : Format(found->second);
  }

  long mPeakMemoryEntries;
  std::map<std::string, double> mProcessMs;
  std::map<std::string, double> mRatios;
};

// The value of "--name=value" among the arguments, removed from them; `fallback` without one.
long TakeOption(int* argc, char** argv, const char* name, long fallback) {
  std::string prefix = "--";
  prefix += name;
  prefix += '=';
  for (int i = 1; i < *argc; ++i) {
    if (std::strncmp(argv[i], prefix.c_str(), prefix.size()) != 0) continue;
    const long value = std::strtol(argv[i] + prefix.size(), nullptr, 10);
    for (int j = i; j + 1 < *argc; ++j) argv[j] = argv[j + 1];
    --*argc;
    return value;
  }
  return fallback;
}

}  // namespace

int main(int argc, char** argv) {
  if (const long child = TakeOption(&argc, argv, "peak_memory_child", 0); child > 0) {
    return MeasurePeakMemory(child);
  }
  const long peak_memory_entries =
      TakeOption(&argc, argv, "peak_memory_entries", kPeakMemoryEntries);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  SummaryReporter reporter(peak_memory_entries);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
